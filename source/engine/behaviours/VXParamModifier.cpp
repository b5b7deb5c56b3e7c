#include "engine/behaviours/VXParamModifier.h"

#include "core/VXTimeInfo.h"

namespace vx
{
    void ParamModifier::apply(double&)
    {
    }

    std::uint32_t ParamModifier::update(const TimeInfo&)
    {
        return 0;
    }

    std::uint32_t ParamModifier::updateAndApply(const TimeInfo& info, double& v)
    {
        const std::uint32_t flags = update(info);
        apply(v);
        return flags;
    }

    std::uint32_t ParamModifier::updateAndApply(TimeInfo& info, double* values, int* flags, double&, int n)
    {
        // Checked before dividing: a zero count would leave the caller's
        // frame record with infinite deltas.
        if (n < 1)
            return 0;
        info.deltaTime /= n;
        info.tempo.beatDelta /= n;

        std::uint32_t total = 0;
        for (int i = 0; i < n; ++i)
        {
            flags[i] |= static_cast<int>(updateAndApply(static_cast<const TimeInfo&>(info), values[i]));
            total |= static_cast<std::uint32_t>(flags[i]);
            info.time += info.deltaTime;
            info.tempo.beatPosition += info.tempo.beatDelta;
        }
        return total;
    }
}
