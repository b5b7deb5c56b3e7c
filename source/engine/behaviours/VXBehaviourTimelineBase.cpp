#include "engine/behaviours/VXBehaviourTimelineBase.h"

#include "core/VXLog.h"
#include "core/VXTempoInfo.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXAudioBeatmarks.h"
#include "engine/behaviours/VXBehaviourUtils.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <cmath>

namespace vx
{
    namespace
    {
        std::shared_ptr<ParamChoice<int>> addChoice(ParamContainer& params, const std::string& name,
                                                    const std::vector<std::string>& choices,
                                                    const std::string& defaultChoice)
        {
            std::shared_ptr<ParamChoice<int>> choice = params.addParamChoice(name, choices);
            choice->setValueByName(defaultChoice, ValueChangeInfo());
            choice->setDefaultValue(choice->getValue());
            return choice;
        }

        bool isUsableDuration(double milliseconds)
        {
            return milliseconds > 0.0 && std::isfinite(milliseconds);
        }
    }

    BehaviourTimelineBase::BehaviourTimelineBase(ParamRange& owner, double originalDurationMs,
                                                 const std::string& elementName)
        : BehaviourDouble(owner, elementName, elementName), originalDuration(originalDurationMs)
    {
        playDirection = addChoice(*params, "playDirection", {"<", ">", "R", "||"}, ">");
        playMode = addChoice(*params, "playMode", {"loop", "bounce", "once", "onceandhold"}, "loop");
        playModeAway = addChoice(*params, "playModeAway", {"rewind", "continue"}, "rewind");
        updateBeatInfo();
    }

    BehaviourTimelineBase::~BehaviourTimelineBase()
    {
        // The parameters may outlive the play head in other holders' hands.
        playDirection->setValueToLinkBehaviourTo(nullptr);
        playMode->setValueToLinkBehaviourTo(nullptr);
    }

    void BehaviourTimelineBase::bindPlayHead(const std::shared_ptr<ModifierTimeline>& head)
    {
        playHead = head;
        addModifier(head);
        playMode->setValueToLinkBehaviourTo(head->getModeField());
        playDirection->setValueToLinkBehaviourTo(head->getDirectionField());
        copyPlayParamsToPlayHead();
    }

    void BehaviourTimelineBase::copyPlayParamsToPlayHead()
    {
        *playHead->getDirectionField() = playDirection->getValue();
        *playHead->getModeField() = playMode->getValue();
    }

    void BehaviourTimelineBase::countLoops(std::uint32_t flags)
    {
        if ((flags & ModifierTimeline::flagWrapEnd) != 0)
            ++loopCount;
        else if ((flags & ModifierTimeline::flagWrapStart) != 0)
            --loopCount;
    }

    std::uint32_t BehaviourTimelineBase::update(const TimeInfo& info)
    {
        const std::uint32_t flags = BehaviourDouble::update(info);
        countLoops(flags);
        return flags;
    }

    std::uint32_t BehaviourTimelineBase::updateSliced(TimeInfo& info, double* values, int* flags, double value, int n)
    {
        const std::uint32_t total = BehaviourDouble::updateSliced(info, values, flags, value, n);
        countLoops(total);
        return total;
    }

    void BehaviourTimelineBase::start(bool restart)
    {
        if (restart && playModeAway->getValue() == 0)
            resetTime();
    }

    void BehaviourTimelineBase::resetTime()
    {
        double phase = playHead->getPhase();
        if (playDirection->getValue() != playPause)
            phase = playHead->getPlayDirection() != playBackward ? playHead->getBeatloopStart()
                                                                 : playHead->getBeatloopEnd();
        playHead->clearFinished();
        resetModifiers(phase);
        getOwner().setValueNormalized(phase, ValueChangeInfo(ChangeType_Always, -1.0));
        loopCount = 0;
    }

    void BehaviourTimelineBase::setBeatmarks(const std::shared_ptr<AudioBeatmarks<double>>& marks)
    {
        clipBeats.setBeatmarks(marks);
    }

    void BehaviourTimelineBase::setOriginalDuration(double milliseconds)
    {
        if (! isUsableDuration(milliseconds))
        {
            logPrint(logWarning, "%s: refusing the original duration %g ms (not a positive finite number)",
                     getElementName().c_str(), milliseconds);
            return;
        }
        originalDuration = milliseconds;
        rangesChanged();
        updateBeatInfo();
    }

