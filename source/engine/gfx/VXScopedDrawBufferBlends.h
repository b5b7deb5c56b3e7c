#pragma once

#include <vector>

namespace vx
{
    // Keeps the blending of each draw buffer across a scope: whether it is
    // on, its source and destination factors and its equations, for colour
    // and alpha. The attribute stack's pop gives every buffer the factors and
    // equations of buffer 0: declared before the scope's glPushAttrib and
    // ended after its glPopAttrib, this sets each buffer's own again when
    // they differ (when they do not, the pop gives them all back). Needs
    // per-buffer blending (GL 4.0); without it every buffer shares buffer
    // 0's and the guard does nothing.
    class ScopedDrawBufferBlends
    {
    public:
        ScopedDrawBufferBlends();
        ~ScopedDrawBufferBlends();
        ScopedDrawBufferBlends(const ScopedDrawBufferBlends&) = delete;
        ScopedDrawBufferBlends& operator=(const ScopedDrawBufferBlends&) = delete;

    private:
        struct Blend
        {
            bool enabled = false;
            int sourceRGB = 0, destinationRGB = 0, sourceAlpha = 0, destinationAlpha = 0;
            int equationRGB = 0, equationAlpha = 0;
        };
        std::vector<Blend> buffers;
    };
}
