#include "engine/renderpasses/catalogue/VXPremultiply.h"

#include "engine/gfx/VXGfxUtils.h"

namespace vx
{
    namespace
    {
        const char* const vertexShaderCode =
            "varying vec2 uv0; void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
            "uv0 = gl_MultiTexCoord0.xy; gl_FrontColor = gl_Color; }";

        const char* const fragmentShaderCode =
            "uniform sampler2D inputTexture; varying vec2 uv0; "
            "void main() { vec4 c = texture2D(inputTexture, uv0); c.rgb *= c.a; gl_FragColor = c; }";
    }

    Premultiply::Premultiply() : ShaderEffect(1)
    {
        setName(classType(), true);
    }

    std::string Premultiply::classType()
    {
        static const std::string type = "Premultiply";
        return type;
    }

    std::string Premultiply::classDisplayStr()
    {
        static const std::string display = "Premultiply";
        return display;
    }

    bool Premultiply::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string Premultiply::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string Premultiply::getDescription() const
    {
        return "Premultiply RGB with Alpha channel.";
    }

    bool Premultiply::init()
    {
        return ShaderEffect::init(vertexShaderCode, fragmentShaderCode);
    }

    bool Premultiply::render(Renderer& renderer)
    {
        if (getInput(0)->texture == nullptr)
            return false;
        if (! begin(renderer))
            return false;
        // The sampler keeps its default unit 0.
        gfx::setIdentityTransform();
        gfx::pushMatrix();
        drawQuad(renderer, false);
        gfx::popMatrix();
        end(renderer);
        return true;
    }
}
