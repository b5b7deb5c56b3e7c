#include "engine/video/formats/VXQMVVideoFormat.h"

#include "engine/video/formats/VXQMVVideoFormatReader.h"
#include "engine/video/formats/VXQMVVideoFormatWriter.h"

namespace vx
{
    QMVVideoFormat::QMVVideoFormat() : VideoFormat("QMV file", "*.qmv", {fourCCFromText("QMDI"), fourCCFromText("QMD3")}) {}

    std::vector<unsigned char> QMVVideoFormat::getPossibleBitDepths()
    {
        return {4, 8, 16};
    }

    VideoFormatReader* QMVVideoFormat::createReaderFor(const File& file)
    {
        return keepIfOpened(new QMVVideoFormatReader(file));
    }

    VideoFormatWriter* QMVVideoFormat::createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width,
                                                       unsigned height, int, VideoCodecSettings& settings)
    {
        auto* writer = new QMVVideoFormatWriter(file, float(fps), bitDepth, width, height, settings, 0);
        if (writer->isReady())
            return writer;
        delete writer;
        return nullptr;
    }
}
