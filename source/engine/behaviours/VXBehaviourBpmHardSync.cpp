#include "engine/behaviours/VXBehaviourBpmHardSync.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXModifierBPMHardSync.h"

#include <cmath>

namespace vx
{
    BehaviourBpmHardSync::BehaviourBpmHardSync(ParamRange& owner)
        : BehaviourDouble(owner, "BehaviourBpmHardSync", "BehaviourBpmHardSync")
    {
        beats = params->addParamRange("Beats", 4.0, ValueRange<double>(0.0078125, 1024.0, "range"));
        playDirection = params->addParamChoice("playDirection", {"<", ">"});
        playDirection->setValueByName(">", ValueChangeInfo());
        playDirection->setDefaultValue(playDirection->getValue());
        playMode = params->addParamChoice("playMode", {"loop", "bounce", "once"});
        playMode->setValueByName("loop", ValueChangeInfo());
        beatsMultiplyTwo = params->addParamEvent("beatsMultiplyTwo");
        beatsMultiplyTwo->setTriggerType(ParamEvent::triggerOnTrue);
        beatsDivideTwo = params->addParamEvent("beatsDivideTwo");
        beatsDivideTwo->setTriggerType(ParamEvent::triggerOnTrue);

        playDirection->addListener(*this, false);
        beatsMultiplyTwo->addListener(*this, false);
        beatsDivideTwo->addListener(*this, false);

        setPathByParent(owner.getPath(), std::string());
        modifier = std::make_shared<ModifierBPMHardSync>(playDirection, playMode, beats);
        modifier->setPhase(owner.getValueNormalized());
        addModifier(modifier);
    }

    BehaviourBpmHardSync::~BehaviourBpmHardSync()
    {
        playDirection->removeListener(*this);
        beatsMultiplyTwo->removeListener(*this);
        beatsDivideTwo->removeListener(*this);
    }

    std::set<double> BehaviourBpmHardSync::getBeats() const
    {
        std::set<double> positions;
        const double value = beats->getValue();
        if (! (value >= 1.0) || ! std::isfinite(value))
            return positions;
        const int count = static_cast<int>(value);
        for (int k = 0; k < count; ++k)
            positions.insert(static_cast<double>(k) / count);
        return positions;
    }

    void BehaviourBpmHardSync::valueChanged(ParamBase& param, ChangeInfo info)
    {
        if (&param == playDirection.get())
        {
            if (info.sender != this)
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
    }

    void BehaviourBpmHardSync::readStatePre()
    {
        savedDirection = playDirection->getValue();
    }

    void BehaviourBpmHardSync::readStatePost()
    {
        if (playDirection->getValue() >= 2)
            playDirection->setValue(savedDirection, ValueChangeInfo(ChangeType_Silent));
    }
}
