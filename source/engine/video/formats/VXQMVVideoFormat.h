#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Movies of the engine's own codec: "*.qmv", codecs "QMDI" and "QMD3".
    class QMVVideoFormat : public VideoFormat
    {
    public:
        QMVVideoFormat();

        // 4, 8 and 16 bytes per pixel; writers refuse 16, which no frame type carries.
        std::vector<unsigned char> getPossibleBitDepths() override;
        // A QMVVideoFormatReader when the file opens; null otherwise.
        VideoFormatReader* createReaderFor(const File& file) override;
        // A QMVVideoFormatWriter recording through a temporary file when it is
        // ready; null otherwise.
        VideoFormatWriter* createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width, unsigned height,
                                           int unused, VideoCodecSettings& settings) override;
    };
}
