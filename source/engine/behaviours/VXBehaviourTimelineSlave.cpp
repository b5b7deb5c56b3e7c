#include "engine/behaviours/VXBehaviourTimelineSlave.h"

#include "core/VXFraction.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourBpmBeatLoopr.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/behaviours/VXModifierTimeline.h"
#include "engine/behaviours/VXPingPongBuffer.h"

#include <atomic>
#include <cmath>

namespace vx
{
    BehaviourTimelineSlave::ParamValues& BehaviourTimelineSlave::ParamValues::operator=(const ParamValues& other)
    {
        range.set(other.range.min, other.range.max);
        mode = other.mode;
        direction = other.direction;
        position = other.position;
        change = other.change;
        editing = other.editing;
        return *this;
    }

    struct BehaviourTimelineSlave::Pimpl
    {
        PingPongBuffer<ParamValues> buffer;
        std::shared_ptr<BehaviourTimelineBase> masterTimeline;
        std::shared_ptr<BehaviourTimelineBase> slaveTimeline;
        std::shared_ptr<ParamRange> master;
        std::atomic<bool> editing{false};
        bool hasNewValues = false;
        ParamValues localValues;

        std::shared_ptr<Param<bool>> invert;
        std::shared_ptr<Param<bool>> followMasterRange;
        std::shared_ptr<ParamRange> numerator;
        std::shared_ptr<ParamRange> denominator;
    };

    namespace
    {
        // The frame as the slave sees it at ratio times the master's pace.
        TimeInfo scaledFrame(const TimeInfo& info, double ratio)
        {
            TimeInfo scaled(info);
            scaled.deltaTime = info.deltaTime * ratio;
            scaled.tempo.beatDelta = info.tempo.beatDelta * ratio;
            scaled.tempo.beatPosition =
                info.tempo.beatPosition - info.tempo.beatDelta + static_cast<long double>(info.tempo.beatDelta * ratio);
            return scaled;
        }

        void setRatioFrom(double ratio, ParamRange& numerator, ParamRange& denominator)
        {
            if (! (ratio > 0.0) || ! std::isfinite(ratio))
                return;
            if (ratio < 1.0)
            {
                const Fraction f = Fraction(ratio).withoutIntegral();
                numerator.setValue(static_cast<double>(f.getNumerator()), ValueChangeInfo());
                denominator.setValue(static_cast<double>(f.getDenominator()), ValueChangeInfo());
            }
            else
            {
                const Fraction f = Fraction(1.0 / ratio).withoutIntegral();
                numerator.setValue(static_cast<double>(f.getDenominator()), ValueChangeInfo());
                denominator.setValue(static_cast<double>(f.getNumerator()), ValueChangeInfo());
            }
        }
    }

    BehaviourTimelineSlave::BehaviourTimelineSlave(ParamRange& owner, std::shared_ptr<ParamRange> master)
        : BehaviourDouble(owner, "BehaviourTimelineSlave", "BehaviourTimelineSlave"), pimpl(new Pimpl())
    {
        Pimpl& p = *pimpl;
        p.master = std::move(master);
        p.invert = params->addParamBool("invert", false);
        p.followMasterRange = params->addParamBool("followMasterRange", true);
        p.numerator = params->addParamRange("numerator", 1.0, ValueRange<double>(1.0, 10000.0, "range"));
        p.denominator = params->addParamRange("denominator", 1.0, ValueRange<double>(1.0, 10000.0, "range"));

        if (p.master != nullptr)
        {
            p.masterTimeline = p.master->behaviour<BehaviourTimelineBase>();
            if (const auto loopr = p.master->behaviour<BehaviourBpmBeatLoopr>())
            {
                auto slave = std::make_shared<BehaviourBpmBeatLoopr>(owner, loopr->getOriginalDuration());
                slave->shareBeatsParam(loopr->getBeatsParam());
                p.slaveTimeline = slave;
            }
            else if (const auto timeline = p.master->behaviour<BehaviourTimeline>())
            {
                auto slave = std::make_shared<BehaviourTimeline>(owner, timeline->getOriginalDuration());
                slave->shareSpeedParam(timeline->getSpeedParam());
                p.slaveTimeline = slave;
            }
            // The ratio goes in before anything listens, so the first
            // update already runs at it.
            setRatioFrom(p.master->getMinMaxRange().max / owner.getMinMaxRange().max, *p.numerator, *p.denominator);
        }
        if (p.slaveTimeline == nullptr)
            p.masterTimeline.reset();

        p.invert->addListener(*this, false);
        p.followMasterRange->addListener(*this, false);
        p.numerator->addListener(*this, false);
        p.denominator->addListener(*this, false);
        if (p.masterTimeline != nullptr)
        {
            p.master->addListener(*this, false);
            p.masterTimeline->getPlayDirectionParam()->addListener(*this, false);
            p.masterTimeline->getPlayModeParam()->addListener(*this, false);
        }
    }

