#include "engine/behaviours/VXModifierLFO.h"

#include <cmath>
#include <numbers>

namespace vx
{
    void ModifierLFO::apply(double& v)
    {
        const double x = v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
        double y = x;
        switch (waveform)
        {
            case sine:
                y = 0.5 * std::sin(2.0 * std::numbers::pi * (x - 0.5)) + 0.5;
                break;
            case triangle:
            {
                // fmod(x + 0.75, 1.0) for x in [0, 1]: a sum in [1, 2) loses 1
                // exactly, so no library call is needed.
                double t = x + 0.75;
                if (t >= 1.0)
                    t -= 1.0;
                y = t < 0.5 ? 2.0 * t : (t - 0.5) * -2.0 + 1.0;
                break;
            }
            case saw:
                y = x;
                break;
            case square:
                y = x < 0.5 ? 0.0 : 1.0;
                break;
            case off:
                y = value;
                break;
            default:
                y = x;
                break;
        }
        if (invert)
            y = 1.0 - y;
        v = y;
        value = y;
    }
}
