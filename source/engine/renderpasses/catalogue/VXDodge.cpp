#include "engine/renderpasses/catalogue/VXDodge.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Dodge::fsDodge =
        detail::blendOperatorProgram("Dodge", "clamp(d / max(1.0 - s, vec3(0.00001)), 0.0, 1.0)");

    Dodge::Dodge() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Dodge::~Dodge() = default;

    std::string Dodge::classType()
    {
        static const std::string type = "Dodge";
        return type;
    }

    std::string Dodge::classDisplayStr()
    {
        static const std::string display = "Dodge";
        return display;
    }

    bool Dodge::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Dodge::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Dodge::getUniqueId() const
    {
        return "A015";
    }

    std::string Dodge::getDescription() const
    {
        return "Dodge";
    }

    bool Dodge::init()
    {
        return detail::initBlendMixer(*this, *program, fsDodge);
    }

    void Dodge::release()
    {
        program->release();
        Mixer::release();
    }

    bool Dodge::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "Dodge");
    }
}
