#include "engine/renderpasses/VXMixer.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"

#include <string>

namespace vx
{
    namespace
    {
        const std::string vertexShaderCode =
            "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; gl_TexCoord[0] = gl_MultiTexCoord0; "
            "gl_TexCoord[1] = gl_MultiTexCoord1; gl_FrontColor = gl_Color; }";

        const std::string fragmentShaderCode =
            "uniform sampler2D textureDest; uniform sampler2D textureSrc; uniform float blend; uniform int transition; "
            "vec4 doBlend( vec4 src, vec4 dst, float amt ) { vec4 srcPremul = src * amt; return "
            "dst*(1.0-srcPremul.a) + srcPremul; } void main(void) { vec4 dst = texture2D(textureDest, "
            "gl_TexCoord[0].st); vec4 src = texture2D(textureSrc, gl_TexCoord[1].st); if( transition == 1 ) "
            "gl_FragColor = mix( dst, src, blend ); else gl_FragColor = doBlend( src, dst, blend ); }";
    }

    Mixer::Mixer(int inputCount) : RenderPass(inputCount, 1)
    {
        opacity = getParams().addParamRange("Opacity", 1.0);
        ParamView view(ParamView::controlTypeAlpha, ParamView::unitsPercent, ParamView::subTypeDefault, 0);
        view.setValueMultiplier(100.0);
        getParams().setViewForParam(opacity, view, false);
    }

    bool Mixer::isOfClassType(std::string t) const
    {
        return t == Mixer::classType() || RenderPass::isOfClassType(t);
    }

    std::string Mixer::derivedOfClassType(std::string t) const
    {
        return t == Mixer::classType() ? getClassType() : RenderPass::derivedOfClassType(t);
    }

    bool Mixer::init()
    {
        if (! shader.loadString(vertexShaderCode, fragmentShaderCode, std::string(), nullptr))
            fallback = true;
        return RenderPass::init();
    }

    void Mixer::release()
    {
        shader.release();
        RenderPass::release();
    }

    bool Mixer::render(Renderer& renderer)
    {
        if (! begin(renderer))
            return false;

        const float amount = float(opacity->getValue());
        if (fallback)
        {
            gfx::color(Color(1.0f));
            if (const RenderPassTexture* destination = getInput(0))
                destination->draw(renderer, -1.0f, -1.0f, 2.0f, 2.0f);
            gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
            gfx::color(Color(amount));
            if (const RenderPassTexture* source = getInput(1))
                source->draw(renderer, -1.0f, -1.0f, 2.0f, 2.0f);
            gfx::color(Color(1.0f));
            gfx::setBlendMode(gfx::BLEND_OFF);
        }
        else
        {
            // Through the binding cache, so it keeps recording what GL holds.
            RenderContext& cache = renderer.getRenderContext();
            if (! cache.bindShader(shader))
            {
                end(renderer);
                return false;
            }
            gfx::setBlendMode(gfx::BLEND_PREMULTIPLIED);
            shader.setSampler("textureDest", 0);
            shader.setSampler("textureSrc", 1);
            shader.setFloat("blend", amount);
            shader.setInt("transition", transitionMode ? 1 : 0);
            drawMultitexturedQuad(renderer);
            cache.unbindShader();
            gfx::setBlendMode(gfx::BLEND_OFF);
        }

        end(renderer);
        return true;
    }

    void Mixer::drawMultitexturedQuad(Renderer& renderer)
    {
        RenderContext& cache = renderer.getRenderContext();
        quad.setNumTexCoords(2);
        for (int unit = 0; unit < 2; ++unit)
        {
            const RenderPassTexture& slot = *getInput(unit);
            if (slot.texture != nullptr)
                cache.bind2DTexture(unit, *slot.texture);
            const TVec2<float> max = slot.getMaxCoords();
            quad.setMaxCoords(unit, max.x, max.y);
        }
        quad.draw(-1.0f, -1.0f, 2.0f, 2.0f, false);
        cache.unbind2DTextures();
    }
}
