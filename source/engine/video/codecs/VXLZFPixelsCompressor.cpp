#include "engine/video/codecs/VXLZFPixelsCompressor.h"

#include <lzf.h>

#include "engine/video/formats/VXPixels.h"

namespace vx
{
    unsigned LZFPixelsCompressor::compress(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity)
    {
        return srcSize == 0 || dstCapacity == 0 ? 0 : lzf_compress(src, srcSize, dst, dstCapacity);
    }

    unsigned LZFPixelsCompressor::decompress(const void* src, unsigned srcSize, void* dst, unsigned dstCapacity)
    {
        return srcSize == 0 || dstCapacity == 0 ? 0 : lzf_decompress(src, srcSize, dst, dstCapacity);
    }

    bool LZFPixelsCompressor::compress(const Pixels* pixels, CompressedPixels& out)
    {
        if (pixels == nullptr || pixels->data == nullptr || pixels->getDataSize() <= 0)
            return false;
        const unsigned size = unsigned(pixels->getDataSize());
        const unsigned bound = size + size / 16 + 67;
        unsigned char* work = resizeWorkBuffer(bound);
        if (work == nullptr)
            return false;
        const unsigned packed = compress(pixels->data, size, work, bound);
        return packed > 0 && store(*pixels, work, long(packed), out);
    }

    Pixels* LZFPixelsCompressor::decompress(const CompressedPixels& in)
    {
        Pixels* image = makeImage(in);
        if (image == nullptr)
            return nullptr;
        const unsigned expected = unsigned(image->getDataSize());
        if (in.data == nullptr || in.size <= 0 || in.size > 0x7FFFFFFF ||
            decompress(in.data, unsigned(in.size), image->data, expected) != expected)
        {
            delete image;
            return nullptr;
        }
        return image;
    }
}
