#pragma once

#include <cstdint>

// YCoCg colour as luma plus half-resolution chroma in BC4/BC5 blocks, which a
// GPU samples as RGTC textures. The image is handled in 8 x 8 tiles, left to
// right, top to bottom; width and height must be multiples of 8.
//
// YCoCg6 planes (0.75 byte per pixel): the Y plane, (w/4) x (h/4) BC4 blocks in
// row order (w x h / 2 bytes), then at offset w x h / 2 the chroma plane: one
// BC5 block (Co block, then Cg block) per tile in tile order.
// YACoCg10 planes (1.25 bytes per pixel): the YA plane, (w/4) x (h/4) BC5
// blocks (Y block, then alpha block; w x h bytes), then the chroma plane at
// offset w x h as in YCoCg6.
//
// BC4 blocks made here have e0 above e1 (eight-value mode) or e0 = e1 with all
// indices 0. Every function is re-entrant and allocates nothing.

namespace vx
{
    // Texture stage from tightly packed RGBA8. Answers 0, or 1 (nothing
    // written) when width or height is not a non-negative multiple of 8.
    int YCoCg6_Convertfrom_RGBA32(const std::uint8_t* rgba, int width, int height, std::uint8_t* dst);
    int YACoCg10_Convertfrom_RGBA32(const std::uint8_t* rgba, int width, int height, std::uint8_t* dst);

    // One BC4 block from 16 samples in row order: 12-bit luma samples
    // ((R + 2G + B) x 4), 9-bit chroma samples (0..510) or 8-bit alpha.
    void YCoCg_CompressBlockBC4_12bits(std::uint8_t* block, const std::uint16_t* samples);
    void YCoCg_CompressBlockBC4_9bits(std::uint8_t* block, const std::uint16_t* samples);
    void YCoCg_CompressBlockBC4_8bits(std::uint8_t* block, const std::uint16_t* samples);

    // CPU expansion back to tightly packed RGBA8; the same size rule and answer
    // as the texture stage. Any block bytes are accepted.
    int YCoCg6_ConvertInto_RGBA32(const std::uint8_t* planes, int width, int height, std::uint8_t* rgba);
    int YACoCg10_ConvertInto_RGBA32(const std::uint8_t* planes, int width, int height, std::uint8_t* rgba);

    // The steps of the expansion: a BC4 block as 16 samples of 13 bits
    // (endpoints x 32); a 4 x 4 block of samples doubled to 8 x 8; and 16
    // pixels (4 x 4, row order, 64 bytes of RGBA) from their 13-bit Y, alpha,
    // Co and Cg samples.
    void YCoCg_decodeBC4UBlock_13bits(const std::uint8_t* block, std::uint16_t* samples);
    void YCoCg_expand2X(const std::uint16_t* quarter, std::uint16_t* full);
    void YCoCg_CombineYACoCg_13bits_into_RGBA_32bits(const std::uint16_t* y, const std::uint16_t* a,
                                                     const std::uint16_t* co, const std::uint16_t* cg,
                                                     std::uint8_t* rgba);
}
