#include "engine/video/codecs/VXLZ4PixelsCompressor.h"

#include <lz4.h>

#include "engine/video/formats/VXPixels.h"

namespace vx
{
    int LZ4PixelsCompressor::compress(const char* src, char* dst, int srcSize, int dstCapacity)
    {
        return srcSize <= 0 || dstCapacity <= 0 ? 0 : LZ4_compress_default(src, dst, srcSize, dstCapacity);
    }

    int LZ4PixelsCompressor::decompress(const char* src, char* dst, int compressedSize, int dstCapacity)
    {
        if (compressedSize <= 0 || dstCapacity <= 0)
            return 0;
        const int n = LZ4_decompress_safe(src, dst, compressedSize, dstCapacity);
        return n > 0 ? n : 0;
    }

    bool LZ4PixelsCompressor::compress(const Pixels* pixels, CompressedPixels& out)
    {
        if (pixels == nullptr || pixels->data == nullptr || pixels->getDataSize() <= 0)
            return false;
        const int size = pixels->getDataSize();
        unsigned char* work = resizeWorkBuffer(size_t(LZ4_compressBound(size)));
        if (work == nullptr)
            return false;
        const int packed = compress(reinterpret_cast<const char*>(pixels->data), reinterpret_cast<char*>(work), size,
                                    size);
        return packed > 0 && store(*pixels, work, packed, out);
    }

    Pixels* LZ4PixelsCompressor::decompress(const CompressedPixels& in)
    {
        Pixels* image = makeImage(in);
        if (image == nullptr)
            return nullptr;
        const int expected = image->getDataSize();
        if (in.data == nullptr || in.size <= 0 || in.size > 0x7FFFFFFF ||
            decompress(reinterpret_cast<const char*>(in.data), reinterpret_cast<char*>(image->data), int(in.size),
                       expected) != expected)
        {
            delete image;
            return nullptr;
        }
        return image;
    }
}
