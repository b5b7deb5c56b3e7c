#include "engine/video/formats/VXQMIVideoFormat.h"

#include "engine/video/formats/VXQMIVideoFormatReader.h"
#include "engine/video/formats/VXQMIVideoFormatWriter.h"

namespace vx
{
    QMIVideoFormat::QMIVideoFormat() : VideoFormat("QMI file", "*.qmi", {fourCCFromText("QMDI"), fourCCFromText("QMD3")}) {}

    std::vector<unsigned char> QMIVideoFormat::getPossibleBitDepths()
    {
        return {4, 8, 16};
    }

    VideoFormatReader* QMIVideoFormat::createReaderFor(const File& file)
    {
        return keepIfOpened(new QMIVideoFormatReader(file));
    }

    VideoFormatWriter* QMIVideoFormat::createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width,
                                                       unsigned height, int, VideoCodecSettings& settings)
    {
        auto* writer = new QMIVideoFormatWriter(file, float(fps), bitDepth, width, height, settings);
        if (writer->isReady())
            return writer;
        delete writer;
        return nullptr;
    }
}
