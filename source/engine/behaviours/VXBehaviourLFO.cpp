#include "engine/behaviours/VXBehaviourLFO.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXModifierAnimated.h"
#include "engine/behaviours/VXModifierLFO.h"

namespace vx
{
    BehaviourLFO::BehaviourLFO(ParamRange& owner, double)
        : BehaviourDouble(owner, "BehaviourLFO", "BehaviourLFO"), animated(std::make_shared<ModifierAnimated>()),
          lfo(std::make_shared<ModifierLFO>())
    {
        addModifier(animated);
        addModifier(lfo);

        waveform = std::make_shared<ParamChoice<int>>("waveform", 0);
        for (const char* name : {"Sine", "Triangle", "Saw", "Square", "Off"})
            waveform->addChoice(name, static_cast<int>(waveform->getNumChoices()), true, true);
        params->addParam(waveform);
        speed = params->addParamRange("Speed", animated->getTimelineSource().getRate(),
                                      ValueRange<double>(0.0, 10.0, "range"));
        beats = params->addParamRange("Beats", animated->getBeatsSource().getBeatsPerCycle(),
                                      ValueRange<double>(1.0, 1024.0, "range"));
        tempoSynced = params->addParamBool("TempoSynced", animated->getDeltaSourceType() == DeltaSource::beats);

        waveform->addListener(*this, false);
        speed->addListener(*this, false);
        beats->addListener(*this, false);
        tempoSynced->addListener(*this, false);
    }

    BehaviourLFO::~BehaviourLFO()
    {
        waveform->removeListener(*this);
        speed->removeListener(*this);
        beats->removeListener(*this);
        tempoSynced->removeListener(*this);
    }

    void BehaviourLFO::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param == waveform.get())
            lfo->setWaveform(static_cast<ModifierLFO::Waveform>(waveform->getValue()));
        else if (&param == speed.get())
            animated->getTimelineSource().setRate(speed->getValue());
        else if (&param == beats.get())
            animated->getBeatsSource().setBeatsPerCycle(beats->getValue());
        else if (&param == tempoSynced.get())
            animated->setDeltaSourceType(tempoSynced->getValue() ? DeltaSource::beats : DeltaSource::timeline);
    }
}
