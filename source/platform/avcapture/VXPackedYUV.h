#pragma once

#include <cstddef>
#include <cstdint>

// Building packed 4:2:2 (bytes U Y0 V Y1 per pair of pixels, the layout the
// format-conversion pass reads) from what cameras deliver.
namespace vx::packedyuv
{
    // Planar Y, Cb, Cr with chroma at half width (rounded up), one chroma row
    // per 2^chromaRowShift luma rows, into rows of outRow bytes; an odd last
    // pixel repeats its own luma.
    void packPlanar(const uint8_t* const planes[3], const size_t bytesPerRow[3], int width, int height,
                    int chromaRowShift, uint8_t* out, size_t outRow);

    // Y0 U Y1 V to U Y0 V Y1: the bytes of every pair swapped.
    void copySwappingPairs(uint8_t* out, const uint8_t* in, size_t bytes);
}
