#include "engine/renderpasses/catalogue/VXBrightnessContrast.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaders.h"

namespace vx
{
    const char* const BrightnessContrast::fsBrightnessContrast =
        "#version 120\n"
        "uniform sampler2D Texture; uniform float brightness; uniform float contrast; varying vec2 uv1; "
        "void main() { vec4 c = texture2D(Texture, uv1); if (c.a > 0.0) c.rgb /= c.a; c.rgb += vec3(brightness); "
        "c.rgb *= contrast; c.rgb *= c.a; gl_FragColor = c; }";

    BrightnessContrast::BrightnessContrast() : Effect(1), program(detail::makeProgram())
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        brightness = params.addParamRange("Brightness", 0.5, ValueRange<double>(0.0, 1.0));
        contrast = params.addParamRange("Contrast", 0.5, ValueRange<double>(0.0, 1.0));
    }

    BrightnessContrast::~BrightnessContrast() = default;

    std::string BrightnessContrast::classType()
    {
        static const std::string type = "BrightnessContrast";
        return type;
    }

    std::string BrightnessContrast::classDisplayStr()
    {
        static const std::string display = "Bright.Contrast";
        return display;
    }

    bool BrightnessContrast::isOfClassType(std::string t) const
    {
        return t == getClassType() || Effect::isOfClassType(t);
    }

    std::string BrightnessContrast::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    std::string BrightnessContrast::getUniqueId() const
    {
        return "A102";
    }

    std::string BrightnessContrast::getDescription() const
    {
        return "Adjust Brightness and Contrast";
    }

    bool BrightnessContrast::init()
    {
        if (! program->loadString(vsTransform, fsBrightnessContrast, std::string(), nullptr))
            return false;
        return RenderPass::init();
    }

    void BrightnessContrast::release()
    {
        program->release();
        RenderPass::release();
    }

    bool BrightnessContrast::render(Renderer& renderer)
    {
        return detail::renderThroughProgram(*this, *program, renderer,
                                            [this](ShaderProgram& bound) { setUniforms(bound); });
    }

    void BrightnessContrast::setUniforms(ShaderProgram& bound) const
    {
        const double v = contrast->getValue();
        bound.setFloat("brightness", float(2.0 * brightness->getValue() - 1.0));
        bound.setFloat("contrast", float(v <= 0.5 ? 2.0 * v : (v - 0.5) * 10.0 + 1.0));
    }
}
