#pragma once

#include "core/VXSpinLock.h"
#include "engine/behaviours/VXDeltaSource.h"
#include "engine/behaviours/VXParamModifier.h"

#include <atomic>

namespace vx
{
    // A phase in [0, 1] advanced by elapsed time (the timeline source: rate
    // 1 makes one cycle in 5000 ms) or elapsed beats (the beats source: one
    // cycle per beats per cycle); it wraps by whole cycles. apply hands out
    // the phase. reset re-bases the phase at the owner's value.
    //
    // update runs on the owner's thread; the source may be switched from
    // another (under the spin lock; update reads the current one without it).
    class ModifierAnimated : public ParamModifier
    {
    public:
        ModifierAnimated();

        void apply(double& v) override { v = value; }
        std::uint32_t update(const TimeInfo& info) override;
        std::uint32_t updateAndApply(const TimeInfo& info, double& v) override;
        std::uint32_t updateAndApply(TimeInfo& info, double* values, int* flags, double& v, int n) override;
        bool isAnimating() const override { return true; }

        // Wraps the phase into [0, 1] by whole units (exactly 1 stays);
        // answers 4 when it moved, else 0.
        virtual std::uint32_t handleLoopWrap();

        // 0 the timeline source, 1 the beats source; anything else is
        // ignored. The phase carries over.
        void setDeltaSourceType(DeltaSource::Type type);
        DeltaSource::Type getDeltaSourceType() const;

        TimelineDeltaSource& getTimelineSource() { return timelineSource; }
        BeatsDeltaSource& getBeatsSource() { return beatsSource; }

    private:
        // Each source is reached as the member it is, so its getDelta is
        // called directly and inlined rather than through the base.
        DeltaSource::Result getCurrentDelta(const TimeInfo& info)
        {
            if (current.load(std::memory_order_acquire) == &beatsSource)
                return beatsSource.BeatsDeltaSource::getDelta(info);
            return timelineSource.TimelineDeltaSource::getDelta(info);
        }

        TimelineDeltaSource timelineSource;
        BeatsDeltaSource beatsSource;
        std::atomic<DeltaSource*> current;
        SpinLock switchLock;
        bool warnedBadFrame = false;
    };
}
