#pragma once

#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/geometry/VXQuad.h"
#include "engine/renderpasses/VXRenderPass.h"

#include <memory>

namespace vx
{
    class ParamRange;

    // Base of the two-input passes: input 1 (source) is laid over input 0
    // (destination) by "Opacity". Its own blend program gives
    // destination x (1 - source alpha x opacity) + source x opacity, or in
    // transition mode the linear mix of the two by opacity. When the program
    // does not build, a fixed-function fallback draws input 0 and then input
    // 1 scaled by opacity with premultiplied blending (no transition mode).
    class Mixer : public RenderPass
    {
    public:
        explicit Mixer(int inputCount);

        static std::string classType() { return "Mixer"; }
        static std::string classDisplayStr() { return "Mixer"; }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }

        // Loads the blend program; a failure only selects the fallback, so a
        // mixer always initialises.
        bool init() override;
        void release() override;
        bool render(Renderer& renderer) override;

        void enableTransitionMode(bool shouldMixLinearly) { transitionMode = shouldMixLinearly; }
        bool isInTransitionMode() const { return transitionMode; }
        // Once set, stays set for the life of the mixer.
        bool isUsingFallback() const { return fallback; }

        // Inputs 0 and 1 on units 0 and 1 over the whole viewport, each with
        // its covered part; unbinds the 2D textures after.
        void drawMultitexturedQuad(Renderer& renderer);

        ParamRange& getOpacity() const { return *opacity; }

    private:
        std::shared_ptr<ParamRange> opacity;
        Quad quad;
        bool fallback = false;
        ShaderProgram shader;
        bool transitionMode = false;
    };
}
