// The rules a movie's seeks keep to, one scripted case each, where a seeded
// run meets the fault only by chance: a movie with long key-frame groups
// played by the engine's timeline, fed by the DataDriver thread, silent
// (self-timed player) or with sound (seeking reader), its decoder held in the
// frame gate so that a seek lands where the case says. Each render is judged
// once: in the direction of play never beyond the play head's frame and never
// back, except as far as the play head jumped; at random never beyond it.

#include "VXMovieBarsPlayback.h"

#include "engine/behaviours/VXBehaviourTimeline.h"
#include "support/VXFrameGate.h"

namespace vx::test
{
    namespace
    {
        // A seek to the last frames of the long group decodes long.
        constexpr BarsClip twoGroups{270, 250}, oneLongGroup{1000, 1000};

        class MovieSeekRulesGLTest : public MovieBarsGLTest
        {
        protected:
            void TearDown() override
            {
                FrameGate::get().setOpen(true);
                MovieBarsGLTest::TearDown();
            }

            // The clip loaded and played as given from frame n, once shown.
            void start(bool sound, ParamPlayDirection direction, long n, BarsClip clip = twoGroups)
            {
                load(sound, direction, clip);
                ASSERT_FALSE(HasFatalFailure());
                cue(n);
                ASSERT_TRUE(showsBy(n, 0.0)) << "the first frame never showed";
            }

            // The silent clip played forwards from frame n, once shown, for
            // ten host frames, then the decoder held while it decodes ahead
            // (the gate in use); false when either never was.
            bool playsOnThenHoldsTheDecoder(long n)
            {
                start(false, playForward, n);
                for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
                    tick(hostMs);
                return ! HasFatalFailure() && holdDecodingAhead() && ! HasFatalFailure();
            }

            VideoFormatReader& reader() { return *source->getVideoFormatReader(); }

            // Lets the held decoder through frame by frame, no render
            // coming, until the reader asked for frame n has taken its frame
            // in, the watchdog at most.
            void takesIn(long n)
            {
                FrameGate& gate = FrameGate::get();
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while ((reader().getCurrentFrame() != n || reader().isAwaitingFrame()) &&
                       std::chrono::steady_clock::now() < giveUp)
                {
                    if (gate.waiters() > 0)
                    {
                        gate.admit(1);
                        gate.awaitAdmitted(watchdog);
                    }
                    advance(0.0);
                }
            }

            // Lets the held decoder through frame by frame until the play
            // head's frame is decoded.
            void letThroughToPlayHead()
            {
                FrameGate& gate = FrameGate::get();
                const auto giveUp = std::chrono::steady_clock::now() + watchdog;
                while (reader().isCatchingUp() && std::chrono::steady_clock::now() < giveUp)
                {
                    if (gate.waiters() > 0)
                    {
                        gate.admit(1);
                        gate.awaitAdmitted(watchdog);
                    }
                    else
                        std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
            }
        };
    }

    // Played forwards, a silent movie is cued back to frame 980 (a seek
    // decoding from the key frame at 0) and cued there again at every host
    // frame while that seek runs, as a pad held down retriggers: the seek
    // asked again for its own frame runs on, reaches its frame, and the frame
    // shows once let out.
    TEST_F(MovieSeekRulesGLTest, ACueRetriggeredWhileItsSeekRunsLandsWithoutStartingOver)
    {
        start(false, playForward, 990, oneLongGroup);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(holdDecodingAhead()) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());

