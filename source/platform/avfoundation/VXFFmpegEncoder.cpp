#include "platform/avfoundation/VXFFmpegEncoder.h"

extern "C"
{
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstring>

namespace vx::av::ffmpeg
{
    namespace
    {
        std::string errorText(int code)
        {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(code, text, sizeof(text));
            return text;
        }
    }

    bool FFmpegEncoder::start(std::string& error)
    {
        // The codec and the file are opened here to refuse what cannot
        // work before any frame is taken: the codec at the usual rate,
        // reopened with the first frame's time scale only when that
        // differs; the header follows with the first frame.
        if (! openCodec(&codec, 25, error))
            return false;
        if (avformat_alloc_output_context2(&format, nullptr, "mov", settings.path.c_str()) < 0 || format == nullptr)
        {
            error = "no QuickTime muxer";
            return false;
        }
        const int opened = avio_open(&format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
        if (opened < 0)
        {
            error = "cannot open " + settings.path + ": " + errorText(opened);
            return false;
        }
        return true;
    }

    bool FFmpegEncoder::encode(const PixelBuffer& buffer, CMTime time, std::string& error)
    {
        if (buffer.getWidth() != settings.width || buffer.getHeight() != settings.height ||
            buffer.getPixelFormat() != settings.sourcePixelFormat)
        {
            error = "frame of another size or format";
            return false;
        }
        if (! begun && ! begin(time.valid && time.timescale > 0 ? time.timescale : 600, error))
            return false;
        if (! fillFrame(buffer, error))
            return false;
        frame->pts = av_rescale_q(time.value, AVRational{1, time.timescale}, codec->time_base);
        return send(frame, error);
    }

    bool FFmpegEncoder::finish(std::string& error)
    {
        if (! begun && ! begin(600, error))
            return false;
        if (! send(nullptr, error))
            return false;
        const int written = av_write_trailer(format);
        closeAll();
        if (written < 0)
        {
            error = errorText(written);
            return false;
        }
        return true;
    }

    bool FFmpegEncoder::openCodec(AVCodecContext** context, int timescale, std::string& error)
    {
        const char* encoderName = "prores_ks";
        AVPixelFormat pixelFormat = AV_PIX_FMT_YUV422P10LE;
        const char* profile = "2";
        if (settings.codec == fourCharCode("ap4h"))
        {
            pixelFormat = AV_PIX_FMT_YUVA444P10LE;
            profile = "4";
        }
        else if (settings.codec == fourCharCode("avc1"))
        {
            encoderName = "libx264";
            pixelFormat = AV_PIX_FMT_YUV420P;
            profile = nullptr;
        }
        else if (settings.codec == fourCharCode("jpeg"))
        {
            encoderName = "mjpeg";
            pixelFormat = AV_PIX_FMT_YUVJ420P;
            profile = nullptr;
        }
        const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName);
        if (encoder == nullptr)
        {
            error = std::string("no encoder ") + encoderName;
            return false;
        }
        *context = avcodec_alloc_context3(encoder);
        AVCodecContext* c = *context;
        c->width = settings.width;
        c->height = settings.height;
        c->pix_fmt = pixelFormat;
        c->time_base = AVRational{1, timescale};
        c->framerate = AVRational{timescale, 1};
        c->thread_count = 2;
        tagColour(*c);
        if (settings.codec == fourCharCode("jpeg"))
        {
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * 3;
        }
        // QuickTime keeps the codec's set-up in its header.
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* options = nullptr;
        if (profile != nullptr)
            av_dict_set(&options, "profile", profile, 0);
        if (settings.codec == fourCharCode("avc1"))
            av_dict_set(&options, "preset", "veryfast", 0);
        const int opened = avcodec_open2(c, encoder, &options);
        av_dict_free(&options);
        if (opened < 0)
        {
            error = std::string(encoderName) + " refuses " + std::to_string(settings.width) + " x " +
                    std::to_string(settings.height) + ": " + errorText(opened);
            return false;
        }
        return true;
    }

    YCbCrMatrix FFmpegEncoder::writtenMatrix() const
    {
        return settings.codec == fourCharCode("jpeg") ? YCbCrMatrix::itu601 : defaultYCbCrMatrixFor(settings.height);
    }

    void FFmpegEncoder::tagColour(AVCodecContext& c) const
    {
        const bool hd = writtenMatrix() == YCbCrMatrix::itu709;
        c.colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
        c.color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
        c.color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
        c.color_range = isFullRange() ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    }

    bool FFmpegEncoder::begin(int timescale, std::string& error)
    {
        if (format == nullptr || format->pb == nullptr)
        {
            error = "not started";
            return false;
        }
        if (codec == nullptr || codec->time_base.den != timescale)
        {
            avcodec_free_context(&codec);
            if (! openCodec(&codec, timescale, error))
                return false;
        }
        stream = avformat_new_stream(format, nullptr);
        if (stream == nullptr || avcodec_parameters_from_context(stream->codecpar, codec) < 0)
        {
            error = "cannot add the video stream";
            return false;
        }
        stream->time_base = codec->time_base;
        if (settings.codec == fourCharCode("ap4h") || settings.codec == fourCharCode("apcn"))
            stream->codecpar->codec_tag =
                MKTAG(static_cast<char>(settings.codec >> 24), static_cast<char>(settings.codec >> 16),
                      static_cast<char>(settings.codec >> 8), static_cast<char>(settings.codec));
        const int header = avformat_write_header(format, nullptr);
        if (header < 0)
        {
            error = errorText(header);
            return false;
        }
        begun = true;
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        frame->format = codec->pix_fmt;
        frame->width = codec->width;
        frame->height = codec->height;
        // ProRes takes the tags from the frames.
        frame->colorspace = codec->colorspace;
        frame->color_primaries = codec->color_primaries;
        frame->color_trc = codec->color_trc;
        frame->color_range = codec->color_range;
        if (av_frame_get_buffer(frame, 0) < 0)
        {
            error = "no memory for a frame";
            return false;
        }
        return true;
    }

    bool FFmpegEncoder::fillFrame(const PixelBuffer& buffer, std::string& error)
    {
        if (av_frame_make_writable(frame) < 0)
        {
            error = "frame not writable";
            return false;
        }
        const int w = buffer.getWidth(), h = buffer.getHeight();
        const unsigned char* source = buffer.getBaseAddress();
        int sourceStride = static_cast<int>(buffer.getBytesPerRow());
        AVPixelFormat sourceFormat = AV_PIX_FMT_BGRA;
        if (buffer.getPixelFormat() == pixelFormat64ARGB)
        {
            // Big-endian A,R,G,B to big-endian R,G,B,A.
            staging.resize(static_cast<std::size_t>(w) * h * 8);
            for (int y = 0; y < h; ++y)
            {
                const unsigned char* from = source + static_cast<std::size_t>(y) * sourceStride;
                unsigned char* to = staging.data() + static_cast<std::size_t>(y) * w * 8;
                for (int x = 0; x < w; ++x, from += 8, to += 8)
                {
                    std::memcpy(to, from + 2, 6);
                    to[6] = from[0];
                    to[7] = from[1];
                }
            }
            source = staging.data();
            sourceStride = w * 8;
            sourceFormat = AV_PIX_FMT_RGBA64BE;
        }
        SwsContext* scaler = conversion.get(w, h, sourceFormat, false, codec->pix_fmt, isFullRange(), writtenMatrix());
        if (scaler == nullptr)
        {
            error = "no conversion";
            return false;
        }
        const uint8_t* planes[4] = {source, nullptr, nullptr, nullptr};
        const int strides[4] = {sourceStride, 0, 0, 0};
        sws_scale(scaler, planes, strides, 0, h, frame->data, frame->linesize);
        return true;
    }

    bool FFmpegEncoder::send(AVFrame* toSend, std::string& error)
    {
        int result = avcodec_send_frame(codec, toSend);
        if (result < 0)
        {
            error = errorText(result);
            return false;
        }
        for (;;)
        {
            result = avcodec_receive_packet(codec, packet);
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
                return true;
            if (result < 0)
            {
                error = errorText(result);
                return false;
            }
            // One tick of the time scale is one frame: without it the
            // last frame would have no length.
            if (packet->duration <= 0)
                packet->duration = 1;
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            result = av_interleaved_write_frame(format, packet);
            if (result < 0)
            {
                error = errorText(result);
                return false;
            }
        }
    }

    void FFmpegEncoder::closeAll()
    {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        conversion.reset();
        if (format != nullptr)
        {
            const bool opened = format->pb != nullptr;
            if (opened)
                avio_closep(&format->pb);
            avformat_free_context(format);
            format = nullptr;
            // Opened but never begun: no empty file stays behind.
            if (opened && ! begun)
                std::remove(settings.path.c_str());
        }
    }
}
