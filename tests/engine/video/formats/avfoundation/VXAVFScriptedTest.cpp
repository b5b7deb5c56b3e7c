// The movie readers, player and writer over the scripted backend: which
// reader serves a movie, the muted mix, the self-timed player's drift
// correction and directions, seeks per frame, thumbnails, and the writer's
// stamps, codecs and queue.

#include "VXScriptedMediaBackend.h"

#include "core/VXFile.h"
#include "core/VXTime.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/avfoundation/VXAVFAssetWriter.h"
#include "engine/video/formats/avfoundation/VXAVFPixelLoops.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXAVFSelfTimedVideoFormatReader.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatReader.h"
#include "engine/video/formats/avfoundation/VXAVFVideoFormatWriter.h"
#include "engine/video/formats/avfoundation/VXOSXImageUtils.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace vx::test
{
    namespace
    {
        class AVFScriptedTest : public ::testing::Test
        {
        protected:
            ScriptedBackend backend;
            ManualClock clock;
            AVFVideoFormat format;

            std::unique_ptr<VideoFormatReader> open(const std::string& path)
            {
                return std::unique_ptr<VideoFormatReader>(format.createReaderFor(File(path)));
            }
        };

        TEST_F(AVFScriptedTest, MoviesWithSoundGetTheSeekingReaderMutedTheOthersTheSelfTimedOne)
        {
            backend.addMovie("/m/sound.mov", 2);
            backend.addMovie("/m/silent.mov", 0);
            auto withSound = open("/m/sound.mov");
            auto silent = open("/m/silent.mov");
            ASSERT_NE(dynamic_cast<AVFVideoFormatReader*>(withSound.get()), nullptr);
            ASSERT_NE(dynamic_cast<AVFSelfTimedVideoFormatReader*>(silent.get()), nullptr);
            EXPECT_TRUE(withSound->getHasAudio());
            EXPECT_EQ(withSound->getCodecName(), "scripted codec");
            EXPECT_EQ(withSound->getTotalFrames(), 1500u);
            // The first audio track at volume 0, once per reader made.
            const auto volumes = backend.volumes();
            ASSERT_FALSE(volumes.empty());
            for (const auto& volume : volumes)
                EXPECT_EQ(volume, std::make_pair(0, 0.0f));
        }

        TEST_F(AVFScriptedTest, UnplayableMoviesGiveNoReader)
        {
            backend.addMovie("/m/zero.mov").nominalFrameRate = 0.0f;
            backend.addMovie("/m/nan.mov").nominalFrameRate = std::nanf("");
            backend.addMovie("/m/novideo.mov").hasVideoTrack = false;
            backend.addMovie("/m/undecodable.mov").playable = false;
            LogRecorder log;
            for (const char* path :
                 {"/m/zero.mov", "/m/nan.mov", "/m/novideo.mov", "/m/undecodable.mov", "/m/missing.mov"})
                EXPECT_EQ(open(path), nullptr) << path;
            EXPECT_TRUE(log.contains("no usable frame rate")) << log.dump();
            AVFPlayer player("/m/zero.mov");
            EXPECT_FALSE(player.isValid());
        }

        struct CodecCase
        {
            const char* name;
            const char* subType;
            const char* codecName;
        };
        class AVFCodecNameTest : public AVFScriptedTest, public ::testing::WithParamInterface<CodecCase>
        {
        };

        TEST_P(AVFCodecNameTest, SelfTimedCodecNames)
        {
            const CodecCase& c = GetParam();
            const av::FourCharCode subType = av::fourCharCode(*reinterpret_cast<const char(*)[5]>(c.subType));
            backend.addMovie("/m/codec.mov", 0, subType);
            auto reader = open("/m/codec.mov");
            ASSERT_NE(reader, nullptr);
            EXPECT_EQ(reader->getCodecName(), c.codecName);
            EXPECT_EQ(reader->getFormatName(), "Media Foundation file");
        }

        INSTANTIATE_TEST_SUITE_P(
            Subtypes, AVFCodecNameTest,
            ::testing::Values(CodecCase{"avc1", "avc1", "AVF h264"}, CodecCase{"ap4h", "ap4h", "AVF PRORES SD"},
                              CodecCase{"apch", "apch", "AVF PRORES HQ"}, CodecCase{"jpeg", "jpeg", "AVF MJPEG"},
                              CodecCase{"mp4v", "mp4v", "AVF MPEG-4 2"}, CodecCase{"mp2v", "mp2v", "AVF MPEG-2"},
                              CodecCase{"mp1v", "mp1v", "AVF MPEG-1"}, CodecCase{"dvc", "dvc ", "AVF DVC"},
                              CodecCase{"unknown", "xxxx", "AVF "}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST_F(AVFScriptedTest, SelfTimedFacts)
        {
            backend.addMovie("/m/silent.mov");
            auto reader = open("/m/silent.mov");
            ASSERT_NE(reader, nullptr);
            EXPECT_TRUE(reader->isFlipped());
            EXPECT_EQ(reader->getTextureFormat(), nullptr); // adopted textures, never pooled ones
            EXPECT_DOUBLE_EQ(reader->getLength(), 60000.0);
            EXPECT_EQ(reader->getTotalFrames(), 1500u);
            EXPECT_EQ(reader->getTextureWidth(), 64);
            EXPECT_FALSE(reader->getHasAudio());
        }

        // A jump seeks once, to exactly the play head's frame: aimed ahead by
        // what a seek took before, a quicker seek lands ahead of the play head.
        TEST_F(AVFScriptedTest, SteadyPlayNeverSeeksAJumpSeeksOnceToThePlayHeadsFrame)
        {
            backend.addMovie("/m/silent.mov");
            auto reader = open("/m/silent.mov");
            ASSERT_NE(reader, nullptr);
            AVFPlayer::lastSeekTime = 250.0;
            for (int k = 0; k < 50; ++k)
            {
                ASSERT_TRUE(reader->readFrame(k * 40.0 + 20.0));
                clock.advance(0.04);
            }
            EXPECT_TRUE(backend.seeks().empty());
            ASSERT_FALSE(backend.rates().empty());
            EXPECT_EQ(backend.rates().back(), 1.0f);

            // 5 s ahead of what is showing.
            ::testing::internal::CaptureStdout();
            ASSERT_TRUE(reader->readFrame(50 * 40.0 + 5000.0 + 20.0));
            const std::string printed = ::testing::internal::GetCapturedStdout();
            EXPECT_NE(printed.find("frames to seek: 125.000"), std::string::npos) << printed;
            auto seeks = backend.seeks();
            ASSERT_EQ(seeks.size(), 1u);
            const double t = 175 * 0.04;
            EXPECT_NEAR(seeks[0].seconds, t, 1e-9);
            EXPECT_EQ(seeks[0].before, 0.0);
            EXPECT_EQ(seeks[0].after, 0.0);

            // None while it is pending as play moves on; a jump on seeks at
            // once, the newest request acted on.
            clock.advance(0.04);
            ASSERT_TRUE(reader->readFrame(176 * 40.0 + 20.0));
            EXPECT_EQ(backend.seeks().size(), 1u);
            ::testing::internal::CaptureStdout();
            ASSERT_TRUE(reader->readFrame(10000.0));
            ::testing::internal::GetCapturedStdout();
            EXPECT_EQ(backend.seeks().size(), 2u);

            // Completed from another thread; the next jump seeks again.
            ::testing::internal::CaptureStdout();
            std::thread([this] { backend.completeSeeks(); }).join();
            EXPECT_NE(::testing::internal::GetCapturedStdout().find("seeking took: "), std::string::npos);
            ::testing::internal::CaptureStdout();
            ASSERT_TRUE(reader->readFrame(30000.0));
            ::testing::internal::GetCapturedStdout();
            EXPECT_EQ(backend.seeks().size(), 3u);
        }

        TEST_F(AVFScriptedTest, PauseStopsAndSeeksToExactlyTheFrameRandomSeeksToAnEarlierSyncFrame)
        {
            backend.addMovie("/m/silent.mov");
            auto reader = open("/m/silent.mov");
            ASSERT_NE(reader, nullptr);
            ASSERT_TRUE(reader->readFrame(20.0));
            EXPECT_EQ(backend.rates().back(), 1.0f);
            reader->setPlaybackDirection(playPause);
            EXPECT_EQ(backend.rates().back(), 0.0f);
            ASSERT_TRUE(reader->readFrame(2020.0));
            EXPECT_FALSE(reader->readFrame(2030.0));
            EXPECT_EQ(backend.rates().back(), 0.0f);
            auto seeks = backend.seeks();
            ASSERT_EQ(seeks.size(), 1u);
            EXPECT_NEAR(seeks[0].seconds, 50 * 0.04, 1.0 / 60000.0);
            EXPECT_EQ(seeks[0].before, 0.0);
            EXPECT_EQ(seeks[0].after, 0.0);

            reader->setPlaybackDirection(playRandom);
            ASSERT_TRUE(reader->readFrame(4020.0));
            seeks = backend.seeks();
            ASSERT_EQ(seeks.size(), 2u);
            EXPECT_NEAR(seeks[1].seconds, 100 * 0.04, 1.0 / 60000.0);
            EXPECT_TRUE(std::isinf(seeks[1].before));
            EXPECT_EQ(seeks[1].after, 0.0);
            EXPECT_EQ(backend.rates().back(), 0.0f);
        }

        // Corrective seeks go to exactly the play head's frame, whatever this
        // movie's or another's last seek took.
        TEST_F(AVFScriptedTest, ASlowSeekOfOneMovieDoesNotMakeAnotherAimFurtherAhead)
        {
            backend.addMovie("/m/a.mov");
            backend.addMovie("/m/b.mov");
            auto quick = open("/m/a.mov");
            auto slow = open("/m/b.mov");
            ASSERT_NE(quick, nullptr);
            ASSERT_NE(slow, nullptr);
            AVFPlayer::lastSeekTime = 0.0;
            ::testing::internal::CaptureStdout();
            // The quick seek takes at most what is measured around it (a
            // loaded machine may stretch even that); the slow one 300 ms more.
            const double quickStarted = getTickCount();
            ASSERT_TRUE(quick->readFrame(5020.0));
            EXPECT_EQ(backend.completeSeeks(), 1);
            const double quickTookAtMost = getTickCount() - quickStarted;
            ASSERT_TRUE(slow->readFrame(5020.0));
            std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(quickTookAtMost + 300.0));
            EXPECT_EQ(backend.completeSeeks(), 1);

            ASSERT_TRUE(quick->readFrame(20020.0));
            ASSERT_TRUE(slow->readFrame(20020.0));
            ::testing::internal::GetCapturedStdout();
            const auto seeks = backend.seeks();
            ASSERT_EQ(seeks.size(), 4u);
            EXPECT_NEAR(seeks[2].seconds, 500 * 0.04, 1e-6);
            EXPECT_NEAR(seeks[3].seconds, 500 * 0.04, 1e-6);
        }

        TEST_F(AVFScriptedTest, BackwardIsRefusedWhereTheItemCannotPlayReverse)
        {
            backend.addMovie("/m/long.mov").canPlayReverse = false;
            backend.addMovie("/m/intra.mov", 0, av::fourCharCode("jpeg")).canPlayReverse = true;
            AVFPlayer longGop("/m/long.mov");
            AVFPlayer intra("/m/intra.mov");
            EXPECT_FALSE(longGop.setDirection(playBackward));
            EXPECT_TRUE(longGop.setDirection(playForward));
            EXPECT_TRUE(intra.setDirection(playBackward));
        }

        TEST_F(AVFScriptedTest, ReleasingWithASeekPendingRunsNoCompletionAfterwards)
        {
            backend.addMovie("/m/silent.mov");
            auto reader = open("/m/silent.mov");
            ASSERT_NE(reader, nullptr);
            ::testing::internal::CaptureStdout();
            ASSERT_TRUE(reader->readFrame(20.0));
            ASSERT_TRUE(reader->readFrame(9020.0));
            reader->release();
            reader.reset();
            // The completion would write into the deleted player.
            backend.completeSeeks();
            const std::string printed = ::testing::internal::GetCapturedStdout();
            EXPECT_EQ(printed.find("seeking took"), std::string::npos) << printed;
        }

        TEST_F(AVFScriptedTest, PlayingPastTheEndReturnsToZeroAndPlaysAgainOnTheNextRead)
        {
            backend.addMovie("/m/short.mov").durationSeconds = 2.0;
            AVFPlayer player("/m/short.mov");
            ASSERT_TRUE(player.isValid());
            player.setRequestedFrame(0);
            player.play();
            EXPECT_TRUE(player.isPlaying());
            clock.advance(3.0);
            // Asking where the movie is finds its end. The play head is in
            // the last frame: the player waits there, showing it.
            player.setRequestedFrame(49);
            EXPECT_TRUE(player.isPlaying());
            EXPECT_TRUE(backend.seeks().empty());
            // Once the play head has started over: back to zero, stopped.
            player.setRequestedFrame(1);
            EXPECT_FALSE(player.isPlaying());
            const auto seeks = backend.seeks();
            ASSERT_FALSE(seeks.empty());
            EXPECT_EQ(seeks.front().seconds, 0.0);
        }

        TEST_F(AVFScriptedTest, ImagesBecomePremultipliedPixelsTopRowFirst)
        {
            EXPECT_EQ(OSXImageUtils::NSImageToPixels(nullptr), nullptr);
            av::NSImage empty;
            EXPECT_EQ(OSXImageUtils::NSImageToPixels(&empty), nullptr);
            auto bitmap = std::make_shared<av::CGImage>();
            bitmap->width = 1;
            bitmap->height = 2;
            bitmap->rgba = {200, 100, 50, 255, 200, 100, 50, 51};
            av::NSImage image{bitmap};
            std::unique_ptr<Pixels> pixels(OSXImageUtils::NSImageToPixels(&image));
            ASSERT_NE(pixels, nullptr);
            const unsigned char expected[8] = {200, 100, 50, 255, 40, 20, 10, 51};
            EXPECT_EQ(std::memcmp(pixels->data, expected, 8), 0);
        }

        // To the frame's start: a position rounded to a time scale may fall
        // before the frame it is in.
        TEST_F(AVFScriptedTest, SeekingReaderSeeksOncePerNewFrameToItsStart)
        {
            backend.addMovie("/m/sound.mov", 1);
            auto reader = open("/m/sound.mov");
            ASSERT_NE(reader, nullptr);
            reader->readFrame(20.0);
            reader->readFrame(30.0); // the same frame
            reader->readFrame(1234.0);
            const auto seeks = backend.seeks();
            ASSERT_EQ(seeks.size(), 2u);
            EXPECT_DOUBLE_EQ(seeks[0].seconds, 0.0);
            EXPECT_DOUBLE_EQ(seeks[1].seconds, 30 * 0.04);
            EXPECT_EQ(seeks[1].before, 0.0);
            EXPECT_EQ(reader->getCurrentFrame(), 30);
        }

        TEST_F(AVFScriptedTest, ThumbnailsComeFromFivePercentInPremultiplied)
        {
            backend.addMovie("/m/sound.mov", 1);
            backend.addMovie("/m/silent.mov");
            for (const char* path : {"/m/sound.mov", "/m/silent.mov"})
            {
                auto reader = open(path);
                ASSERT_NE(reader, nullptr);
                EXPECT_TRUE(reader->hasCustomThumbnail());
                EXPECT_FALSE(reader->needsActiveOpenGLContextForCreationOfThumbnail());
                std::shared_ptr<Pixels> thumbnail = reader->getCustomThumbnail();
                ASSERT_NE(thumbnail, nullptr) << path;
                EXPECT_EQ(thumbnail->width, 64);
                EXPECT_EQ(thumbnail->bytesPerPixel, 4);
                // 3 s in at 25 fps is frame 75; red 75 at alpha 128 premultiplies to 38.
                EXPECT_EQ(thumbnail->data[0], 38) << path;
                EXPECT_EQ(thumbnail->data[3], 128);
            }
        }

        TEST(AVFPixelLoopsTest, ARGB64BigEndianRoundTripsThroughNativeRGBA)
        {
            const std::uint16_t rgba[8] = {1, 0x1234, 0xABCD, 0xFFFF, 0x8000, 2, 3, 4};
            unsigned char bytes[16];
            std::memcpy(bytes, rgba, 16);
            avf::rgba64ToARGB64BigEndianInPlace(bytes, 2);
            // Alpha first, most significant byte first.
            EXPECT_EQ(bytes[0], 0xFF);
            EXPECT_EQ(bytes[1], 0xFF);
            EXPECT_EQ(bytes[2], 0x00);
            EXPECT_EQ(bytes[3], 0x01);
            std::uint16_t back[8] = {};
            avf::argb64BigEndianToRGBA64(bytes, 16, 2, 1, back);
            EXPECT_EQ(std::memcmp(back, rgba, 16), 0);
        }

        //==============================================================================
        class AVFWriterTest : public AVFScriptedTest
        {
        protected:
            TempDir dir;

            std::unique_ptr<AVFVideoFormatWriter> makeWriter(const char* codec, unsigned bitDepth, double fps = 25.0)
            {
                VideoCodecSettings settings;
                settings.fourCC = CodecFourCC(av::fourCharCode(*reinterpret_cast<const char(*)[5]>(codec)));
                File file(dir.file("out.mov"));
                return std::unique_ptr<AVFVideoFormatWriter>(static_cast<AVFVideoFormatWriter*>(
                    format.createWriterFor(file, fps, bitDepth, 16, 8, 0, settings)));
            }

            static std::shared_ptr<Pixels> frame(int w, int h, int bytesPerPixel, unsigned char value)
            {
                auto pixels = std::make_shared<Pixels>(w, h, bytesPerPixel, nullptr);
                std::memset(pixels->data, value, static_cast<std::size_t>(pixels->dataSize));
                return pixels;
            }
        };

        TEST_F(AVFWriterTest, FrameNIsStampedNOverTheRateWhateverTheTimeBetween)
        {
            auto writer = makeWriter("apcn", 4);
            for (int n = 0; n < 10; ++n)
            {
                ASSERT_TRUE(writer->write(frame(16, 8, 4, static_cast<unsigned char>(n))));
                clock.advance(n * 0.37);
            }
            writer->finishWriting();
            const auto appends = backend.appends();
            ASSERT_EQ(appends.size(), 10u);
            for (std::int64_t n = 0; n < 10; ++n)
            {
                EXPECT_EQ(appends[n].value, n);
                EXPECT_EQ(appends[n].timescale, 25);
            }
            EXPECT_EQ(writer->getAssetWriter(), nullptr);
        }

        struct CodecMapping
        {
            const char* name;
            const char* settings;
            const char* encoder;
        };
        class AVFWriterCodecTest : public AVFWriterTest, public ::testing::WithParamInterface<CodecMapping>
        {
        };

        TEST_P(AVFWriterCodecTest, SettingsCodecSelectsTheEncoder)
        {
            auto writer = makeWriter(GetParam().settings, 4);
            ASSERT_TRUE(writer->write(frame(16, 8, 4, 1)));
            writer->finishWriting();
            ASSERT_EQ(backend.encoders().size(), 1u);
            EXPECT_EQ(backend.encoders()[0].codec,
                      av::fourCharCode(*reinterpret_cast<const char(*)[5]>(GetParam().encoder)));
        }

        INSTANTIATE_TEST_SUITE_P(Codecs, AVFWriterCodecTest,
                                 ::testing::Values(CodecMapping{"apch", "apch", "ap4h"},
                                                   CodecMapping{"h264", "h264", "avc1"},
                                                   CodecMapping{"jpeg", "jpeg", "jpeg"},
                                                   CodecMapping{"apcn", "apcn", "apcn"},
                                                   CodecMapping{"other", "QMDI", "apcn"}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(AVFWriterTest, FramesStayPendingUntilEncodedAndTheWriterIsBusyWhileFourWait)
        {
            auto writer = makeWriter("apcn", 4);
            backend.holdEncoding(true);
            struct Release
            {
                ScriptedBackend& backend;
                ~Release() { backend.holdEncoding(false); }
            } release{backend};
            for (int n = 0; n < 4; ++n)
                EXPECT_TRUE(writer->writeFromPixels(frame(16, 8, 4, 7))) << n;
            EXPECT_TRUE(writer->isBusy());
            EXPECT_FALSE(writer->writeFromPixels(frame(16, 8, 4, 7)));
            EXPECT_EQ(writer->getAssetWriter()->getNumPendingFrames(), 4u);
            backend.holdEncoding(false);
            AVFAssetWriter* assetWriter = writer->getAssetWriter();
            while (assetWriter->getNumPendingFrames() != 0)
                std::this_thread::yield();
            EXPECT_FALSE(writer->isBusy());
            writer->finishWriting();
            EXPECT_EQ(backend.appends().size(), 4u);
        }

        TEST_F(AVFWriterTest, SixteenBitFramesAreRewrittenBigEndianARGBInPlace)
        {
            auto writer = makeWriter("apch", 8);
            auto pixels = frame(16, 8, 8, 0);
            auto* words = reinterpret_cast<std::uint16_t*>(pixels->data);
            words[0] = 0x0102; // red
            words[3] = 0xA0B0; // alpha
            ASSERT_TRUE(writer->write(pixels));
            writer->finishWriting();
            EXPECT_EQ(pixels->data[0], 0xA0);
            EXPECT_EQ(pixels->data[1], 0xB0);
            EXPECT_EQ(pixels->data[2], 0x01);
            EXPECT_EQ(pixels->data[3], 0x02);
            ASSERT_EQ(backend.encoders().size(), 1u);
            EXPECT_EQ(backend.encoders()[0].sourcePixelFormat, av::pixelFormat64ARGB);
        }

        TEST_F(AVFWriterTest, ThreeByteFramesAreExpandedToFourByteRows)
        {
            auto writer = makeWriter("apcn", 3);
            auto pixels = frame(16, 8, 3, 0);
            pixels->data[0] = 10;
            pixels->data[1] = 20;
            pixels->data[2] = 30;
            ASSERT_TRUE(writer->write(pixels));
            writer->finishWriting();
            const auto appends = backend.appends();
            ASSERT_EQ(appends.size(), 1u);
            EXPECT_EQ(appends[0].bytesPerRow, 16u * 4u);
            const unsigned char expected[4] = {10, 20, 30, 255};
            EXPECT_EQ(std::memcmp(appends[0].firstPixel, expected, 4), 0);
        }

        TEST_F(AVFWriterTest, ARefusedSetUpAndDroppedFramesAnswerFalseWithALogLine)
        {
            LogRecorder log;
            VideoCodecSettings settings;
            settings.fourCC = CodecFourCC(av::fourCharCode("h264"));
            File file(dir.file("odd.mov"));
            AVFVideoFormatWriter odd(file, 25.0, 4, 15, 9, settings);
            EXPECT_FALSE(odd.write(frame(15, 9, 4, 0)));
            EXPECT_TRUE(log.contains("odd sides")) << log.dump();
            EXPECT_FALSE(odd.write(frame(15, 9, 4, 0)));

            backend.failFromFrame = 1;
            auto writer = makeWriter("apcn", 4);
            ASSERT_TRUE(writer->write(frame(16, 8, 4, 1)));
            ASSERT_TRUE(writer->write(frame(16, 8, 4, 2)));
            while (writer->getAssetWriter()->getNumPendingFrames() != 0)
                std::this_thread::yield();
            log.clear();
            EXPECT_FALSE(writer->write(frame(16, 8, 4, 3)));
            EXPECT_TRUE(log.contains("Warning: writer status is 3")) << log.dump();
            EXPECT_TRUE(log.contains("Error: scripted failure")) << log.dump();
            EXPECT_EQ(writer->getAssetWriter()->getNumPendingFrames(), 0u);
        }

        TEST_F(AVFWriterTest, AnExistingFileIsReplaced)
        {
            const std::string path = dir.writeFile("out.mov", "old contents");
            auto writer = makeWriter("apcn", 4);
            ASSERT_TRUE(writer->write(frame(16, 8, 4, 1)));
            EXPECT_FALSE(File(path).exists());
        }
    }
}
