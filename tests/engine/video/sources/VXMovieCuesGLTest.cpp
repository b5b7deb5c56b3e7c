// A movie with one key frame in 250 played forwards by the engine's timeline,
// fed by the DataDriver thread, silent (self-timed player) and with sound
// (seeking reader), cued twice in quick succession as a VJ does: to frame 240
// (cue A) and, while cue A's seek waits on the decoder, to frame 20 (cue B);
// cued on into the same or a later key-frame group, or in a burst; and, with
// one key frame in 60, dragged by the user's hand across groups; with one in
// 10, paused, scrubbed away from a frame and back to it, and resting on a
// frame whose key frame showed first.
// The decoder is let through frame by frame, so the test does not depend on
// how fast the machine decodes: cue B is acted on at once, cue A's seek is
// dropped, and with cue A's seek landing no frame but cue B's shows. Each
// render is judged once: in the direction of play the picture is never
// beyond the play head's frame and never goes back, except as far as the play
// head jumped.

#include "VXMovieBarsPlayback.h"

#include "core/parameters/VXParamBase.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace vx::test
{
    namespace
    {
        // Registered beside the file source, holds the DataDriver inside its
        // pass while armed.
        class PassHolder final : public PlainSource
        {
        public:
            void updateVideo() override
            {
                std::unique_lock<std::mutex> hold(lock);
                inside = armed;
                changed.notify_all();
                changed.wait(hold, [this] { return ! armed; });
                inside = false;
            }
            // Until the DataDriver is held, the time-out at most.
            bool hold(std::chrono::seconds timeout)
            {
                std::unique_lock<std::mutex> hold(lock);
                armed = true;
                return changed.wait_for(hold, timeout, [this] { return inside; });
            }
            void letGo()
            {
                std::lock_guard<std::mutex> hold(lock);
                armed = false;
                changed.notify_all();
            }

        private:
            std::mutex lock;
            std::condition_variable changed;
            bool armed = false, inside = false;
        };

        class MovieCuesGLTest : public MovieBarsGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (HasFatalFailure() || IsSkipped())
                    return;
                load(GetParam().sound, playForward, BarsClip{270, keyInterval});
            }

            // A cue; ahead of it too, no frame before it shows.
            void cue(long n)
            {
                MovieBarsGLTest::cue(n);
                bound = n;
            }

            // Played forwards from frame n, shown, for ticks host frames,
            // then the decoder held (closed gate) while it decodes ahead;
            // false when it never was.
            bool playsFromThenHoldsTheDecoder(long n, int ticks = 10)
            {
                cue(n);
                if (! showsBy(n, 0.0))
                    return false;
                for (int i = 0; i < ticks && ! HasFatalFailure(); ++i)
                    tick(hostMs);
                return holdDecodingAhead() && ! HasFatalFailure();
            }

            // Played forwards from frame 10, the decoder held, the play head
            // is sent to frame 18: the frame decoding ahead passes, the seek
            // to frame 18 runs and waits with its frame, and the play head
            // runs on to frame 20. False when any of it failed.
            bool runsOnPastASeekWaitingFor18()
            {
                if (! playsFromThenHoldsTheDecoder(10, 4))
                    return false;
                cue(18);
                tick(hostMs);
                if (! FrameGate::get().passOne(watchdog))
                    return false;
                for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
                    tick(hostMs);
                return ! HasFatalFailure() && headFrame() == 20;
            }

            // Turned backwards: the seek to frame 18 lands (its frame
            // decoded before it was left behind), the turn's runs and waits
            // with its frame while renders come. The decoder let through the
            // given number of frames, the clock standing still, the play
            // head's frame shows; the decoder free, the picture follows the
            // play head down.
            void followsThePlayHeadDown(int frames)
            {
                FrameGate& gate = FrameGate::get();
                ASSERT_TRUE(gate.passOne(watchdog)) << "the play head's frame was not asked for";
                for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
                    tick(0.0);
                ASSERT_FALSE(HasFatalFailure());
                gate.admit(frames);
                EXPECT_TRUE(showsBy(headFrame(), 0.0))
                    << "the play head's frame never showed (showing " << shown << ")";
                ASSERT_FALSE(HasFatalFailure());

                gate.setOpen(true);
                for (int i = 0; i < 20 && ! HasFatalFailure(); ++i)
                    tick(hostMs);
                EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
            }

            // Turns to direction as the play head moves ms on, the
            // DataDriver held inside a pass meanwhile: it hears the turn
            // with the move, never the turn where the play head was. Then
            // one render, judged.
            void turnAsThePlayHeadMoves(ParamPlayDirection direction, double ms)
            {
                PassHolder holder;
                driver.addSource(&holder);
                const bool held = holder.hold(watchdog);
                direct(direction);
                move(ms);
                holder.letGo();
                driver.removeSource(&holder);
                ASSERT_TRUE(held) << "the DataDriver was never held";
                awaitPass();
                look();
            }

            // Frames from one key frame to the next.
            int keyInterval = 250;
        };
    }

    // Played forwards from frame 252, the decoder is held while it decodes
    // ahead; cue A sends the play head to frame 240 (a seek from the key
    // frame at 0) and 60 ms later cue B to frame 20. The decoder is then let
    // through two frames, the one it was held in and one more, the clock
    // standing still: that frame is cue B's, which shows. Opened, the movie
    // plays on from there.
    TEST_P(MovieCuesGLTest, ASecondCueWhileTheFirstsSeekWaitsShowsAtOnceAndTheFirstsFrameNever)
    {
        FrameGate& gate = FrameGate::get();
        cue(252);
        ASSERT_TRUE(showsBy(252, 0.0)) << "the first frame never showed";
        for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate::Use use;
        ASSERT_TRUE(holdDecodingAhead()) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());

        cue(240);
        tick(hostMs);
        ASSERT_EQ(source->getVideoFormatReader()->getCurrentFrame(), 240) << "cue A was not read";
        for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        cue(20);
        tick(hostMs);
        awaitPass();
        ASSERT_FALSE(HasFatalFailure());
        gate.admit(2);
        EXPECT_TRUE(showsBy(20, 0.0)) << "cue B's frame never showed (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());

        gate.setOpen(true);
        for (int i = 0; i < 40 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
        EXPECT_LT(shown, 240);
    }

    // Played forwards with sound, a jump on to frame 200 of the same group
    // while the decoder is held; the play head runs on four frames. Let
    // through until frame 200 is decoded, the decoding goes on to where the
    // play head is: frame 200, left by then, never shows; the play head's
    // does. (The silent player catches up by its own clock.)
    TEST_P(MovieCuesGLTest, AJumpOnWhileThePlayHeadMovesOnLandsOnThePlayHeadsFrame)
    {
        if (! GetParam().sound)
            GTEST_SKIP() << "the self-timed player shows the frames it passes on its way to the play head";
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(playsFromThenHoldsTheDecoder(10, 4)) << "frame 10 never showed, or the decoder was never held";
        cue(200);
        for (int i = 0; i < 8 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        ASSERT_FALSE(HasFatalFailure());
        const long head = headFrame();
        ASSERT_GE(head, 203);
        // Recorded from here on.
        gate.setPace(std::chrono::milliseconds(1));
        const auto decodedTo = [&gate]
        {
            long most = -1;
            for (const FrameGate::Decoded& picture : gate.decoded())
                most = std::max(most, picture.frame);
            return most;
        };
        while (decodedTo() < 202 && ! HasFatalFailure())
            ASSERT_TRUE(gate.passOne(watchdog)) << "the decoder never asked for more (decoded to " << decodedTo() << ")";
        for (int i = 0; i < 4 && ! HasFatalFailure(); ++i)
            tick(0.0);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_LT(shown, 200) << "the jump landed on a frame the play head had left";
        gate.setOpen(true);
        EXPECT_TRUE(showsFrame(head)) << "the play head's frame never showed (showing " << shown << ")";
    }

    // Played forwards from frame 10, the play head is sent to frame 18 and
    // that seek is held as it lands; the play head runs on to frame 20 and
    // turns backwards, the DataDriver hearing the turn once the play head
    // is on frame 19. Moving down, the play head has left frame 18 behind:
    // a seek to its own frame is asked at once, frame 18 never shows (it
    // lands while that seek runs), and the picture follows the play head
    // down.
    TEST_P(MovieCuesGLTest, ATurnToBackwardsWhileASeekOfForwardPlayRunsNeverShowsThatSeeksFrame)
    {
        FrameGate::Use use;
        ASSERT_TRUE(runsOnPastASeekWaitingFor18()) << "frame 10 never showed, or the decoder or the seek never ran";
        turnAsThePlayHeadMoves(playBackward, hostMs);
        ASSERT_FALSE(HasFatalFailure());
        awaitPass();
        followsThePlayHeadDown(1);
    }

    // As above, but the DataDriver hears the turn on frame 20, before the
    // play head moves down to frame 19; the turn's seek waits behind the one
    // to frame 18. The decoder, decoding the group for it, passes the play
    // head's frame, and the picture comes to it as soon as that frame is
    // let through (the reader with sound lands the turn's seek on its own
    // frame first, then seeks the play head's: two frames).
    TEST_P(MovieCuesGLTest, ATurnHeardBeforeThePlayHeadMovesOnShowsThePlayHeadsFrameOnceDecoded)
    {
        FrameGate::Use use;
        ASSERT_TRUE(runsOnPastASeekWaitingFor18()) << "frame 10 never showed, or the decoder or the seek never ran";
        direct(playBackward);
        awaitPass();
        tick(hostMs);
        ASSERT_EQ(headFrame(), 19);
        awaitPass();
        followsThePlayHeadDown(GetParam().sound ? 2 : 1);
    }

    // Played forwards from frame 20, the decoder is held while it decodes
    // ahead; cue A's seek runs and waits with its frame, and the cues after
    // it come 60 ms apart, the last one B. The decoder is then let through
    // two frames, the clock standing still: cue A's seek ends unshown and
    // cue B's frame shows, whatever group either lies in; no frame before
    // cue B's shows after it was given.
    TEST_P(MovieCuesGLTest, TheLastOfCuesGivenWhileTheFirstsSeekRunsShowsAtOnceAndNoFrameBeforeIt)
    {
        struct Case
        {
            const char* name;
            std::vector<long> cues;
        };
        // Key frames at 0 and 250. Each cue A's frame is one no case before
        // showed (a frame kept converted lands without the decoder).
        const Case cases[] = {{"into a later group", {200, 260}},
                              {"within the group", {100, 200}},
                              {"a burst", {120, 230, 60, 150, 260}}};
        FrameGate& gate = FrameGate::get();
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            FrameGate::Use use;
            ASSERT_TRUE(playsFromThenHoldsTheDecoder(20)) << "frame 20 never showed or the decoder was never held";

            cue(c.cues.front());
            tick(hostMs);
            // The frame decoding ahead passes; cue A's seek runs and waits
            // with its frame.
            ASSERT_TRUE(gate.passOne(watchdog)) << "cue A's seek never ran";
            for (std::size_t n = 1; n < c.cues.size(); ++n)
            {
                for (int i = 0; i < 2 && ! HasFatalFailure(); ++i)
                    tick(hostMs);
                cue(c.cues[n]);
                tick(hostMs);
            }
            awaitPass();
            ASSERT_FALSE(HasFatalFailure());
            gate.admit(2);
            EXPECT_TRUE(showsBy(c.cues.back(), 0.0)) << "cue B's frame never showed (showing " << shown << ")";
            ASSERT_FALSE(HasFatalFailure());
            gate.setOpen(true);
            for (int i = 0; i < 5 && ! HasFatalFailure(); ++i)
                tick(hostMs);
            EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
            ASSERT_FALSE(HasFatalFailure());
        }
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieCuesGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });

    namespace
    {
        // The clip with a key frame every 60 frames.
        class MovieDragsGLTest : public MovieCuesGLTest
        {
        protected:
            MovieDragsGLTest() { keyInterval = 60; }
            long keyFrameOf(long n) const { return n / keyInterval * keyInterval; }
        };
    }

    // Played forwards from frame 20, the decoder is held while it decodes
    // ahead; the user's hand takes the play head and drags it ten frames a
    // render to frame 200, three groups on, the first step's seek running
    // and waiting with its frame, then rests. Each render: no frame beyond
    // the hand, none behind the key frame before where the hand was 15
    // renders (300 ms) earlier, never back. Let through two frames, the
    // clock standing still, the picture comes into the hand's group; the
    // decoder free, to the hand's frame itself; let go, the movie plays on.
    TEST_P(MovieDragsGLTest, ADragAcrossGroupsShowsNoGroupTheHandLeftAndItsFrameOnceItRests)
    {
        constexpr std::size_t lag = 15;
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(playsFromThenHoldsTheDecoder(20)) << "frame 20 never showed or the decoder was never held";

        const auto& position = source->getPositionParam();
        position->setUserState(ParamBase::UserState_Editing);
        std::vector<long> hand;
        // The hand on frame n for a render.
        const auto handAt = [&](long n)
        {
            position->setValue((n + 0.25) * msPerFrame, ValueChangeInfo());
            hand.push_back(n);
            if (hand.size() > lag)
                bound = std::max(bound, keyFrameOf(hand[hand.size() - 1 - lag]));
            tick(hostMs);
        };
        // Beyond the frames decoded ahead (kept, they would show without
        // the decoder).
        handAt(50);
        awaitPass();
        ASSERT_TRUE(gate.passOne(watchdog)) << "the drag's first seek never ran";
        for (long n = 60; n <= 200 && ! HasFatalFailure(); n += 10)
            handAt(n);
        for (std::size_t i = 0; i < lag && ! HasFatalFailure(); ++i)
            handAt(200);
        awaitPass();
        ASSERT_FALSE(HasFatalFailure());
        gate.admit(2);
        EXPECT_TRUE(showsBy(keyFrameOf(200), 0.0)) << "never came into the hand's group (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(200, 0.0)) << "never came to the hand's frame (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());

        position->setUserState(ParamBase::UserState_None);
        for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieDragsGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}

