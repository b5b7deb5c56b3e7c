#include "engine/behaviours/VXBehaviourTimeline.h"

#include "core/VXSpeedInfo.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourUtils.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <cmath>

namespace vx
{
    namespace
    {
        // Below this a duration is no duration.
        constexpr double minimumDurationMs = 0.0001;
    }

    BehaviourTimeline::BehaviourTimeline(ParamRange& owner, double originalDurationMs)
        : BehaviourTimeline(owner, originalDurationMs, "BehaviourTimeline")
    {
    }

    BehaviourTimeline::BehaviourTimeline(ParamRange& owner, double originalDurationMs, const std::string& elementName)
        : BehaviourTimelineBase(owner, originalDurationMs, elementName), DeltaSource(DeltaSource::timeline)
    {
        speed = params->addParamRange("speed", 1.0, ValueRange<double>(0.0, 10.0, "range"));
        bindPlayHead(std::make_shared<ModifierTimeline>(static_cast<DeltaSource&>(*this)));
        setPathByParent(owner.getPath(), std::string());
        BehaviourTimeline::rangesChanged();
    }

    double BehaviourTimeline::getSpeed(const TimeInfo& info) const
    {
        return speed->getValue() * (globalSpeedEnabled ? std::fabs(info.speed.speed) : 1.0);
    }

    void BehaviourTimeline::start(bool restart)
    {
        BehaviourTimelineBase::start(restart);
        if (playModeAway->getValue() == 1)
            playHead->clearFinished();
        restartPending = true;
    }

    void BehaviourTimeline::rangesChanged()
    {
        duration = computeDuration();
    }

    void BehaviourTimeline::directionChangedAfterUpdate()
    {
        playHead->clearFinished();
        sendFinished();
        playDirection->setValue(playHead->getPlayDirection(), ValueChangeInfo());
    }

    double BehaviourTimeline::getPhaseRemaining() const
    {
        return playHead->getPhaseRemaining();
    }

    double BehaviourTimeline::getDelta(double milliseconds) const
    {
        return speed->getValue() * milliseconds / duration;
    }

    DeltaSource::Result BehaviourTimeline::getDelta(const TimeInfo& info)
    {
        Result result;
        // Also catches a NaN duration (a window of no width).
        if (! (duration >= minimumDurationMs) || ! std::isfinite(duration))
            result.flags = requestNoDuration;
        else
            result.delta = info.deltaTime * getSpeed(info) / duration;

        const int request = info.speed.directionRequest;
        if (globalSpeedEnabled && request != SpeedInfo::noDirectionRequest)
        {
            const bool atOnce = (request & SpeedInfo::applyAtOnce) != 0;
            const bool onStart = (request & SpeedInfo::applyToStartedTimelines) != 0 && restartPending;
            if (atOnce || onStart)
            {
                restartPending = false;
                switch (request & SpeedInfo::directionMask)
                {
                    case playBackward:
                        result.flags |= requestBackward;
                        break;
                    case playForward:
                        result.flags |= requestForward;
                        break;
                    case playRandom:
                        result.flags |= requestRandom;
                        break;
                    case playPause:
                        result.flags |= requestPause;
                        break;
                    default:
                        break;
                }
            }
        }
        return result;
    }

    double BehaviourTimeline::getNormalizedRandomDuration() const
    {
        return randomDuration / duration;
    }

    void BehaviourTimeline::getRandomPosition(double& elapsed, double& position) const
    {
        elapsed = 0.0;
        position = detail::randomUnit();
    }

    void BehaviourTimeline::readStatePost()
    {
        copyPlayParamsToPlayHead();
        rangesChanged();
    }

    void BehaviourTimeline::shareSpeedParam(const std::shared_ptr<ParamRange>& other)
    {
        if (other == nullptr || other == speed)
            return;
        const int index = params->findParamIndex(*speed);
        params->removeParam(speed, false);
        params->insertParam(other, index);
        speed = other;
    }
}
