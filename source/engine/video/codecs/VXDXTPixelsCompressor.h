#pragma once

#include <vector>

#include "engine/video/codecs/VXPixelsCompressor.h"

namespace vx
{
    // Id 5: one QMV frame of type 0 (DXT1) or 1 (DXT5). RGBA8 images are
    // compressed to DXT1 (alpha dropped) over the processor count's threads;
    // images that already hold DXT1 or DXT5 blocks (tightly packed, or padded
    // to 16 pixels) only get the lossless step. The decoded image is the
    // padded size (sides rounded up to 16) and holds the blocks.
    class DXTPixelsCompressor : public PixelsCompressor
    {
    public:
        DXTPixelsCompressor() : PixelsCompressor(DXT) {}

        // False for anything but 4-byte RGBA and DXT images.
        bool compress(const Pixels* pixels, CompressedPixels& out) override;
        // Null for frames of other types or sizes other than the padded image's.
        Pixels* decompress(const CompressedPixels& in) override;

    private:
        std::vector<unsigned char> paddedBlocks;
    };
}
