#include "engine/video/formats/VXVideoFormat.h"

#include "core/VXFile.h"
#include "core/VXStringUtils.h"

#include <algorithm>

namespace vx
{
    VideoFormat::VideoFormat(const std::string& name) : formatName(name) {}

    VideoFormat::VideoFormat(const std::string& name, const std::string& extensions,
                             const std::vector<CodecFourCC>& codecList)
        : formatName(name), fileExtensions(extensions), codecs(codecList)
    {
    }

    VideoFormat::~VideoFormat() = default;

    bool VideoFormat::canHandleFile(const File& file)
    {
        return canHandleFileFormat(file.getExtension(), anyCodec);
    }

    bool VideoFormat::canHandleFileFormat(std::string extension, CodecFourCC codec)
    {
        toLower(extension);
        if (fileExtensions.find(extension) == std::string::npos)
            return false;
        return isAnyCodec(codec) || std::find(codecs.begin(), codecs.end(), codec) != codecs.end();
    }

    VideoFormatReader* VideoFormat::createReaderFor(const File& file, VideoFormatReader::Purpose)
    {
        return createReaderFor(file);
    }

    VideoFormatReader* VideoFormat::createReaderFor(const File&)
    {
        return nullptr;
    }

    VideoFormatWriter* VideoFormat::createWriterFor(File&, double, unsigned, unsigned, unsigned, int,
                                                    VideoCodecSettings&)
    {
        return nullptr;
    }

    VideoFormatReader* VideoFormat::keepIfOpened(VideoFormatReader* reader)
    {
        if (reader != nullptr && ! reader->isOpened())
        {
            delete reader;
            return nullptr;
        }
        return reader;
    }
}
