#pragma once

#include <cstdint>

// Lossless coders of YCoCg6 and YACoCg10 block planes (see VXYCoCgBlocks.h),
// the packing stage of those frames.
//
// YCoCg6 works on tiles of 48 bytes (four 8-byte Y blocks, one 16-byte chroma
// block): with n = size / 48 the Y plane of 4n blocks is coded as a BC4 block
// stream and the chroma plane of n blocks (at offset 32n) as a BC5 block
// stream right after it. YACoCg10 works on tiles of 80 bytes: the 4n YA
// blocks and then the n chroma blocks (at offset 64n), each as a BC5 block
// stream (see VXBC5Coder.h).
//
// Compressors answer the packed size, 0 when size is not a positive whole
// number of tiles, the packed planes would not fit in dstCapacity, or memory
// runs out; the caller then stores the planes as they are. Decompressors
// answer the packed bytes they used, 0 when size is not a positive whole
// number of tiles or the packed data is malformed, truncated or inconsistent;
// they never read past srcSize nor write past size bytes. All four are
// re-entrant; each allocates its own symbol buffers.

namespace vx
{
    int YCoCg6_compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int size);
    int YCoCg6_decompress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int size);

    int YACoCg10_compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int size);
    int YACoCg10_decompress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int size);
}
