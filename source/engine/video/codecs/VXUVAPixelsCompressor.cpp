#include "engine/video/codecs/VXUVAPixelsCompressor.h"

#include "core/VXLog.h"
#include "engine/video/codecs/VXUVM.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    unsigned long UVAPixelsCompressor::compress(std::uint8_t* dst, unsigned long dstCapacity, const std::uint8_t* src,
                                                unsigned long srcSize, unsigned long w, unsigned long h)
    {
        const unsigned long n =
            UVM_compress_RGBA16(dst, dstCapacity, reinterpret_cast<const std::uint16_t*>(src), srcSize, w, h);
        if (n > 0)
            debugPrint("Ratio : %.5f", double(n) / (double(w) * double(h) * 8.0));
        return n;
    }

    bool UVAPixelsCompressor::decompress(std::uint8_t* dst, const std::uint8_t* src, unsigned long size,
                                         unsigned long w, unsigned long h)
    {
        if (useLA16A8)
            return UVM_decompress_LA16A8(dst, w, h, src, size) != 0;
        return UVM_decompress_RGBA16(reinterpret_cast<std::uint16_t*>(dst), w, h, src, size) != 0;
    }

    bool UVAPixelsCompressor::compress(const Pixels* pixels, CompressedPixels& out)
    {
        if (pixels == nullptr || pixels->data == nullptr || pixels->bytesPerPixel != 8 || pixels->width <= 0 ||
            pixels->height <= 0 || pixels->stride != pixels->width * 8)
            return false;
        const unsigned long rawSize = unsigned(pixels->getDataSize());
        unsigned char* work = resizeWorkBuffer(rawSize);
        if (work == nullptr)
            return false;
        const unsigned long n =
            compress(work, rawSize, pixels->data, rawSize, unsigned(pixels->width), unsigned(pixels->height));
        return n > 0 && store(*pixels, work, long(n), out);
    }

    Pixels* UVAPixelsCompressor::decompress(const CompressedPixels& in)
    {
        if (in.data == nullptr || in.size <= 0 || in.bytesPerPixel != 8)
            return nullptr;
        Pixels* image = makeImage(in);
        if (image != nullptr &&
            ! decompress(image->data, in.data, unsigned(in.size), unsigned(in.width), unsigned(in.height)))
        {
            delete image;
            return nullptr;
        }
        return image;
    }
}
