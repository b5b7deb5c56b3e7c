#pragma once

// DXTR: a lossless coder for DXT1 and DXT5 block data. It works on whole
// blocks and on their halves and words (colour endpoints, indices, the DXT5
// alpha half) rather than on bytes: repeated blocks, halves and words become
// short back-references found through hash tables, with 2-bit codes packed
// sixteen to a little-endian 32-bit code word.
//
// Plain functions, re-entrant, no logging: failure is an answer of 0.
//
// Encoders answer the bytes written to dst, or 0 when dstCapacity is below
// DXTR_compressBound(srcSize), when srcSize is not a whole number of blocks
// (8 bytes for DXT1, 16 for DXT5), when a pointer is null or memory runs out,
// or when the result would not be smaller than srcSize (the caller then
// stores the blocks raw). They write nothing beyond dstCapacity.
//
// Decoders fill exactly dstSize bytes of dst and answer the number of source
// bytes the stream used. They read nothing beyond srcSize and write nothing
// beyond dstSize; every back-reference must point into what was already
// decoded. A truncated or malformed stream, a null pointer or a dstSize
// below 1 answers 0 (dst may then hold a partial result). A dstSize of at
// most one block copies just the first block (as much of it as fits) and
// answers the block size.

// The capacity a destination needs: size + size / 8 + 64 (UINT_MAX when that
// does not fit, which no encoder accepts).
unsigned DXTR_compressBound(unsigned size);

// A work area for the encoders (its hash tables), reusable from call to call
// on one thread at a time; null when memory runs out. Free it with
// DXTR_freeWorkspace (null is ignored).
void* DXTR_createWorkspace();
void DXTR_freeWorkspace(void* workspace);

unsigned DXTR_compressDXT1_Workspace(void* workspace, const void* src, unsigned srcSize, void* dst,
                                     unsigned dstCapacity);
unsigned DXTR_compressDXT5_Workspace(void* workspace, const void* src, unsigned srcSize, void* dst,
                                     unsigned dstCapacity);

// As above with a work area allocated and freed around the call.
unsigned DXTR_compressDXT1(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity);
unsigned DXTR_compressDXT5(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity);

unsigned DXTR_uncompressDXT1(const void* src, unsigned srcSize, void* dst, int dstSize);
unsigned DXTR_uncompressDXT5(const void* src, unsigned srcSize, void* dst, int dstSize);
