#pragma once

#include "engine/behaviours/VXParamModifier.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vx
{
    class ParamRange;

    // Turns a frequency band of an audio spectrum into a level: the bins
    // are scaled by the gain and clamped, the band (the start/stop window of
    // the frequency range parameter over the bins) is averaged with
    // fractional edge bins, and the level drives the output by one of four
    // value behaviours: ">" jumps up to louder levels and falls, "<" the
    // mirror of that, "+" and "-" glide towards the output plus or minus the
    // level, wrapping round the unit interval. Falling peaks per bin go to a
    // vector the modifier does not own.
    class ModifierFFT : public ParamModifier
    {
    public:
        enum ValueBehaviour : std::int32_t
        {
            rising = 0,     // ">"
            falling = 1,    // "<"
            adding = 2,     // "+"
            subtracting = 3 // "-"
        };

        ModifierFFT(const std::shared_ptr<ParamRange>& frequencyRange, const std::shared_ptr<ParamRange>& amplitude,
                    std::vector<float>& peaks);

        // A new spectrum, elapsedMs after the previous one. Fewer than two
        // bins, or a band of no usable width, give level 0.
        void setNewValues(const std::vector<float>& spectrum, double elapsedMs);
        // The fall-off (or glide) over the frame; always 0.
        std::uint32_t update(const TimeInfo& info) override;
        void apply(double& v) override { v = value; }

        void setValueBehaviour(ValueBehaviour newBehaviour) { valueBehaviour = newBehaviour; }
        ValueBehaviour getValueBehaviour() const { return valueBehaviour; }
        void setGain(double linearGain) { gain = linearGain; }
        double getGain() const { return gain; }
        // Milliseconds for a full swing; a value that is not a positive
        // finite number is refused (logged).
        void setFallback(double milliseconds);
        double getFallback() const { return fallback; }
        double getTarget() const { return target; }
        const std::vector<float>& getBins() const { return bins; }
        // The band's level in the last spectrum.
        double getLevel() const { return level; }

    private:
        double bandLevel() const;

        double gain = 1.0;
        double fallback = 1000.0;
        double target = 0.0;
        double level = 0.0;
        std::vector<float> bins;
        std::vector<float>& peaks;
        std::shared_ptr<ParamRange> frequencyRange;
        std::shared_ptr<ParamRange> amplitude;
        ValueBehaviour valueBehaviour = rising;
        bool warnedBadFrame = false;
    };
}
