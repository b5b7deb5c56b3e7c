#include "engine/renderpasses/catalogue/VXBlow.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaders.h"

namespace vx
{
    const char* const Blow::fsBlow =
        "#version 120\n"
        "uniform sampler2D Texture; uniform float xcenter; uniform float ycenter; uniform float width; "
        "uniform float height; varying vec2 uv1; "
        "void main() { vec2 p = vec2(clamp(uv1.x, xcenter - width, xcenter + width), "
        "clamp(uv1.y, ycenter - height, ycenter + height)); gl_FragColor = texture2D(Texture, p); }";

    Blow::Blow() : Effect(1), program(detail::makeProgram())
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        x = params.addParamRange("X", 0.5);
        y = params.addParamRange("Y", 0.5);
        width = params.addParamRange("Width", 0.5);
        height = params.addParamRange("Height", 0.5);
    }

    Blow::~Blow() = default;

    std::string Blow::classType()
    {
        static const std::string type = "Blow";
        return type;
    }

    std::string Blow::classDisplayStr()
    {
        static const std::string display = "Blow";
        return display;
    }

    bool Blow::isOfClassType(std::string t) const
    {
        return t == getClassType() || Effect::isOfClassType(t);
    }

    std::string Blow::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    std::string Blow::getUniqueId() const
    {
        return "A139";
    }

    std::string Blow::getDescription() const
    {
        return "Smear parts of image";
    }

    bool Blow::init()
    {
        if (! program->loadString(vsTransform, fsBlow, std::string(), nullptr))
            return false;
        return RenderPass::init();
    }

    void Blow::release()
    {
        program->release();
        RenderPass::release();
    }

    bool Blow::render(Renderer& renderer)
    {
        return detail::renderThroughProgram(*this, *program, renderer,
                                            [this](ShaderProgram& bound) { setUniforms(bound); });
    }

    void Blow::setUniforms(ShaderProgram& bound) const
    {
        bound.setFloat("xcenter", float(x->getValue()));
        bound.setFloat("ycenter", float(y->getValue()));
        bound.setFloat("width", float(width->getValue()));
        bound.setFloat("height", float(height->getValue()));
    }
}
