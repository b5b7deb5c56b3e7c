#include "engine/renderpasses/catalogue/VXToLuminosity.h"

#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaderUniforms.h"
#include "engine/gfx/VXShaders.h"
#include "engine/gfx/VXTexture.h"

namespace vx
{
    namespace
    {
        // uv1 arrives scrolled by the vertex program; scrolling it again
        // would sample a texture padded to a power of two in the wrong place.
        const char* const fragmentShaderCode =
            "#version 120\n"
            "uniform sampler2D Texture; varying vec2 uv1; "
            "void main() { vec4 c = texture2D(Texture, uv1); float g = dot(c.rgb, vec3(0.30, 0.59, 0.11)); "
            "gl_FragColor = vec4(g, g, g, c.a); }";
    }

    ToLuminosity::ToLuminosity() : ShaderEffect(1)
    {
        setName(classType(), true);
    }

    std::string ToLuminosity::classType()
    {
        static const std::string type = "ToLuminosity";
        return type;
    }

    std::string ToLuminosity::classDisplayStr()
    {
        static const std::string display = "To Luminosity";
        return display;
    }

    bool ToLuminosity::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string ToLuminosity::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string ToLuminosity::getDescription() const
    {
        return "Converts colors to greyscale.";
    }

    bool ToLuminosity::init()
    {
        return ShaderEffect::init(vsTransform, fragmentShaderCode);
    }

    bool ToLuminosity::render(Renderer& renderer)
    {
        const Texture* texture = getInput(0)->texture;
        if (texture == nullptr)
            return false;
        if (! begin(renderer))
            return false;
        ShaderProgram& program = *getShader();
        // The program was bound before this world matrix existed.
        renderer.setWorldMatrix(texture->buildMatrix(-1.0f, -1.0f, 2.0f, 2.0f, true));
        program.setMatrix4x4(ShaderUniforms::WorldViewProj, renderer.getMatrixStack().getWorldViewProjMatrix().m);

        RenderContext& cache = renderer.getRenderContext();
        cache.bind2DTexture(0, *texture);
        program.setSampler("Texture", 0);
        program.setVec4("TexScroll", texture->getMaxU(), texture->getMaxV(), 0.0f, 0.0f);
        renderer.drawQuadVBO();
        cache.unbind2DTextures();
        end(renderer);
        return true;
    }
}
