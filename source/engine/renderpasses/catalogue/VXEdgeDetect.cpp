#include "engine/renderpasses/catalogue/VXEdgeDetect.h"

#include "core/VXColor.h"
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

        // gl_TexCoord[0] runs over the picture from 0 to 1; p is in its
        // pixels and each sample is scaled into the texture once.
        const char* const fragmentShaderCode =
            "uniform sampler2D tex; uniform float texWidth; uniform float texHeight; uniform vec2 maxCoords; "
            "uniform float edgeFilter; uniform vec4 edgeColor; uniform int smoothIt; "
            "float lum(vec2 p, float dx, float dy, vec2 size) { "
            "return dot(vec3(0.30, 0.59, 0.11), texture2D(tex, ((p + vec2(dx, dy)) / size) * maxCoords).rgb); } "
            "void main() { vec2 size = vec2(texWidth, texHeight); vec2 p = gl_TexCoord[0].st * size; "
            "float gx = -lum(p, -1.0, -1.0, size) - 2.0 * lum(p, -1.0, 0.0, size) - lum(p, -1.0, 1.0, size) "
            "+ lum(p, 1.0, -1.0, size) + 2.0 * lum(p, 1.0, 0.0, size) + lum(p, 1.0, 1.0, size); "
            "float gy = -lum(p, -1.0, -1.0, size) - 2.0 * lum(p, 0.0, -1.0, size) - lum(p, 1.0, -1.0, size) "
            "+ lum(p, -1.0, 1.0, size) + 2.0 * lum(p, 0.0, 1.0, size) + lum(p, 1.0, 1.0, size); "
            "float edge = smoothIt == 1 ? gx * gx + gy * gy : gx + gy; "
            "gl_FragColor = vec4(edge, edge, edge, edge); }";
    }

    EdgeDetect::EdgeDetect() : ShaderEffect(1)
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        filterEdges = params.addParamRange("Filter Edges", 0.25);
        edgeColor = params.addParamColor("Edge Color", Color::black);
        smooth = params.addParamBool("Smooth", true);
    }

    std::string EdgeDetect::classType()
    {
        static const std::string type = "EdgeDetect";
        return type;
    }

    std::string EdgeDetect::classDisplayStr()
    {
        static const std::string display = "Edge Detect";
        return display;
    }

    bool EdgeDetect::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string EdgeDetect::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string EdgeDetect::getDescription() const
    {
        return "Edge Detection";
    }

    bool EdgeDetect::init()
    {
        return ShaderEffect::init(vertexShaderCode, fragmentShaderCode);
    }

    bool EdgeDetect::render(Renderer& renderer)
    {
        const RenderPassTexture& input = *getInput(0);
        if (input.texture == nullptr)
            return false;
        if (! begin(renderer))
            return false;
        const TVec2<float> maxCoords = input.getMaxCoords();
        RenderContext& cache = renderer.getRenderContext();
        cache.bind2DTexture(1, *input.texture);
        ShaderProgram& program = *getShader();
        program.setSampler("tex", 1);
        program.setFloat("texWidth", float(input.texture->getWidth()));
        program.setFloat("texHeight", float(input.texture->getHeight()));
        const float coords[2] = {maxCoords.x, maxCoords.y};
        program.setVec2("maxCoords", coords);
        program.setFloat("edgeFilter", float(filterEdges->getValue()));
        program.setVec4("edgeColor", edgeColor->getValue().getRGBAArray());
        program.setInt("smoothIt", smooth->getValue() ? 1 : 0);

        gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
        // Unit coordinates: the program scales them into the texture.
        quad.setNumTexCoords(1);
        quad.draw(-1.0f, -1.0f, 2.0f, 2.0f, false);
        cache.unbind2DTextures();
        // Blending left on would change how the next pass draws.
        gfx::setBlendMode(gfx::BLEND_OFF);
        end(renderer);
        return true;
    }
}
