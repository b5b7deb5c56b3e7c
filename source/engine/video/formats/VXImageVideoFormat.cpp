#include "engine/video/formats/VXImageVideoFormat.h"

namespace vx
{
    ImageVideoFormat::ImageVideoFormat()
        : VideoFormat("Image file", "*.png;*.jpg;*.jpeg;*.psd;*.tiff;*.tif;*.gif", {})
    {
    }

    std::vector<unsigned char> ImageVideoFormat::getPossibleBitDepths() const
    {
        return {3, 4};
    }

    VideoFormatReader* ImageVideoFormat::createReaderFor(const File&)
    {
        return nullptr;
    }

    VideoFormatWriter* ImageVideoFormat::createWriterFor(File&, double, unsigned, unsigned, unsigned, int,
                                                         VideoCodecSettings&)
    {
        return nullptr;
    }
}
