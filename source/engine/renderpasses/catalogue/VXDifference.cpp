#include "engine/renderpasses/catalogue/VXDifference.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string Difference::fsDifference = detail::blendOperatorProgram("Difference", "clamp(d - s, 0.0, 1.0)");

    Difference::Difference() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    Difference::~Difference() = default;

    std::string Difference::classType()
    {
        static const std::string type = "Difference";
        return type;
    }

    std::string Difference::classDisplayStr()
    {
        static const std::string display = "Difference";
        return display;
    }

    bool Difference::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string Difference::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string Difference::getUniqueId() const
    {
        return "A011";
    }

    std::string Difference::getDescription() const
    {
        return "Sample FFGL Difference plugin";
    }

    bool Difference::init()
    {
        return detail::initBlendMixer(*this, *program, fsDifference);
    }

    void Difference::release()
    {
        program->release();
        Mixer::release();
    }

    bool Difference::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "Difference");
    }
}
