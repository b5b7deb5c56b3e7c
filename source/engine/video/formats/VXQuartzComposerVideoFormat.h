#pragma once

#include "engine/video/formats/VXVideoFormat.h"

#include <string>

namespace vx
{
    extern const std::string quartzComposerFormatName;
    extern const std::string quartzComposerExtensions;

    // Compositions played as video; read-only. The reader is made with the
    // engine's primary context current (locked when a context manager exists).
    class QuartzComposerVideoFormat : public VideoFormat
    {
    public:
        QuartzComposerVideoFormat();

        std::vector<unsigned char> getPossibleBitDepths() override;
        using VideoFormat::createReaderFor;
        VideoFormatReader* createReaderFor(const File& file) override;
    };
}
