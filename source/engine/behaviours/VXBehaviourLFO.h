#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/behaviours/VXBehaviourDouble.h"

#include <memory>

namespace vx
{
    class ModifierAnimated;
    class ModifierLFO;
    template <typename T>
    class Param;
    template <typename T>
    class ParamChoice;

    // A low-frequency oscillator over the owner's window: a phase advanced
    // by time ("Speed" cycles per 5000 ms) or, "TempoSynced", by beats (one
    // cycle per "Beats" beats), shaped by "waveform". Element and name
    // "BehaviourLFO".
    class BehaviourLFO : public BehaviourDouble, public ParamListener
    {
    public:
        // The duration is accepted and not used.
        BehaviourLFO(ParamRange& owner, double durationMs);
        ~BehaviourLFO() override;

        // The parameters reach the modifiers only this way (reading XML too).
        void valueChanged(ParamBase& param, ChangeInfo info) override;

        const std::shared_ptr<ModifierAnimated>& getAnimatedModifier() const { return animated; }
        const std::shared_ptr<ModifierLFO>& getLFOModifier() const { return lfo; }
        const std::shared_ptr<ParamChoice<int>>& getWaveformParam() const { return waveform; }
        const std::shared_ptr<ParamRange>& getSpeedParam() const { return speed; }
        const std::shared_ptr<ParamRange>& getBeatsParam() const { return beats; }
        const std::shared_ptr<Param<bool>>& getTempoSyncedParam() const { return tempoSynced; }

    private:
        std::shared_ptr<ModifierAnimated> animated;
        std::shared_ptr<ModifierLFO> lfo;
        std::shared_ptr<ParamChoice<int>> waveform;
        std::shared_ptr<ParamRange> speed;
        std::shared_ptr<ParamRange> beats;
        std::shared_ptr<Param<bool>> tempoSynced;
    };
}
