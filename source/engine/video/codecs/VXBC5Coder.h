#pragma once

#include <cstdint>

// Lossless coders of BC4 and BC5 block streams (the planes of YCoCg6 and
// YACoCg10 frames). A block is split into 8-byte halves (E: the u16 endpoint
// pair at bytes 0-1; I1: index bytes 2-4; I2: index bytes 5-7). Every half
// after the first block becomes a symbol 0-17 naming where its parts come
// from (a run, the previous block, a block up to 65536 back, one of 256
// recently seen endpoint pairs or index triples, or the raw bytes); the raw
// bytes go to a byte stream and the symbols are FSE-coded.
//
// BC5 stream: u32 offset of symbol stream A, u32 number of A symbols, u32
// number of B symbols, block 0 (16 bytes), the raw bytes, then the FSE blocks
// of stream A (first halves) and stream B (second halves).
// BC4 stream: u32 offset of the symbol stream, u32 number of symbols, block 0
// (8 bytes), the raw bytes, then one FSE block.
//
// Encoders answer the bytes written, 0 when the stream would not fit in
// dstCapacity or the arguments are unusable. Decoders answer the bytes of src
// they used, 0 for any malformed, truncated or inconsistent stream; they never
// read past srcSize, never write past blockCount blocks, and reference only
// blocks already decoded. Everything is re-entrant: the tables belong to the
// call and the workplace to its caller.

namespace vx
{
    // Symbol buffers of a coder call (one buffer in two halves) and the
    // encoder's match table.
    struct YCoCgWorkplace
    {
        std::uint8_t* symbols = nullptr;
        std::uint8_t* half[2] = {nullptr, nullptr};
        int size = 0;     // bytes at symbols
        int halfSize = 0; // bytes at each half
        std::uint16_t* matchTable = nullptr;
        void* allocation = nullptr;
    };

    // Allocates size bytes of symbols (halves of size / 2) and the match
    // table; false, with the workplace left empty, when that fails or size is
    // below 0. Free with YCOCG_freeWorkplace.
    bool YCOCG_allocateWorkplace(YCoCgWorkplace* workplace, int size);
    void YCOCG_freeWorkplace(YCoCgWorkplace* workplace);

    // The BC5 stream of blockCount 16-byte blocks. Each half of the workplace
    // must hold blockCount - 1 symbols. A block count below 1 answers 0.
    int BC5_Compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int blockCount,
                     YCoCgWorkplace* workplace);
    int BC5_Decompress(std::uint8_t* dst, int blockCount, const std::uint8_t* src, YCoCgWorkplace* workplace,
                       int srcSize);

    // The BC4 stream of blockCount 8-byte blocks; the symbols go to the whole
    // workplace buffer, which must hold blockCount - 1 of them.
    int BC4_Compress(std::uint8_t* dst, int dstCapacity, const std::uint8_t* src, int blockCount,
                     YCoCgWorkplace* workplace);
    int BC4_Decompress(std::uint8_t* dst, int blockCount, const std::uint8_t* src, YCoCgWorkplace* workplace,
                       int srcSize);
}
