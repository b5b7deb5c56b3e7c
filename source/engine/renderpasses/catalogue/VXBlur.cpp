#include "engine/renderpasses/catalogue/VXBlur.h"

#include "core/VXVec4.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaders.h"
#include "engine/gfx/VXTexture.h"

#include <cmath>

namespace vx
{
    const char* const Blur::psBlurH =
        "uniform sampler2D inTex; uniform float blurSize; uniform float strength; uniform float weight[7]; "
        "varying vec2 uv1; "
        "void main() { vec4 sum = texture2D(inTex, uv1) * weight[0] * strength; "
        "for (int i = 1; i < 7; ++i) { float o = float(i) * blurSize; "
        "sum += (texture2D(inTex, vec2(uv1.x - o, uv1.y)) + texture2D(inTex, vec2(uv1.x + o, uv1.y))) "
        "* weight[i] * strength; } gl_FragColor = sum; }";

    const char* const Blur::psBlurV =
        "uniform sampler2D inTex; uniform float blurSize; uniform float strength; uniform float weight[7]; "
        "varying vec2 uv1; "
        "void main() { vec4 sum = texture2D(inTex, uv1) * weight[0] * strength; "
        "for (int i = 1; i < 7; ++i) { float o = float(i) * blurSize; "
        "sum += (texture2D(inTex, vec2(uv1.x, uv1.y - o)) + texture2D(inTex, vec2(uv1.x, uv1.y + o))) "
        "* weight[i] * strength; } gl_FragColor = sum; }";

    namespace
    {
        // One pass: the unit quad over the bound target, sampling texture
        // with its own scroll.
        void drawPass(Renderer& renderer, ShaderProgram& program, const Texture& texture, float blurSize,
                      float strength, const std::array<float, 7>& weights)
        {
            RenderContext& cache = renderer.getRenderContext();
            if (renderer.beginShader(program))
            {
                const TVec4<float> scroll = texture.buildScrollVector(0.0f, 0.0f, false);
                program.setVec4("TexScroll", scroll.x, scroll.y, scroll.z, scroll.w);
                program.setFloat("blurSize", blurSize);
                program.setFloat("strength", strength);
                program.setFloatArray("weight", weights.data(), int(weights.size()));
                cache.bind2DTexture(0, texture);
                program.setSampler("inTex", 0);
                renderer.drawQuadVBO();
            }
            cache.unbindShader();
            cache.unbind2DTextures();
        }
    }

    Blur::Blur() : Effect(1), horizontal(detail::makeProgram()), vertical(detail::makeProgram())
    {
        setName(classType(), true);
        ParamContainer& params = getParams();
        blurX = params.addParamRange("BlurX", 0.005, ValueRange<double>(0.0001, 0.01));
        blurY = params.addParamRange("BlurY", 0.005, ValueRange<double>(0.0001, 0.01));
        strength = params.addParamRange("Strength", 1.0, ValueRange<double>(0.01, 2.0));
        gaussian = params.addParamRange("Gaussian", 3.15, ValueRange<double>(1.0, 8.0));
    }

    Blur::~Blur() = default;

    std::string Blur::classType()
    {
        static const std::string type = "Blur";
        return type;
    }

    std::string Blur::classDisplayStr()
    {
        static const std::string display = "Blur";
        return display;
    }

    bool Blur::isOfClassType(std::string t) const
    {
        return t == getClassType() || Effect::isOfClassType(t);
    }

    std::string Blur::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Effect::derivedOfClassType(t);
    }

    bool Blur::init()
    {
        if (! RenderPass::init())
            return false;
        return horizontal->loadString(vsTransform, psBlurH, std::string(), nullptr) &&
               vertical->loadString(vsTransform, psBlurV, std::string(), nullptr);
    }

    void Blur::release()
    {
        horizontal->release();
        vertical->release();
        RenderPass::release();
    }

    std::array<float, 7> Blur::computeWeights(double variance)
    {
        const double deviation = std::sqrt(variance);
        std::array<float, 7> weights{};
        for (size_t i = 0; i < weights.size(); ++i)
        {
            const double d = double(i) / deviation;
            weights[i] = float(std::exp(-0.5 * d * d) / (2.50662827463 * deviation));
        }
        float sum = weights[0];
        for (size_t i = 1; i < weights.size(); ++i)
            sum += 2.0f * weights[i];
        weights[0] += 1.0f - sum;
        return weights;
    }

    bool Blur::render(Renderer& renderer)
    {
        const Texture* input = getInput(0)->texture;
        if (input == nullptr || ! begin(renderer))
            return false;
        const std::array<float, 7> weights = computeWeights(gaussian->getValue());
        const float gain = float(strength->getValue());

        RenderTarget::pushCurrentTarget();
        RenderTargetManager* targets = RenderTargetManager::getCurrent();
        RenderTarget* across =
            targets != nullptr ? targets->retain(getWidth(), getHeight(), *DEFAULT_COLOR_FMT, false, DEFAULT_DEPTH_FMT)
                               : nullptr;
        if (across == nullptr || ! across->bind())
        {
            if (across != nullptr)
                targets->release(across);
            RenderTarget::popCurrentTarget();
            end(renderer);
            return false;
        }

        gfx::clear(getClearColor());
        renderer.setupGuiMatrices(100.0f);
        const Matrix4x4 world = input->buildMatrix(0.0f, 0.0f, float(getWidth()), float(getHeight()), false);
        renderer.setWorldMatrix(world);
        drawPass(renderer, *horizontal, *input, float(blurX->getValue()), gain, weights);

        RenderTarget::unbind();
        RenderTarget::popCurrentTarget();
        gfx::clear(getClearColor());
        // The second pass samples the first one's target, with that
        // texture's own extent.
        drawPass(renderer, *vertical, *across->getTexture(0), float(blurY->getValue()), gain, weights);

        targets->release(across);
        end(renderer);
        return true;
    }
}
