#pragma once

#include "engine/behaviours/VXParamModifier.h"

#include <memory>

namespace vx
{
    class ParamRange;
    template <typename T>
    class ParamChoice;

    // The position of the global beat clock within a cycle of "Beats"
    // beats, as a phase (mirrored unless the direction is ">"), recomputed
    // from the absolute beat position every frame. In bounce mode the
    // direction turns each time the cycle wraps (reporting 4).
    class ModifierBPMHardSync : public ParamModifier
    {
    public:
        ModifierBPMHardSync(const std::shared_ptr<ParamChoice<int>>& direction,
                            const std::shared_ptr<ParamChoice<int>>& mode, const std::shared_ptr<ParamRange>& beats);

        void apply(double& v) override { v = phase; }
        std::uint32_t update(const TimeInfo& info) override;

        double getPhase() const { return phase; }
        void setPhase(double newPhase) { phase = newPhase; }

    private:
        double phase = 0.0;
        std::shared_ptr<ParamChoice<int>> direction;
        std::shared_ptr<ParamChoice<int>> mode;
        std::shared_ptr<ParamRange> beats;
        double lastPosition = -1.0; // none before the first update
        bool warnedBadFrame = false;
    };
}
