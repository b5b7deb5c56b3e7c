#include "engine/video/codecs/VXQMVFrame.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <lz4.h>
#include <lz4hc.h>
#include <lzf.h>

#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXDXTR.h"
#include "engine/video/codecs/VXYCoCgBlocks.h"
#include "engine/video/codecs/VXYCoCgCoder.h"

namespace qmv
{
    namespace
    {
        constexpr int lz4HCLevel = 8;
        constexpr int numCompressors = 8;

        struct FreeDeleter
        {
            void operator()(std::uint8_t* p) const { std::free(p); }
        };
        using Buffer = std::unique_ptr<std::uint8_t, FreeDeleter>;

        Buffer allocate(size_t bytes, bool zeroed)
        {
            return Buffer(static_cast<std::uint8_t*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes)));
        }

        std::uint32_t readU32(const std::uint8_t* p)
        {
            return p[0] | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
        }

        void writeU32(std::uint8_t* p, std::uint32_t v)
        {
            for (int i = 0; i < 4; ++i)
                p[i] = static_cast<std::uint8_t>(v >> (8 * i));
        }

        bool validCompressor(int index) { return index >= 0 && index < numCompressors; }

        // The texture stage into blocks (getCompressedSize(w16, h16, type) bytes)
        // from the padded RGBA copy of w16 x h16.
        bool textureStage(std::uint8_t* blocks, const std::uint8_t* padded, int w16, int h16, int type, int threads,
                          Session* session)
        {
            switch (type)
            {
                case typeDXT1:
                case typeDXT5:
                case typeDXT1Old:
                case typeDXT5Old:
                {
                    const bool alpha = typeHasAlphaChannel(type);
                    if (session != nullptr)
                        compressMultiThreadedPersistent(session, blocks, padded, w16, h16, alpha, threads);
                    else if (threads > 1)
                        compressMultiThreaded(blocks, padded, w16, h16, alpha, threads);
                    else
                        rygCompress(blocks, padded, w16, h16, alpha ? 1 : 0);
                    return true;
                }
                case typeYCoCg6: return vx::YCoCg6_Convertfrom_RGBA32(padded, w16, h16, blocks) == 0;
                case typeYACoCg10: return vx::YACoCg10_Convertfrom_RGBA32(padded, w16, h16, blocks) == 0;
                default: return false;
            }
        }

        // One row of w pixels into RGBA: A, R, G, B with swizzle; alpha 255
        // unless kept. Whole pixels as little-endian words, so that the loops
        // vectorise.
        static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");

        void copyRow(std::uint8_t* out, const std::uint8_t* in, int w, bool swizzle, bool keepAlpha)
        {
            if (! swizzle && keepAlpha)
            {
                std::memcpy(out, in, size_t(w) * 4);
                return;
            }
            const std::uint32_t opaque = keepAlpha ? 0 : 0xFF000000u;
            for (int x = 0; x < w; ++x)
            {
                std::uint32_t v;
                std::memcpy(&v, in + 4 * x, 4);
                if (swizzle)
                    v = v >> 8 | v << 24;
                v |= opaque;
                std::memcpy(out + 4 * x, &v, 4);
            }
        }

        // Steps 1-3 of compression: the padded copy and its block data, or null.
        Buffer compressTexture(const std::uint8_t* src, unsigned long srcStride, int w, int h, int type, bool swizzle,
                               int threads, Session* session, int& blockBytes)
        {
            if (src == nullptr || type < typeDXT1 || type > typeDXT5Old || w < 1 || h < 1)
                return nullptr;
            const int w16 = nd16(w), h16 = nd16(h);
            blockBytes = getCompressedSize(w16, h16, type);
            if (blockBytes == 0 || (long long)(w16) * h16 * 4 > INT_MAX)
                return nullptr;
            // Only the border needs zeroing: every other byte is written below.
            Buffer padded = allocate(size_t(w16) * h16 * 4, false);
            Buffer blocks = allocate(size_t(blockBytes), false);
            if (padded == nullptr || blocks == nullptr)
                return nullptr;

            const bool keepAlpha = typeHasAlphaChannel(type);
            const size_t rowBytes = size_t(w) * 4, paddedRowBytes = size_t(w16) * 4;
            for (int y = 0; y < h; ++y)
            {
                const std::uint8_t* in = src + size_t(y) * srcStride;
                std::uint8_t* out = padded.get() + size_t(y) * paddedRowBytes;
                copyRow(out, in, w, swizzle, keepAlpha);
                std::memset(out + rowBytes, 0, paddedRowBytes - rowBytes);
            }
            std::memset(padded.get() + size_t(h) * paddedRowBytes, 0, size_t(h16 - h) * paddedRowBytes);
            if (! textureStage(blocks.get(), padded.get(), w16, h16, type, threads, session))
                return nullptr;
            return blocks;
        }
    }

    int lz4Compress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        return LZ4_compress_default(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst), srcSize,
                                    dstCapacity);
    }

    int lz4CompressHC(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        return LZ4_compress_HC(reinterpret_cast<const char*>(src), reinterpret_cast<char*>(dst), srcSize, dstCapacity,
                               lz4HCLevel);
    }

    int lz4Decompress(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected)
    {
        const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(packed), reinterpret_cast<char*>(dst),
                                          packedSize, expected);
        return n == expected ? n : 0;
    }

    int lzfCompress(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        if (srcSize <= 0 || dstCapacity <= 0)
            return 0;
        return int(lzf_compress(src, unsigned(srcSize), dst, unsigned(dstCapacity)));
    }

    int lzfDecompress(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected)
    {
        if (packedSize <= 0 || expected <= 0)
            return 0;
        const unsigned n = lzf_decompress(packed, unsigned(packedSize), dst, unsigned(expected));
        return int(n) == expected ? int(n) : 0;
    }

    int dxtrCompressDXT1(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        return srcSize <= 0 || dstCapacity <= 0 ? 0 : int(DXTR_compressDXT1(src, unsigned(srcSize), dst, unsigned(dstCapacity)));
    }

    int dxtrDecompressDXT1(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected)
    {
        return packedSize <= 0 ? 0 : int(DXTR_uncompressDXT1(packed, unsigned(packedSize), dst, expected));
    }

    int dxtrCompressDXT5(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        return srcSize <= 0 || dstCapacity <= 0 ? 0 : int(DXTR_compressDXT5(src, unsigned(srcSize), dst, unsigned(dstCapacity)));
    }

    int dxtrDecompressDXT5(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected)
    {
        return packedSize <= 0 ? 0 : int(DXTR_uncompressDXT5(packed, unsigned(packedSize), dst, expected));
    }

    int dxtrCompressYCOCG6(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        return vx::YCoCg6_compress(dst, dstCapacity, src, srcSize);
    }

    int dxtrDecompressYCOCG6(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected)
    {
        return vx::YCoCg6_decompress(packed, dst, packedSize, expected);
    }

    int dxtrCompressYACOCG10(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        return vx::YACoCg10_compress(dst, dstCapacity, src, srcSize);
    }

    int dxtrDecompressYACOCG10(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected)
    {
        return vx::YACoCg10_decompress(packed, dst, packedSize, expected);
    }

    int dxtrCompressNone(const std::uint8_t* src, std::uint8_t* dst, int srcSize, int dstCapacity)
    {
        if (srcSize <= 0 || srcSize > dstCapacity)
            return 0;
        std::memcpy(dst, src, size_t(srcSize));
        return srcSize;
    }

    int dxtrDecompressNone(const std::uint8_t* packed, std::uint8_t* dst, int packedSize, int expected)
    {
        if (expected <= 0 || packedSize != expected)
            return 0;
        std::memcpy(dst, packed, size_t(expected));
        return expected;
    }

    const CompressorEntry funcs[8] = {
        {lz4Compress, lz4Decompress, "LZ4 compression - LZ4 decompression"},
        {lz4CompressHC, lz4Decompress, "LZ4 HC compression - LZ4 decompression"},
        {lzfCompress, lzfDecompress, "LZF compression - LZF decompression"},
        {dxtrCompressDXT1, dxtrDecompressDXT1, "DXTR1 compression - DXTR1 decompression"},
        {dxtrCompressDXT5, dxtrDecompressDXT5, "DXTR5 compression - DXTR5 decompression"},
        {dxtrCompressYCOCG6, dxtrDecompressYCOCG6, "YOCOCG6 compression - YOCOCG6 decompression"},
        {dxtrCompressYACOCG10, dxtrDecompressYACOCG10, "YAOCOCG10 compression - YAOCOCG10 decompression"},
        {dxtrCompressNone, dxtrDecompressNone, "no compression - no decompression"}};

    int nd4(int n) { return (n + 3) & ~3; }
    int nd16(int n) { return (n + 15) & ~15; }

    int getCompressedSize(int w, int h, int type)
    {
        if (w < 1 || h < 1)
            return 0;
        const long long w16 = nd16(w), h16 = nd16(h);
        long long bytes;
        switch (type)
        {
            case typeDXT1:
            case typeDXT1Old: bytes = w16 * h16 / 2; break;
            case typeYCoCg6: bytes = w16 * h16 * 3 / 4; break;
            case typeYACoCg10: bytes = w16 * h16 * 5 / 4; break;
            case typeUVMap: bytes = (long long)(w) * h * 8; break;
            case typeMask: bytes = (long long)(w) * h * 2; break;
            default: bytes = w16 * h16; break;
        }
        return bytes > INT_MAX - headerSize ? 0 : int(bytes);
    }

    int getNumCompressionTypes() { return numCompressors; }

    const char* getCompressionDesc(int index) { return validCompressor(index) ? funcs[index].description : ""; }

    int getDefaultCompressorType(int type)
    {
        switch (type)
        {
            case typeDXT1: return 3;
            case typeDXT5: return 4;
            case typeYCoCg6: return 5;
            case typeYACoCg10: return 6;
            case typeDXT1Old:
            case typeDXT5Old:
            case typeUVMap: return 2;
            default: return 4;
        }
    }

    unsigned getCompressorSafeBufferSize(int type, unsigned size)
    {
        switch (type)
        {
            case typeDXT1:
            case typeDXT5:
            case typeDXT1Old:
            case typeDXT5Old: return DXTR_compressBound(size);
            case typeYCoCg6:
            case typeYACoCg10: return size + size / 32 + 64;
            case typeUVMap: return size;
            default: return 0;
        }
    }

    bool isDxtType(int type)
    {
        return type == typeDXT1 || type == typeDXT5 || type == typeDXT1Old || type == typeDXT5Old;
    }

    bool typeHasAlphaChannel(int type) { return type == typeDXT5 || type == typeYACoCg10 || type == typeDXT5Old; }

    QMVType fourccToQMVType(std::uint32_t fourcc, std::uint8_t version)
    {
        switch (fourcc)
        {
            case fourccDXT1: return version >= 4 ? typeDXT1 : typeDXT1Old;
            case fourccDXT5: return version >= 4 ? typeDXT5 : typeDXT5Old;
            case fourccYCoCg6: return typeYCoCg6;
            case fourccYACoCg10: return typeYACoCg10;
            case fourccUVMap: return typeUVMap;
            case fourccMask: return typeMask;
            default: return typeDXT1Old;
        }
    }

    std::uint32_t QMVTypeToFourcc(QMVType type)
    {
        switch (type)
        {
            case typeDXT5:
            case typeDXT5Old: return fourccDXT5;
            case typeYCoCg6: return fourccYCoCg6;
            case typeYACoCg10: return fourccYACoCg10;
            case typeUVMap: return fourccUVMap;
            case typeMask: return fourccMask;
            default: return fourccDXT1;
        }
    }

    bool isValidFourCC(std::uint32_t fourcc)
    {
        return fourcc == fourccDXT1 || fourcc == fourccDXT5 || fourcc == fourccYCoCg6 || fourcc == fourccYACoCg10 ||
               fourcc == fourccUVMap || fourcc == fourccMask;
    }

    bool isOldHeader(const std::uint8_t* frame) { return ! isValidFourCC(readU32(frame)); }

    QMVHeader convertOldQMVHeader(const std::uint8_t* frame)
    {
        const std::uint8_t flags = frame[3];
        QMVHeader header;
        header.fourcc = (flags & 0x40) != 0 ? fourccDXT5 : fourccDXT1;
        header.version = std::uint8_t(std::min(flags & 0x0F, 3));
        header.subVersion = std::uint8_t((flags >> 4) & 3);
        header.raw = flags & 0x80;
        header.reserved = 0;
        header.payloadSize = frame[0] | std::uint32_t(frame[1]) << 8 | std::uint32_t(frame[2]) << 16;
        return header;
    }

    QMVHeader getFrameHeader(const std::uint8_t* frame)
    {
        if (isOldHeader(frame))
            return convertOldQMVHeader(frame);
        QMVHeader header;
        header.fourcc = readU32(frame);
        header.version = frame[4];
        header.subVersion = frame[5];
        header.raw = frame[6];
        header.reserved = frame[7];
        header.payloadSize = readU32(frame + 8);
        return header;
    }

    QMVHeader* getFrameHeaderPtr(std::uint8_t* frame) { return reinterpret_cast<QMVHeader*>(frame); }

    const std::uint8_t* getFrame(const std::uint8_t* frame) { return frame; }

    const std::uint8_t* getFrameDataWithoutHeader(const std::uint8_t* frame)
    {
        return frame + (isOldHeader(frame) ? oldHeaderSize : headerSize);
    }

    int checkMajorVersion(const std::uint8_t* frame) { return frame[3] & 15; }

    int compressFrameLosslessStep(std::uint8_t* dst, const std::uint8_t* blockData, unsigned size, int type,
                                  int compressorType)
    {
        if (compressorType == -1)
            compressorType = getDefaultCompressorType(type);
        if (dst == nullptr || blockData == nullptr || size == 0 || size > unsigned(INT_MAX - headerSize) ||
            ! validCompressor(compressorType))
            return 0;
        const unsigned workSize = getCompressorSafeBufferSize(type, size);
        if (workSize == 0)
            return 0;

        writeU32(dst, QMVTypeToFourcc(QMVType(type)));
        dst[4] = type == typeDXT1Old || type == typeDXT5Old ? 3 : 4;
        dst[5] = 0;
        dst[7] = 0;

        // The payload may not exceed the block data: a compressor that honours
        // its capacity packs straight into the frame. DXTR asks for its bound
        // whatever the result, so it packs into a work buffer.
        const CompressorEntry& entry = funcs[compressorType];
        std::uint8_t* payload = dst + headerSize;
        int packed = 0;
        if (compressorType == 3 || compressorType == 4)
        {
            Buffer work = allocate(workSize, false);
            if (work != nullptr)
            {
                packed = entry.compress(blockData, work.get(), int(size), int(workSize));
                if (packed > 0 && unsigned(packed) < size)
                    std::memcpy(payload, work.get(), size_t(packed));
                else
                    packed = 0;
            }
        }
        else
            packed = entry.compress(blockData, payload, int(size), int(std::min(workSize, size)));

        if (packed > 0 && unsigned(packed) <= size)
        {
            dst[6] = 0;
            writeU32(dst + 8, std::uint32_t(packed));
            return packed + headerSize;
        }
        std::memcpy(payload, blockData, size);
        dst[6] = 1;
        writeU32(dst + 8, size);
        return int(size) + headerSize;
    }

    int compressFrame(std::uint8_t* dst, const std::uint8_t* src, unsigned long srcStride, int w, int h, int type,
                      int threads, int compressorType, bool swizzle, Session* session)
    {
        if (dst == nullptr)
            return 0;
        int blockBytes = 0;
        const Buffer blocks = compressTexture(src, srcStride, w, h, type, swizzle, threads, session, blockBytes);
        if (blocks == nullptr)
            return 0;
        return compressFrameLosslessStep(dst, blocks.get(), unsigned(blockBytes), type, compressorType);
    }

    int compressFrameQMVOnly(std::uint8_t* dst, const std::uint8_t* src, unsigned long srcStride, int w, int h,
                             int type)
    {
        if (dst == nullptr)
            return 0;
        int blockBytes = 0;
        const Buffer blocks = compressTexture(src, srcStride, w, h, type, false, 1, nullptr, blockBytes);
        if (blocks == nullptr)
            return 0;
        std::memcpy(dst, blocks.get(), size_t(blockBytes));
        return blockBytes;
    }

    bool decompressFrame(std::uint8_t* dst, const std::uint8_t* frame, unsigned long frameSize, int w, int h,
                         int compressorType, int maxSize)
    {
        if (dst == nullptr || frame == nullptr || frameSize < unsigned(oldHeaderSize))
            return false;
        const bool old = isOldHeader(frame);
        const unsigned long headerBytes = old ? oldHeaderSize : headerSize;
        if (frameSize < headerBytes)
            return false;
        const QMVHeader header = getFrameHeader(frame);
        if (header.payloadSize > frameSize - headerBytes || header.payloadSize > std::uint32_t(INT_MAX))
            return false;
        const QMVType type = fourccToQMVType(header.fourcc, header.version);
        const int expected = getCompressedSize(w, h, type);
        if (expected == 0 || (maxSize >= 0 && expected > maxSize))
            return false;
        if (compressorType == -1)
            compressorType = getDefaultCompressorType(type);
        if (! validCompressor(compressorType))
            return false;

        const std::uint8_t* payload = frame + headerBytes;
        if (header.raw != 0)
        {
            if (header.payloadSize != std::uint32_t(expected))
                return false;
            std::memcpy(dst, payload, size_t(expected));
            return true;
        }
        return header.payloadSize > 0 &&
               funcs[compressorType].decompress(payload, dst, int(header.payloadSize), expected) > 0;
    }
}
