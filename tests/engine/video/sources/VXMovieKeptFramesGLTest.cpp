// A movie with one key frame in 250 played forwards by the engine's timeline,
// fed by the DataDriver thread, silent (self-timed player) and with sound
// (seeking reader), then turned backwards or dragged down by the user's hand
// over the frames it just played. The decoder is held in the frame gate: no
// frame is converted, so what shows comes from the pictures the movie kept.
// And, with a last key-frame group as long, played backwards in a loop on the
// real clock: the last group was decoded ahead, and shows at the wrap (a wrap
// before that decoding is done goes on with it). Each
// render is judged once: in the direction of play the picture is never
// beyond the play head's frame and never goes back. With a small budget,
// the pictures kept stay within it and go on release.

#include "VXMovieBarsPlayback.h"

#include "core/parameters/VXParamBase.h"
#include "platform/avfoundation/VXFFmpegPictureStore.h"

#include <algorithm>

namespace vx::test
{
    namespace
    {
        class MovieKeptFramesGLTest : public MovieBarsGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (HasFatalFailure() || IsSkipped())
                    return;
                load(GetParam().sound, playForward, BarsClip{270, 250});
            }

            // Renders, the clock standing still, until frame n shows; false
            // after the time-out.
            bool showsFrame(long n)
            {
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (shown != n && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
                    tick(0.0);
                return shown == n;
            }

            // Played forwards from frame 170 to 220 and on, every frame shown
            // on the way (the clock waits for it), then the decoder held while
            // it decodes ahead; the play head's frame then.
            long playsThenHoldsTheDecoder()
            {
                cue(170);
                if (! showsBy(170, 0.0))
                    return -1;
                while (headFrame() < 220 && ! HasFatalFailure())
                {
                    tick(hostMs);
                    if (! showsFrame(headFrame()))
                        return -1;
                }
                if (HasFatalFailure() || ! holdDecodingAhead())
                    return -1;
                return headFrame();
            }
        };
    }

    // Turned backwards at the top of what it played, the decoder held (let
    // through once, for the frame it was held in): the picture follows the
    // play head down frame by frame, each frame coming from the store.
    TEST_P(MovieKeptFramesGLTest, TurnedBackwardsTheFramesJustPlayedShowWithoutDecoding)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        const long top = playsThenHoldsTheDecoder();
        ASSERT_GE(top, 220) << "never played to frame 220 or the decoder was never held";
        direct(playBackward);
        tick(0.0);
        gate.admit(1);
        for (int step = 0; step < 30 && ! HasFatalFailure(); ++step)
        {
            tick(msPerFrame);
            ASSERT_TRUE(showsFrame(headFrame())) << "frame " << headFrame() << " never showed (showing " << shown
                                                 << ")";
        }
    }

    // The hand takes the play head at the top of what it played, the
    // decoder held (let through once), and drags it down a frame a render:
    // each frame the hand is on shows, from the store.
    TEST_P(MovieKeptFramesGLTest, DraggedDownOverTheFramesJustPlayedEachShowsWithoutDecoding)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        const long top = playsThenHoldsTheDecoder();
        ASSERT_GE(top, 220) << "never played to frame 220 or the decoder was never held";
        const auto& position = source->getPositionParam();
        position->setUserState(ParamBase::UserState_Editing);
        gate.admit(1);
        for (long n = top - 1; n >= top - 30 && ! HasFatalFailure(); --n)
        {
            cue(n);
            ASSERT_TRUE(showsFrame(n)) << "frame " << n << " never showed (showing " << shown << ")";
        }
        position->setUserState(ParamBase::UserState_None);
    }

    namespace
    {
        // With sound only: the self-timed player seeks at random to a frame
        // at or before the hand's, and shows a frame it landed on by bounds
        // of its own.
        class MovieDraggedWithSoundGLTest : public MovieKeptFramesGLTest
        {
        protected:
            // Until the seek the reader was sent on last has landed, the
            // watchdog at most.
            bool seekLands()
            {
                VideoFormatReader& reader = *source->getVideoFormatReader();
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (reader.isAwaitingFrame() && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                return ! reader.isAwaitingFrame();
            }
        };
    }

    // Played forwards over frames 170 to 220 and on (each shown, its
    // conversion kept), then the decoder held while it decodes ahead: the
    // hand takes the play head and drags it down a frame a host frame. Each
    // frame shows at the render after the hand reached it, the decoder never
    // let through.
    TEST_P(MovieDraggedWithSoundGLTest, DraggedDownOverKeptFramesEachShowsAtTheRenderAfterTheHandReachedIt)
    {
        FrameGate::Use use;
        const long top = playsThenHoldsTheDecoder();
        ASSERT_GE(top, 220) << "never played to frame 220 or the decoder was never held";
        const auto& position = source->getPositionParam();
        position->setUserState(ParamBase::UserState_Editing);
        for (long n = top - 1; n >= top - 30 && ! HasFatalFailure(); --n)
        {
            cue(n);
            tick(0.0);
            ASSERT_EQ(shown, n) << "frame " << n << " did not show at the render after the hand reached it";
        }
        position->setUserState(ParamBase::UserState_None);
    }

    // Cued to frame 100, the hand takes the play head and drags it up a
    // frame a host frame, the decoder held: each step's frame, decoded on
    // and let through once the hand is on it (or decoded ahead and let
    // through, then landing from the store), lands before the hand moves
    // on, and shows at the render after that move (between the frame shown
    // and the hand's), the hand's next frame not yet through the gate.
    TEST_P(MovieDraggedWithSoundGLTest, DraggedUpEachFrameLandedBeforeTheHandMovedOnShowsAtTheNextRender)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        cue(100);
        ASSERT_TRUE(showsBy(100, 0.0)) << "frame 100 never showed (showing " << shown << ")";
        const auto& position = source->getPositionParam();
        position->setUserState(ParamBase::UserState_Editing);
        gate.setOpen(false);
        for (long n = 101; n <= 130 && ! HasFatalFailure(); ++n)
        {
            cue(n);
            tick(0.0);
            ASSERT_EQ(shown, n - 1) << "frame " << n - 1 << " landed before the hand left it and never showed";
            gate.admit(1);
            ASSERT_TRUE(seekLands()) << "the seek to frame " << n << " never landed";
        }
        gate.setOpen(true);
        position->setUserState(ParamBase::UserState_None);
    }

    namespace
    {
        // Key frames at 0 and 250, the last one of 500 frames 499.
        class MovieBackwardLoopGLTest : public MovieBarsGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (HasFatalFailure() || IsSkipped())
                    return;
                load(GetParam().sound, playBackward, BarsClip{500, 250});
                last = std::chrono::steady_clock::now();
            }

            // One host frame at least 20 ms after the one before, the play
            // head moved by the real time passed. Should that take it past
            // frame 0 (a late host frame may pass several frames), the wrap
            // comes with this render: the picture may go back as far as it.
            void tickOnTheClock()
            {
                auto now = std::chrono::steady_clock::now();
                while (now - last < std::chrono::milliseconds(20))
                {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    now = std::chrono::steady_clock::now();
                }
                const double ms = std::chrono::duration<double, std::milli>(now - last).count();
                if (source->getPosition() - ms < 0.0)
                    bound = 499;
                tick(ms);
                last = now;
            }

            std::chrono::steady_clock::time_point last;
        };
    }

    // Played backwards from frame 40 in a loop at the movie's own speed, twice
    // (cued there again): at the wrap a frame of the last group shows within
    // 10 renders (decoding that group's part there takes longer), and the
    // picture goes on down from there.
    TEST_P(MovieBackwardLoopGLTest, AtTheWrapTheLastGroupDecodedAheadShowsAtOnce)
    {
        constexpr int within = 10;
        for (int wrap = 0; wrap < 2 && ! HasFatalFailure(); ++wrap)
        {
            cue(40);
            last = std::chrono::steady_clock::now();
            const auto giveUp = last + watchdog;
            while ((shown < 0 || shown > 40) && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
                tickOnTheClock();
            ASSERT_LE(shown, 40) << "frame 40 never showed";
            long head = headFrame();
            while (headFrame() <= head && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
            {
                head = headFrame();
                tickOnTheClock();
            }
            ASSERT_GT(headFrame(), head) << "never wrapped";
            int renders = 1;
            while (shown < 250 && renders < within && ! HasFatalFailure())
            {
                tickOnTheClock();
                ++renders;
            }
            ASSERT_GE(shown, 250) << "wrap " << wrap << ": frame " << shown << " stood " << within << " renders";
            for (int i = 0; i < 25 && ! HasFatalFailure(); ++i)
                tickOnTheClock();
        }
    }

    // The same, each picture decoded in 12 ms at least: the last group (250
    // pictures, 3 s) is still decoding ahead when the play head wraps. The
    // wrap's seek waits for that decoding rather than starting the group
    // afresh from its key frame.
    TEST_P(MovieBackwardLoopGLTest, AWrapWhileTheLastGroupDecodesAheadGoesOnWithThatDecoding)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        gate.setPace(std::chrono::milliseconds(12));
        cue(40);
        last = std::chrono::steady_clock::now();
        const auto giveUp = last + watchdog;
        long head = headFrame();
        while (headFrame() <= head && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
        {
            head = headFrame();
            tickOnTheClock();
        }
        ASSERT_GT(headFrame(), head) << "never wrapped";
        // What was decoded before the render ahead of the one that showed
        // it began (before it landed).
        auto beforeShown = std::chrono::steady_clock::now(), thisRender = beforeShown;
        while (shown < 250 && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
        {
            beforeShown = thisRender;
            thisRender = std::chrono::steady_clock::now();
            tickOnTheClock();
        }
        ASSERT_GE(shown, 250) << "no frame of the last group showed";
        // After the cue's part (the last pictures below 250): loaded at
        // frame 0, backwards, the movie decodes its end ahead at once, and
        // the cue stops that.
        const std::vector<FrameGate::Decoded> decoded = gate.decoded();
        const auto cued = std::find_if(decoded.rbegin(), decoded.rend(),
                                       [&](const FrameGate::Decoded& picture)
                                       { return picture.frame < 250 && picture.at < beforeShown; })
                              .base();
        long reached = -1;
        for (auto picture = cued; picture != decoded.end(); ++picture)
            if (picture->frame >= 250 && picture->at < beforeShown)
            {
                ASSERT_GT(picture->frame, reached) << "the last group's decoding started afresh at frame "
                                                   << picture->frame << " (it had reached " << reached << ")";
                reached = picture->frame;
            }
        EXPECT_GE(reached, 250) << "the last group was not decoded ahead";
    }

    namespace
    {
        // The same movie with a store of 16 MB: about 40 of its pictures.
        class MovieKeptPicturesBudgetGLTest : public MovieBackwardLoopGLTest
        {
        protected:
            static constexpr std::size_t budget = std::size_t{16} << 20;

            void SetUp() override
            {
                av::FFmpegPictureStore::setBudgetOfNewStores(budget);
                MovieBackwardLoopGLTest::SetUp();
                av::FFmpegPictureStore::resetMostHeldByAllStores();
            }
            void TearDown() override
            {
                MovieBackwardLoopGLTest::TearDown();
                av::FFmpegPictureStore::setBudgetOfNewStores(av::FFmpegPictureStore::defaultBudgetBytes);
            }
        };
    }

    // Played backwards in a loop from frame 290 down across the key frame at
    // 250, then from 30 across the wrap to the last group: the pictures the
    // movie keeps (the group decoder's among them) never exceed the budget,
    // though they fill it; released, none are kept.
    TEST_P(MovieKeptPicturesBudgetGLTest, ThePicturesKeptStayWithinTheBudgetAndGoOnRelease)
    {
        for (const long from : {290L, 30L})
        {
            cue(from);
            last = std::chrono::steady_clock::now();
            for (int render = 0; render < 60 && ! HasFatalFailure(); ++render)
            {
                if (headFrame() <= 1)
                    bound = 499;
                tickOnTheClock();
                ASSERT_LE(av::FFmpegPictureStore::mostHeldByAllStores(), budget)
                    << "from frame " << from << ", showing " << shown;
            }
        }
        EXPECT_GE(av::FFmpegPictureStore::mostHeldByAllStores(), budget * 3 / 4) << "the budget never filled";
        source->release();
        source.reset();
        EXPECT_EQ(av::FFmpegPictureStore::heldByAllStores(), 0u);
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieKeptPicturesBudgetGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });

    INSTANTIATE_TEST_SUITE_P(Readers, MovieBackwardLoopGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });

    INSTANTIATE_TEST_SUITE_P(Readers, MovieKeptFramesGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });

    INSTANTIATE_TEST_SUITE_P(Readers, MovieDraggedWithSoundGLTest, ::testing::Values(SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
