#include "engine/renderpasses/catalogue/VXDarken.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Darken::fsDarken = detail::blendOperatorProgram("Darken", "min(d, s)");

    Darken::Darken() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Darken::~Darken() = default;

    std::string Darken::classType()
    {
        static const std::string type = "Darken";
        return type;
    }

    std::string Darken::classDisplayStr()
    {
        static const std::string display = "Darken";
        return display;
    }

    bool Darken::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Darken::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Darken::getUniqueId() const
    {
        return "A010";
    }

    std::string Darken::getDescription() const
    {
        return "Darken";
    }

    bool Darken::init()
    {
        return detail::initBlendMixer(*this, *program, fsDarken);
    }

    void Darken::release()
    {
        program->release();
        Mixer::release();
    }

    bool Darken::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "Darken");
    }
}
