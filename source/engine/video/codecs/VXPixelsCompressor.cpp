#include "engine/video/codecs/VXPixelsCompressor.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/video/formats/VXPixels.h"

namespace vx
{
    CompressedPixels::~CompressedPixels() { delete[] data; }

    bool CompressedPixels::allocateData(long newSize)
    {
        size = newSize > 0 ? newSize : 0;
        if (size <= capacity)
            return true;
        delete[] data;
        data = new (std::nothrow) unsigned char[size_t(size)];
        capacity = data != nullptr ? size : 0;
        if (data == nullptr)
            size = 0;
        return data != nullptr;
    }

    PixelsCompressor::PixelsCompressor(int compressedPixelsType) : type(compressedPixelsType) {}

    PixelsCompressor::~PixelsCompressor() { freeWorkBuffer(); }

    bool PixelsCompressor::compress(const Pixels*, CompressedPixels&) { return false; }

    Pixels* PixelsCompressor::decompress(const CompressedPixels&) { return nullptr; }

    void PixelsCompressor::setQuality(float) {}

    unsigned char* PixelsCompressor::resizeWorkBuffer(size_t bytes)
    {
        if (bytes == workBufferSize && workBuffer != nullptr)
            return workBuffer;
        void* resized = std::realloc(workBuffer, bytes > 0 ? bytes : 1);
        if (resized == nullptr)
            return nullptr;
        workBuffer = static_cast<unsigned char*>(resized);
        workBufferSize = bytes;
        return workBuffer;
    }

    void PixelsCompressor::freeWorkBuffer()
    {
        std::free(workBuffer);
        workBuffer = nullptr;
        workBufferSize = 0;
    }

    bool PixelsCompressor::store(const Pixels& pixels, const unsigned char* payload, long payloadSize,
                                 CompressedPixels& out) const
    {
        if (! out.allocateData(payloadSize))
            return false;
        if (payloadSize > 0)
            std::memcpy(out.data, payload, size_t(payloadSize));
        out.width = pixels.width;
        out.height = pixels.height;
        out.paddedWidth = 0;
        out.paddedHeight = 0;
        out.bytesPerPixel = pixels.bytesPerPixel;
        out.type = type;
        return true;
    }

    Pixels* PixelsCompressor::makeImage(const CompressedPixels& in, long dataSize)
    {
        const long long plain = (long long)(in.width) * in.height * in.bytesPerPixel;
        if (in.width <= 0 || in.height <= 0 || in.bytesPerPixel <= 0 || plain > INT_MAX || dataSize > INT_MAX)
            return nullptr;
        auto* image = dataSize > 0 ? new (std::nothrow) Pixels(in.width, in.height, in.bytesPerPixel, dataSize)
                                   : new (std::nothrow) Pixels(in.width, in.height, in.bytesPerPixel, nullptr);
        if (image != nullptr && image->data == nullptr)
        {
            delete image;
            return nullptr;
        }
        return image;
    }
}
