#pragma once

// Hap frames: DXT texture data behind a section header, packed by snappy or
// stored, whole or in chunks that decode independently.
//
// A section header is a 24-bit little-endian length and a type byte; a length
// of 0 means an 8-byte header whose bytes 4-7 hold the length. The length
// counts the bytes after the header. The top section's type is the second
// stage in the high nibble (0xA stored, 0xB snappy, 0xC chunked) and the
// texture format in the low nibble (0xB DXT1, 0xE DXT5, 0xF YCoCg in DXT5).
// A chunked section holds a decode-instructions section (0x01) listing the
// chunks' second stages (0x02, a byte each), sizes (0x03, u32 each) and
// optionally offsets (0x04, u32 each, from the start of the chunk data), then
// the chunk data.
//
// Every function answers one of the HapResult codes, writes no output on an
// argument error, never reads past inputBytes nor writes past outputBytes,
// and logs nothing.

namespace vx
{
    enum HapResult : unsigned int
    {
        hapNoError = 0,
        hapBadArguments = 1,
        hapBufferTooSmall = 2,
        hapBadFrame = 3,
        hapInternalError = 4
    };

    // Texture formats of a frame, as GL names them (YCoCg has no GL name).
    constexpr unsigned int hapFormatDXT1 = 0x83F0; // GL_COMPRESSED_RGB_S3TC_DXT1_EXT
    constexpr unsigned int hapFormatDXT5 = 0x83F3; // GL_COMPRESSED_RGBA_S3TC_DXT5_EXT
    constexpr unsigned int hapFormatYCoCgDXT5 = 1;

    // Second-stage compressors HapEncode offers.
    constexpr unsigned int hapCompressorNone = 0;
    constexpr unsigned int hapCompressorSnappy = 1;

    // One chunk of a chunked frame, filled by HapDecode and decoded by
    // hap_decode_chunk.
    struct HapChunk
    {
        unsigned int result = hapNoError;
        unsigned int kind = 0; // 0x0A stored, 0x0B snappy
        const char* packed = nullptr;
        unsigned long packedBytes = 0;
        char* output = nullptr;
        unsigned long decodedBytes = 0;
    };

    // Decodes chunk `index` of the records (the HapChunk array HapDecode hands
    // to its runner).
    using HapChunkFunction = void (*)(void* chunks, unsigned int index);
    // Must call the function once for every index below count, on any threads,
    // and return when all have run.
    using HapChunkRunner = void (*)(HapChunkFunction function, void* chunks, unsigned int count, void* info);

    // The output a frame of inputBytes may need: the larger of snappy's bound
    // and inputBytes, plus 8.
    unsigned long HapMaxEncodedLength(unsigned long inputBytes);

    // One unchunked frame of the texture data: snappy (compressor 1) when it
    // shrinks the data, else stored. The header is 8 bytes for inputs above
    // 0xFFFFFF, else 4. 1 for null or empty input, an unknown format or
    // compressor; 2 when output cannot hold the larger of the second stage's
    // bound and the input, plus the header; 4 when snappy fails.
    unsigned int HapEncode(const void* input, unsigned long inputBytes, unsigned int textureFormat,
                           unsigned int compressor, void* output, unsigned long outputBytes,
                           unsigned long* outputBytesUsed);

    // Decodes a frame into output. A chunked frame's chunks run through the
    // runner (in order on this thread when it is null); the first failing
    // chunk's result is the frame's. 1 for a null input, output or format; 2
    // when the texture data exceeds outputBytes; 3 for a malformed frame
    // (headers or chunks outside their sections, table counts that disagree,
    // a format this decoder does not read, a chunk snappy refuses); 4 when
    // memory runs out or snappy refuses an unchunked frame.
    // outputTextureFormat is written once the header is read.
    unsigned int HapDecode(const void* input, unsigned long inputBytes, HapChunkRunner runner, void* info,
                           void* output, unsigned long outputBytes, unsigned long* outputBytesUsed,
                           unsigned int* outputTextureFormat);

    // The frame's texture format from its header; 3 (format 0) when the
    // header is malformed or names no format this decoder reads.
    unsigned int HapGetFrameTextureFormat(const void* input, unsigned long inputBytes, unsigned int* format);

    // A section header within bufferBytes: 3 when it or its content does not fit.
    unsigned int hap_read_section_header(const void* buffer, unsigned long bufferBytes, unsigned int* headerLength,
                                         unsigned long* sectionLength, unsigned int* sectionType);

    void hap_decode_chunk(void* chunks, unsigned int index);
}
