#include "engine/renderpasses/catalogue/VXFormatConversion.h"

#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaders.h"
#include "engine/gfx/VXTexture.h"

#include <epoxy/gl.h>

#include <optional>

namespace vx
{

    FormatConversion::FormatConversion() : ShaderEffect(1)
    {
        setName(classType(), true);
    }

    std::string FormatConversion::classType()
    {
        static const std::string type = "FormatConversion";
        return type;
    }

    std::string FormatConversion::classDisplayStr()
    {
        static const std::string display = "Format Conversion";
        return display;
    }

    bool FormatConversion::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string FormatConversion::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string FormatConversion::getDescription() const
    {
        return "Performs YUV conversion, swizzles RGBA and does backflips.";
    }

    void FormatConversion::toDefaults()
    {
        premultiply = YUVToRGBA = sequentialYUVToRGBA = forceOpaque = false;
        swizzleMode = SwizzleNone;
        verticalFlip = false;
    }

    bool FormatConversion::init()
    {
        return ShaderEffect::init(vsTransform, fsFormatConversion);
    }

    bool FormatConversion::render(Renderer& renderer)
    {
        // The pass's own begin: the program is bound below, once the world
        // matrix it takes exists.
        if (! RenderPass::begin(renderer))
            return false;
        const RenderPassTexture& input = *getInput(0);
        ShaderProgram* program = getShader();
        if (input.texture == nullptr || program == nullptr)
        {
            RenderPass::end(renderer);
            return false;
        }
        const Texture& texture = *input.texture;
        renderer.setWorldMatrix(texture.buildMatrix(-1.0f, -1.0f, 2.0f, 2.0f, verticalFlip));
        if (! renderer.beginShader(*program))
        {
            RenderPass::end(renderer);
            return false;
        }

        const TVec4<float> scroll = texture.buildScrollVector(0.0f, 0.0f, false);
        const TVec2<float> maxCoords = input.getMaxCoords();
        program->setVec4("TexScroll", scroll.x, scroll.y, scroll.z, scroll.w);
        program->setInt("premultiply", premultiply ? 1 : 0);
        program->setInt("YUVToRGBA", YUVToRGBA ? 1 : 0);
        program->setInt("sequentialYUVToRGBA", sequentialYUVToRGBA ? 1 : 0);
        program->setFloat("width", float(getWidth()));
        program->setFloat("height", float(getHeight()));
        program->setInt("forceOpaque", forceOpaque ? 1 : 0);
        const float coords[2] = {maxCoords.x, maxCoords.y};
        program->setVec2("maxCoords", coords);
        program->setInt("swizzleMode", swizzleMode == SwizzleARGB ? 1 : swizzleMode == SwizzleBGRA ? 2 : 0);
        // Only the input's own texels (a pooled texture is wider than the
        // picture); a rectangle texture is addressed in texels.
        const bool rectangle = texture.getTarget() == GL_TEXTURE_RECTANGLE;
        const TVec2<float> extent = rectangle ? TVec2<float>{input.width, input.height} : maxCoords;
        setSampleBounds(*program, "sampleBounds", extent.x, extent.y, input.width, input.height);

        RenderContext& cache = renderer.getRenderContext();
        // Two sampler types never share a unit.
        std::optional<ScopedTextureBinding> rectangleBinding;
        if (rectangle)
        {
            const int unit = int(cache.getActiveSampler());
            rectangleBinding.emplace(GL_TEXTURE_RECTANGLE, texture.getGLName());
            program->setSampler("inputTexture", unit + 1);
            program->setSampler("inputTextureRect", unit);
        }
        else
        {
            cache.bind2DTexture(0, texture);
            program->setSampler("inputTexture", 0);
            program->setSampler("inputTextureRect", 1);
        }
        program->setInt("useRectTexture", rectangle ? 1 : 0);

        renderer.drawQuadVBO();
        cache.unbindShader();
        rectangleBinding.reset();
        if (! rectangle)
            cache.unbind2DTextures();
        RenderPass::end(renderer);
        return true;
    }
}
