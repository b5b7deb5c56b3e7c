// Real movies through the FFmpeg backend, made by the ffmpeg tool from
// frames whose luma carries their index: frame-exact seeks in a long-GOP
// movie with sound, self-timed play without corrective seeks, written movies
// checked by ffprobe and read back, 16-bit ramps through ProRes 4444. A codec
// the build lacks skips its case, saying so.

#include "core/VXFile.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatReader.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatWriter.h"
#include "engine/video/formats/avfoundation/VXAVPlayback.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "support/VXLogRecorder.h"
#include "support/VXMovieClips.h"
#include "support/VXTempDir.h"
#include "support/gl/VXGLTestFixture.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <thread>

namespace vx::test
{
    namespace
    {
        // 64 x 32 frames, luma 16 + 4k in frame k, at 25 fps.
        bool makeMovie(const std::string& path, double seconds, const std::string& videoCodec, bool sound)
        {
            std::ostringstream command;
            command << "ffmpeg -v error -y -f lavfi -i \"color=c=black:s=64x32:r=25:d=" << seconds
                    << ",format=yuv420p,geq=lum='16+4*N':cb=128:cr=128\"";
            if (sound)
                command << " -f lavfi -i \"sine=frequency=440:duration=" << seconds << "\" -c:a pcm_s16le";
            command << " " << videoCodec << " \"" << path << "\" 2>&1";
            return std::system(command.str().c_str()) == 0 && File(path).exists();
        }

        int greyOf(long k)
        {
            return static_cast<int>(std::lround(4 * k * 255.0 / 219.0));
        }

        class AVFFFmpegGLTest : public GLTest
        {
        protected:
            TempDir dir;
            AVFVideoFormat format;

            // Uploads until the reader has the frame of its last seek (half a
            // minute is only the watchdog: a loaded machine decodes slowly).
            static bool waitForTexture(VideoFormatReader& reader, Texture& texture)
            {
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (std::chrono::steady_clock::now() < giveUp)
                {
                    if (reader.updateTexture(&texture))
                        return true;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                return reader.updateTexture(&texture);
            }
        };

        TEST_F(AVFFFmpegGLTest, LongGOPMovieWithSoundSeeksFrameExactly)
        {
            if (! hasFFmpegEncoder("libx264"))
                GTEST_SKIP() << "ffmpeg has no libx264 encoder";
            const std::string path = dir.file("long.mov");
            ASSERT_TRUE(makeMovie(path, 2.0, "-c:v libx264 -g 250 -bf 2 -preset ultrafast", true));
            std::unique_ptr<VideoFormatReader> reader(format.createReaderFor(File(path)));
            ASSERT_NE(dynamic_cast<AVFVideoFormatReader*>(reader.get()), nullptr);
            EXPECT_TRUE(reader->getHasAudio());
            EXPECT_EQ(reader->getTotalFrames(), 50u);
            ASSERT_TRUE(reader->init(0, 0));
            Texture texture;
            for (long k : {0L, 1L, 13L, 37L, 49L, 20L, 5L, 6L})
            {
                reader->readFrame(k * 40.0 + 20.0);
                ASSERT_TRUE(waitForTexture(*reader, texture)) << "frame " << k;
                const std::vector<PixelRGBA8> pixels = readTexture(GL_TEXTURE_RECTANGLE_ARB, texture.getGLName());
                ASSERT_FALSE(pixels.empty());
                const long found = std::lround(pixels[pixels.size() / 2].g / (4 * 255.0 / 219.0));
                EXPECT_EQ(found, k) << "grey " << int(pixels[pixels.size() / 2].g) << ", expected about " << greyOf(k);
            }
            reader->release();
        }

        struct SelfTimedCase
        {
            const char* name;
            const char* encoder;
            const char* options;
            const char* codecName;
        };
        class AVFSelfTimedFFmpegTest : public AVFFFmpegGLTest, public ::testing::WithParamInterface<SelfTimedCase>
        {
        };

        TEST_P(AVFSelfTimedFFmpegTest, SteadyPlaySeeksNothingAJumpSeeksOnce)
        {
            const SelfTimedCase& c = GetParam();
            if (! hasFFmpegEncoder(c.encoder))
                GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
            const std::string path = dir.file("silent.mov");
            ASSERT_TRUE(makeMovie(path, 4.0, c.options, false));
            std::unique_ptr<VideoFormatReader> reader(format.createReaderFor(File(path)));
            ASSERT_NE(reader, nullptr);
            EXPECT_FALSE(reader->getHasAudio());
            EXPECT_EQ(reader->getCodecName(), c.codecName);
            ASSERT_TRUE(reader->init(0, 0));

            struct Clock final : av::HostClock
            {
                double seconds = 50.0;
                double getSeconds() const override { return seconds; }
            } clock;
            av::HostClock::setCurrent(&clock);
            AVFPlayer::lastSeekTime = 0.0;
            ::testing::internal::CaptureStdout();
            Texture texture;
            for (int k = 0; k < 50; ++k)
            {
                reader->readFrame(k * 40.0 + 20.0);
                reader->updateTexture(&texture);
                clock.seconds += 0.04;
            }
            const std::string steady = ::testing::internal::GetCapturedStdout();
            EXPECT_EQ(steady.find("frames to seek"), std::string::npos) << steady;

            ::testing::internal::CaptureStdout();
            reader->readFrame(75 * 40.0 + 20.0);
            clock.seconds += 0.04;
            reader->readFrame(76 * 40.0 + 20.0);
            const std::string jump = ::testing::internal::GetCapturedStdout();
            av::HostClock::setCurrent(nullptr);
            EXPECT_NE(jump.find("frames to seek: 25.000"), std::string::npos) << jump;
            EXPECT_EQ(jump.find("frames to seek"), jump.rfind("frames to seek")) << jump;
            reader->release();
        }

