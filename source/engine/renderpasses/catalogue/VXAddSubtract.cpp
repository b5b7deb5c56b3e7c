#include "engine/renderpasses/catalogue/VXAddSubtract.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaders.h"

namespace vx
{
    const char* const AddSubtract::fsAddSubtract =
        "#version 120\n"
        "uniform sampler2D Texture; uniform vec3 brightness; varying vec2 uv1; "
        "void main() { vec4 c = texture2D(Texture, uv1); if (c.a > 0.0) c.rgb /= c.a; c.rgb += brightness; "
        "c.rgb *= c.a; gl_FragColor = c; }";

    AddSubtract::AddSubtract() : Effect(1), program(detail::makeProgram())
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        red = params.addParamRange("R", 0.5, ValueRange<double>(0.0, 1.0));
        green = params.addParamRange("G", 0.5, ValueRange<double>(0.0, 1.0));
        blue = params.addParamRange("B", 0.5, ValueRange<double>(0.0, 1.0));
    }

    AddSubtract::~AddSubtract() = default;

    std::string AddSubtract::classType()
    {
        static const std::string type = "AddSubtract";
        return type;
    }

    std::string AddSubtract::classDisplayStr()
    {
        static const std::string display = "Add Subtract";
        return display;
    }

    bool AddSubtract::isOfClassType(std::string t) const
    {
        return t == getClassType() || Effect::isOfClassType(t);
    }

    std::string AddSubtract::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    std::string AddSubtract::getUniqueId() const
    {
        return "A101";
    }

    std::string AddSubtract::getDescription() const
    {
        return "Add and Subtract Colors";
    }

    bool AddSubtract::init()
    {
        if (! program->loadString(vsTransform, fsAddSubtract, std::string(), nullptr))
            return false;
        return RenderPass::init();
    }

    void AddSubtract::release()
    {
        program->release();
        RenderPass::release();
    }

    bool AddSubtract::render(Renderer& renderer)
    {
        return detail::renderThroughProgram(*this, *program, renderer,
                                            [this](ShaderProgram& bound) { setUniforms(bound); });
    }

    void AddSubtract::setUniforms(ShaderProgram& bound) const
    {
        bound.setVec3("brightness", float(2.0 * red->getValue() - 1.0), float(2.0 * green->getValue() - 1.0),
                      float(2.0 * blue->getValue() - 1.0));
    }
}
