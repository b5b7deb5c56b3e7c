// A movie with one key frame in 250 played forwards by the engine's timeline,
// fed by the DataDriver thread, silent (self-timed player) and with sound
// (seeking reader), cued to frame 300 (cue A) and two host frames later to
// frame 400 (cue B), both in one key-frame group, as a VJ does, round after
// round. The decoder is held in the frame gate and let through a different
// number of frames between the two cues each round, so that cue B comes
// before cue A's seek started, while it decodes, as it lands and after it
// played on; in every other round a render comes before the DataDriver has
// read cue B. Each render is judged once: once cue B was asked, no frame
// before it shows.

#include "VXMovieBarsPlayback.h"

namespace vx::test
{
    namespace
    {
        constexpr long cueA = 300, cueB = 400;
        constexpr int frames = 520;
        constexpr int rounds = 50;

        class MovieCueAfterCueGLTest : public MovieBarsGLTest, public ::testing::WithParamInterface<SoundCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (HasFatalFailure() || IsSkipped())
                    return;
                load(GetParam().sound, playForward, BarsClip{frames, 250});
                path = temp.file(GetParam().sound ? "sound.mov" : "silent.mov");
            }

            // The movie opened afresh, started forwards: it keeps none of
            // the frames decoded before, so the decoder decodes them again.
            void reopen()
            {
                source->release();
                source.reset();
                open(path, driver, GetParam().sound, frames);
                ASSERT_FALSE(HasFatalFailure());
                direct(playForward);
                source->start(false, TimeUnit());
                shown = -1;
            }

            void TearDown() override
            {
                FrameGate::get().setOpen(true);
                MovieBarsGLTest::TearDown();
            }

            void cue(long n)
            {
                MovieBarsGLTest::cue(n);
                bound = n;
            }

            // Lets count frames out of the closed gate, one at a time, each
            // once a decoder waits for it; stops early when none comes.
            void letOut(int count)
            {
                FrameGate& gate = FrameGate::get();
                for (int i = 0; i < count && gate.awaitWaiter(std::chrono::milliseconds(200)); ++i)
                {
                    gate.admit(1);
                    ASSERT_TRUE(gate.awaitAdmitted(watchdog));
                }
            }

            std::string path;
        };
    }

    // Each round, on the movie opened afresh (one that kept the frames an
    // earlier round decoded would not decode ahead): played forwards from
    // frame 20, the decoder is held while it decodes ahead; cue A, a host
    // frame, the decoder let through `passed` frames (from none, cue A's
    // seek not started, to cue A's frame landed and the frames after it
    // decoded ahead), a host frame on which the DataDriver reads the next
    // frame, then cue B; the render takes that frame before the DataDriver
    // reads cue B (every other round) or after it. Then the decoder goes
    // free.
    TEST_P(MovieCueAfterCueGLTest, NoFrameOfTheCueLeftShowsOnceTheNewerOneWasAsked)
    {
        FrameGate& gate = FrameGate::get();
        for (int round = 0; round < rounds && ! HasFatalFailure(); ++round)
        {
            const int passed = round / 2 % 10;
            const bool renderFirst = round % 2 == 0;
            SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(passed) + " frames let through" +
                         (renderFirst ? ", cue B rendered before it was read" : ""));
            if (round > 0)
                reopen();
            ASSERT_FALSE(HasFatalFailure());
            FrameGate::Use use;
            cue(20);
            ASSERT_TRUE(showsBy(20, 0.0)) << "frame 20 never showed (showing " << shown << ")";
            for (int i = 0; i < 10 && ! HasFatalFailure(); ++i)
                tick(hostMs);
            ASSERT_TRUE(holdDecodingAhead()) << "the decoder was never held";
            ASSERT_FALSE(HasFatalFailure());

            cue(cueA);
            tick(hostMs);
            letOut(passed);
            advance(hostMs);
            if (! renderFirst)
                look();
            ASSERT_FALSE(HasFatalFailure());
            cue(cueB);
            look();
            tick(hostMs);
            ASSERT_FALSE(HasFatalFailure());
            gate.setOpen(true);
            EXPECT_TRUE(showsBy(cueB, hostMs)) << "cue B's frame never showed (showing " << shown << ")";
        }
    }

    INSTANTIATE_TEST_SUITE_P(Readers, MovieCueAfterCueGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
