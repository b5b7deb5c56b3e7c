#include "engine/renderpasses/catalogue/VXMovingBar.h"

#include "core/VXColor.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXGfxUtils.h"

namespace vx
{
    MovingBar::MovingBar()
    {
        setName(classType(), true);
        position = getParams().addParamRange("Position", 0.0);
    }

    MovingBar::~MovingBar() = default;

    std::string MovingBar::classType()
    {
        static const std::string type = "MovingBar";
        return type;
    }

    std::string MovingBar::classDisplayStr()
    {
        static const std::string display = "Moving Bar";
        return display;
    }

    bool MovingBar::isOfClassType(std::string t) const
    {
        return t == getClassType() || Generator::isOfClassType(t);
    }

    std::string MovingBar::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Generator::derivedOfClassType(t);
    }

    std::string MovingBar::getDescription() const
    {
        return "Moving Bar";
    }

    bool MovingBar::update(const TimeInfo& info)
    {
        double next = info.deltaTime / 1000.0 * 0.25 + position->getValue();
        if (next > 1.0)
            next -= 1.0;
        // The range confines what one subtraction leaves outside 0 to 1.
        position->setValue(next, ValueChangeInfo());
        return RenderPass::update(info);
    }

    bool MovingBar::init()
    {
        return RenderPass::init();
    }

    bool MovingBar::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        setColor(Color::white);
        gfx::fillRect(float(1.0 - 2.0 * position->getValue()), -1.0f, 0.1f, 2.0f);
        end(renderer);
        return true;
    }
}
