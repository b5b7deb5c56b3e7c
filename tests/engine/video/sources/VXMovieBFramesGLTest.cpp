// A movie made as the ffmpeg tool makes H.264 by default (B-frames, so each
// key frame is decoded two frames before it shows; one key frame in 250),
// paused, silent (self-timed player) and with sound (seeking reader). A cue a
// few frames on from the frame shown, up to the one just before the next key
// frame, decodes on from the frame shown: not its group again from the key
// frame, nor from the next key frame first.

#include "VXMovieBarsPlayback.h"

#include <string>
#include <vector>

namespace vx::test
{
    namespace
    {
        struct BFramesCase
        {
            SoundCase reader;
            long target;
        };

        class MovieBFramesGLTest : public MovieBarsGLTest, public ::testing::WithParamInterface<BFramesCase>
        {
        protected:
            void SetUp() override
            {
                MovieBarsGLTest::SetUp();
                if (HasFatalFailure() || IsSkipped())
                    return;
                const bool sound = GetParam().reader.sound;
                ClipSpec clip = barsClipSpec(BarsClip{280, 250, 320, 180}, sound);
                clip.codec = "-c:v libx264 -g 250 -keyint_min 250 -sc_threshold 0 -pix_fmt yuv420p";
                const std::string path = temp.file(sound ? "sound.mov" : "silent.mov");
                ASSERT_TRUE(makeClip(path, clip));
                open(path, driver, sound, clip.frames);
                ASSERT_FALSE(HasFatalFailure());
                direct(playPause);
                source->start(false, TimeUnit());
            }
        };

        TEST_P(MovieBFramesGLTest, ACueAFewFramesOnDecodesOnFromTheFrameShown)
        {
            FrameGate& gate = FrameGate::get();
            FrameGate::Use use;
            constexpr long from = 240;
            const long target = GetParam().target;
            cue(from);
            ASSERT_TRUE(showsFrame(from)) << "frame " << from << " never showed";
            gate.setPace(std::chrono::milliseconds(1));
            cue(target);
            ASSERT_TRUE(showsFrame(target)) << "frame " << target << " never showed";
            std::string frames;
            for (const FrameGate::Decoded& picture : gate.decoded())
                frames += " " + std::to_string(picture.frame);
            for (const FrameGate::Decoded& picture : gate.decoded())
                ASSERT_GT(picture.frame, from) << "decoded:" << frames;
        }

        INSTANTIATE_TEST_SUITE_P(
            Cues, MovieBFramesGLTest,
            ::testing::Values(BFramesCase{{"Silent", false}, 247}, BFramesCase{{"Silent", false}, 248},
                              BFramesCase{{"Silent", false}, 249}, BFramesCase{{"WithSound", true}, 247},
                              BFramesCase{{"WithSound", true}, 248}, BFramesCase{{"WithSound", true}, 249}),
            [](const auto& info)
            { return std::string(info.param.reader.name) + "To" + std::to_string(info.param.target); });
    }
}
