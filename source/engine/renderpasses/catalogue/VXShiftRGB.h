#pragma once

#include "engine/renderpasses/VXEffect.h"

#include <memory>

namespace vx
{
    class ParamRange;

    // Draws its input three times, once per colour channel under a colour
    // mask, each copy moved along "Direction" (degrees, wrapping at ±180)
    // by its own shift in clip-space units (1 is half the output). Alpha
    // is written by every copy, so the blue copy's alpha stands where it
    // covers; a channel no copy covers keeps the clear value.
    class ShiftRGB : public Effect
    {
    public:
        ShiftRGB();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new ShiftRGB(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        // False, drawing nothing, without an input texture. Leaves every
        // colour channel writable.
        bool render(Renderer& renderer) override;

    private:
        std::shared_ptr<ParamRange> redShift, greenShift, blueShift, direction;
    };
}
