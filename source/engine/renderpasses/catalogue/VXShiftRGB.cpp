#include "engine/renderpasses/catalogue/VXShiftRGB.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXGfxUtils.h"

#include <cmath>

namespace vx
{
    ShiftRGB::ShiftRGB() : Effect(1)
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        redShift = params.addParamRange("R shift", -0.3, ValueRange<double>(-1.0, 1.0));
        greenShift = params.addParamRange("G shift", 0.1, ValueRange<double>(-1.0, 1.0));
        blueShift = params.addParamRange("B shift", 0.3, ValueRange<double>(-1.0, 1.0));
        direction = params.addParamRange("Direction", 0.0, ValueRange<double>(-180.0, 180.0));
        direction->setWrapsAroundRange(true);
        // Control type 4: the dial.
        params.setViewForParam(
            direction, ParamView(ParamView::ControlType(4), ParamView::unitsDegrees, ParamView::subTypeDefault, 0),
            false);
    }

    std::string ShiftRGB::classType()
    {
        static const std::string type = "ShiftRGB";
        return type;
    }

    std::string ShiftRGB::classDisplayStr()
    {
        static const std::string display = "Shift RGB";
        return display;
    }

    bool ShiftRGB::isOfClassType(std::string t) const
    {
        return t == getClassType() || Effect::isOfClassType(t);
    }

    std::string ShiftRGB::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    std::string ShiftRGB::getDescription() const
    {
        return "Shift color channels";
    }

    bool ShiftRGB::render(Renderer& renderer)
    {
        const RenderPassTexture& input = *getInput(0);
        if (input.texture == nullptr || ! begin(renderer))
            return false;
        const float angle = float(direction->getValue()) * 0.017453f;
        const float c = std::cos(angle), s = std::sin(angle);
        const auto drawShifted = [&](double shift)
        {
            const float amount = float(shift);
            input.draw(renderer, c * amount - 1.0f, s * amount - 1.0f, 2.0f, 2.0f);
        };
        gfx::enableColorWrite(true, false, false, true);
        drawShifted(redShift->getValue());
        gfx::enableColorWrite(false, true, false, true);
        drawShifted(greenShift->getValue());
        gfx::enableColorWrite(false, false, true, true);
        drawShifted(blueShift->getValue());
        gfx::enableColorWrite(true, true, true, true);
        end(renderer);
        return true;
    }
}
