#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Movies of the engine's own codec. Its reader and writer are not built yet: both answer null.
    class QMVVideoFormat : public VideoFormat
    {
    public:
        QMVVideoFormat();

        std::vector<unsigned char> getPossibleBitDepths() const override;
    };
}
