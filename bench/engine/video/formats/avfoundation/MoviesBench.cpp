// The movie readers, writer and texture cache beside bare FFmpeg doing the
// same work: self-timed 1080p play against decoding, converting and
// uploading each frame; forward play with sound against the self-timed
// reader's; a frame-exact seek against av_seek_frame and
// decoding forward (each to a texture), apart and side by side; the writer against encoding the same
// frames into a QuickTime file per codec; the cache's 4:2:2 upload against
// libswscale and glTexSubImage2D; the 16-bit 'b64a' loops against memcpy.
// Clips are made once by the ffmpeg tool in a scratch folder
// (VXMovieBenchSupport.h).

#include <benchmark/benchmark.h>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "../../../../VXSideBySide.h"
#include "../../../gfx/VXBenchGLContext.h"
#include "../../VXMovieBenchSupport.h"
#include "core/VXFile.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXAVFVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXVideoFormatWriter.h"
#include "engine/video/formats/avfoundation/VXAVFPixelLoops.h"
#include "engine/video/formats/avfoundation/VXAVFPlayer.h"
#include "engine/video/formats/avfoundation/VXCVOpenGLTextureCache.h"
#include "engine/video/formats/avfoundation/VXCVTextureStore.h"
#include "engine/video/formats/avfoundation/VXCoreMedia.h"
#include "engine/video/formats/avfoundation/VXMediaBackend.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace
{
    using namespace vx;

    using bench::BareDecoder;
    using bench::lastHandedOut;
    using bench::ManualClock;
    using bench::ObservedBackend;
    using bench::playClip;
    using bench::playSoundClip;
    using bench::scratch;
    using bench::seekClip;

    bool prepareGL()
    {
        if (! bench::makeBenchGLContextCurrent())
            return false;
        GfxInfo::filloutGfxInfo();
        return true;
    }

    // A reader of the clip, opened; null when there is none.
    std::unique_ptr<VideoFormatReader> openReader(const std::string& clip)
    {
        AVFVideoFormat format;
        std::unique_ptr<VideoFormatReader> reader(format.createReaderFor(File(clip)));
        if (reader != nullptr && ! reader->init(0, 0))
            reader.reset();
        return reader;
    }

    // Uploads (spinning) until the texture holds frame k.
    bool uploadFrame(VideoFormatReader& reader, Texture& texture, long k)
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < giveUp)
        {
            if (reader.updateTexture(&texture) && lastHandedOut.load() == k)
            {
                glFinish();
                return true;
            }
            // A render thread asks once per frame; sleeping briefly leaves the
            // decoder its cores as that would.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return false;
    }

    //==============================================================================
    void BM_SelfTimedPlay(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        ManualClock clock;
        av::HostClock::setCurrent(&clock);
        ObservedBackend backend;
        std::unique_ptr<VideoFormatReader> reader = openReader(playClip());
        if (reader == nullptr)
            return state.SkipWithError("no reader");
        AVFPlayer::lastSeekTime = 0.0;
        Texture texture;
        long k = 0;
        reader->readFrame(20.0);
        uploadFrame(*reader, texture, 0);
        for (auto _ : state)
        {
            ++k;
            clock.seconds += 0.04;
            reader->readFrame(k * 40.0 + 20.0);
            if (! uploadFrame(*reader, texture, k))
                return state.SkipWithError("no frame");
        }
        reader->release();
        av::HostClock::setCurrent(nullptr);
    }
    BENCHMARK(BM_SelfTimedPlay)->Name("BM_SelfTimedPlay/1920x1080")->Iterations(200)->Unit(benchmark::kMillisecond);

    void BM_BareDecodeUpload(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        BareDecoder bare(playClip());
        for (auto _ : state)
        {
            bare.next();
            bare.upload();
        }
    }
    BENCHMARK(BM_BareDecodeUpload)
        ->Name("BM_BareDecodeUpload/1920x1080")
        ->Iterations(200)
        ->Unit(benchmark::kMillisecond);

    // Forward play with sound (the seeking reader: a frame-exact seek per
    // frame) beside the silent reader's, frame for frame through a group of
    // 250 (goal: ratio at most 1.15; the median of the repetitions is the one
    // to read).
    void BM_SoundPlayVsSilent(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        ManualClock clock;
        av::HostClock::setCurrent(&clock);
        ObservedBackend backend;
        std::unique_ptr<VideoFormatReader> sound = openReader(playSoundClip());
        std::unique_ptr<VideoFormatReader> silent = openReader(playClip());
        if (sound == nullptr || silent == nullptr || ! sound->getHasAudio())
            return state.SkipWithError("no reader");
        AVFPlayer::lastSeekTime = 0.0;
        Texture soundTexture, silentTexture;
        long k = 0;
        sound->readFrame(20.0);
        bool shown = uploadFrame(*sound, soundTexture, 0);
        silent->readFrame(20.0);
        shown = uploadFrame(*silent, silentTexture, 0) && shown;
        bench::sideBySide(
            state,
            [&]
            {
                ++k;
                sound->readFrame(k * 40.0 + 20.0);
                shown = shown && uploadFrame(*sound, soundTexture, k);
            },
            [&]
            {
                clock.seconds += 0.04;
                silent->readFrame(k * 40.0 + 20.0);
                shown = shown && uploadFrame(*silent, silentTexture, k);
            });
        sound->release();
        silent->release();
        av::HostClock::setCurrent(nullptr);
        if (! shown)
            state.SkipWithError("no frame");
    }
    BENCHMARK(BM_SoundPlayVsSilent)
        ->Name("BM_SoundPlayVsSilent/1920x1080")
        ->Iterations(200)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);

    //==============================================================================
    std::vector<long> seekTargets()
    {
        std::mt19937 random(1234);
        std::vector<long> targets(64);
        for (long& t : targets)
            t = static_cast<long>(random() % 100);
        return targets;
    }

    // The seek targets in turn, never the frame just asked for (the reader
    // starts on frame 0).
    struct SeekTargets
    {
        long next()
        {
            long target = targets[i++ % targets.size()];
            if (target == last)
                target = (target + 1) % 100;
            return last = target;
        }
        const std::vector<long> targets = seekTargets();
        std::size_t i = 0;
        long last = 0;
    };

    void BM_FrameExactSeek(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        ObservedBackend backend;
        std::unique_ptr<VideoFormatReader> reader = openReader(seekClip());
        if (reader == nullptr)
            return state.SkipWithError("no reader");
        Texture texture;
        uploadFrame(*reader, texture, 0);
        SeekTargets targets;
        for (auto _ : state)
        {
            const long target = targets.next();
            reader->readFrame(target * 40.0 + 20.0);
            if (! uploadFrame(*reader, texture, target))
                return state.SkipWithError("no frame");
        }
        reader->release();
    }
    BENCHMARK(BM_FrameExactSeek)->Name("BM_FrameExactSeek/1280x720")->Iterations(64)->Unit(benchmark::kMillisecond);

    void BM_BareSeek(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        BareDecoder bare(seekClip());
        SeekTargets targets;
        for (auto _ : state)
        {
            const long target = targets.next();
            bare.seekExact(target);
            bare.upload();
        }
    }
    BENCHMARK(BM_BareSeek)->Name("BM_BareSeek/1280x720")->Iterations(64)->Unit(benchmark::kMillisecond);

    // The two above side by side, each iteration the same target (goal: ratio
    // at most 1.10; the median of the repetitions is the one to read).
    void BM_FrameExactSeekVsBare(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        ObservedBackend backend;
        std::unique_ptr<VideoFormatReader> reader = openReader(seekClip());
        if (reader == nullptr)
            return state.SkipWithError("no reader");
        BareDecoder bare(seekClip());
        Texture texture;
        uploadFrame(*reader, texture, 0);
        SeekTargets targets;
        long target = 0;
        bool landed = true;
        bench::sideBySide(
            state,
            [&]
            {
                target = targets.next();
                reader->readFrame(target * 40.0 + 20.0);
                landed = landed && uploadFrame(*reader, texture, target);
            },
            [&]
            {
                bare.seekExact(target);
                bare.upload();
            });
        reader->release();
        if (! landed)
            state.SkipWithError("no frame");
    }
    BENCHMARK(BM_FrameExactSeekVsBare)
        ->Name("BM_FrameExactSeekVsBare/1280x720")
        ->Iterations(64)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);

    //==============================================================================
    constexpr int writeWidth = 1280, writeHeight = 720, framesPerMovie = 25;

    std::vector<std::shared_ptr<Pixels>> writeFrames()
    {
        std::vector<std::shared_ptr<Pixels>> frames;
        for (int n = 0; n < framesPerMovie; ++n)
        {
            auto pixels = std::make_shared<Pixels>(writeWidth, writeHeight, 4, nullptr);
            for (int i = 0; i < pixels->dataSize; ++i)
                pixels->data[i] = static_cast<unsigned char>((i / 4 % writeWidth + n * 7 + (i & 3) * 50) & 0xFF);
            frames.push_back(pixels);
        }
        return frames;
    }

    void BM_Writer(benchmark::State& state, const char* codec)
    {
        const auto frames = writeFrames();
        AVFVideoFormat format;
        VideoCodecSettings settings;
        settings.fourCC = CodecFourCC(av::fourCharCode(*reinterpret_cast<const char(*)[5]>(codec)));
        File file(scratch() + "/written.mov");
        for (auto _ : state)
        {
            std::unique_ptr<VideoFormatWriter> writer(
                format.createWriterFor(file, 25.0, 4, writeWidth, writeHeight, 0, settings));
            for (const auto& frame : frames)
            {
                while (writer->isBusy())
                    usleep(100);
                writer->write(frame);
            }
            writer.reset(); // finishes the file
        }
    }

    void BM_BareEncode(benchmark::State& state, const char* codec)
    {
        const auto frames = writeFrames();
        const std::string path = scratch() + "/bare.mov";
        const std::string name(codec);
        for (auto _ : state)
        {
            AVFormatContext* muxer = nullptr;
            avformat_alloc_output_context2(&muxer, nullptr, "mov", path.c_str());
            const char* encoderName = name == "h264" ? "libx264" : name == "jpeg" ? "mjpeg" : "prores_ks";
            const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
            AVCodecContext* c = avcodec_alloc_context3(encoder);
            c->width = writeWidth;
            c->height = writeHeight;
            c->pix_fmt = name == "h264"   ? AV_PIX_FMT_YUV420P
                         : name == "jpeg" ? AV_PIX_FMT_YUVJ420P
                                          : AV_PIX_FMT_YUV422P10LE;
            c->time_base = AVRational{1, 25};
            c->framerate = AVRational{25, 1};
            c->thread_count = 2;
            if (name == "jpeg")
            {
                c->flags |= AV_CODEC_FLAG_QSCALE;
                c->global_quality = FF_QP2LAMBDA * 3;
            }
            AVDictionary* options = nullptr;
            if (name == "h264")
                av_dict_set(&options, "preset", "veryfast", 0);
            else if (name != "jpeg")
                av_dict_set(&options, "profile", "2", 0);
            avcodec_open2(c, encoder, &options);
            av_dict_free(&options);
            AVStream* s = avformat_new_stream(muxer, nullptr);
            avcodec_parameters_from_context(s->codecpar, c);
            s->time_base = c->time_base;
            avio_open(&muxer->pb, path.c_str(), AVIO_FLAG_WRITE);
            if (avformat_write_header(muxer, nullptr) < 0)
                return state.SkipWithError("no header");
            AVFrame* frame = av_frame_alloc();
            frame->format = c->pix_fmt;
            frame->width = writeWidth;
            frame->height = writeHeight;
            av_frame_get_buffer(frame, 0);
            AVPacket* packet = av_packet_alloc();
            SwsContext* scaler = sws_getContext(writeWidth, writeHeight, AV_PIX_FMT_BGRA, writeWidth, writeHeight,
                                                c->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
            auto drain = [&]
            {
                while (avcodec_receive_packet(c, packet) == 0)
                {
                    av_packet_rescale_ts(packet, c->time_base, s->time_base);
                    packet->stream_index = 0;
                    av_interleaved_write_frame(muxer, packet);
                }
            };
            for (int n = 0; n < framesPerMovie; ++n)
            {
                av_frame_make_writable(frame);
                const uint8_t* planes[4] = {frames[static_cast<std::size_t>(n)]->data, nullptr, nullptr, nullptr};
                const int strides[4] = {writeWidth * 4, 0, 0, 0};
                sws_scale(scaler, planes, strides, 0, writeHeight, frame->data, frame->linesize);
                frame->pts = n;
                avcodec_send_frame(c, frame);
                drain();
            }
            avcodec_send_frame(c, nullptr);
            drain();
            av_write_trailer(muxer);
            sws_freeContext(scaler);
            av_packet_free(&packet);
            av_frame_free(&frame);
            avcodec_free_context(&c);
            avio_closep(&muxer->pb);
            avformat_free_context(muxer);
        }
    }

    BENCHMARK_CAPTURE(BM_Writer, apcn, "apcn")
        ->Name("BM_Writer/ProRes422/1280x720x25")
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    BENCHMARK_CAPTURE(BM_BareEncode, apcn, "apcn")
        ->Name("BM_BareEncode/ProRes422/1280x720x25")
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    BENCHMARK_CAPTURE(BM_Writer, h264, "h264")
        ->Name("BM_Writer/H264/1280x720x25")
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    BENCHMARK_CAPTURE(BM_BareEncode, h264, "h264")
        ->Name("BM_BareEncode/H264/1280x720x25")
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    BENCHMARK_CAPTURE(BM_Writer, jpeg, "jpeg")
        ->Name("BM_Writer/MJPEG/1280x720x25")
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    BENCHMARK_CAPTURE(BM_BareEncode, jpeg, "jpeg")
        ->Name("BM_BareEncode/MJPEG/1280x720x25")
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);

    //==============================================================================
    std::shared_ptr<av::PixelBuffer> uyvyFrame()
    {
        auto buffer = av::PixelBuffer::create(1920, 1080, av::pixelFormat422YpCbCr8);
        unsigned char* p = buffer->getBaseAddress();
        for (std::size_t i = 0; i < buffer->getBytesPerRow() * 1080; ++i)
            p[i] = static_cast<unsigned char>(i * 13 + (i >> 11));
        return buffer;
    }

    void BM_CacheUpload(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        CVOpenGLTextureCache& cache = CVOpenGLTextureCache::getInstance();
        if (! cache.init())
            return state.SkipWithError("no texture cache");
        const auto buffer = uyvyFrame();
        av::CVOpenGLTextureRef texture;
        for (auto _ : state)
        {
            // As a reader does per frame: drop the old one, flush, make the new one.
            texture.reset();
            cache.flush();
            texture = cache.getCache()->createTextureFromImage(*buffer, nullptr);
            glFinish();
        }
    }
    BENCHMARK(BM_CacheUpload)->Name("BM_CacheUpload/UYVY/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_SwscaleUpload(benchmark::State& state)
    {
        if (! prepareGL())
            return state.SkipWithError("no GL context");
        const auto buffer = uyvyFrame();
        SwsContext* scaler = sws_getContext(1920, 1080, AV_PIX_FMT_UYVY422, 1920, 1080, AV_PIX_FMT_RGBA, SWS_POINT,
                                            nullptr, nullptr, nullptr);
        std::vector<unsigned char> rgba(1920 * 1080 * 4);
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_RECTANGLE_ARB, texture);
        glTexImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, GL_RGBA8, 1920, 1080, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        for (auto _ : state)
        {
            const uint8_t* planes[4] = {buffer->getBaseAddress(), nullptr, nullptr, nullptr};
            const int strides[4] = {1920 * 2, 0, 0, 0};
            uint8_t* out[4] = {rgba.data(), nullptr, nullptr, nullptr};
            const int outStrides[4] = {1920 * 4, 0, 0, 0};
            sws_scale(scaler, planes, strides, 0, 1080, out, outStrides);
            glTexSubImage2D(GL_TEXTURE_RECTANGLE_ARB, 0, 0, 0, 1920, 1080, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            glFinish();
        }
        glBindTexture(GL_TEXTURE_RECTANGLE_ARB, 0);
        glDeleteTextures(1, &texture);
        sws_freeContext(scaler);
    }
    BENCHMARK(BM_SwscaleUpload)->Name("BM_SwscaleUpload/UYVY/1920x1080")->Unit(benchmark::kMillisecond);

    //==============================================================================
    constexpr std::size_t b64aPixels = 1920 * 1080;

    void BM_B64AToRGBA(benchmark::State& state)
    {
        std::vector<unsigned char> source(b64aPixels * 8, 0x5A);
        std::vector<std::uint16_t> destination(b64aPixels * 4);
        for (auto _ : state)
        {
            avf::argb64BigEndianToRGBA64(source.data(), 1920 * 8, 1920, 1080, destination.data());
            benchmark::DoNotOptimize(destination.data());
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b64aPixels * 8));
    }
    BENCHMARK(BM_B64AToRGBA)->Name("BM_B64AToRGBA/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_RGBAToB64AInPlace(benchmark::State& state)
    {
        std::vector<unsigned char> pixels(b64aPixels * 8, 0x5A);
        for (auto _ : state)
        {
            avf::rgba64ToARGB64BigEndianInPlace(pixels.data(), b64aPixels);
            benchmark::DoNotOptimize(pixels.data());
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b64aPixels * 8));
    }
    BENCHMARK(BM_RGBAToB64AInPlace)->Name("BM_RGBAToB64AInPlace/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_Memcpy64(benchmark::State& state)
    {
        std::vector<unsigned char> source(b64aPixels * 8, 0x5A);
        std::vector<unsigned char> destination(b64aPixels * 8);
        for (auto _ : state)
        {
            std::memcpy(destination.data(), source.data(), source.size());
            benchmark::DoNotOptimize(destination.data());
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b64aPixels * 8));
    }
    BENCHMARK(BM_Memcpy64)->Name("BM_Memcpy64/1920x1080")->Unit(benchmark::kMillisecond);
}
