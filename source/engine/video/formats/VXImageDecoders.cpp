// Installs the still-image decoders behind the graphics core's ImageDecoder
// seam. The engine links this file into every program that uses it, so
// Texture::load can decode whether or not an engine root exists.

#include "core/VXFile.h"
#include "engine/gfx/VXImageDecoder.h"
#include "engine/video/formats/VXImageUtils.h"

namespace vx
{
    namespace
    {
        class ImageUtilsDecoder final : public ImageDecoder
        {
        public:
            unsigned char* decodeFile(const File& file, unsigned long* width, unsigned long* height, int* channels,
                                      int wantedChannels) override
            {
                return ImageUtils::imageFromFile(file, width, height, channels, wantedChannels);
            }

            unsigned char* decodeMemory(const unsigned char* bytes, int size, unsigned long* width,
                                        unsigned long* height, int* channels, int wantedChannels) override
            {
                return ImageUtils::imageFromMemory(bytes, size, width, height, channels, wantedChannels);
            }
        };

        ImageUtilsDecoder decoder;
        const bool installed = (ImageDecoder::setCurrent(&decoder), true);
    }
}
