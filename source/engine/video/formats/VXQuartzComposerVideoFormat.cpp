#include "engine/video/formats/VXQuartzComposerVideoFormat.h"

namespace vx
{
    QuartzComposerVideoFormat::QuartzComposerVideoFormat() : VideoFormat("Quartz Composer ", "*.qtz", {}) {}

    std::vector<unsigned char> QuartzComposerVideoFormat::getPossibleBitDepths() const
    {
        return {4};
    }
}
