#include "engine/behaviours/VXBehaviourBpmBeatLoopr.h"

#include "core/VXTempoInfo.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXAudioBeatmarks.h"
#include "engine/behaviours/VXBehaviourUtils.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <algorithm>
#include <cmath>

namespace vx
{
    namespace
    {
        constexpr int syncBpm = 1;

        std::shared_ptr<ParamEvent> addEvent(ParamContainer& params, const std::string& name)
        {
            std::shared_ptr<ParamEvent> event = params.addParamEvent(name);
            event->setTriggerType(ParamEvent::triggerOnTrue);
            return event;
        }
    }

    BehaviourBpmBeatLoopr::BehaviourBpmBeatLoopr(ParamRange& owner, double originalDurationMs)
        : BehaviourTimelineBase(owner, originalDurationMs, "BehaviourBpmBeatLoopr"), DeltaSource(DeltaSource::timeline)
    {
        beatsParam =
            params->addParamRange("beats", getNumBeatsOfClip(), ValueRange<double>(0.0078125, 1024.0, "range"));
        bpm = params->addParamRange("bpm", 120.0, ValueRange<double>(20.0, 500.0, "range"));
        syncmode = params->addParamChoice("syncmode", {"Beats", "BPM"});
        syncmode->setValueByIndex(0, ValueChangeInfo());
        multiplytwo = addEvent(*params, "multiplytwo");
        dividetwo = addEvent(*params, "dividetwo");

        beatLoop = std::make_shared<ParamChoice<double>>("beatLoop", -1.0);
        beatLoop->setSameValueResets(true);
        beatLoop->addChoice("Off", -1.0, true, true);
        beatLoop->addChoice("4 Beats", 4.0, true, true);
        beatLoop->addChoice("2 Beats", 2.0, true, true);
        beatLoop->addChoice("1 Beats", 1.0, true, true);
        beatLoop->addChoice("1/2 Beat", 0.5, true, true);
        beatLoop->addChoice("1/4 Beat", 0.25, true, true);
        beatLoop->addChoice("1/6 Beat", 0.3333333333333333, true, true);
        beatLoop->addChoice("1/12 Beat", 0.16666666666666666, true, true);
        params->addParam(beatLoop);
        catchUp = params->addParamBool("catchUp", false);

        syncmode->addListener(*this, false);
        multiplytwo->addListener(*this, false);
        dividetwo->addListener(*this, false);
        beatLoop->addListener(*this, false);
        catchUp->addListener(*this, false);

        durationBasedOnParam = true;
        bindPlayHead(std::make_shared<ModifierTimeline>(static_cast<DeltaSource&>(*this)));
        setPathByParent(owner.getPath(), std::string());
        BehaviourBpmBeatLoopr::rangesChanged();
    }

    BehaviourBpmBeatLoopr::~BehaviourBpmBeatLoopr()
    {
        syncmode->removeListener(*this);
        multiplytwo->removeListener(*this);
        dividetwo->removeListener(*this);
        beatLoop->removeListener(*this);
        catchUp->removeListener(*this);
    }

    bool BehaviourBpmBeatLoopr::hasUsableBeats(double beatCount) const
    {
        return beatCount > 0.0 && std::isfinite(beatCount);
    }

    double BehaviourBpmBeatLoopr::getNumBeats() const
    {
        if (syncmode->getValue() == syncBpm)
            return TempoInfo::millisecondsToBeats(duration, bpm->getValue());
        return beatsParam->getValue();
    }

    double BehaviourBpmBeatLoopr::getSpeed(const TimeInfo& info) const
    {
        const double beatCount = getNumBeats();
        if (! hasUsableBeats(beatCount))
            return 0.0;
        return (duration / beatCount) / TempoInfo::tempoToMilliseconds(info.tempo.bpm);
    }

    void BehaviourBpmBeatLoopr::start(bool restart)
    {
        BehaviourTimelineBase::start(restart);
        if (playModeAway->getValue() == 1)
            playHead->clearFinished();
    }

    void BehaviourBpmBeatLoopr::rangesChanged()
    {
        duration = computeDuration();
    }

    void BehaviourBpmBeatLoopr::directionChangedAfterUpdate()
    {
        playDirection->setValue(playHead->getPlayDirection(), ValueChangeInfo());
        if (playHead->isFinished())
        {
            playHead->clearFinished();
            sendFinished();
        }
    }

    void BehaviourBpmBeatLoopr::moveDefault(ParamRange& param, double newDefault, bool valueFollowsAlways)
    {
        if (! std::isfinite(newDefault))
            return;
        const bool wasAtDefault = param.getValue() == param.getDefaultValue();
        param.setDefaultValue(newDefault);
        if (valueFollowsAlways || wasAtDefault)
            param.setValue(param.getDefaultValue(), ValueChangeInfo());
    }

    void BehaviourBpmBeatLoopr::setBeatmarks(const std::shared_ptr<AudioBeatmarks<double>>& marks)
    {
        BehaviourTimelineBase::setBeatmarks(marks);
        if (marks != nullptr)
            moveDefault(*bpm, marks->getBpm(), false);
    }

