#pragma once

#include "core/VXCurrentInstance.h"

namespace vx
{
    class File;

    // Still-image decoding for Texture::load. The graphics core has no image
    // decoders of its own: the video formats supply them and install theirs
    // when the engine is loaded. Both calls follow ImageUtils' contract:
    // width, height and the source's channel count are written, the answer is
    // a malloc'ed buffer of wantedChannels (the source's when 0) 8-bit
    // channels, first row first, that the caller frees; null on failure.
    class ImageDecoder : public CurrentInstance<ImageDecoder>
    {
    public:
        virtual ~ImageDecoder() = default;

        virtual unsigned char* decodeFile(const File& file, unsigned long* width, unsigned long* height, int* channels,
                                          int wantedChannels) = 0;
        virtual unsigned char* decodeMemory(const unsigned char* bytes, int size, unsigned long* width,
                                            unsigned long* height, int* channels, int wantedChannels) = 0;
    };
}