        INSTANTIATE_TEST_SUITE_P(
            Codecs, AVFSelfTimedFFmpegTest,
            ::testing::Values(SelfTimedCase{"MPEG4", "mpeg4", "-c:v mpeg4 -g 12 -q:v 3", "AVF MPEG-4 2"},
                              SelfTimedCase{"ProRes", "prores_ks", "-c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le",
                                            "AVF PRORES HQ"}),
            [](const auto& info) { return std::string(info.param.name); });

        struct WrittenCase
        {
            const char* name;
            const char* codec;
            const char* encoder;
            const char* tag;
            const char* codecName;
        };
        class AVFWrittenMovieTest : public AVFFFmpegGLTest, public ::testing::WithParamInterface<WrittenCase>
        {
        };

        TEST_P(AVFWrittenMovieTest, FramesAreStampedNOverFpsAndReadBack)
        {
            const WrittenCase& c = GetParam();
            if (! hasFFmpegEncoder(c.encoder))
                GTEST_SKIP() << "ffmpeg has no " << c.encoder << " encoder";
            const std::string path = dir.file("written.mov");
            VideoCodecSettings settings;
            settings.fourCC = CodecFourCC(av::fourCharCode(*reinterpret_cast<const char(*)[5]>(c.codec)));
            File file(path);
            std::unique_ptr<VideoFormatWriter> writer(format.createWriterFor(file, 25.0, 4, 32, 16, 0, settings));
            ASSERT_NE(writer, nullptr);
            for (int n = 0; n < 10; ++n)
            {
                auto frame = std::make_shared<Pixels>(32, 16, 4, nullptr);
                for (int i = 0; i < frame->dataSize; ++i)
                    frame->data[i] = static_cast<unsigned char>(20 * n);
                while (writer->isBusy())
                    std::this_thread::yield();
                ASSERT_TRUE(writer->writeFromPixels(frame)) << n;
            }
            static_cast<AVFVideoFormatWriter&>(*writer).finishWriting();

            const std::string probe = captureCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                              "stream=codec_tag_string,nb_frames -of default=nw=1 \"" +
                                              path + "\"");
            EXPECT_NE(probe.find(std::string("codec_tag_string=") + c.tag), std::string::npos) << probe;
            EXPECT_NE(probe.find("nb_frames=10"), std::string::npos) << probe;
            const std::string times = captureCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time "
                                              "-of csv=p=0 \"" +
                                              path + "\" | sort -g");
            std::istringstream lines(times);
            int n = 0;
            for (double t; lines >> t; ++n)
                EXPECT_NEAR(t, n / 25.0, 1e-6) << n;
            EXPECT_EQ(n, 10) << times;

            std::unique_ptr<VideoFormatReader> reader(format.createReaderFor(File(path)));
            ASSERT_NE(reader, nullptr);
            EXPECT_EQ(reader->getCodecName(), c.codecName);
            EXPECT_EQ(reader->getTotalFrames(), 10u);
        }

