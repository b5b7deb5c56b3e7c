#pragma once

// What the movie benchmarks share: clips made once by the ffmpeg tool in a
// scratch folder removed at exit, bare FFmpeg decoding and uploading (the
// baseline), and the FFmpeg backend observed, so a benchmark knows which
// frame was handed out.

#include <benchmark/benchmark.h>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "../../VXScratchFolder.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "engine/video/formats/avfoundation/VXMediaBackend.h"

#include <epoxy/gl.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vx::bench
{
    // Removed with its clips when the program ends.
    inline const std::string& scratch()
    {
        static const ScratchFolder folder("vx-movies-bench-");
        return folder.getPath();
    }

    // A movie the ffmpeg command line makes in the scratch folder from its
    // arguments.
    inline std::string makeClip(const std::string& name, const std::string& arguments)
    {
        const std::string file = scratch() + "/" + name;
        std::system(("ffmpeg -v error -y " + arguments + " \"" + file + "\"").c_str());
        return file;
    }

    // 10 s of 1080p H.264 without sound (self-timed), one key frame in 250,
    // and 4 s of 720p H.264 with sound and 2 s key frames (seeking reader).
    inline const std::string& playClip()
    {
        static const std::string path =
            makeClip("play1080.mov", "-f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -c:v libx264 -preset ultrafast "
                                     "-g 250 -pix_fmt yuv420p");
        return path;
    }

    // The same 10 s of 1080p H.264 with sound (seeking reader).
    inline const std::string& playSoundClip()
    {
        static const std::string path =
            makeClip("playsound1080.mov", "-f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -f lavfi -i sine=d=10 -c:v libx264 "
                                          "-preset ultrafast -g 250 -pix_fmt yuv420p -c:a pcm_s16le");
        return path;
    }

    inline const std::string& seekClip()
    {
        static const std::string path =
            makeClip("seek720.mov", "-f lavfi -i testsrc2=s=1280x720:r=25:d=4 -f lavfi -i sine=d=4 -c:v libx264 "
                                    "-preset ultrafast -g 50 -pix_fmt yuv420p -c:a pcm_s16le");
        return path;
    }

    struct ManualClock final : av::HostClock
    {
        double seconds = 10.0;
        double getSeconds() const override { return seconds; }
    };

    // Bare FFmpeg: a demuxer and decoder of the first video stream, frames
    // converted to RGBA and uploaded into one texture.
    struct BareDecoder
    {
        AVFormatContext* format = nullptr;
        AVCodecContext* codec = nullptr;
        AVFrame* frame = av_frame_alloc();
        AVPacket* packet = av_packet_alloc();
        SwsContext* scaler = nullptr;
        int stream = -1;
        std::vector<unsigned char> rgba;
        GLuint texture = 0;

        explicit BareDecoder(const std::string& path)
        {
            avformat_open_input(&format, path.c_str(), nullptr, nullptr);
            avformat_find_stream_info(format, nullptr);
            stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
            const AVCodec* decoder = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
            codec = avcodec_alloc_context3(decoder);
            avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
            codec->thread_count = 2;
            avcodec_open2(codec, decoder, nullptr);
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_RECTANGLE_ARB, texture);
            glTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGBA8, codec->width, codec->height, 0, GL_RGBA,
                         GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_RECTANGLE_ARB, 0);
            rgba.resize(static_cast<std::size_t>(codec->width) * codec->height * 4);
        }
        ~BareDecoder()
        {
            glDeleteTextures(1, &texture);
            sws_freeContext(scaler);
            av_frame_free(&frame);
            av_packet_free(&packet);
            avcodec_free_context(&codec);
            avformat_close_input(&format);
        }

        bool next()
        {
            for (;;)
            {
                if (avcodec_receive_frame(codec, frame) == 0)
                    return true;
                if (av_read_frame(format, packet) < 0)
                {
                    // Around again from the start.
                    av_seek_frame(format, stream, 0, AVSEEK_FLAG_BACKWARD);
                    avcodec_flush_buffers(codec);
                    continue;
                }
                if (packet->stream_index == stream)
                    avcodec_send_packet(codec, packet);
                av_packet_unref(packet);
            }
        }

        void seekExact(long index)
        {
            const AVStream* s = format->streams[stream];
            const double fps = av_q2d(s->avg_frame_rate);
            const std::int64_t ts = static_cast<std::int64_t>(index / fps / av_q2d(s->time_base));
            av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD);
            avcodec_flush_buffers(codec);
            while (next())
                if (frame->best_effort_timestamp >= ts)
                    break;
        }

        void upload()
        {
            scaler = sws_getCachedContext(scaler, frame->width, frame->height,
                                          static_cast<AVPixelFormat>(frame->format), frame->width, frame->height,
                                          AV_PIX_FMT_RGBA, SWS_POINT, nullptr, nullptr, nullptr);
            uint8_t* planes[4] = {rgba.data(), nullptr, nullptr, nullptr};
            const int strides[4] = {frame->width * 4, 0, 0, 0};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
            glBindTexture(GL_TEXTURE_RECTANGLE_ARB, texture);
            glTexSubImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, 0, 0, frame->width, frame->height, GL_RGBA, GL_UNSIGNED_BYTE,
                            rgba.data());
            glBindTexture(GL_TEXTURE_RECTANGLE_ARB, 0);
            glFinish();
        }
    };

    // The FFmpeg backend with the index of the frame last handed out by the
    // newest session, so a benchmark waits for the frame it asked for.
    inline std::atomic<long> lastHandedOut{-1};

    // Seeks the decoder has landed (those completed with a later one not
    // counted), and the time the last one reached.
    inline std::atomic<long> seeksLanded{0};
    inline std::atomic<double> lastReached{-1.0};

    class ObservedSession;
    // The newest session, for a benchmark that waits until a frame is
    // decoded before it asks for it.
    inline std::atomic<ObservedSession*> newestSession{nullptr};

    class ObservedSession final : public av::DecodingSession
    {
    public:
        explicit ObservedSession(std::unique_ptr<av::DecodingSession> decoding) : inner(std::move(decoding))
        {
            newestSession = this;
        }
        ~ObservedSession() override
        {
            ObservedSession* self = this;
            newestSession.compare_exchange_strong(self, nullptr);
        }
        // Whether the frame shown at seconds is frame k, without handing it out.
        bool has(double seconds, long k)
        {
            std::shared_ptr<av::PixelBuffer> frame = inner->frameForTime(seconds);
            return frame != nullptr && frame->frameIndex == k;
        }
        void setPixelFormat(av::FourCharCode format) override { inner->setPixelFormat(format); }
        void seek(double seconds, double before, double after, std::function<void(double)> done) override
        {
            inner->seek(seconds, before, after,
                        [done = std::move(done)](double reached)
                        {
                            // Seeks replaced by a later one complete with it, at its time.
                            if (lastReached.exchange(reached) != reached)
                                ++seeksLanded;
                            if (done)
                                done(reached);
                        });
        }
        void setRate(float rate) override { inner->setRate(rate); }
        void setPictureWay(long from, int direction) override { inner->setPictureWay(from, direction); }
        void setFollowsHand(bool follows) override { inner->setFollowsHand(follows); }
        void setAudioVolume(int track, float volume) override { inner->setAudioVolume(track, volume); }
        std::shared_ptr<av::PixelBuffer> frameForTime(double seconds) override
        {
            std::shared_ptr<av::PixelBuffer> frame = inner->frameForTime(seconds);
            if (frame != nullptr)
                lastHandedOut = frame->frameIndex;
            return frame;
        }
        bool isDecodingToward(double seconds) override { return inner->isDecodingToward(seconds); }
        bool decodesOnTo(double seconds) override { return inner->decodesOnTo(seconds); }
        // A player shows the frame landed on while later seeks run: handed
        // out too.
        std::shared_ptr<av::PixelBuffer> lastLandedFrame(unsigned long& landings) override
        {
            std::shared_ptr<av::PixelBuffer> frame = inner->lastLandedFrame(landings);
            if (frame != nullptr)
                lastHandedOut = frame->frameIndex;
            return frame;
        }

    private:
        std::unique_ptr<av::DecodingSession> inner;
    };

    class ObservedAsset final : public av::MediaAsset
    {
    public:
        explicit ObservedAsset(std::shared_ptr<av::MediaAsset> media) : inner(std::move(media)) {}
        const av::AssetFacts& getFacts() const override { return inner->getFacts(); }
        std::unique_ptr<av::DecodingSession> createSession() override
        {
            auto session = inner->createSession();
            return session != nullptr ? std::make_unique<ObservedSession>(std::move(session)) : nullptr;
        }
        av::CGImageRef copyImageAtTime(double seconds, double* actual, std::string* error) override
        {
            return inner->copyImageAtTime(seconds, actual, error);
        }

    private:
        std::shared_ptr<av::MediaAsset> inner;
    };

    class ObservedBackend final : public av::MediaBackend
    {
    public:
        ObservedBackend() { av::MediaBackend::setCurrent(this); }
        ~ObservedBackend() override { av::MediaBackend::setCurrent(nullptr); }
        std::shared_ptr<av::MediaAsset> openAsset(const std::string& path) override
        {
            auto media = av::MediaBackend::getDefault().openAsset(path);
            return media != nullptr ? std::make_shared<ObservedAsset>(media) : nullptr;
        }
        std::unique_ptr<av::MovieEncoder> createEncoder(const av::EncoderSettings& settings) override
        {
            return av::MediaBackend::getDefault().createEncoder(settings);
        }
    };

}
