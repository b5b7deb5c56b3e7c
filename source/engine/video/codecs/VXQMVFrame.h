#pragma once

#include <cstdint>

// QMV frames: one RGBA8 image as GPU block data (DXT1, DXT5, YCoCg6 or
// YACoCg10), packed by one of eight lossless compressors, behind a 12-byte
// little-endian header:
//
//   0  u32  FourCC (the four-character constant, first character in the
//           most significant byte: "DXT1" is stored as 31 54 58 44)
//   4  u8   version: 4, or 3 for old DXT frames (types 4 and 5)
//   5  u8   sub-version: 0
//   6  u8   raw flag: non-zero when the payload is the block data itself
//   7  u8   reserved: 0
//   8  u32  payload size
//
// A frame whose first u32 is none of the six FourCCs has the old 4-byte
// header: a 24-bit payload size, then bits 0-3 version, 4-5 sub-version,
// 6 DXT5, 7 raw. Such a frame is always of type 4 or 5.
//
// Decompression undoes the lossless stage only: its output is the block data
// the GPU draws or the CPU decoders expand. Plain functions, re-entrant, no
// logging: failure is 0, false or "".

namespace qmv
{
    struct Session;

    enum QMVType : int
    {
        typeDXT1 = 0,
        typeDXT5 = 1,
        typeYCoCg6 = 2,
        typeYACoCg10 = 3,
        typeDXT1Old = 4,
        typeDXT5Old = 5,
        typeUVMap = 6, // 16-bit RGBA, 8 bytes per pixel, through the UV-map coder
        typeMask = 7   // 16-bit single channel, through LZ4
    };

    constexpr std::uint32_t makeFourCC(const char (&text)[5])
    {
        return std::uint32_t(std::uint8_t(text[0])) << 24 | std::uint32_t(std::uint8_t(text[1])) << 16 |
               std::uint32_t(std::uint8_t(text[2])) << 8 | std::uint32_t(std::uint8_t(text[3]));
    }

    constexpr std::uint32_t fourccDXT1 = makeFourCC("DXT1");
    constexpr std::uint32_t fourccDXT5 = makeFourCC("DXT5");
    constexpr std::uint32_t fourccYCoCg6 = makeFourCC("YCG6");
    constexpr std::uint32_t fourccYACoCg10 = makeFourCC("YG10");
    constexpr std::uint32_t fourccUVMap = makeFourCC("UVA0");
    constexpr std::uint32_t fourccMask = makeFourCC("MSK0");

    constexpr int headerSize = 12;
    constexpr int oldHeaderSize = 4;

    struct QMVHeader
    {
        std::uint32_t fourcc = 0;
        std::uint8_t version = 0;
        std::uint8_t subVersion = 0;
        std::uint8_t raw = 0;
        std::uint8_t reserved = 0;
        std::uint32_t payloadSize = 0;
    };
    static_assert(sizeof(QMVHeader) == headerSize);

    // One lossless compressor. compress(src, dst, srcSize, dstCapacity)
    // answers the bytes written (at least 1) or 0 when the result does not fit
    // or the input is refused; decompress(packed, dst, packedSize, expected)
    // answers more than 0 when exactly expected bytes were written, never
    // reading past packedSize nor writing past expected.
    struct CompressorEntry
    {
        int (*compress)(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
        int (*decompress)(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);
        const char* description;
    };

    // The eight compressors, by index: 0 LZ4, 1 LZ4 HC level 8, 2 LZF,
    // 3 DXTR1, 4 DXTR5, 5 YCoCg6 planes, 6 YACoCg10 planes, 7 copy. Frames do
    // not name their compressor: the index is part of the file format.
    extern const CompressorEntry funcs[8];

