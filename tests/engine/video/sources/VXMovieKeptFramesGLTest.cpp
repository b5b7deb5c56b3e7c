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
// the pictures kept stay within it and go on release. Ping-pong in a window
// of what was played: each turn's frame, kept, shows, and the picture goes
// on from it. With sound, dragged down across a key frame into a group not
// decoded: a frame of that group stands in while the hand's frame decodes.

#include "VXMovieBarsPlayback.h"

#include "core/parameters/VXParamBase.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "platform/avfoundation/VXFFmpegPictureStore.h"

#include <algorithm>
#include <vector>

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

            // Played forwards from frame 170 to 220 and on, every frame shown
            // on the way (the clock waits for it); the play head's frame then
            // (-1 when one never showed).
            long playsFrom170To220()
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
                return HasFatalFailure() ? -1 : headFrame();
            }

            // Then the decoder held while it decodes ahead.
            long playsThenHoldsTheDecoder()
            {
                const long top = playsFrom170To220();
                return top < 0 || ! holdDecodingAhead() ? -1 : top;
            }
        };

        // The same movie with a store of 16 MB: parts of about 20 of its
        // pictures, about twice as many kept.
        class MovieKeptFramesSmallStoreGLTest : public MovieKeptFramesGLTest
        {
        protected:
            void SetUp() override
            {
                av::FFmpegPictureStore::setBudgetOfNewStores(std::size_t{16} << 20);
                MovieKeptFramesGLTest::SetUp();
            }
            void TearDown() override
            {
                MovieKeptFramesGLTest::TearDown();
                av::FFmpegPictureStore::setBudgetOfNewStores(av::FFmpegPictureStore::defaultBudgetBytes);
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

    // Turned backwards at the top of what it played, more frames than the
    // part taken at the turn: the play head followed down 30 frames, each
    // shows, and the part below comes from the store too: no picture the
    // play head went over is decoded again (the part below what is kept
    // may be decoded ahead).
    TEST_P(MovieKeptFramesSmallStoreGLTest, TurnedBackwardsThePartsBelowComeFromTheStoreToo)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        const long top = playsFrom170To220();
        ASSERT_GE(top, 220) << "never played to frame 220";
        // Every picture decoded from here on is recorded.
        gate.setPace(std::chrono::milliseconds(1));
        direct(playBackward);
        for (int step = 0; step < 30 && ! HasFatalFailure(); ++step)
        {
            tick(msPerFrame);
            ASSERT_TRUE(showsFrame(headFrame())) << "frame " << headFrame() << " never showed (showing " << shown
                                                 << ")";
        }
        const long bottom = headFrame();
        for (const FrameGate::Decoded& picture : gate.decoded())
            ASSERT_TRUE(picture.frame < bottom || picture.frame > top)
                << "frame " << picture.frame << " was decoded again";
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
        // The play head bounces in a window of frames played before.
        class MoviePingPongGLTest : public MovieKeptFramesGLTest
        {
        protected:
            // Bounce mode in the window from the start of frame first to
            // the end of frame last, at speed.
            void bounceIn(long first, long last, double speed)
            {
                auto timeline = std::dynamic_pointer_cast<BehaviourTimeline>(source->getTimeline());
                ASSERT_NE(timeline, nullptr);
                source->getPositionParam()->setStartStopRange(
                    ValueRange<double>(first * msPerFrame, (last + 1) * msPerFrame, "range"), ValueChangeInfo());
                timeline->getPlayModeParam()->setValue(1, ValueChangeInfo());
                timeline->getSpeedParam()->setValue(speed, ValueChangeInfo());
            }

            // Host frames forwards until the play head is in frame n, each
            // frame it comes to shown (renders with the clock still until it
            // does).
            void showsEachFrameTo(long n)
            {
                while (headFrame() < n && ! HasFatalFailure())
                {
                    tick(hostMs);
                    ASSERT_TRUE(showsFrame(headFrame()))
                        << "frame " << headFrame() << " never showed (showing " << shown << ")";
                }
            }

            // Host frames of ms, each frame the play head comes to shown.
            void followsFor(double ms, int renders)
            {
                for (int n = 0; n < renders && ! HasFatalFailure(); ++n)
                {
                    tick(ms);
                    ASSERT_TRUE(showsFrame(headFrame()))
                        << "frame " << headFrame() << " never showed after the turn (showing " << shown << ")";
                }
            }

            // The way the timeline plays now: 1 forwards, -1 backwards.
            int timelineWay() const
            {
                return source->getTimeline()->getPlayDirectionParam()->getValue() == playBackward ? -1 : 1;
            }

            // Host frames of ms, each frame the play head comes to shown
            // (renders with the clock still until it does), until the play
            // head turned; then its frame shows, and those it comes to in
            // rendersAfter more.
            void turnsAndGoesOn(double ms, int rendersAfter)
            {
                const long before = headFrame();
                bool turned = false;
                for (int render = 0; render < 200 && ! turned && ! HasFatalFailure(); ++render)
                {
                    move(ms);
                    turned = timelineWay() != way;
                    if (turned)
                    {
                        way = -way;
                        bound = headFrame();
                    }
                    awaitPass();
                    look();
                    ASSERT_TRUE(showsFrame(headFrame())) << "frame " << headFrame() << " never showed (showing "
                                                         << shown << ")" << (turned ? " at the turn" : "");
                }
                ASSERT_TRUE(turned) << "never turned from frame " << before;
                followsFor(ms, rendersAfter);
            }
        };
    }

    // Played forwards over frames 170 to 200, then ping-pong in frames 180
    // to 199 at 3x from 199 down: at the bottom the play head turns into
    // frame 180 from 181 shown. Its frame, kept, lands when asked and shows
    // (not the frame shown before, now ahead of the play head), then the
    // frames up from it.
    TEST_P(MoviePingPongGLTest, AtTheBottomTurnTheTurnsFrameShowsThenThoseAboveIt)
    {
        cue(170);
        ASSERT_TRUE(showsBy(170, 0.0)) << "frame 170 never showed (showing " << shown << ")";
        showsEachFrameTo(200);
        ASSERT_FALSE(HasFatalFailure());
        bounceIn(180, 199, 3.0);
        ASSERT_FALSE(HasFatalFailure());
        cue(199);
        direct(playBackward);
        ASSERT_TRUE(showsFrame(199)) << "frame 199 never showed (showing " << shown << ")";
        turnsAndGoesOn(hostMs, 6);
    }

    namespace
    {
        // Silent only: the self-timed player takes a new speed at once,
        // the reader with sound seeks to each frame at any speed.
        class MoviePingPongSpeedGLTest : public MoviePingPongGLTest
        {
        };
    }

    // Played forwards over frames 0 to 40, cued back to 10 and played to 12;
    // then the play head is sent to frame 32 in a window of frames 25 to 32,
    // ping-pong at 2x, and turns at once: the speed comes to the decoder
    // with the turn, before the turn's seek, while its frames are those the
    // play head left (0 to 12), and the end of the movie is decoded ahead of
    // frame 0 for a loop's wrap (slowly, the seek comes meanwhile). The
    // frame the turn landed on, kept, shows, then each frame down from it:
    // never the frames left.
    TEST_P(MoviePingPongSpeedGLTest, AtATopTurnWithANewSpeedTheFramesBelowTheTurnShowNotThoseLeft)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        cue(0);
        ASSERT_TRUE(showsBy(0, 0.0)) << "frame 0 never showed (showing " << shown << ")";
        showsEachFrameTo(40);
        cue(10);
        ASSERT_TRUE(showsFrame(10)) << "frame 10 never showed (showing " << shown << ")";
        showsEachFrameTo(12);
        ASSERT_FALSE(HasFatalFailure());
        // The decoder's pictures slowed, the DataDriver stopped: the turn's
        // seek comes once the decoder is on its way to the movie's end.
        gate.setPace(std::chrono::milliseconds(25));
        driver.removeSource(source.get());
        bounceIn(25, 32, 2.0);
        ASSERT_FALSE(HasFatalFailure());
        cue(32);
        move(hostMs);
        ASSERT_EQ(timelineWay(), -1) << "never turned";
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        const auto atTheEnd = [&]
        {
            const auto decoded = gate.decoded();
            return std::any_of(decoded.begin(), decoded.end(), [](const auto& d) { return d.frame >= 250; });
        };
        while (! atTheEnd() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(atTheEnd()) << "the movie's end was never decoded ahead";
        way = -1;
        bound = headFrame();
        source->updateVideo();
        gate.setPace(std::chrono::milliseconds(0));
        driver.addSource(source.get());
        ASSERT_TRUE(showsFrame(headFrame()))
            << "frame " << headFrame() << " never showed (showing " << shown << ") at the turn";
        followsFor(hostMs, 5);
    }

    namespace
    {
        // The hand rests on its frame after crossing the key frame, or moves
        // on down before the next render; the group was cued into before
        // at frame kept (its picture and conversion kept), or not (-1).
        struct StandInCase
        {
            const char* name;
            bool movesOn;
            long kept;
        };

        // With sound, key frames at 0, 250 and 500: the group from 250 is
        // never decoded before the hand crosses into it.
        class MovieDraggedAcrossGroupsGLTest : public MovieBarsGLTest,
                                               public ::testing::WithParamInterface<StandInCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (HasFatalFailure() || IsSkipped())
                    return;
                load(true, playForward, BarsClip{520, 250});
            }

            // Until the decoder, paced, has decoded frame n, the watchdog
            // at most.
            bool decodes(long n)
            {
                FrameGate& gate = FrameGate::get();
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                const auto seen = [&]
                {
                    const std::vector<FrameGate::Decoded> decoded = gate.decoded();
                    return std::any_of(decoded.begin(), decoded.end(), [n](const auto& d) { return d.frame == n; });
                };
                while (! seen() && std::chrono::steady_clock::now() < giveUp)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return seen();
            }
        };
    }

    // Cued to frame 510, the hand takes the play head and drags it down to
    // 505 (kept), then across the key frame at 500 to 495, the decoder held
    // before it converts 495. The frame kept nearest below in the group, or
    // else the group's key frame 250, decoded and let through first, shows
    // at the render after the hand crossed (or after it moved on to 490),
    // never a frame above the hand; let go, the hand's frame follows.
    TEST_P(MovieDraggedAcrossGroupsGLTest, AFrameOfTheGroupStandsInAtTheRenderAfterTheHandCrossedIntoIt)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        const long kept = GetParam().kept;
        if (kept >= 0)
        {
            cue(kept);
            ASSERT_TRUE(showsBy(kept, 0.0)) << "frame " << kept << " never showed (showing " << shown << ")";
        }
        cue(510);
        ASSERT_TRUE(showsBy(510, 0.0)) << "frame 510 never showed (showing " << shown << ")";
        const auto& position = source->getPositionParam();
        position->setUserState(ParamBase::UserState_Editing);
        // Held by the hand: never beyond its frame, either way.
        way = 0;
        cue(505);
        ASSERT_TRUE(showsBy(505, 0.0)) << "frame 505 never showed (showing " << shown << ")";
        gate.setOpen(false);
        gate.setPace(std::chrono::milliseconds(1));
        cue(495);
        advance(0.0);
        if (kept < 0)
            gate.admit(1);
        ASSERT_TRUE(decodes(251)) << "the decoder never decoded on from key frame 250";
        const long hand = GetParam().movesOn ? 490 : 495;
        if (GetParam().movesOn)
            cue(hand);
        tick(0.0);
        ASSERT_EQ(shown, kept >= 0 ? kept : 250) << "no frame stood in at the render after the hand crossed";
        gate.setOpen(true);
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        while (shown != hand && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
            tick(0.0);
        ASSERT_EQ(shown, hand) << "the hand's frame never showed";
        position->setUserState(ParamBase::UserState_None);
    }

    INSTANTIATE_TEST_SUITE_P(WithSound, MovieDraggedAcrossGroupsGLTest,
                             ::testing::Values(StandInCase{"Resting", false, -1}, StandInCase{"MovingOn", true, -1},
                                               StandInCase{"RestingOverAKeptFrame", false, 300}),
                             [](const auto& info) { return std::string(info.param.name); });

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

            // The clock's pace for a play of 40 frames down to the wrap while
            // the last group decodes ahead: from how long showing frame 499
            // paused takes the movie just opened. Opened afresh after.
            void paceToTheLastGroupsDecoding()
            {
                const double seekMs = pausedSeekMs(499, time);
                ASSERT_GT(seekMs, 0.0) << "frame 499 never showed paused";
                source.reset();
                open(temp.file(GetParam().sound ? "sound.mov" : "silent.mov"), driver, GetParam().sound, 500);
                ASSERT_FALSE(HasFatalFailure());
                direct(playBackward);
                source->start(false, TimeUnit());
                pace = paceFor(40 * msPerFrame, seekMs);
            }

            // One host frame at least 20 ms after the one before, the play
            // head moved by the real time passed at the pace. Should that
            // take it past frame 0 (a late host frame may pass several
            // frames), the wrap comes with this render: the picture may go
            // back as far as it.
            void tickOnTheClock()
            {
                auto now = std::chrono::steady_clock::now();
                while (now - last < std::chrono::milliseconds(20))
                {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    now = std::chrono::steady_clock::now();
                }
                const double ms = pace * std::chrono::duration<double, std::milli>(now - last).count();
                if (source->getPosition() - ms < 0.0)
                    bound = 499;
                tick(ms);
                last = now;
            }

            std::chrono::steady_clock::time_point last;
            // The share of real time the clock moves by.
            double pace = 1.0;
        };
    }

    // Played backwards from frame 40 in a loop at the movie's own speed, twice
    // (cued there again): at the wrap a frame of the last group shows within
    // 10 renders (decoding that group's part there takes longer), and the
    // picture goes on down from there. Where decoding the last group takes
    // more than a third of the play down to the wrap here and now, the clock
    // goes slower.
    TEST_P(MovieBackwardLoopGLTest, AtTheWrapTheLastGroupDecodedAheadShowsAtOnce)
    {
        constexpr int within = 10;
        paceToTheLastGroupsDecoding();
        ASSERT_FALSE(HasFatalFailure());
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

    INSTANTIATE_TEST_SUITE_P(Readers, MovieKeptFramesSmallStoreGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });

    INSTANTIATE_TEST_SUITE_P(Readers, MoviePingPongGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });

    INSTANTIATE_TEST_SUITE_P(Readers, MoviePingPongSpeedGLTest, ::testing::Values(SoundCase{"Silent", false}),
                             [](const auto& info) { return std::string(info.param.name); });

    INSTANTIATE_TEST_SUITE_P(Readers, MovieDraggedWithSoundGLTest, ::testing::Values(SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
