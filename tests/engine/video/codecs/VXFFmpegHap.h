#pragma once

// FFmpeg's Hap encoder and decoder through libavcodec's public API: the
// independent check of the engine's Hap frames. One thread each, so that
// nothing runs outside the sanitizers' view.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace vx::test::ffmpeg
{
    using Bytes = std::vector<std::uint8_t>;

    struct ContextDeleter
    {
        void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    };
    struct FrameDeleter
    {
        void operator()(AVFrame* f) const { av_frame_free(&f); }
    };
    struct PacketDeleter
    {
        void operator()(AVPacket* p) const { av_packet_free(&p); }
    };
    using Context = std::unique_ptr<AVCodecContext, ContextDeleter>;
    using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
    using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

    inline void quiet() { av_log_set_level(AV_LOG_QUIET); }

    // A Hap encoder for RGBA8 of width x height (multiples of 4): format
    // "hap", "hap_alpha" or "hap_q", compressor "none" or "snappy". Null when
    // FFmpeg refuses.
    inline Context openEncoder(int width, int height, const char* format, const char* compressor, int chunks,
                               int threads = 1)
    {
        quiet();
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_HAP);
        if (codec == nullptr)
            return nullptr;
        Context c(avcodec_alloc_context3(codec));
        c->width = width;
        c->height = height;
        c->pix_fmt = AV_PIX_FMT_RGBA;
        c->time_base = AVRational{1, 25};
        c->thread_count = threads;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "format", format, 0);
        av_dict_set(&options, "compressor", compressor, 0);
        av_dict_set_int(&options, "chunks", chunks, 0);
        const int opened = avcodec_open2(c.get(), codec, &options);
        av_dict_free(&options);
        return opened < 0 ? nullptr : std::move(c);
    }

    // One frame of tightly packed RGBA8 through an open encoder.
    inline Bytes encode(AVCodecContext* c, const std::uint8_t* rgba)
    {
        Frame frame(av_frame_alloc());
        frame->format = AV_PIX_FMT_RGBA;
        frame->width = c->width;
        frame->height = c->height;
        if (av_frame_get_buffer(frame.get(), 0) < 0)
            return {};
        for (int y = 0; y < c->height; ++y)
            std::memcpy(frame->data[0] + y * frame->linesize[0], rgba + size_t(y) * c->width * 4, size_t(c->width) * 4);
        Packet packet(av_packet_alloc());
        if (avcodec_send_frame(c, frame.get()) < 0 || avcodec_receive_packet(c, packet.get()) < 0)
            return {};
        return Bytes(packet->data, packet->data + packet->size);
    }

    inline Bytes encode(const std::uint8_t* rgba, int width, int height, const char* format, const char* compressor,
                        int chunks)
    {
        Context c = openEncoder(width, height, format, compressor, chunks);
        return c ? encode(c.get(), rgba) : Bytes();
    }

    // A Hap frame decoded by FFmpeg into tightly packed RGBA8 (for DXT1 the
    // alpha bytes are whatever FFmpeg leaves in its RGB0 layout); empty when
    // FFmpeg refuses the frame. dxt5 picks the stream's tag: "Hap5" or "Hap1".
    inline Bytes decode(const Bytes& hapFrame, int width, int height, bool dxt5)
    {
        quiet();
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HAP);
        if (codec == nullptr)
            return {};
        Context c(avcodec_alloc_context3(codec));
        c->width = width;
        c->height = height;
        c->codec_tag = dxt5 ? MKTAG('H', 'a', 'p', '5') : MKTAG('H', 'a', 'p', '1');
        c->thread_count = 1;
        if (avcodec_open2(c.get(), codec, nullptr) < 0)
            return {};
        Packet packet(av_packet_alloc());
        if (av_new_packet(packet.get(), int(hapFrame.size())) < 0)
            return {};
        std::memcpy(packet->data, hapFrame.data(), hapFrame.size());
        Frame frame(av_frame_alloc());
        if (avcodec_send_packet(c.get(), packet.get()) < 0 || avcodec_receive_frame(c.get(), frame.get()) < 0)
            return {};
        Bytes rgba(size_t(width) * height * 4);
        for (int y = 0; y < height; ++y)
            std::memcpy(&rgba[size_t(y) * width * 4], frame->data[0] + y * frame->linesize[0], size_t(width) * 4);
        return rgba;
    }
}
