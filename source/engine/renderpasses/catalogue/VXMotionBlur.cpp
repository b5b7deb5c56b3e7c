#include "engine/renderpasses/catalogue/VXMotionBlur.h"

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"

#include <cmath>

namespace vx
{
    namespace
    {
        const char* const vertexShaderCode =
            "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
            "gl_TexCoord[0] = gl_MultiTexCoord0; gl_TexCoord[1] = gl_MultiTexCoord1; gl_FrontColor = gl_Color; }";

        // Both coordinate sets run from 0 to 1 over the picture; each
        // sample is scaled into its texture once.
        const char* const fragmentShaderCode =
            "uniform sampler2D textureSrc; uniform sampler2D textureMotion; uniform vec2 maxSrcCoords; "
            "uniform vec2 maxMotionCoords; uniform vec2 blur; uniform int useTexture; uniform int numSamples; "
            "void main() { vec2 s = gl_TexCoord[0].st; vec2 b = blur; "
            "if (useTexture == 1) { vec4 k = texture2D(textureMotion, gl_TexCoord[1].st * maxMotionCoords); "
            "b = (k.r != 0.0 || k.g != 0.0) ? (k.rg - vec2(0.5)) * blur : vec2(0.0); } "
            "vec4 o = texture2D(textureSrc, s * maxSrcCoords); vec3 sum = o.rgb; "
            "float last = float(numSamples - 1); "
            "for (int i = 1; i < numSamples; ++i) "
            "sum += texture2D(textureSrc, (s + b * (float(i) / last - 0.5)) * maxSrcCoords).rgb; "
            "gl_FragColor = vec4(sum / float(numSamples), o.a); }";

        constexpr int noMotionSource = -1;
    }

    MotionBlur::MotionBlur() : ShaderEffect(1)
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        motionSource = std::make_shared<ParamChoice<int>>("Motion Source", noMotionSource);
        params.insertParam(motionSource, 0);
        // Control type 2: a menu.
        params.setViewForParam(motionSource, ParamView(ParamView::ControlType(2)), false);
        blurX = params.addParamRange("Blur X", 0.25);
        blurY = params.addParamRange("Blur Y", 0.25);
        quality = params.addParamRange("Quality", 0.5);
    }

    std::string MotionBlur::classType()
    {
        static const std::string type = "MotionBlur";
        return type;
    }

    std::string MotionBlur::classDisplayStr()
    {
        static const std::string display = "Motion Blur";
        return display;
    }

    bool MotionBlur::isOfClassType(std::string t) const
    {
        return t == getClassType() || ShaderEffect::isOfClassType(t);
    }

    std::string MotionBlur::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : ShaderEffect::derivedOfClassType(t);
    }

    std::string MotionBlur::getDescription() const
    {
        return "Motion Blur";
    }

    bool MotionBlur::init()
    {
        motionSource->clearChoices();
        motionSource->addChoice("None", noMotionSource, true, true);
        for (int i = 0; i < maxSlots; ++i)
        {
            const RenderPassTexture* slot = getAuxInput(i);
            if (slot != nullptr && slot->type == RenderPassTexture::Motion)
                motionSource->addChoice(slot->name, i, true, true);
        }
        return ShaderEffect::init(vertexShaderCode, fragmentShaderCode);
    }

    bool MotionBlur::render(Renderer& renderer)
    {
        const int source = motionSource->getValue();
        const RenderPassTexture* motionSlot = source >= 0 && source < maxSlots ? getAuxInput(source) : nullptr;
        const Texture* motion =
            motionSlot != nullptr && motionSlot->type == RenderPassTexture::Motion ? motionSlot->texture : nullptr;
        const RenderPassTexture& input = *getInput(0);
        if (input.texture == nullptr || ! begin(renderer))
            return false;

        RenderContext& cache = renderer.getRenderContext();
        ShaderProgram& program = *getShader();
        cache.bind2DTexture(0, *input.texture);
        program.setSampler("textureSrc", 0);
        const TVec2<float> srcMax = input.getMaxCoords();
        const float sourceMax[2] = {srcMax.x, srcMax.y};
        program.setVec2("maxSrcCoords", sourceMax);
        const bool useMotion = motion != nullptr && motion->isValid();
        const float scale = useMotion ? 1.0f : 0.5f;
        if (useMotion)
        {
            cache.bind2DTexture(1, *motion);
            program.setSampler("textureMotion", 1);
            const float motionMax[2] = {motion->getMaxU(), motion->getMaxV()};
            program.setVec2("maxMotionCoords", motionMax);
        }
        program.setInt("useTexture", useMotion ? 1 : 0);
        const float vector[2] = {float(blurX->getValue()) * scale, float(blurY->getValue()) * scale};
        program.setVec2("blur", vector);
        program.setInt("numSamples", int(std::floor(quality->getValue() * 32.0)) + 1);

        // Unit coordinates: the program scales them into the textures.
        quad.setNumTexCoords(motion != nullptr ? 2 : 1);
        gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
        quad.draw(-1.0f, -1.0f, 2.0f, 2.0f, false);
        gfx::setBlendMode(gfx::BLEND_OFF);
        cache.unbind2DTextures();
        end(renderer);
        return true;
    }
}
