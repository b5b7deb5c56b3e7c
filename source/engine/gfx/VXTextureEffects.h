#pragma once

#include "core/VXCurrentInstance.h"

namespace vx
{
    class Renderer;
    class Texture;
    class TextureRef;

    // The effect passes behind Texture::toLuminosity and Texture::applyMask.
    // The graphics core has none of its own: the render-pass layer installs
    // them when the engine is loaded and runs them through the current
    // render-pass manager. Render thread; the caller's bound target and
    // viewport come back. An empty answer (with one log line) on failure.
    class TextureEffects : public CurrentInstance<TextureEffects>
    {
    public:
        virtual ~TextureEffects() = default;

        virtual TextureRef toLuminosity(Renderer& renderer, const Texture& source) = 0;
        virtual TextureRef applyMask(Renderer& renderer, const Texture& source, const Texture& mask) = 0;
    };
}
