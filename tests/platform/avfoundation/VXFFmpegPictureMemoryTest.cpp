// The memory of a decoder's pictures: every format decodes to the same
// pictures as with FFmpeg's own buffers (odd sizes, frame threads, all the
// pictures held at once so none shares memory with another); memory faulted
// in beforehand leaves them so; a playing movie's session faults in its
// store's budget while it idles; all of it goes once the decoder and the
// last picture are gone.

#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "platform/avfoundation/VXFFmpegPictureMemory.h"
#include "platform/avfoundation/VXFFmpegPictureStore.h"
#include "support/VXMovieClips.h"
#include "support/VXTempDir.h"

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vx::test
{
    namespace
    {
        struct Decoded
        {
            // Each picture's planes packed; none when the file cannot be decoded.
            std::vector<std::vector<std::uint8_t>> packed;
            // The most of FFmpegPictureMemory::readyBytes.
            std::size_t mostReady = 0;
        };

        // The pictures of path, all held until the last is decoded; memory,
        // when given, serves the decoder and is warmed after every picture
        // (up to bytes or pictures).
        Decoded decodeAll(const std::string& path, av::FFmpegPictureMemory* memory, std::size_t bytesToWarm = 0,
                          std::size_t picturesToWarm = 0)
        {
            Decoded decoded;
            std::vector<std::vector<std::uint8_t>>& packed = decoded.packed;
            AVFormatContext* format = nullptr;
            if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
                return decoded;
            AVCodecContext* codec = nullptr;
            std::vector<AVFrame*> pictures;
            AVPacket* packet = av_packet_alloc();
            const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
            if (stream >= 0)
            {
                const AVCodec* decoder = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
                codec = avcodec_alloc_context3(decoder);
                avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
                codec->thread_count = 2;
                if (memory != nullptr)
                    memory->serve(*codec);
                if (avcodec_open2(codec, decoder, nullptr) < 0)
                    avcodec_free_context(&codec);
            }
            // Every picture is held until all are decoded.
            const auto drain = [&]
            {
                for (;;)
                {
                    AVFrame* picture = av_frame_alloc();
                    if (avcodec_receive_frame(codec, picture) != 0)
                    {
                        av_frame_free(&picture);
                        return;
                    }
                    pictures.push_back(picture);
                    while (memory != nullptr && memory->warm(bytesToWarm, picturesToWarm))
                    {
                    }
                    decoded.mostReady = std::max(decoded.mostReady, av::FFmpegPictureMemory::readyBytes());
                }
            };
            while (codec != nullptr && av_read_frame(format, packet) >= 0)
            {
                if (packet->stream_index == stream && avcodec_send_packet(codec, packet) == 0)
                    drain();
                av_packet_unref(packet);
            }
            if (codec != nullptr && avcodec_send_packet(codec, nullptr) == 0)
                drain();
            avcodec_free_context(&codec);
            for (AVFrame* picture : pictures)
            {
                const auto pixels = static_cast<AVPixelFormat>(picture->format);
                const int size = av_image_get_buffer_size(pixels, picture->width, picture->height, 1);
                std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max(size, 0)));
                av_image_copy_to_buffer(bytes.data(), size, picture->data, picture->linesize, pixels, picture->width,
                                        picture->height, 1);
                packed.push_back(std::move(bytes));
                av_frame_free(&picture);
            }
            av_packet_free(&packet);
            avformat_close_input(&format);
            return decoded;
        }

        ClipSpec clipOf(int width, int height, int frames, const char* luma, const char* codec)
        {
            ClipSpec spec;
            spec.width = width;
            spec.height = height;
            spec.frames = frames;
            spec.luma = luma;
            spec.codec = codec;
            return spec;
        }

        struct Encoded
        {
            const char* name;
            const char* encoder;
            const char* codec;
            // Pictures the memory leaves to FFmpeg (palettes).
            bool leftToFFmpeg = false;
        };
    }

    class FFmpegPictureMemoryTest : public testing::TestWithParam<Encoded>
    {
    };

    TEST_P(FFmpegPictureMemoryTest, PicturesDecodeAsInFFmpegsOwnBuffersAndTheMemoryGoesWithThem)
    {
        if (! hasFFmpegEncoder(GetParam().encoder))
            GTEST_SKIP() << "ffmpeg has no " << GetParam().encoder << " encoder";
        TempDir temp;
        // An odd size, detail in every line.
        const std::string path = temp.file("clip.mkv");
        ASSERT_TRUE(makeClip(path, clipOf(134, 38, 24, "mod(X*3+Y*5+N*7\\,256)", GetParam().codec)));
        const std::size_t before = av::FFmpegPictureMemory::blockBytes();
        const std::size_t readyBefore = av::FFmpegPictureMemory::readyBytes();
        const auto own = decodeAll(path, nullptr).packed;
        ASSERT_EQ(own.size(), 24u);
        const std::size_t lots = std::size_t{40} << 20;
        // Not warmed; warmed up to 40 MB; up to 30 pictures, far less.
        for (const std::size_t pictures : {std::size_t{0}, std::size_t{1} << 20, std::size_t{30}})
        {
            SCOPED_TRACE(pictures);
            {
                av::FFmpegPictureMemory memory;
                const Decoded served = decodeAll(path, &memory, lots, pictures);
                ASSERT_EQ(served.packed.size(), own.size());
                for (std::size_t i = 0; i < own.size(); ++i)
                    EXPECT_TRUE(served.packed[i] == own[i]) << "picture " << i;
                const std::size_t ready = served.mostReady - readyBefore;
                if (GetParam().leftToFFmpeg)
                    EXPECT_EQ(ready, 0u);
                else if (pictures > 1000)
                    EXPECT_GE(ready, lots);
                else
                    EXPECT_LT(ready, std::size_t{8} << 20);
            }
            EXPECT_EQ(av::FFmpegPictureMemory::blockBytes(), before);
            EXPECT_EQ(av::FFmpegPictureMemory::readyBytes(), readyBefore);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Formats, FFmpegPictureMemoryTest,
        testing::Values(Encoded{"H264BFrames", "libx264", "-c:v libx264 -preset ultrafast -bf 2 -g 12 -pix_fmt yuv420p"},
                        Encoded{"HEVC10Bit", "libx265", "-c:v libx265 -preset ultrafast -g 12 -pix_fmt yuv420p10le"},
                        Encoded{"MPEG2BFrames", "mpeg2video", "-c:v mpeg2video -bf 2 -g 12"},
                        Encoded{"VP9", "libvpx-vp9", "-c:v libvpx-vp9 -deadline realtime -g 12"},
                        Encoded{"Theora", "libtheora", "-c:v libtheora -g 12"},
                        Encoded{"ProRes10Bit", "prores_ks", "-c:v prores_ks -profile:v 3"},
                        Encoded{"MJPEG", "mjpeg", "-c:v mjpeg -q:v 3"},
                        Encoded{"GreyFFV1", "ffv1", "-c:v ffv1 -pix_fmt gray"},
                        Encoded{"RGBAPng", "png", "-c:v png -pix_fmt rgba"},
                        Encoded{"PalettePng", "png", "-c:v png -pix_fmt pal8", true}),
        [](const testing::TestParamInfo<Encoded>& info) { return std::string(info.param.name); });

    TEST(FFmpegPictureMemorySessionTest, APlayingMovieFaultsInItsStoresBudgetAndGivesItAllBackWhenClosed)
    {
        TempDir temp;
        const std::string path = temp.file("clip.mov");
        ASSERT_TRUE(makeClip(path, clipOf(320, 180, 250, "N", "-c:v mpeg4 -g 25")));
        // Below the clip's 250 pictures.
        const std::size_t budget = std::size_t{8} << 20;
        av::FFmpegPictureStore::setBudgetOfNewStores(budget);
        const std::size_t before = av::FFmpegPictureMemory::readyBytes();
        {
            std::shared_ptr<av::MediaAsset> asset = av::MediaBackend::getDefault().openAsset(path);
            ASSERT_NE(asset, nullptr);
            std::unique_ptr<av::DecodingSession> session = asset->createSession();
            ASSERT_NE(session, nullptr);
            session->setPixelFormat(av::pixelFormat422YpCbCr8);
            session->setRate(1.0f);
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (av::FFmpegPictureMemory::readyBytes() - before < budget && std::chrono::steady_clock::now() < giveUp)
            {
                session->frameForTime(0.0);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            EXPECT_GE(av::FFmpegPictureMemory::readyBytes() - before, budget);
        }
        av::FFmpegPictureStore::setBudgetOfNewStores(av::FFmpegPictureStore::defaultBudgetBytes);
        EXPECT_EQ(av::FFmpegPictureMemory::readyBytes(), before);
    }
}
