#pragma once

#include "core/parameters/VXParamListener.h"
#include "engine/behaviours/VXBehaviourDouble.h"
#include "engine/behaviours/VXBehaviourLinkBase.h"

#include <memory>

namespace vx
{
    class ModifierFFT;
    template <typename T>
    class ParamChoice;
    template <typename T>
    class ParamVector;

    // Drives the owner from an audio spectrum: links a float vector
    // parameter holding the latest spectrum and turns the band chosen by
    // "FrequencyRange" into a level with "Gain" (dB), fall-off ("Fallback",
    // ms) and "ValueBehaviour". The band level also goes to "Amplutide" and
    // the falling peaks to "FallingData" (both outside its Params). Element
    // and name "BehaviourFFTLink".
    //
    // Spectra arrive on the thread that sets the vector, the fall-off runs
    // on the owner's update thread; no lock of its own.
    class BehaviourFFTLink : public BehaviourLinkBase, public ParamListener, public BehaviourDouble
    {
    public:
        explicit BehaviourFFTLink(ParamRange& owner);
        ~BehaviourFFTLink() override;

        using BehaviourLinkBase::link;
        // Links a float vector parameter; false for anything else. The flags
        // are not used.
        bool link(std::shared_ptr<ParamBase> param, bool pushOwnerValue, bool takeOwnerName) override;
        void unlink() override;
        // The fall-off, then the peaks' views are told to redraw.
        std::uint32_t update(const TimeInfo& info) override;
        void valueChanged(ParamBase& param, ChangeInfo info) override;
        void readStatePost() override;
        // The Params container takes the behaviour's own path.
        void pathChanged() override;

        std::shared_ptr<ParamVector<float>> getLinkedFFTParam() const { return linkedSpectrum; }
        const std::shared_ptr<ModifierFFT>& getModifier() const { return modifier; }
        const std::shared_ptr<ParamRange>& getAmplitudeParam() const { return amplitude; }
        const std::shared_ptr<ParamVector<float>>& getFallingDataParam() const { return fallingData; }
        const std::shared_ptr<ParamRange>& getFrequencyRangeParam() const { return frequencyRange; }
        const std::shared_ptr<ParamRange>& getGainParam() const { return gain; }
        const std::shared_ptr<ParamRange>& getFallbackParam() const { return fallback; }
        const std::shared_ptr<ParamChoice<int>>& getValueBehaviourParam() const { return valueBehaviour; }

    private:
        void pushSettingsToModifier();

        std::shared_ptr<ParamRange> amplitude;
        std::shared_ptr<ParamRange> frequencyRange;
        std::shared_ptr<ParamRange> gain;
        std::shared_ptr<ParamRange> fallback;
        std::shared_ptr<ParamChoice<int>> valueBehaviour;
        std::shared_ptr<ParamVector<float>> fallingData;
        std::shared_ptr<ModifierFFT> modifier;
        std::shared_ptr<ParamVector<float>> linkedSpectrum;
        double lastTime = 0.0;
    };
}
