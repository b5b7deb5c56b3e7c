#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Still images and image sequences: a reader by extension (in any case:
    // "gif", "png", "tif"/"tiff", the general reader for the rest), and a writer
    // that saves frames as a numbered PNG sequence.
    class ImageVideoFormat : public VideoFormat
    {
    public:
        ImageVideoFormat();

        bool canReaderHandleMultipleFiles() const override { return true; }
        std::vector<unsigned char> getPossibleBitDepths() override;
        using VideoFormat::createReaderFor;
        VideoFormatReader* createReaderFor(const File& file) override;
        VideoFormatWriter* createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width, unsigned height,
                                           int unused, VideoCodecSettings& settings) override;
    };
}
