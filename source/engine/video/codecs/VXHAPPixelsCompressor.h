#pragma once

#include "engine/video/codecs/VXPixelsCompressor.h"

namespace vx
{
    // Id 8: one Hap frame (snappy) of DXT1 blocks. compress takes images that
    // already hold DXT1 blocks, made from pixels in the order
    // getInputPixelsOrder names (1: red and blue swapped). Decoded images hold
    // the frame's DXT1 or DXT5 blocks, tightly packed; chunked frames decode
    // their chunks as tasks (the caller helping) when a task manager exists.
    class HAPPixelsCompressor : public PixelsCompressor
    {
    public:
        HAPPixelsCompressor();

        // False for images that are not DXT1.
        bool compress(const Pixels* pixels, CompressedPixels& out) override;
        // Null for YCoCg frames and frames whose blocks do not cover the image exactly.
        Pixels* decompress(const CompressedPixels& in) override;
    };
}