    void BehaviourBpmBeatLoopr::setOriginalDuration(double milliseconds)
    {
        BehaviourTimelineBase::setOriginalDuration(milliseconds);
        // Refused (and logged) by the base: the defaults stay.
        if (! (milliseconds > 0.0) || ! std::isfinite(milliseconds))
            return;
        const auto& marks = clipBeats.getBeatmarks();
        const double beatsDefault = marks != nullptr
                                        ? std::round(originalDuration / TempoInfo::tempoToMilliseconds(marks->getBpm()))
                                        : static_cast<double>(getNumBeatsOfClip());
        const double bpmDefault = marks != nullptr ? marks->getBpm() : getClipTempo();
        if (beatsDefault > 0.0)
            moveDefault(*beatsParam, beatsDefault, false);
        moveDefault(*bpm, bpmDefault, false);
    }

    double BehaviourBpmBeatLoopr::getPhaseRemaining() const
    {
        return playHead->getPhaseRemaining();
    }

    double BehaviourBpmBeatLoopr::getDelta(double beatCount) const
    {
        return beatCount / getNumBeats();
    }

    void BehaviourBpmBeatLoopr::readStatePost()
    {
        copyPlayParamsToPlayHead();
        const auto& marks = clipBeats.getBeatmarks();
        if (beatsParam->getValue() == beatsParam->getDefaultValue())
        {
            const double beatsDefault =
                marks != nullptr && marks->getBpm() > 20.0
                    ? std::round(originalDuration / TempoInfo::tempoToMilliseconds(marks->getBpm()))
                    : static_cast<double>(getNumBeatsOfClip());
            if (beatsDefault > 0.0)
                moveDefault(*beatsParam, beatsDefault, true);
        }
        if (bpm->getValue() == bpm->getDefaultValue())
            moveDefault(*bpm, marks != nullptr ? marks->getBpm() : getClipTempo(), true);
        rangesChanged();
    }

    void BehaviourBpmBeatLoopr::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param == multiplytwo.get() || &param == dividetwo.get())
        {
            const double factor = &param == multiplytwo.get() ? 2.0 : 0.5;
            ParamRange& target = syncmode->getValue() == syncBpm ? *bpm : *beatsParam;
            target.setValue(target.getValue() * factor, ValueChangeInfo());
        }
        else if (&param == catchUp.get())
        {
            playHead->setBeatlooperCatchesUp(catchUp->getValue());
        }
    }

    DeltaSource::Result BehaviourBpmBeatLoopr::getDelta(const TimeInfo& info)
    {
        Result result;
        const double beatCount = getNumBeats();
        // A window of no width, in either sync mode, or no usable beat count:
        // nothing moves, and neither a beat jump nor a hold asks for more.
        if (! hasUsableBeats(beatCount) || ! (duration > 0.0))
        {
            result.flags = requestNoDuration;
            return result;
        }
        if (info.tempo.beatJump)
        {
            result.jumpPosition = static_cast<double>(info.tempo.beatPosition) / beatCount;
            result.flags = requestJump;
        }
        if (info.tempo.beatHold)
            result.flags |= requestHold;
        result.delta = info.tempo.beatDelta / beatCount;
        return result;
    }

    double BehaviourBpmBeatLoopr::getNormalizedRandomDuration() const
    {
        return 1.0 / getNumBeats();
    }

    void BehaviourBpmBeatLoopr::getRandomPosition(double& elapsed, double& position) const
    {
        elapsed -= getNormalizedRandomDuration();
        const double beatCount = getNumBeats();
        if (! hasUsableBeats(beatCount))
            return;
        const int k = static_cast<int>(std::floor(std::min(4.0, beatCount)));
        const int r = static_cast<int>(std::floor(static_cast<float>(k) * detail::randomUnit()));
        const int offset = r - (k >> 1);
        position += offset / beatCount;
        position = detail::raiseBySteps(position, 0.0, 1.0);
        position = detail::lowerBySteps(position, 1.0, 1.0);
    }

    bool BehaviourBpmBeatLoopr::updateBeatloop(double phase, double& start, double& end)
    {
        const double loop = beatLoop->getValue();
        if (loop == lastLoopValue)
            return loop != -1.0;
        if (loop == -1.0)
        {
            start = 0.0;
            end = 1.0;
        }
        else
        {
            const double beatCount = getNumBeats();
            if (! hasUsableBeats(beatCount) || ! (loop > 0.0) || ! std::isfinite(phase))
                return true;
            const double width = std::min(loop, beatCount);
            start = std::floor(phase * beatCount / width) * width / beatCount;
            end = start + width / beatCount;
        }
        lastLoopValue = loop;
        return loop != -1.0;
    }

    void BehaviourBpmBeatLoopr::shareBeatsParam(const std::shared_ptr<ParamRange>& other)
    {
        if (other == nullptr || other == beatsParam)
            return;
        const int index = params->findParamIndex(*beatsParam);
        params->removeParam(beatsParam, false);
        params->insertParam(other, index);
        beatsParam = other;
    }
}
