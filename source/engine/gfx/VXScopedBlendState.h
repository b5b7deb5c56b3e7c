#pragma once

namespace vx
{
    // Keeps the caller's blending across a scope that sets its own blend
    // modes (gfx::setBlendMode): whether GL_BLEND is enabled, the source and
    // destination factors of colour and alpha and the blend equations come
    // back after. Queried and set directly: no attribute stack level is used.
    class ScopedBlendState
    {
    public:
        ScopedBlendState();
        ~ScopedBlendState();
        ScopedBlendState(const ScopedBlendState&) = delete;
        ScopedBlendState& operator=(const ScopedBlendState&) = delete;

    private:
        bool enabled = false;
        int sourceRGB = 0, destinationRGB = 0, sourceAlpha = 0, destinationAlpha = 0;
        int equationRGB = 0, equationAlpha = 0;
    };
}
