#pragma once

#include "engine/video/codecs/VXVideoCodecSettings.h"

namespace vx
{
    // Writes the frames of one stream; holds its own copy of the settings.
    // One thread at a time.
    class Compressor
    {
    public:
        explicit Compressor(const VideoCodecSettings& streamSettings) : settings(streamSettings) {}
        virtual ~Compressor() = default;
        Compressor(const Compressor&) = delete;
        Compressor& operator=(const Compressor&) = delete;

        // One frame from src (rows srcStride bytes apart) into dst, which holds
        // getSafeBufferSize bytes; answers the frame's size, 0 on failure.
        virtual int compressFrame(unsigned char* src, unsigned char* dst, int srcStride) = 0;
        virtual int getSafeBufferSize() = 0;
        // Ends the stream.
        virtual void flush() {}

        const VideoCodecSettings& getSettings() const { return settings; }
        CodecFourCC getFourCC() const { return settings.fourCC; }

    protected:
        VideoCodecSettings settings;
    };
}
