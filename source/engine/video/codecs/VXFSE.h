#pragma once

#include <cstdint>

// Finite-state entropy coder for byte symbols over a fixed table of 1024
// states (a table-based asymmetric numeral system). A compressed block starts
// with a byte whose low two bits give its mode:
//   0 raw:            0, then the input bytes (size + 1 bytes);
//   1 single symbol:  1, then the symbol (2 bytes);
//   2 coded:          a bit-packed header of normalised counts, then the coded
//                     stream (a u32 bit count B and a little-endian bit stream).
// The number of symbols is not stored: the container knows it.
//
// Every function is re-entrant and allocates nothing; the tables live on the
// caller's stack. Decoders state their contract as follows: the answer is the
// number of source bytes read, 0 for a malformed, truncated or inconsistent
// block; they never read past srcSize bytes nor write past size bytes.

namespace vx
{
    // The sum every normalised distribution has: 1024.
    int FSE_getDistributionTotal();

    // Compresses size bytes of symbols 0..255 (0..nbSymbols-1) into dst, which
    // holds size + 1 bytes. Answers the block's size, at most size + 1: a raw
    // block whenever coding saves nothing (or size is 1 or less), a
    // single-symbol block when only one symbol occurs. An input holding a
    // symbol at or above nbSymbols is stored raw; nbSymbols outside 1..256
    // answers 0.
    int FSE_compress(std::uint8_t* dst, const std::uint8_t* src, int size);
    int FSE_compress_Nsymbols(std::uint8_t* dst, const std::uint8_t* src, int size, int nbSymbols);
    // The same into dst of dstCapacity bytes: 0 when the block does not fit.
    int FSE_compress_Nsymbols(std::uint8_t* dst, const std::uint8_t* src, int size, int nbSymbols,
                              int dstCapacity);

    // The coded stream of size symbols for the given normalised counts (one
    // per symbol 0..nbSymbols-1, summing to 1024). Answers its size in bytes,
    // 0 when the counts are not a distribution, a symbol to code has count 0,
    // or the stream would not fit in dstCapacity bytes. At most
    // 4 + (10 x size + 17) / 8 bytes are written.
    int FSE_encode_generic(std::uint8_t* dst, const std::uint8_t* src, int size, const std::uint16_t* counts,
                           int nbSymbols, int dstCapacity);
    int FSE_encode(std::uint8_t* dst, const std::uint8_t* src, int size, const std::uint16_t* counts,
                   int dstCapacity);

    // Decodes size symbols of a coded stream made with the given counts;
    // answers the stream's bytes ((B + 7) / 8). The stream's bits must be used
    // exactly.
    int FSE_decode_generic(std::uint8_t* dst, int size, const std::uint8_t* src, const std::uint16_t* counts,
                           int nbSymbols, int srcSize);
    int FSE_decode(std::uint8_t* dst, int size, const std::uint8_t* src, const std::uint16_t* counts, int srcSize);

    // Decodes a whole block of any mode into size bytes; answers the block's
    // bytes.
    int FSE_decompress(std::uint8_t* dst, int size, const std::uint8_t* src, int srcSize);

    // The two trivial modes: copies size bytes from src + 1 (answers size + 1),
    // or fills size bytes with the symbol (answers 2).
    int FSE_decodeRaw(std::uint8_t* dst, int size, const std::uint8_t* src, int srcSize);
    int FSE_decodeSingleSymbol(std::uint8_t* dst, int size, std::uint8_t symbol);
}
