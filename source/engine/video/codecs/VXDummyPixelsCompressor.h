#pragma once

#include "engine/video/codecs/VXPixelsCompressor.h"

namespace vx
{
    // Id 0: the pixel bytes unchanged. Decompression copies at most the
    // image's bytes; a short payload leaves the rest zero.
    class DummyPixelsCompressor : public PixelsCompressor
    {
    public:
        DummyPixelsCompressor() : PixelsCompressor(Dummy) {}

        bool compress(const Pixels* pixels, CompressedPixels& out) override;
        Pixels* decompress(const CompressedPixels& in) override;
    };
}