namespace vx::test
{
    namespace
    {
        class MovieScrubsGLTest : public MovieCuesGLTest
        {
        protected:
            MovieScrubsGLTest() { keyInterval = 10; }

            // Paused, until frame 0 shows.
            bool showsPaused()
            {
                direct(playPause);
                way = 0;
                return showsBy(0, hostMs);
            }

            // The hand on frame n.
            void handAt(long n) { source->getPositionParam()->setValue((n + 0.25) * msPerFrame, ValueChangeInfo()); }

            // Until the reader has no seek under way, the watchdog at most;
            // the gate closed, its frames let out one at a time meanwhile
            // (the decoder may wait with a frame decoded ahead first).
            bool seeksLand()
            {
                FrameGate& gate = FrameGate::get();
                VideoFormatReader* reader = source->getVideoFormatReader();
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (reader != nullptr && reader->isAwaitingFrame() && std::chrono::steady_clock::now() < giveUp)
                {
                    if (gate.waiters() > 0)
                    {
                        gate.admit(1);
                        gate.awaitAdmitted(watchdog);
                    }
                    else
                        std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
                return reader != nullptr && ! reader->isAwaitingFrame();
            }
        };
    }

    // Paused, the user's hand takes the play head to frame 45, which shows;
    // then, the decoder held, to frame 20 (a key frame): its seek lands, the
    // hand rests there, and frame 20 shows while the seek the rest asks for
    // waits; then back to frame 45, and lets go. The decoder free, frame 45
    // shows again: a frame that showed before, then another in between, is
    // new to the picture.
    TEST_P(MovieScrubsGLTest, AScrubBackToTheFrameShownBeforeShowsItAgain)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(showsPaused()) << "the movie never showed";
        const auto& position = source->getPositionParam();
        position->setUserState(ParamBase::UserState_Editing);
        handAt(45);
        ASSERT_TRUE(showsFrame(45, hostMs)) << "frame 45 never showed (showing " << shown << ")";
        for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        ASSERT_EQ(shown, 45);

