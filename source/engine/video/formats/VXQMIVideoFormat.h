#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Still images of the engine's own codec. Its reader and writer are not built yet: both answer null.
    class QMIVideoFormat : public VideoFormat
    {
    public:
        QMIVideoFormat();

        std::vector<unsigned char> getPossibleBitDepths() const override;
    };
}
