// A movie with one key frame in 250 played forwards by the engine's timeline,
// fed by the DataDriver thread, silent (self-timed player) and with sound
// (seeking reader), then turned backwards or dragged down by the user's hand
// over the frames it just played. The decoder is held in the frame gate: no
// frame is converted, so what shows comes from the pictures the movie kept.
// Each render is judged once: in the direction of play the picture is never
// beyond the play head's frame and never goes back.

#include "VXMovieBarsPlayback.h"

#include "core/parameters/VXParamBase.h"

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
            // on the way, then the decoder held while it decodes ahead; the
            // play head's frame then.
            long playsThenHoldsTheDecoder()
            {
                cue(170);
                if (! showsBy(170, 0.0))
                    return -1;
                while (headFrame() < 220 && ! HasFatalFailure())
                    tick(hostMs);
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

    INSTANTIATE_TEST_SUITE_P(Readers, MovieKeptFramesGLTest,
                             ::testing::Values(SoundCase{"Silent", false}, SoundCase{"WithSound", true}),
                             [](const auto& info) { return std::string(info.param.name); });
}
