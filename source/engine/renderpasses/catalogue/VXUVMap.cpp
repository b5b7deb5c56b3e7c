#include "engine/renderpasses/catalogue/VXUVMap.h"

#include "core/VXColor.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamColor.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

namespace vx
{
    namespace
    {
        const char* const vertexShaderCode =
            "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
            "gl_TexCoord[0] = gl_MultiTexCoord0; gl_TexCoord[1] = gl_MultiTexCoord1; gl_FrontColor = gl_Color; }";

        // t runs over the UV texture's picture, up to its maximum
        // coordinates; the Sobel taps are one of its texels apart. Every
        // lookup stays within the texels of the picture it reads (uvBounds,
        // srcBounds), never reaching into the rest of a larger pooled
        // texture. A source texel of alpha 0 is not divided: it comes out
        // transparent black.
        const char* const fragmentShaderCode =
            "uniform sampler2D textureUV; uniform sampler2D textureSrc; uniform int uFlip; uniform int vFlip; "
            "uniform float uvTexWidth; uniform float uvTexHeight; uniform float edgeFilter; uniform vec4 edgeColor; "
            "uniform vec2 uvOffset; uniform vec2 uvMaxCoords; uniform vec2 srcMaxCoords; "
            "uniform vec4 uvBounds; uniform vec4 srcBounds; "
            "vec4 uvAt(vec2 c) { return texture2D(textureUV, clamp(c, uvBounds.xy, uvBounds.zw)); } "
            "float uvAlpha(vec2 p, float dx, float dy, vec2 size) { "
            "return uvAt(((p + vec2(dx, dy)) / size) * uvMaxCoords).a; } "
            "void main() { vec2 t = gl_TexCoord[0].st; vec4 m = uvAt(t); "
            "if (m.a <= 0.0) { gl_FragColor = vec4(0.0); return; } "
            "float u = uFlip == 1 ? 1.0 - m.r : m.r; float v = vFlip == 1 ? m.g : 1.0 - m.g; "
            "vec2 uv = fract(vec2(u, v) + uvOffset); "
            "vec4 s = texture2D(textureSrc, clamp(uv * srcMaxCoords, srcBounds.xy, srcBounds.zw)); "
            "if (s.a > 0.0) s.rgb /= s.a; "
            "if (edgeFilter > 0.0) { vec2 size = vec2(uvTexWidth, uvTexHeight); vec2 p = t / uvMaxCoords * size; "
            "float gx = -uvAlpha(p, -1.0, -1.0, size) - 2.0 * uvAlpha(p, -1.0, 0.0, size) - uvAlpha(p, -1.0, 1.0, "
            "size) "
            "+ uvAlpha(p, 1.0, -1.0, size) + 2.0 * uvAlpha(p, 1.0, 0.0, size) + uvAlpha(p, 1.0, 1.0, size); "
            "float gy = -uvAlpha(p, -1.0, -1.0, size) - 2.0 * uvAlpha(p, 0.0, -1.0, size) - uvAlpha(p, 1.0, -1.0, "
            "size) "
            "+ uvAlpha(p, -1.0, 1.0, size) + 2.0 * uvAlpha(p, 0.0, 1.0, size) + uvAlpha(p, 1.0, 1.0, size); "
            "float e = (gx * gx + gy * gy) * 2.0 * edgeFilter; float k = clamp(e, 0.0, 1.0); "
            "if (edgeColor != vec4(0.0)) { s.rgb += edgeColor.rgb * e; s.a = s.a * m.a * (1.0 - k); "
            "s = mix(s, edgeColor, k); } else s.a = s.a * m.a * (1.0 - k); } "
            "else s.a = s.a * m.a; "
            "s.rgb *= s.a; gl_FragColor = s; }";

        enum NoUVAction : int
        {
            noUVTransparent = 0,
            noUVBlack = 1,
            noUVIgnore = 2
        };
    }

