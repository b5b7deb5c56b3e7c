#pragma once

#include "engine/video/formats/avfoundation/VXMediaBackend.h"
#include "platform/avfoundation/VXFFmpegDecoder.h"

#include <string>
#include <vector>

// The FFmpeg backend's movie encoder: libavcodec encodes, libavformat writes.
namespace vx::av::ffmpeg
{
    class FFmpegEncoder final : public MovieEncoder
    {
    public:
        explicit FFmpegEncoder(const EncoderSettings& encoderSettings) : settings(encoderSettings) {}

        ~FFmpegEncoder() override { closeAll(); }

        bool start(std::string& error) override;

        bool encode(const PixelBuffer& buffer, CMTime time, std::string& error) override;

        bool finish(std::string& error) override;

    private:
        bool openCodec(AVCodecContext** context, int timescale, std::string& error);

        // Motion JPEG is coded as JPEG pictures are, BT.601 in full
        // range; the others in video range with the matrix their height
        // is taken for. Either is tagged, so no reader has to guess.
        YCbCrMatrix writtenMatrix() const;

        bool isFullRange() const { return settings.codec == fourCharCode("jpeg"); }

        void tagColour(AVCodecContext& c) const;

        bool begin(int timescale, std::string& error);

        bool fillFrame(const PixelBuffer& buffer, std::string& error);

        bool send(AVFrame* toSend, std::string& error);

        void closeAll();

        EncoderSettings settings;
        AVFormatContext* format = nullptr;
        AVCodecContext* codec = nullptr;
        AVStream* stream = nullptr;
        AVFrame* frame = nullptr;
        AVPacket* packet = nullptr;
        ColourConversion conversion;
        std::vector<unsigned char> staging;
        bool begun = false;
    };
}