    BehaviourTimelineSlave::~BehaviourTimelineSlave()
    {
        Pimpl& p = *pimpl;
        p.invert->removeListener(*this);
        p.followMasterRange->removeListener(*this);
        p.numerator->removeListener(*this);
        p.denominator->removeListener(*this);
        if (p.masterTimeline != nullptr)
        {
            p.master->removeListener(*this);
            p.masterTimeline->getPlayDirectionParam()->removeListener(*this);
            p.masterTimeline->getPlayModeParam()->removeListener(*this);
        }
    }

    double BehaviourTimelineSlave::apply(double v)
    {
        return pimpl->slaveTimeline != nullptr ? pimpl->slaveTimeline->apply(v) : v;
    }

    bool BehaviourTimelineSlave::isAnimating() const
    {
        return pimpl->slaveTimeline != nullptr && pimpl->slaveTimeline->isAnimating();
    }

    void BehaviourTimelineSlave::valueChanged(ParamBase& param, ChangeInfo info)
    {
        Pimpl& p = *pimpl;
        if (p.masterTimeline == nullptr)
            return;
        ParamValues snapshot;
        const ValueRange<double> window = p.master->getStartStopRangeNormalized();
        snapshot.range.set(window.min, window.max);
        snapshot.position = p.masterTimeline->getLoopCount() + p.master->getValueNormalized();
        snapshot.change = info;
        if (&param != p.master.get())
            snapshot.change.state = StateChange_Behaviour_Changed;
        std::int32_t direction = p.masterTimeline->getPlayDirectionParam()->getValue();
        if (p.invert->getValue() && (direction == playBackward || direction == playForward))
            direction = direction == playForward ? playBackward : playForward;
        snapshot.direction = direction;
        snapshot.mode = p.masterTimeline->getPlayModeParam()->getValue();
        snapshot.editing = p.editing.load(std::memory_order_relaxed);
        p.buffer.publish(snapshot);
    }

    void BehaviourTimelineSlave::stateChanged(ParamBase& param, ChangeInfo info)
    {
        if (info.state == StateChange_UserState_None)
            pimpl->editing.store(false, std::memory_order_relaxed);
        else if (info.state == StateChange_UserState_Editing)
            pimpl->editing.store(true, std::memory_order_relaxed);
        valueChanged(param, info);
    }

    std::uint32_t BehaviourTimelineSlave::update(const TimeInfo& info)
    {
        Pimpl& p = *pimpl;
        if (p.slaveTimeline == nullptr)
            return 0;
        ParamRange& owner = getOwner();
        const double ratio = p.numerator->getValue() / p.denominator->getValue();

        p.hasNewValues = p.buffer.consume(p.localValues);
        if (! p.hasNewValues)
        {
            if (p.editing.load(std::memory_order_relaxed))
                return 0;
            const TimeInfo scaled = scaledFrame(info, ratio);
            return p.slaveTimeline->update(scaled);
        }

        const ParamValues& local = p.localValues;
        p.slaveTimeline->getPlayHead()->copyBeatLoop(*p.masterTimeline->getPlayHead());
        const auto takeDirectionAndMode = [&]
        {
            p.slaveTimeline->getPlayDirectionParam()->setValue(local.direction, ValueChangeInfo());
            p.slaveTimeline->getPlayModeParam()->setValue(local.mode, ValueChangeInfo());
        };
        const auto takeWindow = [&]
        {
            owner.setStartStopRangeNormalized(local.range, ValueChangeInfo());
            p.slaveTimeline->rangesChanged();
        };

        const StateChange state = local.change.state;
        if (state == StateChange_Behaviour_Changed || state == StateChange_UserState_Editing_4 ||
            state == StateChange_UserState_Editing_5)
        {
            takeWindow();
            takeDirectionAndMode();
            return 0;
        }
        if (state != StateChange_Value)
            return 0;

        if (p.followMasterRange->getValue())
            takeWindow();
        takeDirectionAndMode();
        double phase = std::fmod(local.position * ratio, 1.0);
        if (p.invert->getValue())
            phase = 1.0 - phase;
        if (! std::isfinite(phase))
            return 0;
        p.slaveTimeline->resetModifiers(phase);
        if (local.editing)
        {
            owner.setValueNormalized(phase, ValueChangeInfo());
            return 0;
        }
        if (local.change.time < info.time)
        {
            // Only the part of the frame after the change is still to run.
            const double age = info.time - local.change.time;
            double catchUp = info.deltaTime > 0.0 ? age / info.deltaTime : 0.0;
            catchUp = catchUp > 1.0 ? 1.0 : catchUp;
            return p.slaveTimeline->update(scaledFrame(info, ratio * catchUp));
        }
        return 0;
    }

    std::shared_ptr<BehaviourTimelineBase> BehaviourTimelineSlave::getSlaveTimeline() const
    {
        return pimpl->slaveTimeline;
    }

    bool BehaviourTimelineSlave::hasNewValues() const
    {
        return pimpl->hasNewValues;
    }

    const BehaviourTimelineSlave::ParamValues& BehaviourTimelineSlave::getLocalValues() const
    {
        return pimpl->localValues;
    }
}
