#include "engine/behaviours/VXModifierAnimated.h"

#include "core/VXScopedLock.h"
#include "core/VXTimeInfo.h"
#include "engine/behaviours/VXBehaviourUtils.h"

#include <cmath>

namespace vx
{
    ModifierAnimated::ModifierAnimated() : current(&timelineSource)
    {
    }

    std::uint32_t ModifierAnimated::handleLoopWrap()
    {
        const double before = value;
        value = detail::raiseBySteps(value, 0.0, 1.0);
        value = detail::lowerBySteps(value, 1.0, 1.0);
        return before < 0.0 || before > 1.0 ? 4u : 0u;
    }

    std::uint32_t ModifierAnimated::update(const TimeInfo& info)
    {
        if (! detail::isUsableFrame(info, warnedBadFrame, "ModifierAnimated"))
            return 0;
        const DeltaSource::Result result = getCurrentDelta(info);
        // A source with no usable rate (a cycle of no beats) stands still.
        const double delta = std::isfinite(result.delta) ? result.delta : 0.0;
        if (result.jumpPosition == -1.0 || ! std::isfinite(result.jumpPosition))
        {
            value += delta;
            return handleLoopWrap();
        }
        value = result.jumpPosition + delta;
        return handleLoopWrap() | 4u;
    }

    std::uint32_t ModifierAnimated::updateAndApply(const TimeInfo& info, double& v)
    {
        const std::uint32_t flags = update(info);
        apply(v);
        return flags;
    }

    std::uint32_t ModifierAnimated::updateAndApply(TimeInfo& info, double* values, int* flags, double&, int n)
    {
        if (! detail::isUsableFrame(info, warnedBadFrame, "ModifierAnimated"))
            return 0;
        const DeltaSource::Result result = getCurrentDelta(info);
        std::uint32_t jumped = 0;
        if (result.jumpPosition != -1.0 && std::isfinite(result.jumpPosition))
        {
            value = result.jumpPosition;
            jumped = 4;
            if (n >= 1)
                flags[0] |= 4;
        }
        if (n < 1)
            return jumped;
        const double step = std::isfinite(result.delta) ? result.delta / n : 0.0;
        std::uint32_t total = jumped;
        for (int i = 0; i < n; ++i)
        {
            value += step;
            const std::uint32_t wrapped = handleLoopWrap();
            flags[i] |= static_cast<int>(wrapped);
            values[i] = value;
            total |= wrapped;
        }
        return total;
    }

    void ModifierAnimated::setDeltaSourceType(DeltaSource::Type type)
    {
        DeltaSource* next = nullptr;
        if (type == DeltaSource::timeline)
            next = &timelineSource;
        else if (type == DeltaSource::beats)
            next = &beatsSource;
        else
            return;
        const ScopedSpinLock hold(switchLock);
        current.store(next, std::memory_order_release);
    }

    DeltaSource::Type ModifierAnimated::getDeltaSourceType() const
    {
        return current.load(std::memory_order_acquire)->getType();
    }
}
