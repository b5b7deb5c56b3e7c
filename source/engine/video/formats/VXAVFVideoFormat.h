#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Movies the platform's media framework decodes (QuickTime, MPEG-4, AVI,
    // MPEG): movies with sound go to the seek-driven reader, the others to
    // the self-timed one; written as QuickTime movies.
    class AVFVideoFormat : public VideoFormat
    {
    public:
        AVFVideoFormat();

        std::vector<unsigned char> getPossibleBitDepths() override;
        using VideoFormat::createReaderFor;
        VideoFormatReader* createReaderFor(const File& file) override;
        VideoFormatWriter* createWriterFor(File& file, double fps, unsigned bitDepth, unsigned width, unsigned height,
                                           int unused, VideoCodecSettings& settings) override;
        // Releases the shared texture cache.
        void release() override;
    };
}
