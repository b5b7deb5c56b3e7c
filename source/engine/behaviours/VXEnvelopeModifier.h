#pragma once

#include "engine/behaviours/VXAnimation.h"
#include "engine/behaviours/VXParamModifier.h"

namespace vx
{
    // Maps the incoming phase through a keyframe curve.
    class EnvelopeModifier : public ParamModifier
    {
    public:
        explicit EnvelopeModifier(unsigned long durationMs) : animation(durationMs) {}

        // Keeps v, then answers the curve's value at it.
        void apply(double& v) override
        {
            value = v;
            v = animation[v];
        }
        // The curve depends on nothing that a re-base could move.
        void reset(const double&) override {}

        Animation& getAnimation() { return animation; }

    private:
        Animation animation;
    };
}