        gate.setOpen(false);
        handAt(20);
        awaitPass();
        ASSERT_TRUE(seeksLand()) << "the seek to frame 20 never landed";
        ASSERT_TRUE(showsFrame(20, hostMs)) << "frame 20 never showed (showing " << shown << ")";

        handAt(45);
        awaitPass();
        position->setUserState(ParamBase::UserState_None);
        ASSERT_FALSE(HasFatalFailure());
        gate.setOpen(true);
        ASSERT_TRUE(seeksLand()) << "the seek to frame 45 never landed";
        EXPECT_TRUE(showsFrame(45, hostMs)) << "frame 45 never showed again (showing " << shown << ")";
    }

    // Paused, the user's hand takes the play head to frame 45 and rests
    // there; its seek, held in the gate, lands (at random on key frame 40),
    // and a render takes that frame before the DataDriver reads again. The
    // hand resting, frame 45 is sought exactly and shows.
    TEST_P(MovieScrubsGLTest, AHandRestingAfterItsKeyFrameShowedBringsItsOwnFrame)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(showsPaused()) << "the movie never showed";
        PassHolder holder;
        driver.addSource(&holder);
        struct Unregister
        {
            PassHolder& holder;
            VideoSourceDataDriver& driver;
            ~Unregister()
            {
                holder.letGo();
                driver.removeSource(&holder);
            }
        } unregister{holder, driver};
        source->getPositionParam()->setUserState(ParamBase::UserState_Editing);
        gate.setOpen(false);
        handAt(45);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "the hand's seek never ran";
        ASSERT_TRUE(holder.hold(watchdog)) << "the DataDriver was never held";
        gate.setOpen(true);
        VideoFormatReader* reader = source->getVideoFormatReader();
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        while (reader->isAwaitingFrame() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        ASSERT_FALSE(reader->isAwaitingFrame()) << "the hand's seek never landed";
        look();
        ASSERT_FALSE(HasFatalFailure());
        holder.letGo();
        EXPECT_TRUE(showsFrame(45, hostMs)) << "frame 45 never showed (showing " << shown << ")";
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieScrubsGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