    UVMap::UVMap() : ShaderEffect(1)
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        noUVAction = params.addParamChoice("No UV Action", {"Transparent", "Black", "Ignore"});
        noUVAction->setValue(noUVTransparent, ValueChangeInfo(ChangeType_Silent, -1.0));
        xOffset = params.addParamRange("X Offset", 0.0);
        yOffset = params.addParamRange("Y Offset", 0.0);
        flipU = params.addParamBool("Flip U", false);
        flipV = params.addParamBool("Flip V", false);
        filterEdges = params.addParamRange("Filter Edges", 0.25);
        useEdgeColor = params.addParamBool("Use Edge Color", false);
        edgeColor = params.addParamColor("Edge Color", Color::black);
    }

    std::string UVMap::classType()
    {
        static const std::string type = "UVMap";
        return type;
    }

    std::string UVMap::classDisplayStr()
    {
        static const std::string display = "UV Map";
        return display;
    }

    bool UVMap::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string UVMap::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string UVMap::getDescription() const
    {
        return "UV Map";
    }

    bool UVMap::init()
    {
        return ShaderEffect::init(vertexShaderCode, fragmentShaderCode);
    }

    bool UVMap::renderWithoutUVTexture(Renderer& renderer)
    {
        const int action = noUVAction->getValue();
        setClearColor(action == noUVBlack ? Color(0.0f, 0.0f, 0.0f, 1.0f) : Color::transparentBlack);
        const RenderPassTexture& input = *getInput(0);
        if (action == noUVIgnore && input.texture == nullptr)
            return false;
        if (! RenderPass::begin(renderer))
            return false;
        if (action == noUVIgnore)
        {
            // Premultiplied over the cleared target: the input as it is.
            gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
            input.draw(renderer, -1.0f, -1.0f, 2.0f, 2.0f);
            gfx::setBlendMode(gfx::BLEND_OFF);
        }
        RenderPass::end(renderer);
        return true;
    }

    bool UVMap::render(Renderer& renderer)
    {
        if (uvTexture == nullptr)
            return renderWithoutUVTexture(renderer);
        const RenderPassTexture& input = *getInput(0);
        if (input.texture == nullptr)
            return false;
        // Before begin clears: a no-UV frame may have left black.
        setClearColor(Color::transparentBlack);
        if (! begin(renderer))
            return false;

        RenderContext& cache = renderer.getRenderContext();
        cache.bind2DTexture(0, *uvTexture);
        cache.bind2DTexture(1, *input.texture);
        ShaderProgram& program = *getShader();
        program.setSampler("textureUV", 0);
        program.setSampler("textureSrc", 1);
        program.setInt("uFlip", flipU->getValue() ? 1 : 0);
        program.setInt("vFlip", flipV->getValue() ? 1 : 0);
        program.setFloat("uvTexWidth", float(uvTexture->getWidth()));
        program.setFloat("uvTexHeight", float(uvTexture->getHeight()));
        program.setFloat("edgeFilter", float(filterEdges->getValue()));
        program.setVec4("edgeColor",
                        (useEdgeColor->getValue() ? edgeColor->getValue() : Color::transparentBlack).getRGBAArray());
        const float offset[2] = {float(xOffset->getValue()), float(yOffset->getValue())};
        program.setVec2("uvOffset", offset);
        const float uvMax[2] = {uvTexture->getMaxU(), uvTexture->getMaxV()};
        program.setVec2("uvMaxCoords", uvMax);
        const TVec2<float> srcMax = input.getMaxCoords();
        const float sourceMax[2] = {srcMax.x, srcMax.y};
        program.setVec2("srcMaxCoords", sourceMax);
        setSampleBounds(program, "uvBounds", uvMax[0], uvMax[1], float(uvTexture->getWidth()),
                        float(uvTexture->getHeight()));
        setSampleBounds(program, "srcBounds", srcMax.x, srcMax.y, input.width, input.height);

        gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
        quad.setNumTexCoords(2);
        quad.setMaxCoords(0, uvMax[0], uvMax[1]);
        quad.setMaxCoords(1, srcMax.x, srcMax.y);
        quad.draw(-1.0f, -1.0f, 2.0f, 2.0f, false);
        cache.unbind2DTextures();
        // Blending left on would change how the next pass draws.
        gfx::setBlendMode(gfx::BLEND_OFF);
        end(renderer);
        return true;
    }
}