    int lz4Compress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int lz4CompressHC(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int lz4Decompress(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);
    int lzfCompress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int lzfDecompress(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);
    int dxtrCompressDXT1(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int dxtrDecompressDXT1(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);
    int dxtrCompressDXT5(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int dxtrDecompressDXT5(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);
    int dxtrCompressYCOCG6(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int dxtrDecompressYCOCG6(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);
    int dxtrCompressYACOCG10(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int dxtrDecompressYACOCG10(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);
    int dxtrCompressNone(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity);
    int dxtrDecompressNone(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected);

    // n rounded up to a multiple of 4 / 16.
    int nd4(int n);
    int nd16(int n);

    // Block-data bytes of a w x h frame of the type: w and h rounded up to 16
    // (but for types 6 and 7); 0 for sides below 1 or sizes past INT_MAX.
    int getCompressedSize(int w, int h, int type);

    int getNumCompressionTypes();
    // The entry's description; "" for an index outside 0-7.
    const char* getCompressionDesc(int index);
    // 0 -> 3, 1 -> 4, 2 -> 5, 3 -> 6, 4, 5, 6 -> 2, anything else -> 4.
    int getDefaultCompressorType(int type);
    // The work buffer a type's lossless stage may need; 0 for types without one.
    unsigned getCompressorSafeBufferSize(int type, unsigned size);

    bool isDxtType(int type);
    bool typeHasAlphaChannel(int type);
    QMVType fourccToQMVType(std::uint32_t fourcc, std::uint8_t version);
    std::uint32_t QMVTypeToFourcc(QMVType type);

    // Header access. The frame must hold the header (12 bytes, 4 for an old one).
    bool isValidFourCC(std::uint32_t fourcc);
    bool isOldHeader(const std::uint8_t* frame);
    QMVHeader convertOldQMVHeader(const std::uint8_t* frame);
    QMVHeader getFrameHeader(const std::uint8_t* frame);
    QMVHeader* getFrameHeaderPtr(std::uint8_t* frame);
    const std::uint8_t* getFrame(const std::uint8_t* frame);
    const std::uint8_t* getFrameDataWithoutHeader(const std::uint8_t* frame);
    int checkMajorVersion(const std::uint8_t* frame);

    // Compresses the w x h RGBA8 image (rows srcStride bytes apart; with
    // swizzle, pixels are A, R, G, B) into a whole frame at dst, which holds
    // getCompressedSize(w, h, type) + 12 bytes; answers the frame's size, 0
    // for types other than 0-5, sides below 1 or no memory. DXT types use the
    // session's threads when one is given, else threads made for the frame
    // when threads is above 1; the bytes are the same either way.
    // compressorType -1 is the type's default.
    int compressFrame(std::uint8_t* dst, const std::uint8_t* src, unsigned long srcStride, int w, int h, int type,
                      int threads, int compressorType, bool swizzle, Session* session);

    // Header and payload for ready block data (size bytes; dst holds size + 12).
    // A compressor that fails or does not shrink the data leaves it stored raw.
    // 0 for a type without a lossless stage (7 and unknown types) or a
    // compressor index outside 0-7.
    int compressFrameLosslessStep(std::uint8_t* dst, const std::uint8_t* blockData, unsigned size, int type,
                                  int compressorType);

    // The texture stage alone: getCompressedSize(nd16(w), nd16(h), type) bytes
    // of block data at dst, no header. 0 for types other than 0-5.
    int compressFrameQMVOnly(std::uint8_t* dst, const std::uint8_t* src, unsigned long srcStride, int w, int h,
                             int type);

    // Writes the block data of a frame of frameSize bytes, for a w x h image,
    // to dst. False when the header or its payload exceed frameSize, the
    // block data exceeds maxSize (when maxSize is 0 or more), a raw payload
    // is not exactly the block data, the compressor index is outside 0-7 or
    // its decoder refuses the payload. Never reads past frameSize nor writes
    // past the block data.
    bool decompressFrame(std::uint8_t* dst, const std::uint8_t* frame, unsigned long frameSize, int w, int h,
                         int compressorType, int maxSize);
}
