#pragma once

#include "engine/video/codecs/VXVideoCodecSettings.h"

namespace vx
{
    class Renderer;

    // Reads the frames of one stream; holds its own copy of the settings.
    // One thread at a time; renderInternal on the thread of the current GL
    // context.
    class Decompressor
    {
    public:
        explicit Decompressor(const VideoCodecSettings& streamSettings) : settings(streamSettings) {}
        virtual ~Decompressor() = default;
        Decompressor(const Decompressor&) = delete;
        Decompressor& operator=(const Decompressor&) = delete;

        // Draws a decoded frame of size bytes into the current target; the
        // base draws nothing and answers false.
        virtual bool renderInternal(Renderer& renderer, const unsigned char* data, int size);
        // A frame of size bytes into dst; false on failure.
        virtual bool decompressFrame(unsigned char* dst, unsigned char* frame, int size) = 0;
        virtual bool isImageFlipped() = 0;
        virtual bool readHeaderInfo(unsigned char* header, int size) = 0;

        const VideoCodecSettings& getSettings() const { return settings; }

    protected:
        VideoCodecSettings settings;
    };

    inline bool Decompressor::renderInternal(Renderer&, const unsigned char*, int) { return false; }
}
