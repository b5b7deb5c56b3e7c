#include "engine/behaviours/VXBehaviourAnimated.h"

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourUtils.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <cmath>

namespace vx
{
    BehaviourAnimated::BehaviourAnimated(ParamRange& owner, double originalDurationMs)
        : BehaviourAnimated(owner, originalDurationMs, "BehaviourAnimated")
    {
    }

    BehaviourAnimated::BehaviourAnimated(ParamRange& owner, double originalDurationMs, const std::string& elementName)
        : BehaviourTimeline(owner, originalDurationMs, elementName)
    {
        beats = params->addParamRange("Beats", 4.0, ValueRange<double>(0.0078125, 1024.0, "range"));
        beatsMultiplyTwo = params->addParamEvent("beatsMultiplyTwo");
        beatsMultiplyTwo->setTriggerType(ParamEvent::triggerOnTrue);
        beatsDivideTwo = params->addParamEvent("beatsDivideTwo");
        beatsDivideTwo->setTriggerType(ParamEvent::triggerOnTrue);
        tempoSynced = params->addParamBool("tempoSynced", true);

        setDurationAdapts(false);
        setPathByParent(owner.getPath(), std::string());

        beatsMultiplyTwo->addListener(*this, false);
        beatsDivideTwo->addListener(*this, false);
        tempoSynced->addListener(*this, false);
        playDirection->addListener(*this, false);
        rangesChanged();
    }

    BehaviourAnimated::~BehaviourAnimated()
    {
        // A link still listening would be called on a dead behaviour.
        BehaviourAnimated::unlink();
        beatsMultiplyTwo->removeListener(*this);
        beatsDivideTwo->removeListener(*this);
        tempoSynced->removeListener(*this);
        playDirection->removeListener(*this);
    }

    bool BehaviourAnimated::link(std::shared_ptr<ParamBase> param, bool pushOwnerValue, bool takeOwnerName)
    {
        lastPhase = -1.0;
        if (! linkInternal(param))
            return false;
        ParamRange& owner = getOwner();
        if (pushOwnerValue)
            linked->setValueNormalized(owner.getValueNormalized(), ValueChangeInfo());
        if (takeOwnerName)
            linked->setAltName(owner.getName());
        linked->addListener(*this, false);
        return true;
    }

    void BehaviourAnimated::unlink()
    {
        lastPhase = -1.0;
        if (linked != nullptr)
            linked->removeListener(*this);
        BehaviourLinkBase::unlink();
    }

    void BehaviourAnimated::pathChanged()
    {
        BehaviourTimeline::pathChanged();
    }

    void BehaviourAnimated::setBeatLockedPhase(double position)
    {
        const double cycle = beats->getValue();
        const double x = std::fmod(position, cycle);
        if (! std::isfinite(x))
            return;
        if (playMode->getValue() == playBounce && lastPhase != -1.0 && lastPhase > x)
        {
            turningDirection = true;
            playDirection->setValue(playDirection->getValue() != playForward ? playForward : playBackward,
                                    ValueChangeInfo(static_cast<void*>(this), -1.0));
            turningDirection = false;
        }
        double y = x / cycle;
        if (playDirection->getValue() == playBackward)
            y = 1.0 - y;
        resetModifiers(y);
        getOwner().stateChanged(ChangeInfo(StateChange_Value, -1.0));
        lastPhase = x;
    }

    std::uint32_t BehaviourAnimated::update(const TimeInfo& info)
    {
        if (! tempoSynced->getValue())
            return BehaviourTimelineBase::update(info);
        if (detail::isUsableFrame(info, warnedBadFrame, "BehaviourAnimated"))
            setBeatLockedPhase(static_cast<double>(info.tempo.beatPosition));
        return 0;
    }

    void BehaviourAnimated::valueChanged(ParamBase& param, ChangeInfo info)
    {
        const bool fromElsewhere = info.sender != this;
        if (linked != nullptr && &param == linked.get())
        {
            if (tempoSynced->getValue() && fromElsewhere)
                setBeatLockedPhase(linked->getValue());
        }
        else if (&param == playDirection.get())
        {
            if (tempoSynced->getValue() && fromElsewhere && ! turningDirection)
            {
                ParamRange& owner = getOwner();
                owner.setValueNormalized(1.0 - owner.getValueNormalized(), ValueChangeInfo());
            }
        }
        else if (&param == beatsDivideTwo.get())
        {
            beats->setValue(beats->getValue() * 0.5, ValueChangeInfo());
        }
        else if (&param == beatsMultiplyTwo.get())
        {
            beats->setValue(beats->getValue() * 2.0, ValueChangeInfo());
        }
        else if (&param == tempoSynced.get())
        {
            if (! tempoSynced->getValue())
                resetModifiers(getOwner().getValueNormalized());
        }
    }

    XmlNode* BehaviourAnimated::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = BehaviourTimeline::writeStateDerived(pool, force);
        if (linked != nullptr)
            element->append_attribute(createAttribute(pool, "pathToLink", linked->getPath()));
        return element;
    }

    void BehaviourAnimated::readStateDerived(const XmlNode& node)
    {
        if (linked != nullptr)
            unlink();
        BehaviourTimeline::readStateDerived(node);
        const std::string path = readAttribute(node.first_attribute("pathToLink"), std::string());
        if (! path.empty())
            BehaviourLinkBase::link(path, true, true);
    }
}