        cue(980);
        tick(0.0);
        // The frame decoding ahead passes; the seek runs.
        gate.admit(1);
        ASSERT_TRUE(gate.awaitAdmitted(watchdog));
        int asks = 0;
        // A seek decodes these frames in a second or two on a busy machine;
        // one given up and started again never reaches its frame.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (gate.waiters() == 0 && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
        {
            advance(msPerFrame);
            cue(980);
            tick(0.0);
            ++asks;
        }
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_GT(gate.waiters(), 0) << "asked again " << asks << " times, the seek never reached its frame";
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(980, 0.0)) << "the cue's frame never showed (showing " << shown << ")";
    }

    // Played forwards, a silent movie is cued back a few frames from the
    // frame shown, into the group before (the frames decoded since the
    // start are kept, and one of them would show without a decode), and
    // that seek is held with its frame; the play head is
    // then cued up exactly onto the frame shown. The frames below it are left
    // behind: the frame held never shows, the picture goes on from the frame
    // shown.
    TEST_F(MovieSeekRulesGLTest, APlayHeadBackExactlyOnTheFrameShownWhileASeekIsHeldLeavesTheFramesBelowBehind)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(playsOnThenHoldsTheDecoder(252)) << "frame 252 never showed or the decoder was never held";

        const long left = shown;
        cue(std::min(left - 6, 248L));
        tick(0.0);
        ASSERT_TRUE(gate.passOne(watchdog)) << "the seek back never ran";
        cue(left);
        tick(0.0);
        bound = left;
        gate.setOpen(true);
        for (int i = 0; i < 4 && ! HasFatalFailure(); ++i)
            tick(0.0);
        EXPECT_TRUE(showsBy(left, 0.0)) << "the picture did not go on from the frame shown (showing " << shown << ")";
        for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
    }

    // A silent movie played forwards whose player's clock runs 50 ms ahead
    // of the host's frame times reaches its end with the play head in its
    // last frame. Its decoder let through to each frame the play head comes
    // to, every frame shows in turn, the last one too, before the wrap takes
    // the picture to frame 0.
    TEST_F(MovieSeekRulesGLTest, ASelfTimedMovieWhoseClockRunsAheadShowsItsLastFrameBeforeTheWrap)
    {
        start(false, playForward, 262);
        ASSERT_FALSE(HasFatalFailure());
        clock.seconds = clock.seconds.load() + 0.05;
        FrameGate::Use use;
        FrameGate::get().setOpen(false);
        for (long n = 263; n < twoGroups.frames && ! HasFatalFailure(); ++n)
        {
            advance(msPerFrame);
            ASSERT_EQ(headFrame(), n);
            letThroughToPlayHead();
            look();
            ASSERT_FALSE(HasFatalFailure());
            ASSERT_EQ(shown, n) << "frame " << n << " did not show in turn";
        }
        advance(msPerFrame);
        ASSERT_EQ(headFrame(), 0) << "the play head did not wrap";
        bound = 0;
        FrameGate::get().setOpen(true);
        EXPECT_TRUE(showsBy(0, 0.0)) << "frame 0 never showed after the wrap (showing " << shown << ")";
    }

    // A silent movie loaded playing forwards, each picture decoded slowly:
    // its first frame comes by the player's own seek from frame 0 once
    // opened, not by one the reader asked. Until that frame is decoded the
    // reader says it catches up; the render after shows it.
    TEST_F(MovieSeekRulesGLTest, ASelfTimedMovieJustOpenedCatchesUpUntilItsFirstFrameIsDecoded)
    {
        FrameGate::Use use;
        FrameGate::get().setPace(std::chrono::milliseconds(300));
        load(false, playForward);
        ASSERT_FALSE(HasFatalFailure());
        // The render that initialises the source reads its first frame.
        look();
        awaitPass();
        letThroughToPlayHead();
        look();
        EXPECT_EQ(shown, 0) << "the reader no longer caught up, yet its first frame did not show";
    }

    // As above, rendered at 50 Hz, faster than the movie's 25 frames a
    // second: each frame, the last one too, stays up for both of its
    // renders; frame 0 shows only once the play head has wrapped.
    TEST_F(MovieSeekRulesGLTest, ASelfTimedMovieRenderedFasterThanItsFramesKeepsItsLastFrameUpForItsWholeTime)
    {
        start(false, playForward, 262);
        ASSERT_FALSE(HasFatalFailure());
        clock.seconds = clock.seconds.load() + 0.05;
        FrameGate::Use use;
        FrameGate::get().setOpen(false);
        int renders = 0;
        for (long last = headFrame(); ! HasFatalFailure(); ++renders)
        {
            advance(hostMs);
            if (headFrame() < last)
                break;
            last = headFrame();
            letThroughToPlayHead();
            look();
            ASSERT_FALSE(HasFatalFailure());
            ASSERT_EQ(shown, last) << "frame " << last << " was not up for its whole time";
        }
        EXPECT_EQ(renders, 2 * (twoGroups.frames - 262) - 1) << "the play head did not wrap after the last frame";
        bound = 0;
        FrameGate::get().setOpen(true);
        EXPECT_TRUE(showsBy(0, 0.0)) << "frame 0 never showed after the wrap (showing " << shown << ")";
    }

    // At random, a silent movie shows frame 262, decoded on from key frame
    // 250; the play head is cued to frame 253 (kept, not shown yet), that
    // seek held with its frame, then to frame 252 below it (kept, not shown
    // either: its seek waits on the decoder too). Frame 253 landing lies
    // between the frame shown and the play head but beyond the play head: it
    // never shows.
    TEST_F(MovieSeekRulesGLTest, AtRandomAFrameLandedOneBeyondThePlayHeadNeverShows)
    {
        // At random the seek to 260 may stop at key frame 250; the one to 262
        // decodes on from there to its frame.
        start(false, playRandom, 260);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        cue(262);
        const auto giveUp = std::chrono::steady_clock::now() + watchdog;
        while (shown != 262 && ! HasFatalFailure() && std::chrono::steady_clock::now() < giveUp)
            tick(0.0);
        ASSERT_EQ(shown, 262) << "the seek on from the key frame did not land on its frame";
        FrameGate::Use use;
        gate.setOpen(false);

        cue(253);
        tick(0.0);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "the seek to frame 253 never ran";
        cue(252);
        tick(0.0);
        gate.admit(1);
        ASSERT_TRUE(gate.awaitAdmitted(watchdog));
        for (int i = 0; i < 4 && ! HasFatalFailure(); ++i)
            tick(0.0);
        ASSERT_FALSE(HasFatalFailure());
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(252, 0.0)) << "the play head's frame (or a sync frame before it) never showed";
    }

    // Played forwards, a silent movie's decoder is held with the frames
    // after the play head's decoded ahead; the play head moves on a frame
    // (read, not rendered), the player's clock runs on half a frame into
    // the frame after it, and the movie turns to random play there. The
    // render takes the picture at the player's clock: that frame, decoded
    // and exactly one beyond the play head's, never shows.
    TEST_F(MovieSeekRulesGLTest, AtRandomTheFrameDecodedOneBeyondThePlayHeadNeverShows)
    {
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(playsOnThenHoldsTheDecoder(252)) << "frame 252 never showed or the decoder was never held";
        // The player's clock is a quarter of a frame behind the play head (its
        // seek went to the start of the frame cued to a quarter into): the
        // play head a quarter into its frame, the clock at its start.
        const double into = source->getPosition() / msPerFrame - headFrame();
        if (into > 0.5)
            advance(hostMs);
        advance(msPerFrame);
        const long head = headFrame();
        clock.seconds = clock.seconds.load() + 1.5 * msPerFrame / 1000.0;
        direct(playRandom);
        drainMessages();
        look();
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(headFrame(), head);
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(head, 0.0)) << "the play head's frame (or a sync frame before it) never showed";
    }

    // Played forwards with sound, the movie is cued on to frame 262, the
    // frame lands and the feeding thread takes it; before a render uploads it
    // the play head is cued back to 256, between the frame shown and 262.
    // Frame 262, taken for the earlier seek, is off the way to 256 and never
    // shows.
    TEST_F(MovieSeekRulesGLTest, WithSoundAFrameTakenForASeekThePlayHeadLeftNeverShows)
    {
        start(true, playForward, 252);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        ASSERT_TRUE(holdDecodingAhead()) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_LT(shown, 256);

        // The reader, held on a seek of forward play, takes frame 262 in.
        cue(262);
        takesIn(262);
        ASSERT_EQ(reader().getCurrentFrame(), 262);
        ASSERT_FALSE(reader().isAwaitingFrame()) << "the frame landed was never taken";
        cue(256);
        tick(0.0);
        ASSERT_FALSE(HasFatalFailure());
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(256, 0.0)) << "the second cue's frame never showed (showing " << shown << ")";
    }

    // Played backwards with sound from frame 240, the play head is cued up
    // to frame 265, in the next group; then, as when decoding only just
    // keeps up with play, each frame's seek lands and is taken in by the
    // feeding thread only just before the play head moves down to the next
    // frame, whose seek is held. Each frame taken lies between the play head
    // and the cue's frame: the picture follows the play head down from the
    // cue rather than stand on the frame from before it until the play head
    // comes down past that.
    TEST_F(MovieSeekRulesGLTest, WithSoundPlayedBackwardsACueUpShowsFramesTakenOneSeekLate)
    {
        start(true, playBackward, 240);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        gate.setOpen(false);
        const long before = shown;
        cue(265);
        for (int step = 0; step < 8 && ! HasFatalFailure(); ++step)
        {
            takesIn(headFrame());
            ASSERT_FALSE(reader().isAwaitingFrame()) << "the frame of " << headFrame() << " was never taken";
            advance(msPerFrame);
            look();
        }
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_GT(shown, before) << "the picture stood on the frame from before the cue";
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "the play head's frame never showed (showing " << shown << ")";
    }

    // A silent movie of predicted frames told to play backwards follows the
    // play head down by a seek to each frame, from frame 990 at half speed
    // (each seek decodes from the key frame at 0). A seek under way whose
    // frame lies on the way down is not given up for the frames asked after
    // it: one reaches its frame before the play head has gone 120 frames.
    TEST_F(MovieSeekRulesGLTest, FollowedDownByASeekToEachFrameASeekOnTheWayReachesItsFrame)
    {
        start(false, playPause, 990, oneLongGroup);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate& gate = FrameGate::get();
        FrameGate::Use use;
        gate.setOpen(false);
        auto timeline = std::dynamic_pointer_cast<BehaviourTimeline>(source->getTimeline());
        ASSERT_NE(timeline, nullptr);
        timeline->getSpeedParam()->setValue(0.5, ValueChangeInfo());
        direct(playBackward);
        while (gate.waiters() == 0 && headFrame() > 870 && ! HasFatalFailure())
            tick(msPerFrame);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_GT(gate.waiters(), 0) << "no seek reached its frame while the play head went down to " << headFrame();
        gate.setOpen(true);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "the play head's frame never showed (showing " << shown << ")";
    }
}
