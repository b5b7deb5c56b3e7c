#include "engine/renderpasses/catalogue/VXFormatConversion.h"

#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXScopedTextureBinding.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/catalogue/VXCatalogueShaders.h"

#include <epoxy/gl.h>

#include <optional>

namespace vx
{
    // Decode (packed or planar 4:2:2 YUV, or a plain sample), then swizzle,
    // then premultiply, then force opaque. uv1 is normalised for a 2D input
    // and in texels for a rectangle input.
    const char* const fsFormatConversion =
        "#version 120\n"
        "uniform sampler2D inputTexture;\n"
        "uniform sampler2DRect inputTextureRect;\n"
        "uniform int useRectTexture;\n"
        "uniform int premultiply;\n"
        "uniform int swizzleMode;\n"
        "uniform int YUVToRGBA;\n"
        "uniform int sequentialYUVToRGBA;\n"
        "uniform float width;\n"
        "uniform float height;\n"
        "uniform vec2 maxCoords;\n"
        "uniform int forceOpaque;\n"
        "varying vec2 uv1;\n"
        "vec4 sampleInput(vec2 p)\n"
        "{\n"
        "    if (useRectTexture == 0)\n"
        "        return texture2D(inputTexture, p);\n"
        "    return texture2DRect(inputTextureRect, p);\n"
        "}\n"
        "float channel(vec4 t, int k)\n"
        "{\n"
        "    if (k == 0) return t.r;\n"
        "    if (k == 1) return t.g;\n"
        "    if (k == 2) return t.b;\n"
        "    return t.a;\n"
        "}\n"
        "vec4 yuvToRGB(float y, float u, float v)\n"
        "{\n"
        "    if (y <= 0.0)\n"
        "        return vec4(0.0, 0.0, 0.0, 1.0);\n"
        "    u -= 0.5;\n"
        "    v -= 0.5;\n"
        "    return vec4(y + 1.403 * v, y - 0.344 * u - 0.714 * v, y + 1.770 * u, 1.0);\n"
        "}\n"
        "void main()\n"
        "{\n"
        "    vec2 uv = uv1;\n"
        "    float W = width;\n"
        "    float H = height;\n"
        "    float fx = 1.0 / maxCoords.x;\n"
        "    float fy = 1.0 / maxCoords.y;\n"
        "    vec4 c;\n"
        "    if (YUVToRGBA == 1)\n"
        "    {\n"
        "        vec4 t = sampleInput(uv);\n"
        "        float y = t.r;\n"
        "        if (mod(floor(uv.x * W * fx), 2.0) != 0.0)\n"
        "            y = t.b;\n"
        "        c = yuvToRGB(y, t.a, t.g);\n"
        "    }\n"
        "    else if (sequentialYUVToRGBA == 1)\n"
        "    {\n"
        "        float px = uv.x * fx * W;\n"
        "        float row = floor(uv.y * fy * H);\n"
        "        float lumaPosition = (floor(uv.x * fx * 0.5 * 0.5 * W) + floor(mod(row, 2.0) * 0.5 * 0.5 * W) + 0.5)\n"
        "                             / (0.5 * W) * maxCoords.x;\n"
        "        vec4 t = sampleInput(vec2(lumaPosition, uv.y * 0.5));\n"
        "        float colorPosition = (floor(uv.x * 0.25 * fx * 0.5 * W) + floor(mod(row, 4.0) * 0.25 * 0.5 * W) + "
        "0.5)\n"
        "                              / (0.5 * W) * maxCoords.x;\n"
        "        vec4 vv = sampleInput(vec2(colorPosition, uv.y * 0.25 + 0.5 * maxCoords.y));\n"
        "        vec4 uu = sampleInput(vec2(colorPosition, uv.y * 0.25 + 0.75 * maxCoords.y));\n"
        "        int k = int(mod(floor(px) + floor(mod(row, 2.0) * fx * W), 4.0));\n"
        "        int j = int(mod(floor(px * 0.5), 4.0));\n"
        "        c = yuvToRGB(channel(t, k), channel(uu, j), channel(vv, j));\n"
        "    }\n"
        "    else\n"
        "        c = sampleInput(uv);\n"
        "    if (swizzleMode == 1)\n"
        "        c = c.gbar;\n"
        "    else if (swizzleMode == 2)\n"
        "        c = c.bgra;\n"
        "    if (premultiply == 1)\n"
        "        c.rgb *= c.a;\n"
        "    if (forceOpaque != 0)\n"
        "        c.a = 1.0;\n"
        "    gl_FragColor = c;\n"
        "}\n";

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

        RenderContext& cache = renderer.getRenderContext();
        const bool rectangle = texture.getTarget() == GL_TEXTURE_RECTANGLE;
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
