#include "engine/renderpasses/catalogue/VXLighten.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Lighten::fsLighten =
        detail::blendOperatorProgram("Lighten", "max(s - (1.0 - min(2.0 * x, 1.0)), d)");

    Lighten::Lighten() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Lighten::~Lighten() = default;

    std::string Lighten::classType()
    {
        static const std::string type = "Lighten";
        return type;
    }

    std::string Lighten::classDisplayStr()
    {
        static const std::string display = "Lighten";
        return display;
    }

    bool Lighten::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Lighten::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Lighten::getUniqueId() const
    {
        return "A007";
    }

    std::string Lighten::getDescription() const
    {
        return "Lighten";
    }

    bool Lighten::init()
    {
        return detail::initBlendMixer(*this, *program, fsLighten);
    }

    void Lighten::release()
    {
        program->release();
        Mixer::release();
    }

    bool Lighten::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "Lighten");
    }
}
