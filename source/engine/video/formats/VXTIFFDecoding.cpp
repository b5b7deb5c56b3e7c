// Installs TIFF decoding (libtiff) behind ImageUtils::imageFromFile. The
// engine links this file into every program that links the TIFF layer; the
// others decode no TIFF file and need no libtiff.

#include "core/VXFile.h"
#include "core/VXLog.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXTIFFImage.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace vx
{
    namespace
    {
        // One decoded TIFF pixel (4, 8 or 16 bytes: 8-bit, 16-bit or float
        // channels) as 8-bit RGBA.
        void tiffPixelToRGBA8(const unsigned char* pixel, int bytesPerPixel, unsigned char* rgba)
        {
            for (int c = 0; c < 4; ++c)
            {
                if (bytesPerPixel == 4)
                    rgba[c] = pixel[c];
                else if (bytesPerPixel == 8)
                {
                    unsigned short v = 0;
                    std::memcpy(&v, pixel + 2 * c, 2);
                    rgba[c] = to4bitChannel(v);
                }
                else
                {
                    float v = 0;
                    std::memcpy(&v, pixel + 4 * c, 4);
                    rgba[c] = static_cast<unsigned char>(v > 0.0f ? (v < 1.0f ? v * 255.0f : 255.0f) : 0.0f);
                }
            }
        }

        // A TIFF file in its own layout, or converted to wantedChannels 8-bit
        // channels (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA) as stb converts.
        unsigned char* tiffImageFromFile(const File& file, unsigned long* width, unsigned long* height, int* channels,
                                         int wantedChannels)
        {
            std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(file.getFullPath().c_str()));
            if (image == nullptr || ! image->isValid())
            {
                logPrint(logError, "ImageUtils::imageFromFile: not a TIFF image this engine reads: %s\n",
                         file.getFullPath().c_str());
                return nullptr;
            }
            // Decoded straight into a malloc'ed buffer, which may be answered
            // as it is.
            MallocBuffer decoded(static_cast<unsigned char*>(std::malloc(image->getOutputSize())));
            if (decoded == nullptr || ! image->decompressIntoBuffer(decoded.get()))
            {
                logPrint(logError, "ImageUtils::imageFromFile: TIFF decoding failed: %s\n", file.getFullPath().c_str());
                return nullptr;
            }
            const int decodedSize = static_cast<int>(image->getBytesPerPixel());
            const std::size_t pixels = static_cast<std::size_t>(image->getWidth()) * image->getHeight();
            if (width != nullptr)
                *width = image->getWidth();
            if (height != nullptr)
                *height = image->getHeight();
            if (channels != nullptr)
                *channels = decodedSize;
            if (wantedChannels == 0 || wantedChannels == decodedSize)
                return decoded.release();

            auto* converted = static_cast<unsigned char*>(std::malloc(pixels * wantedChannels));
            if (converted == nullptr)
                return nullptr;
            for (std::size_t i = 0; i < pixels; ++i)
            {
                unsigned char rgba[4];
                tiffPixelToRGBA8(decoded.get() + i * decodedSize, decodedSize, rgba);
                unsigned char* out = converted + i * wantedChannels;
                const auto grey = static_cast<unsigned char>((rgba[0] * 77 + rgba[1] * 150 + rgba[2] * 29) >> 8);
                switch (wantedChannels)
                {
                    case 1:
                        out[0] = grey;
                        break;
                    case 2:
                        out[0] = grey;
                        out[1] = rgba[3];
                        break;
                    default:
                        std::memcpy(out, rgba, static_cast<std::size_t>(wantedChannels));
                        break;
                }
            }
            return converted;
        }

        const bool installed = (ImageUtils::setTIFFDecoder(tiffImageFromFile), true);
    }
}
