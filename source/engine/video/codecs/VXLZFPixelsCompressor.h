#pragma once

#include "engine/video/codecs/VXPixelsCompressor.h"

namespace vx
{
    // Id 1: LZF of the pixel bytes.
    class LZFPixelsCompressor : public PixelsCompressor
    {
    public:
        LZFPixelsCompressor() : PixelsCompressor(LZF) {}

        bool compress(const Pixels* pixels, CompressedPixels& out) override;
        // Null unless the payload decodes to exactly the image's bytes.
        Pixels* decompress(const CompressedPixels& in) override;

        // LZF itself: the bytes written, 0 when they do not fit.
        static unsigned compress(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity);
        static unsigned decompress(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity);
    };
}
