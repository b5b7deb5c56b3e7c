#include "engine/renderpasses/catalogue/VXBurn.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Burn::fsBurn =
        detail::blendOperatorProgram("Burn", "clamp(1.0 - (1.0 - d) / max(s, vec3(0.00001)), 0.0, 1.0)");

    Burn::Burn() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Burn::~Burn() = default;

    std::string Burn::classType()
    {
        static const std::string type = "Burn";
        return type;
    }

    std::string Burn::classDisplayStr()
    {
        static const std::string display = "Burn";
        return display;
    }

    bool Burn::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Burn::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Burn::getUniqueId() const
    {
        return "A016";
    }

    std::string Burn::getDescription() const
    {
        return "Burn";
    }

    bool Burn::init()
    {
        return detail::initBlendMixer(*this, *program, fsBurn);
    }

    void Burn::release()
    {
        program->release();
        Mixer::release();
    }

    bool Burn::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "Burn");
    }
}
