#include "engine/behaviours/VXModifierBPMHardSync.h"

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourUtils.h"

#include <cmath>

namespace vx
{
    ModifierBPMHardSync::ModifierBPMHardSync(const std::shared_ptr<ParamChoice<int>>& directionParam,
                                             const std::shared_ptr<ParamChoice<int>>& modeParam,
                                             const std::shared_ptr<ParamRange>& beatsParam)
        : direction(directionParam), mode(modeParam), beats(beatsParam)
    {
    }

    std::uint32_t ModifierBPMHardSync::update(const TimeInfo& info)
    {
        if (! detail::isUsableFrame(info, warnedBadFrame, "ModifierBPMHardSync"))
            return 0;
        const double cycle = beats->getValue();
        const double position = std::fmod(static_cast<double>(info.tempo.beatPosition), cycle);
        if (! std::isfinite(position) || ! (cycle > 0.0))
            return 0;

        std::uint32_t flags = 0;
        if (mode->getValue() == 1 && lastPosition != -1.0 && position < lastPosition)
        {
            direction->setValue(direction->getValue() == 1 ? 0 : 1, ValueChangeInfo(static_cast<void*>(this), -1.0));
            flags = 4;
        }
        lastPosition = position;

        phase = position / cycle;
        if (direction->getValue() != 1)
            phase = 1.0 - phase;
        value = phase;
        return flags;
    }
}
