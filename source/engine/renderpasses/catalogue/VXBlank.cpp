#include "engine/renderpasses/catalogue/VXBlank.h"

#include "core/VXColor.h"
#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamContainer.h"
#include "engine/gfx/VXGfxUtils.h"

namespace vx
{
    Blank::Blank()
    {
        setName(classType(), true);
        blackBackground = getParams().addParamBool("Black BG", false);
    }

    Blank::~Blank() = default;

    std::string Blank::classType()
    {
        static const std::string type = "Blank";
        return type;
    }

    std::string Blank::classDisplayStr()
    {
        static const std::string display = "Blank";
        return display;
    }

    bool Blank::isOfClassType(std::string t) const
    {
        return t == getClassType() || Generator::isOfClassType(t);
    }

    std::string Blank::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Generator::derivedOfClassType(t);
    }

    std::string Blank::getDescription() const
    {
        return "Blank";
    }

    bool Blank::init()
    {
        return RenderPass::init();
    }

    bool Blank::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        gfx::clear(blackBackground->getValue() ? Color::black : Color::transparentBlack, true, 1.0f);
        end(renderer);
        return true;
    }
}
