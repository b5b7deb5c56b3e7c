#include "platform/avcapture/VXMJPEGDecoderFFmpeg.h"

#include <cstring>
#include <vector>

extern "C"
{
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace vx
{
    namespace
    {
        std::string describe(int code)
        {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(code, text, sizeof(text));
            return text;
        }

        // Planar 4:2:2 or 4:2:0 to U Y0 V Y1; an odd last pixel repeats its
        // neighbour's chroma and its own luma.
        void packPlanar(const AVFrame& frame, int chromaRowShift, uint8_t* out, size_t outRow)
        {
            const int pairs = frame.width / 2;
            for (int y = 0; y < frame.height; ++y)
            {
                const uint8_t* luma = frame.data[0] + size_t(y) * size_t(frame.linesize[0]);
                const uint8_t* cb = frame.data[1] + size_t(y >> chromaRowShift) * size_t(frame.linesize[1]);
                const uint8_t* cr = frame.data[2] + size_t(y >> chromaRowShift) * size_t(frame.linesize[2]);
                uint8_t* row = out + size_t(y) * outRow;
                for (int x = 0; x < pairs; ++x)
                {
                    row[4 * x] = cb[x];
                    row[4 * x + 1] = luma[2 * x];
                    row[4 * x + 2] = cr[x];
                    row[4 * x + 3] = luma[2 * x + 1];
                }
                if (frame.width % 2 != 0)
                {
                    uint8_t* last = row + 4 * size_t(pairs);
                    last[0] = cb[pairs];
                    last[1] = last[3] = luma[2 * pairs];
                    last[2] = cr[pairs];
                }
            }
        }
    }

    struct MJPEGDecoderFFmpeg::Codec
    {
        ~Codec()
        {
            sws_freeContext(scaler);
            av_frame_free(&frame);
            av_packet_free(&packet);
            avcodec_free_context(&context);
        }

        AVCodecContext* context = nullptr;
        AVPacket* packet = nullptr;
        AVFrame* frame = nullptr;
        SwsContext* scaler = nullptr;
        std::vector<uint8_t> input; // the frame plus the padding the decoder may read
    };

    MJPEGDecoderFFmpeg::MJPEGDecoderFFmpeg() : codec(std::make_unique<Codec>())
    {
        if (const AVCodec* mjpeg = avcodec_find_decoder(AV_CODEC_ID_MJPEG))
            if ((codec->context = avcodec_alloc_context3(mjpeg)) != nullptr)
            {
                // A corrupt frame is reported once by the camera, not per frame by the decoder.
                codec->context->log_level_offset = AV_LOG_DEBUG - AV_LOG_ERROR;
                if (avcodec_open2(codec->context, mjpeg, nullptr) < 0)
                    avcodec_free_context(&codec->context);
            }
        codec->packet = av_packet_alloc();
        codec->frame = av_frame_alloc();
    }

    MJPEGDecoderFFmpeg::~MJPEGDecoderFFmpeg() = default;

    bool MJPEGDecoderFFmpeg::decode(const uint8_t* data, size_t size, std::string& error)
    {
        if (codec->context == nullptr || codec->packet == nullptr || codec->frame == nullptr)
        {
            error = "no Motion-JPEG decoder";
            return false;
        }
        if (data == nullptr || size < 4 || size > size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE)
        {
            error = "empty or oversized Motion-JPEG frame";
            return false;
        }
        codec->input.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
        std::memcpy(codec->input.data(), data, size);
        std::memset(codec->input.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        av_packet_unref(codec->packet);
        codec->packet->data = codec->input.data();
        codec->packet->size = int(size);

        int result = avcodec_send_packet(codec->context, codec->packet);
        if (result >= 0)
            result = avcodec_receive_frame(codec->context, codec->frame);
        if (result < 0)
        {
            avcodec_flush_buffers(codec->context);
            error = "Motion-JPEG frame not decoded: " + describe(result);
            return false;
        }
        const AVFrame& frame = *codec->frame;
        if (frame.width <= 0 || frame.height <= 0 || frame.width > 16384 || frame.height > 16384)
        {
            av_frame_unref(codec->frame);
            error = "Motion-JPEG frame of unusable size";
            return false;
        }

        const size_t row = size_t((frame.width + 1) / 2) * 4;
        if (packed == nullptr || packedSize < row * size_t(frame.height))
        {
            packedSize = row * size_t(frame.height);
            packed.reset(new uint8_t[packedSize]);
        }
        const auto format = AVPixelFormat(frame.format);
        bool converted = true;
        if (format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUV422P)
            packPlanar(frame, 0, packed.get(), row);
        else if (format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUV420P)
            packPlanar(frame, 1, packed.get(), row);
        else
        {
            // Grey, 4:4:4 and the rarer samplings go through the scaler.
            codec->scaler = sws_getCachedContext(codec->scaler, frame.width, frame.height, format, frame.width,
                                                 frame.height, AV_PIX_FMT_UYVY422, SWS_POINT, nullptr, nullptr,
                                                 nullptr);
            uint8_t* planes[4] = {packed.get(), nullptr, nullptr, nullptr};
            const int strides[4] = {int(row), 0, 0, 0};
            converted = codec->scaler != nullptr &&
                        sws_scale(codec->scaler, frame.data, frame.linesize, 0, frame.height, planes, strides) > 0;
        }
        width = frame.width;
        height = frame.height;
        bytesPerRow = row;
        av_frame_unref(codec->frame);
        if (! converted)
            error = "Motion-JPEG frame in a sampling that cannot be converted";
        return converted;
    }
}
