#include "engine/video/codecs/VXPNGPixelsCompressor.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"

namespace vx
{
    bool PNGPixelsCompressor::compress(const Pixels* pixels, CompressedPixels& out)
    {
        if (pixels == nullptr || pixels->data == nullptr)
            return false;
        int size = 0;
        unsigned char* png = ImageUtils::writePixelsToPng(pixels, &size);
        if (png == nullptr)
            return false;
        // The encoder's buffer is malloc'ed; the payload belongs to array new.
        const bool stored = size > 0 && store(*pixels, png, size, out);
        std::free(png);
        return stored;
    }

    Pixels* PNGPixelsCompressor::decompress(const CompressedPixels& in)
    {
        if (in.data == nullptr || in.size <= 0 || in.size > INT_MAX)
            return nullptr;
        Pixels* image = makeImage(in);
        if (image == nullptr)
            return nullptr;
        unsigned long width = 0, height = 0;
        int decodedBytes = 0;
        unsigned char* decoded = ImageUtils::pngImageFromMemory(in.data, int(in.size), &width, &height, &decodedBytes);
        const int bytes = in.bytesPerPixel;
        const bool fits = decoded != nullptr && width == unsigned(in.width) && height == unsigned(in.height) &&
                          (decodedBytes == bytes || (decodedBytes == 4 && (bytes == 3 || bytes == 1)));
        if (fits)
        {
            const size_t pixels = size_t(width) * height;
            if (decodedBytes == bytes)
                std::memcpy(image->data, decoded, pixels * size_t(bytes));
            else
                for (size_t i = 0; i < pixels; ++i)
                    std::memcpy(image->data + i * size_t(bytes), decoded + 4 * i, size_t(bytes));
        }
        std::free(decoded);
        if (! fits)
        {
            delete image;
            return nullptr;
        }
        return image;
    }
}
