#pragma once

#include <cstdint>

#include "engine/video/codecs/VXPixelsCompressor.h"

namespace vx
{
    // Id 9: a UVM stream of a 16-bit RGBA UV map (8 bytes per pixel). Decoded
    // maps are RGBA16, or with useLA16A8 the two planes of UVM_decompress_LA16A8
    // (U and V as u16 pairs, then alpha bytes) at the start of the image.
    class UVAPixelsCompressor : public PixelsCompressor
    {
    public:
        UVAPixelsCompressor() : PixelsCompressor(UVA) {}

        // False for images of another pixel size, or maps whose stream would
        // exceed their raw size.
        bool compress(const Pixels* pixels, CompressedPixels& out) override;
        Pixels* decompress(const CompressedPixels& in) override;

        void setUseLA16A8(bool use) { useLA16A8 = use; }
        bool getUseLA16A8() const { return useLA16A8; }

        // The coder itself: src holds w x h RGBA16 pixels (2-byte aligned);
        // answers the stream's bytes, 0 when it does not fit dstCapacity.
        unsigned long compress(std::uint8_t* dst, unsigned long dstCapacity, const std::uint8_t* src,
                               unsigned long srcSize, unsigned long w, unsigned long h);
        // Decodes size bytes into dst (w x h x 8 bytes, 2-byte aligned; w x h x 5
        // for the planes); true on success.
        bool decompress(std::uint8_t* dst, const std::uint8_t* src, unsigned long size, unsigned long w,
                        unsigned long h);

    private:
        bool useLA16A8 = false;
    };
}
