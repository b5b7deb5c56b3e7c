#include "engine/renderpasses/catalogue/VXSoftLight.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string SoftLight::fsSoftLight =
        detail::blendOperatorProgram("SoftLight", "clamp(2.0 * d * s + d * d - 2.0 * d * d * s, 0.0, 1.0)");

    SoftLight::SoftLight() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    SoftLight::~SoftLight() = default;

    std::string SoftLight::classType()
    {
        static const std::string type = "SoftLight";
        return type;
    }

    std::string SoftLight::classDisplayStr()
    {
        static const std::string display = "Soft Light";
        return display;
    }

    bool SoftLight::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string SoftLight::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string SoftLight::getUniqueId() const
    {
        return "A017";
    }

    std::string SoftLight::getDescription() const
    {
        return "SoftLight";
    }

    bool SoftLight::init()
    {
        return detail::initBlendMixer(*this, *program, fsSoftLight);
    }

    void SoftLight::release()
    {
        program->release();
        Mixer::release();
    }

    bool SoftLight::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "SoftLight");
    }
}
