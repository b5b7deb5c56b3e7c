#include "engine/video/formats/VXImageVideoFormat.h"

#include "core/VXFile.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXImageFormatReader.h"
#include "engine/video/formats/VXImagePNGFormatWriter.h"
#include "engine/video/formats/VXPNGImageFormatReader.h"
#include "engine/video/formats/VXTIFFImageFormatReader.h"

namespace vx
{
    ImageVideoFormat::ImageVideoFormat()
        : VideoFormat("Image file", "*.png;*.jpg;*.jpeg;*.psd;*.tiff;*.tif;*.gif", {})
    {
    }

    std::vector<unsigned char> ImageVideoFormat::getPossibleBitDepths()
    {
        return {3, 4};
    }

    VideoFormatReader* ImageVideoFormat::createReaderFor(const File& file)
    {
        // By the extension in any case: cameras and Windows write "SCAN_001.TIF".
        if (file.hasExtension("gif"))
            return keepIfOpened(new GIFVideoFormatReader(file));
        if (file.hasExtension("png"))
            return keepIfOpened(new PNGImageFormatReader(file));
        if (file.hasExtension("tif") || file.hasExtension("tiff"))
            return keepIfOpened(new TIFFImageFormatReader(file));
        return keepIfOpened(new ImageFormatReader(file));
    }

    VideoFormatWriter* ImageVideoFormat::createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width,
                                                         unsigned height, int, VideoCodecSettings& settings)
    {
        auto* writer = new ImagePNGFormatWriter(file, static_cast<float>(fps), bitDepth, width, height, settings);
        if (! writer->isReady())
        {
            delete writer;
            return nullptr;
        }
        return writer;
    }
}
