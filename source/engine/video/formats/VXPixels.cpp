#include "engine/video/formats/VXPixels.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/VXLog.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixelsUtils.h"

namespace vx
{
    Pixels::Pixels(int w, int h, int bpp, const unsigned char* source)
    {
        const long long rowBytes = static_cast<long long>(w) * bpp;
        allocate(w, h, bpp, rowBytes * h, rowBytes, source);
    }

    Pixels::Pixels(int w, int h, int bpp, long totalBytes) : Pixels(w, h, bpp, totalBytes, nullptr)
    {
    }

    Pixels::Pixels(int w, int h, int bpp, long totalBytes, const unsigned char* source)
    {
        // A height of 0 has no rows, so no stride.
        allocate(w, h, bpp, totalBytes, h > 0 ? totalBytes / h : 0, source);
    }

    Pixels::Pixels(const Pixels* other)
    {
        if (other == nullptr)
            return;
        allocate(other->width, other->height, other->bytesPerPixel, other->dataSize, other->stride, other->data);
        if (dataSize == other->dataSize)
            format = other->format;
    }

    Pixels::~Pixels()
    {
        std::free(data);
    }

    void Pixels::clear()
    {
        std::free(data);
        data = nullptr;
        width = height = bytesPerPixel = stride = dataSize = 0;
        format = TextureFormat();
    }

    void Pixels::allocate(int w, int h, int bpp, long long bytes, long long rowBytes, const unsigned char* source)
    {
        clear();
        if (w < 0 || h < 0 || bpp < 0 || bytes < 0 || rowBytes < 0 || bytes > INT_MAX || rowBytes > INT_MAX ||
            rowBytes * h > bytes)
        {
            logPrint(logError, "Pixels: invalid image %dx%d, %d bytes per pixel, %lld bytes.\n", w, h, bpp, bytes);
            return;
        }
        if (bytes > 0)
        {
            data = static_cast<unsigned char*>(source != nullptr ? std::malloc(static_cast<size_t>(bytes))
                                                                 : std::calloc(static_cast<size_t>(bytes), 1));
            if (data == nullptr)
            {
                logPrint(logError, "Pixels: out of memory for %lld bytes.\n", bytes);
                return;
            }
            if (source != nullptr)
                std::memcpy(data, source, static_cast<size_t>(bytes));
        }
        width = w;
        height = h;
        bytesPerPixel = bpp;
        stride = static_cast<int>(rowBytes);
        dataSize = static_cast<int>(bytes);
        format = determineTextureFormatForBitdepth(bpp);
    }

    bool Pixels::isCompressed() const
    {
        return format == Texture::DXT1_RGB || format == Texture::DXT1_RGBA || format == Texture::DXT5_RGBA;
    }

    void Pixels::resize(int newWidth, int newHeight, int newBytesPerPixel)
    {
        if (newWidth == width && newHeight == height && newBytesPerPixel == bytesPerPixel)
            return;
        const long long rowBytes = static_cast<long long>(newWidth) * newBytesPerPixel;
        allocate(newWidth, newHeight, newBytesPerPixel, rowBytes * newHeight, rowBytes, nullptr);
    }

    void Pixels::flip()
    {
        if (data == nullptr || height < 2 || stride <= 0 || static_cast<long long>(stride) * height > dataSize)
            return;
        std::vector<unsigned char> scratch(static_cast<size_t>(stride));
        for (int i = 0; i < height / 2; ++i)
        {
            unsigned char* top = data + static_cast<size_t>(i) * stride;
            unsigned char* bottom = data + static_cast<size_t>(height - 1 - i) * stride;
            std::memcpy(scratch.data(), top, scratch.size());
            std::memcpy(top, bottom, scratch.size());
            std::memcpy(bottom, scratch.data(), scratch.size());
        }
    }

    void Pixels::alignDataByChannel()
    {
        if (data == nullptr || bytesPerPixel < 8)
            return;
        const size_t pixelCount = static_cast<size_t>(dataSize) / bytesPerPixel;
        std::vector<unsigned char> source(data, data + pixelCount * bytesPerPixel);
        unsigned char* out = data;
        for (int plane = 0; plane < bytesPerPixel; ++plane)
            for (size_t p = 0; p < pixelCount; ++p)
                *out++ = source[p * bytesPerPixel + plane];
    }

    Pixels* Pixels::withNewBitDepth(int newBytesPerPixel) const
    {
        if (newBytesPerPixel == bytesPerPixel || (newBytesPerPixel != 3 && newBytesPerPixel != 4))
            return nullptr;
        auto* converted = new Pixels(width, height, newBytesPerPixel, nullptr);
        auto* self = const_cast<Pixels*>(this);
        if (newBytesPerPixel == 4 && bytesPerPixel == 3)
            PixelsUtils::copyPixels24BitTo32BitBuffer(self, converted->data, 0, 0, false);
        else if (newBytesPerPixel == 3 && bytesPerPixel == 4)
            PixelsUtils::copyPixels32BitTo24BitBuffer(self, converted->data, 0, 0, false);
        return converted;
    }

    unsigned char* Pixels::stealData()
    {
        unsigned char* stolen = data;
        data = nullptr;
        width = height = stride = dataSize = 0;
        return stolen;
    }

    TextureFormat Pixels::determineTextureFormatForBitdepth(int bpp)
    {
        switch (bpp)
        {
            case 1:
                return Texture::I8;
            case 2:
                return Texture::I16I;
            case 3:
                return Texture::RGB8;
            case 4:
                return Texture::RGBA8;
            case 8:
                return Texture::RGBA16I;
            case 16:
                return Texture::RGBA32F;
            default:
                return TextureFormat();
        }
    }
}
