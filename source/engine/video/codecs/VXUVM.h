#pragma once

#include <cstdint>

// UVM: a near-lossless coder for 16-bit UV maps. A map is width x height
// pixels of four u16 (U, V, 0, A), rows top to bottom, tightly packed; a pixel
// is visible when its A is 768 or more. The stream (little-endian) is the
// count of leading invisible pixels (u32), then segments: u16 N visible pixels
// (1 to the rest of their row), the pixels, and the invisible pixels after
// them as a u16 Z (0xFFFF then a u32 for 65535 or more). A Z of 0 ends the
// stream when the image is full or the segment stopped inside a row; the rest
// of the image is then zero. Invisible pixels decode as all zero.
//
// Segments in the first row, or shorter than 6 pixels, are raw (U, V, A per
// pixel, exact). The others predict each channel from the row above as
// piecewise-linear residuals between knots (decoded within 8 of the source,
// knots within 1), with alpha as bytes (A >> 8, decoded as a x 257) and runs
// of opaque pixels (A of 64512 or more, decoded as 65535); the last pixel of a
// predicted segment keeps a >> 8 alpha unless a run covers it.
//
// Width and height are 1 to 7680. Plain functions, re-entrant, no logging.
//
// The coded stream is bytes (u16 words and alpha bytes, of any length) and is
// passed as bytes with its size, in and out: it lives in byte buffers at any
// offset (compressed frames, file data), so a u32* or u16* stream pointer
// would claim an alignment and a word length it does not have, and without
// the sizes neither coder could keep within its buffers.

namespace vx
{
    // Largest width and height.
    constexpr unsigned long UVM_maxSide = 7680;

    // Codes the map (srcSize bytes at src, at least width x height x 8) into dst
    // of dstCapacity bytes. Answers the stream's size, 0 when a side is 0 or
    // above 7680, the source is short, or the stream would not fit (a narrow or
    // speckled map can need more than 8 bytes per pixel).
    unsigned long UVM_compress_RGBA16(std::uint8_t* dst, unsigned long dstCapacity, const std::uint16_t* src,
                                      unsigned long srcSize, unsigned long width, unsigned long height);

    // Decodes a stream of srcSize bytes into width x height RGBA16 pixels and
    // answers the bytes written (width x height x 8). Answers 0 for a side of 0
    // or above 7680, a stream that ends early, a segment that is empty or
    // crosses its row's end, a knot past its segment, or counts past the image;
    // dst may then hold a partial map. Never reads past srcSize nor writes past
    // the image.
    unsigned long UVM_decompress_RGBA16(std::uint16_t* dst, unsigned long width, unsigned long height,
                                        const std::uint8_t* src, unsigned long srcSize);

    // The same into two planes: width x height pairs of u16 (U, V), then width x
    // height alpha bytes (A >> 8). Answers the bytes written (width x height x 5).
    unsigned long UVM_decompress_LA16A8(std::uint8_t* dst, unsigned long width, unsigned long height,
                                        const std::uint8_t* src, unsigned long srcSize);
}