        INSTANTIATE_TEST_SUITE_P(Codecs, AVFWrittenMovieTest,
                                 ::testing::Values(WrittenCase{"ProRes4444", "apch", "prores_ks", "ap4h",
                                                               "AVF PRORES SD"},
                                                   WrittenCase{"ProRes422", "apcn", "prores_ks", "apcn", "AVF "},
                                                   WrittenCase{"H264", "h264", "libx264", "avc1", "AVF h264"},
                                                   WrittenCase{"MJPEG", "jpeg", "mjpeg", "jpeg", "AVF MJPEG"}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(AVFFFmpegGLTest, SixteenBitRampsSurviveProRes4444)
        {
            if (! hasFFmpegEncoder("prores_ks"))
                GTEST_SKIP() << "ffmpeg has no prores_ks encoder";
            const std::string path = dir.file("ramp.mov");
            VideoCodecSettings settings;
            settings.fourCC = CodecFourCC(av::fourCharCode("apch"));
            File file(path);
            std::unique_ptr<VideoFormatWriter> writer(format.createWriterFor(file, 25.0, 8, 64, 16, 0, settings));
            ASSERT_NE(writer, nullptr);
            auto frame = std::make_shared<Pixels>(64, 16, 8, nullptr);
            std::vector<std::uint16_t> expected(64 * 16 * 4);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 64; ++x)
                {
                    std::uint16_t* p = &expected[(y * 64 + x) * 4];
                    p[0] = static_cast<std::uint16_t>(x * 1040);
                    p[1] = static_cast<std::uint16_t>(32768);
                    p[2] = static_cast<std::uint16_t>(65535 - x * 1040);
                    p[3] = static_cast<std::uint16_t>(y * 4000 + 5000);
                }
            std::memcpy(frame->data, expected.data(), expected.size() * 2);
            ASSERT_TRUE(writer->write(frame));
            static_cast<AVFVideoFormatWriter&>(*writer).finishWriting();

            const std::string raw =
                captureCommand("ffmpeg -v error -i \"" + path + "\" -frames:v 1 -f rawvideo -pix_fmt rgba64le - 2>/dev/null");
            ASSERT_EQ(raw.size(), expected.size() * 2)
                << captureCommand("ffprobe -v error -show_streams \"" + path + "\" 2>&1");
            std::vector<std::uint16_t> decoded(expected.size());
            std::memcpy(decoded.data(), raw.data(), raw.size());
            // 10-bit samples through a YCbCr matrix: within about 1 %.
            int worst = 0;
            for (std::size_t i = 0; i < expected.size(); ++i)
                worst = std::max(worst, std::abs(int(decoded[i]) - int(expected[i])));
            EXPECT_LE(worst, 700);
        }

        // Intra-only movies play backwards by a seek per frame, long-GOP ones
        // by key-frame groups decoded once each: either way each step back
        // shows its own frame.
        TEST_F(AVFFFmpegGLTest, IntraOnlyAndLongGOPMoviesPlayBackwards)
        {
            if (! hasFFmpegEncoder("mjpeg") || ! hasFFmpegEncoder("libx264"))
                GTEST_SKIP() << "ffmpeg has no mjpeg or libx264 encoder";
            const std::string intraPath = dir.file("intra.mov"), longPath = dir.file("long.mp4");
            ASSERT_TRUE(makeMovie(intraPath, 2.0, "-c:v mjpeg -q:v 2", false));
            ASSERT_TRUE(makeMovie(longPath, 2.0, "-c:v libx264 -g 250 -preset ultrafast", false));
            for (const std::string& path : {intraPath, longPath})
            {
                SCOPED_TRACE(path);
                std::shared_ptr<av::Asset> asset = av::Asset::assetWithPath(path);
                ASSERT_TRUE(asset->getFacts().canPlayReverse);

                struct Clock final : av::HostClock
                {
                    double seconds = 50.0;
                    double getSeconds() const override { return seconds; }
                } clock;
                av::HostClock::setCurrent(&clock);
                auto item = std::make_shared<av::PlayerItem>(asset);
                std::shared_ptr<av::Player> player = av::Player::playerWithPlayerItem(item);
                av::PlayerItemVideoOutput output(av::pixelFormat422YpCbCr8);
                item->addOutput(&output);
                // Play resumes from where the seek landed when its completion
                // runs, which may come after its frame shows: the clock
                // moves once it has.
                auto landed = std::make_shared<std::atomic<bool>>(false);
                player->seekToTime(av::CMTimeMakeWithSeconds(1.62, 600), av::kCMTimeZero, av::kCMTimeZero,
                                   [landed](bool) { *landed = true; });
                player->setRate(-1.0f);
                const auto landsBy = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                while (! *landed && std::chrono::steady_clock::now() < landsBy)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                EXPECT_TRUE(*landed) << "the seek never completed";
                for (long k : {40L, 35L, 30L, 21L, 10L})
                {
                    clock.seconds = 50.0 + (40 - k) * 0.04;
                    long shown = -1;
                    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
                    while (shown != k && std::chrono::steady_clock::now() < giveUp)
                    {
                        const av::CMTime now = player->currentTime();
                        if (auto frame = output.copyPixelBufferForItemTime(now, nullptr))
                            shown = frame->frameIndex;
                        if (shown != k)
                            std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    }
                    EXPECT_EQ(shown, k);
                }
                item->removeOutput(&output);
                player.reset();
                av::HostClock::setCurrent(nullptr);
            }
        }

        TEST_F(AVFFFmpegGLTest, AnH264SizeTheEncoderRefusesIsAFailedSetUp)
        {
            if (! hasFFmpegEncoder("libx264"))
                GTEST_SKIP() << "ffmpeg has no libx264 encoder";
            VideoCodecSettings settings;
            settings.fourCC = CodecFourCC(av::fourCharCode("h264"));
            File file(dir.file("odd.mov"));
            std::unique_ptr<VideoFormatWriter> writer(format.createWriterFor(file, 25.0, 4, 15, 9, 0, settings));
            ASSERT_NE(writer, nullptr);
            LogRecorder log;
            EXPECT_FALSE(writer->writeFromPixels(std::make_shared<Pixels>(15, 9, 4, nullptr)));
            EXPECT_TRUE(log.contains("cannot start writing")) << log.dump();
        }

        TEST_F(AVFFFmpegGLTest, AMovFileThatIsNoMovieGivesNoReader)
        {
            const std::string path = dir.writeFile("text.mov", "this is no movie at all");
            EXPECT_EQ(format.createReaderFor(File(path)), nullptr);
        }
    }
}
