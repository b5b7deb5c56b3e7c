#include "engine/renderpasses/catalogue/VXDeinterlace.h"

#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

namespace vx
{
    namespace
    {
        const char* const vertexShaderCode =
            "varying vec2 uv0; void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
            "uv0 = gl_MultiTexCoord0.xy; gl_FrontColor = gl_Color; }";

        const char* const fragmentShaderCode =
            "uniform sampler2D inputTexture; uniform float interval; uniform int height; varying vec2 uv0; "
            "void main() { vec2 uv = uv0; if (floor(mod(uv0.y * float(height), 2.0)) != 0.0) uv.y -= interval; "
            "gl_FragColor = texture2D(inputTexture, uv); }";
    }

    Deinterlace::Deinterlace() : ShaderEffect(1)
    {
        setName(classType(), true);
    }

    std::string Deinterlace::classType()
    {
        static const std::string type = "Deinterlace";
        return type;
    }

    std::string Deinterlace::classDisplayStr()
    {
        static const std::string display = "Deinterlace";
        return display;
    }

    bool Deinterlace::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string Deinterlace::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string Deinterlace::getDescription() const
    {
        return "Deinterlace effect";
    }

    bool Deinterlace::init()
    {
        return ShaderEffect::init(vertexShaderCode, fragmentShaderCode);
    }

    bool Deinterlace::render(Renderer& renderer)
    {
        const Texture* texture = getInput(0)->texture;
        if (texture == nullptr)
            return false;
        if (! begin(renderer))
            return false;
        gfx::setIdentityTransform();
        // Rows counted over the texture as allocated: texture coordinates
        // span that, also where it is padded beyond the picture.
        const int rows = texture->getHardwareHeight();
        interval = rows > 0 ? float(1.0 / double(rows)) : 0.0f;
        ShaderProgram& program = *getShader();
        program.setFloat("interval", interval);
        program.setInt("height", rows);
        drawQuad(renderer, false);
        end(renderer);
        return true;
    }
}