    void BehaviourTimelineBase::updateBeatInfo()
    {
        numBeats = 4;
        if (! isUsableDuration(originalDuration))
        {
            clipTempo = 120.0;
            return;
        }
        for (int i = 0; i < 32; ++i)
        {
            const double beatCount = std::ldexp(1.0, i);
            const double tempo = TempoInfo::millisecondsToTempo(originalDuration / beatCount);
            if (tempo >= 80.0 && tempo <= 160.0)
            {
                numBeats = 1u << i;
                break;
            }
        }
        clipTempo = TempoInfo::millisecondsToTempo(originalDuration / numBeats);
    }

    void BehaviourTimelineBase::setDurationAdapts(bool adapts)
    {
        if (adapts == durationAdapts)
            return;
        durationAdapts = adapts;
        rangesChanged();
    }

    void BehaviourTimelineBase::setDurationBasedOnParam(bool basedOnParam)
    {
        if (basedOnParam == durationBasedOnParam)
            return;
        durationBasedOnParam = basedOnParam;
        rangesChanged();
    }

    double BehaviourTimelineBase::getOriginalDuration() const
    {
        if (durationBasedOnParam)
            return detail::spanOf(minMaxRange.min, minMaxRange.max);
        return originalDuration;
    }

    double BehaviourTimelineBase::computeDuration() const
    {
        const double base = durationBasedOnParam ? detail::spanOf(minMaxRange.min, minMaxRange.max) : originalDuration;
        if (! durationAdapts)
            return base;
        const double ratio =
            detail::spanOf(startStopRange.min, startStopRange.max) / detail::spanOf(minMaxRange.min, minMaxRange.max);
        return ratio * base;
    }

    void BehaviourTimelineBase::setAudioRandomBehaviour()
    {
        const auto& marks = clipBeats.getBeatmarks();
        const std::size_t count = marks != nullptr ? marks->getBeatmarks().size() : numBeats;
        if (count > 0)
            randomDuration = getDuration() / static_cast<double>(count);
        playHead->setPhaseChangesDuringRandom(true);
    }

    void BehaviourTimelineBase::sendFinished()
    {
        callListeners(&TimelineListener::finished, static_cast<const BehaviourTimelineBase*>(this), CallType::standard);
    }

    bool BehaviourTimelineBase::stepBackPhase(double phase, double elapsedMs, const TimeInfo& lastFrame,
                                              double& stepped) const
    {
        const int direction = playDirection->getValue();
        if (direction == playRandom || direction == playPause)
            return false;
        const double amount = isBpmSync() ? TempoInfo::millisecondsToBeats(elapsedMs, lastFrame.tempo.bpm) : elapsedMs;
        double delta = getDelta(amount);
        if (direction == playBackward)
            delta = -delta;
        // A timeline without a usable duration has no way back.
        if (! std::isfinite(delta))
            return false;
        double p = phase - delta;
        playHead->adjustPhase(p);
        stepped = 0.0 > p ? 0.0 : (p > 1.0 ? 1.0 : p);
        return ! std::isnan(stepped);
    }

    XmlNode* BehaviourTimelineBase::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = BehaviourDouble::writeStateDerived(pool, force);
        element->append_attribute(createAttribute(pool, "durationAdapts", durationAdapts));
        element->append_attribute(createAttribute(pool, "durationBasedOnParam", durationBasedOnParam));
        element->append_attribute(createAttribute(pool, "globalSpeedEnabled", globalSpeedEnabled));
        element->append_attribute(createAttribute(pool, "originalDuration", originalDuration));
        element->append_attribute(createAttribute(pool, "randomDuration", randomDuration));
        clipBeats.appendAndWrite(element, pool, force);
        return element;
    }

    void BehaviourTimelineBase::readStateDerived(const XmlNode& node)
    {
        BehaviourDouble::readStateDerived(node);

        bool flag = false;
        if (readAttribute(node.first_attribute("durationAdapts"), &flag))
            durationAdapts = flag;
        if (readAttribute(node.first_attribute("durationBasedOnParam"), &flag))
            durationBasedOnParam = flag;
        if (readAttribute(node.first_attribute("globalSpeedEnabled"), &flag))
            globalSpeedEnabled = flag;
        double milliseconds = 0.0;
        if (readAttribute(node.first_attribute("originalDuration"), &milliseconds))
        {
            if (isUsableDuration(milliseconds))
            {
                originalDuration = milliseconds;
                updateBeatInfo();
            }
            else
            {
                logPrint(logWarning, "%s: ignoring the stored original duration %g ms", getElementName().c_str(),
                         milliseconds);
            }
        }
        if (readAttribute(node.first_attribute("randomDuration"), &milliseconds))
            randomDuration = milliseconds;

        const std::string& beatsName = Beats<double>::getNodeName();
        if (const XmlNode* child = node.first_node(beatsName.c_str(), beatsName.size()))
            clipBeats.readState(child, false);
    }
}
