#include "engine/renderpasses/catalogue/VXSolidColorEffect.h"

#include "core/VXColor.h"
#include "core/VXRect.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/gfx/VXRenderer.h"

namespace vx
{
    SolidColorEffect::SolidColorEffect() : Effect(1)
    {
        setName(classType(), true);
        color = getParams().addParamColor("Color", Color::red);
    }

    std::string SolidColorEffect::classType()
    {
        static const std::string type = "SolidColorEffect";
        return type;
    }

    std::string SolidColorEffect::classDisplayStr()
    {
        static const std::string display = "Solid Color";
        return display;
    }

    bool SolidColorEffect::isOfClassType(std::string t) const
    {
        return t == getClassType() || Effect::isOfClassType(t);
    }

    std::string SolidColorEffect::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    std::string SolidColorEffect::getDisplayName() const
    {
        return "Solid Color";
    }

    std::string SolidColorEffect::getDescription() const
    {
        return "Solid Color Effect";
    }

    bool SolidColorEffect::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        renderer.setupGuiMatrices(100.0f);
        renderer.fillRect(RectT<float>(0.0f, 0.0f, float(getWidth()), float(getHeight())), color->getValue());
        end(renderer);
        return true;
    }
}
