#include "engine/behaviours/VXBehaviourFFTLink.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamVector.h"
#include "engine/behaviours/VXModifierFFT.h"

#include <cmath>

namespace vx
{
    BehaviourFFTLink::BehaviourFFTLink(ParamRange& owner)
        : BehaviourDouble(owner, "BehaviourFFTLink", "BehaviourFFTLink"),
          amplitude(std::make_shared<ParamRange>("Amplutide", 0.0, ValueRange<double>())),
          fallingData(std::make_shared<ParamVector<float>>("FallingData"))
    {
        frequencyRange = params->addParamRange("FrequencyRange", 0.5, ValueRange<double>(0.0, 1.0, "range"));
        gain = params->addParamRange("Gain", 0.0, ValueRange<double>(-48.0, 24.0, "range"));
        fallback = params->addParamRange("Fallback", 1000.0, ValueRange<double>(100.0, 10000.0, "range"));
        valueBehaviour = std::make_shared<ParamChoice<int>>("ValueBehaviour", 0);
        for (const char* name : {">", "<", "+", "-"})
            valueBehaviour->addChoice(name, static_cast<int>(valueBehaviour->getNumChoices()), true, true);
        params->addParam(valueBehaviour);

        modifier = std::make_shared<ModifierFFT>(frequencyRange, amplitude, fallingData->getValue());
        addModifier(modifier);
        setPathByParent(owner.getPath(), std::string());

        gain->addListener(*this, false);
        fallback->addListener(*this, false);
        valueBehaviour->addListener(*this, false);
        pushSettingsToModifier();
    }

    BehaviourFFTLink::~BehaviourFFTLink()
    {
        BehaviourFFTLink::unlink();
        gain->removeListener(*this);
        fallback->removeListener(*this);
        valueBehaviour->removeListener(*this);
    }

    void BehaviourFFTLink::pushSettingsToModifier()
    {
        modifier->setGain(std::pow(10.0, gain->getValue() / 20.0));
        modifier->setFallback(fallback->getValue());
        modifier->setValueBehaviour(static_cast<ModifierFFT::ValueBehaviour>(valueBehaviour->getValue()));
    }

    bool BehaviourFFTLink::link(std::shared_ptr<ParamBase> param, bool, bool)
    {
        auto spectrum = std::dynamic_pointer_cast<ParamVector<float>>(param);
        if (spectrum == nullptr)
            return false;
        if (linkedSpectrum != nullptr)
            unlink();
        linkedSpectrum = spectrum;
        lastTime = 0.0;
        linkedSpectrum->addListener(*this, false);
        linkedSpectrum->stateChanged(ChangeInfo(StateChange_Appearance));
        return true;
    }

    void BehaviourFFTLink::unlink()
    {
        if (linkedSpectrum == nullptr)
            return;
        linkedSpectrum->removeListener(*this);
        linkedSpectrum.reset();
    }

    std::uint32_t BehaviourFFTLink::update(const TimeInfo& info)
    {
        const std::uint32_t flags = BehaviourDouble::update(info);
        fallingData->stateChanged(ChangeInfo(StateChange_Value, -1.0));
        return flags;
    }

    void BehaviourFFTLink::valueChanged(ParamBase& param, ChangeInfo info)
    {
        if (linkedSpectrum != nullptr && &param == linkedSpectrum.get())
        {
            if (info.sender == this)
                return;
            const double time = info.time;
            if (lastTime == 0.0)
                lastTime = time;
            modifier->setNewValues(linkedSpectrum->getValue(), time - lastTime);
            lastTime = time;
        }
        else if (&param == valueBehaviour.get())
        {
            modifier->setValueBehaviour(static_cast<ModifierFFT::ValueBehaviour>(valueBehaviour->getValue()));
        }
        else if (&param == gain.get())
        {
            modifier->setGain(std::pow(10.0, gain->getValue() / 20.0));
        }
        else if (&param == fallback.get())
        {
            modifier->setFallback(fallback->getValue());
        }
    }

    void BehaviourFFTLink::readStatePost()
    {
        pushSettingsToModifier();
    }

    void BehaviourFFTLink::pathChanged()
    {
        params->setPath(getPath());
    }
}
