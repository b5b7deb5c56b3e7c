#pragma once

#include "engine/video/codecs/VXPixelsCompressor.h"

namespace vx
{
    // Id 2: LZ4 of the pixel bytes, limited to their own size: data that does
    // not shrink is refused.
    class LZ4PixelsCompressor : public PixelsCompressor
    {
    public:
        LZ4PixelsCompressor() : PixelsCompressor(LZ4) {}

        bool compress(const Pixels* pixels, CompressedPixels& out) override;
        // Null unless the payload decodes to exactly the image's bytes.
        Pixels* decompress(const CompressedPixels& in) override;

        // LZ4 itself: the bytes written, 0 when they do not fit (or for a
        // malformed block when decompressing).
        static int compress(const char* src, char* dst, int srcSize, int dstCapacity);
        static int decompress(const char* src, char* dst, int compressedSize, int dstCapacity);
    };
}
