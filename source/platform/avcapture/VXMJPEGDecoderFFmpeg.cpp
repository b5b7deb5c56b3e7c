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

    namespace
    {
        constexpr int64_t maxPicturePixels = int64_t(8192) * 4320;
    }

    MJPEGDecoderFFmpeg::MJPEGDecoderFFmpeg() : codec(std::make_unique<Codec>())
    {
        if (const AVCodec* mjpeg = avcodec_find_decoder(AV_CODEC_ID_MJPEG))
            if ((codec->context = avcodec_alloc_context3(mjpeg)) != nullptr)
            {
                // A corrupt frame is reported once by the camera, not per frame by the decoder.
                codec->context->log_level_offset = AV_LOG_DEBUG - AV_LOG_ERROR;
                // A corrupt header claiming a huge picture is refused before
                // the decoder allocates for it (a progressive one would take
                // gigabytes of coefficients); no camera sends more than 8K.
                codec->context->max_pixels = maxPicturePixels;
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
        av_frame_unref(codec->frame); // the previous picture
        planes[0] = planes[1] = planes[2] = nullptr;
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
        width = frame.width;
        height = frame.height;
        const auto format = AVPixelFormat(frame.format);
        const bool halfRows = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUV420P;
        planar = halfRows || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUV422P;
        if (planar)
        {
            chromaRowShift = halfRows ? 1 : 0;
            for (size_t i = 0; i < 3; ++i)
            {
                planes[i] = frame.data[i];
                bytesPerRow[i] = size_t(frame.linesize[i]);
            }
            return true;
        }

        // Grey, 4:4:4 and the rarer samplings go through the scaler.
        const size_t row = size_t((frame.width + 1) / 2) * 4;
        if (packed == nullptr || packedSize < row * size_t(frame.height))
        {
            packedSize = row * size_t(frame.height);
            packed.reset(new uint8_t[packedSize]);
        }
        codec->scaler = sws_getCachedContext(codec->scaler, frame.width, frame.height, format, frame.width,
                                             frame.height, AV_PIX_FMT_UYVY422, SWS_POINT, nullptr, nullptr, nullptr);
        int* inverse = nullptr;
        int* table = nullptr;
        int sourceRange = 0, targetRange = 0, brightness = 0, contrast = 0, saturation = 0;
        if (codec->scaler != nullptr && sws_getColorspaceDetails(codec->scaler, &inverse, &sourceRange, &table,
                                                                 &targetRange, &brightness, &contrast, &saturation) >= 0)
            sws_setColorspaceDetails(codec->scaler, inverse, sourceRange, table, sourceRange, brightness, contrast,
                                     saturation); // keep the JPEG's range, as the planar frames do
        uint8_t* targets[4] = {packed.get(), nullptr, nullptr, nullptr};
        const int strides[4] = {int(row), 0, 0, 0};
        const bool converted = codec->scaler != nullptr &&
                               sws_scale(codec->scaler, frame.data, frame.linesize, 0, frame.height, targets, strides) > 0;
        av_frame_unref(codec->frame);
        planes[0] = packed.get();
        bytesPerRow[0] = row;
        if (! converted)
            error = "Motion-JPEG frame in a sampling that cannot be converted";
        return converted;
    }
}
