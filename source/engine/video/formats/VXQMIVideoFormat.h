#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Still images of the engine's own codec: "*.qmi", codecs "QMDI" and "QMD3".
    class QMIVideoFormat : public VideoFormat
    {
    public:
        QMIVideoFormat();

        // 4, 8 and 16 bytes per pixel; writers refuse 16, which no frame type carries.
        std::vector<unsigned char> getPossibleBitDepths() override;
        // A QMIVideoFormatReader when the file opens; null otherwise.
        VideoFormatReader* createReaderFor(const File& file) override;
        // A QMIVideoFormatWriter when it is ready; null otherwise.
        VideoFormatWriter* createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width, unsigned height,
                                           int unused, VideoCodecSettings& settings) override;
    };
}
