#pragma once

#include "engine/behaviours/VXParamModifier.h"

#include <cstdint>

namespace vx
{
    // Shapes a phase in [0, 1] into a waveform value in [0, 1]: sine and
    // triangle in the same phase (0.5 at 0, 0 at 0.25, 1 at 0.75), saw,
    // square, or off (the last value holds); optionally inverted. The input
    // is clamped into [0, 1] first.
    class ModifierLFO : public ParamModifier
    {
    public:
        enum Waveform : std::int32_t
        {
            sine = 0,
            triangle = 1,
            saw = 2,
            square = 3,
            off = 4
        };

        void apply(double& v) override;
        bool isAnimating() const override { return waveform != off; }

        Waveform getWaveform() const { return waveform; }
        void setWaveform(Waveform newWaveform) { waveform = newWaveform; }
        bool getInvert() const { return invert; }
        void setInvert(bool shouldInvert) { invert = shouldInvert; }

    private:
        Waveform waveform = sine;
        bool invert = false;
    };
}
