#pragma once

#include "engine/video/formats/VXVideoFormat.h"

namespace vx
{
    // Movies the platform's media framework decodes. Neither reader nor writer exists on this platform yet: both answer null.
    class AVFVideoFormat : public VideoFormat
    {
    public:
        AVFVideoFormat();

        std::vector<unsigned char> getPossibleBitDepths() const override;
    };
}
