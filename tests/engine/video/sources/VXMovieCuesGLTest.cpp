// A movie with one key frame in 250 played forwards by the engine's timeline,
// fed by the DataDriver thread, silent (self-timed player) and with sound
// (seeking reader), cued twice in quick succession as a VJ does: to frame 240
// (cue A) and, while cue A's seek waits on the decoder, to frame 20 (cue B).
// The decoder is let through frame by frame, so the test does not depend on
// how fast the machine decodes: cue B is acted on at once, cue A's seek is
// dropped, and with cue A's seek landing no frame but cue B's shows. Each
// render is judged once: in the direction of play the picture is never
// beyond the play head's frame and never goes back, except as far as the play
// head jumped.

#include "VXMovieBarsPlayback.h"

#include "support/VXFrameGate.h"

namespace vx::test
{
    namespace
    {
        struct SoundCase
        {
            const char* name;
            bool sound;
        };

        class MovieCuesGLTest : public MovieBarsGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (! HasFatalFailure() && ! IsSkipped())
                    load(GetParam().sound, playForward);
            }

            // The picture may go on from the play head's frame.
            void turn(bool toForward) { direct(toForward ? playForward : playBackward); }
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
        gate.setOpen(false);
        // The decoder decodes ahead of the play head into the gate.
        for (int i = 0; i < 25 && ! gate.awaitWaiter(std::chrono::milliseconds(100)); ++i)
            tick(hostMs);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "the decoder was never held";
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

    // Played forwards from frame 10, the play head is sent to frame 18 and
    // that seek is held as it lands; the play head runs on to frame 20 and
    // turns backwards. Moving down, the play head has left frame 18 behind:
    // a seek to its own frame is asked at once, frame 18 never shows (it
    // lands while that seek runs), and the picture follows the play head
    // down.
    TEST_P(MovieCuesGLTest, ATurnToBackwardsWhileASeekOfForwardPlayRunsNeverShowsThatSeeksFrame)
    {
        FrameGate& gate = FrameGate::get();
        cue(10);
        ASSERT_TRUE(showsBy(10, 0.0)) << "the first frame never showed";
        for (int i = 0; i < 4 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        ASSERT_FALSE(HasFatalFailure());
        FrameGate::Use use;
        gate.setOpen(false);
        for (int i = 0; i < 25 && ! gate.awaitWaiter(std::chrono::milliseconds(100)); ++i)
            tick(hostMs);
        ASSERT_TRUE(gate.awaitWaiter(watchdog)) << "the decoder was never held";
        ASSERT_FALSE(HasFatalFailure());

        cue(18);
        tick(hostMs);
        // The frame decoding ahead passes; the seek to frame 18 runs and
        // waits with its frame.
        ASSERT_TRUE(gate.passOne(watchdog)) << "the seek to frame 18 never ran";
        for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        turn(false);
        tick(hostMs);
        awaitPass();
        // The seek to frame 18 lands (its frame decoded before it was left
        // behind); the one to the play head's frame runs and waits with its
        // frame while renders come.
        ASSERT_TRUE(gate.passOne(watchdog)) << "the play head's frame was not asked for";
        for (int i = 0; i < 3 && ! HasFatalFailure(); ++i)
            tick(0.0);
        ASSERT_FALSE(HasFatalFailure());
        gate.admit(1);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "the play head's frame never showed (showing " << shown << ")";
        ASSERT_FALSE(HasFatalFailure());

        gate.setOpen(true);
        for (int i = 0; i < 20 && ! HasFatalFailure(); ++i)
            tick(hostMs);
        EXPECT_TRUE(showsBy(headFrame(), 0.0)) << "never came to the play head's frame";
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieCuesGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
