#pragma once

#include "core/VXScopedPointer.h"
#include "core/parameters/VXChangeInfo.h"
#include "core/parameters/VXParamListener.h"
#include "core/parameters/VXValueRange.h"
#include "engine/behaviours/VXBehaviourDouble.h"

#include <cstdint>
#include <memory>

namespace vx
{
    class BehaviourTimelineBase;

    // Makes the owner follow a master range parameter played by a timeline:
    // the slave runs a timeline of the master's kind at "numerator" /
    // "denominator" of the master's progress, optionally inverted
    // ("invert") and copying the master's window ("followMasterRange").
    // A master without a timeline leaves the slave inert.
    //
    // The master's notifications may come on another thread than update:
    // each becomes a snapshot handed over through a ping-pong buffer (only
    // the newest unconsumed one counts). Element and name
    // "BehaviourTimelineSlave".
    class BehaviourTimelineSlave : public BehaviourDouble, public ParamListener
    {
    public:
        // One snapshot of the master.
        struct ParamValues
        {
            ValueRange<double> range{0.0, 1.0, "range"}; // master's window, normalised
            std::int32_t mode = 0;
            std::int32_t direction = 1;
            double position = 0.0; // master's loop count plus its normalised value
            ChangeInfo change;
            bool editing = false;

            ParamValues() = default;
            ParamValues(const ParamValues& other) { *this = other; }
            // Copies the numbers only (no allocation), so it may run under a
            // spin lock.
            ParamValues& operator=(const ParamValues& other);
        };

        BehaviourTimelineSlave(ParamRange& owner, std::shared_ptr<ParamRange> master);
        ~BehaviourTimelineSlave() override;

        bool isEmpty() const override { return false; }
        double apply(double v) override;
        bool isAnimating() const override;
        // Takes the newest snapshot (re-basing the slave on it), else runs
        // the slave timeline on a copy of the frame scaled by the ratio.
        std::uint32_t update(const TimeInfo& info) override;
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        void stateChanged(ParamBase& param, ChangeInfo info) override;

        // Empty for an inert slave.
        std::shared_ptr<BehaviourTimelineBase> getSlaveTimeline() const;
        bool hasNewValues() const;
        const ParamValues& getLocalValues() const;

    private:
        struct Pimpl;
        ScopedPointer<Pimpl> pimpl;
    };
}
