#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Compositions played as video; read-only. There is no composition runtime on this platform yet: its reader answers null.
    class QuartzComposerVideoFormat : public VideoFormat
    {
    public:
        QuartzComposerVideoFormat();

        std::vector<unsigned char> getPossibleBitDepths() const override;
    };
}
