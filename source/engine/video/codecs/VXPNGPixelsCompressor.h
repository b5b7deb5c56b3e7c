#pragma once

#include "engine/video/codecs/VXPixelsCompressor.h"

namespace vx
{
    // Id 3: a PNG file of the pixels (1, 3, 4 or 8 bytes per pixel). Images
    // come back in their stored pixel size: the decoder's RGBA is narrowed to
    // RGB for 3-byte and to grey for 1-byte images.
    class PNGPixelsCompressor : public PixelsCompressor
    {
    public:
        PNGPixelsCompressor() : PixelsCompressor(PNG) {}

        bool compress(const Pixels* pixels, CompressedPixels& out) override;
        // Null when the file does not decode to the stored width and height.
        Pixels* decompress(const CompressedPixels& in) override;
    };
}
