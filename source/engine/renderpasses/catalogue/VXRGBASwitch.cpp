#include "engine/renderpasses/catalogue/VXRGBASwitch.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    namespace
    {
        const char* const vertexShaderCode =
            "varying vec2 uv0; void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
            "uv0 = gl_MultiTexCoord0.xy; gl_FrontColor = gl_Color; }";

        const char* const fragmentShaderCode =
            "uniform sampler2D inputTexture; uniform vec3 RGB; uniform int alpha; varying vec2 uv0; "
            "void main() { vec4 c = texture2D(inputTexture, uv0); float a = c.a; "
            "if (alpha == 0) a = 0.0; else if (alpha == 1) a = 1.0; gl_FragColor = vec4(c.rgb * RGB, a); }";
    }

    RGBASwitch::RGBASwitch() : ShaderEffect(1)
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        red = params.addParamRange("R", 1.0, ValueRange<double>(0.0, 1.0));
        green = params.addParamRange("G", 1.0, ValueRange<double>(0.0, 1.0));
        blue = params.addParamRange("B", 1.0, ValueRange<double>(0.0, 1.0));
        alpha = params.addParamRange("A", 1.0, ValueRange<double>(0.0, 1.0));
    }

    std::string RGBASwitch::classType()
    {
        static const std::string type = "RGBASwitch";
        return type;
    }

    std::string RGBASwitch::classDisplayStr()
    {
        static const std::string display = "RGBA Switch";
        return display;
    }

    bool RGBASwitch::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string RGBASwitch::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string RGBASwitch::getDescription() const
    {
        return "RGBA Switch, toggle the different color channels.";
    }

    bool RGBASwitch::init()
    {
        return ShaderEffect::init(vertexShaderCode, fragmentShaderCode);
    }

    int RGBASwitch::getAlphaMode() const
    {
        if (red->getValue() == 0.0 && green->getValue() == 0.0 && blue->getValue() == 0.0)
            return 0;
        return alpha->getValue() == 0.0 ? 1 : 2;
    }

    bool RGBASwitch::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;
        if (getInput(0)->texture == nullptr)
        {
            end(renderer);
            return false;
        }
        gfx::setIdentityTransform();
        ShaderProgram& program = *getShader();
        program.setVec3("RGB", float(red->getValue()), float(green->getValue()), float(blue->getValue()));
        program.setInt("alpha", getAlphaMode());
        program.setSampler("inputTexture", 0);
        drawQuad(renderer, false);
        end(renderer);
        return true;
    }
}
