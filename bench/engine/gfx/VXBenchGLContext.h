#pragma once

// A headless GL context for benchmarks: the engine's offscreen context
// (surfaceless EGL, compatibility profile, a small pbuffer as default
// framebuffer). Made current on the calling thread on first use and kept for
// the life of the process.

#include "engine/gfx/VXContextOSX.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>

namespace vx::bench
{
    inline bool makeBenchGLContextCurrent()
    {
        static ContextOSX::NativePimpl* const context = ContextOSX::NativePimpl::createOffscreen(nullptr);
        if (context == nullptr)
        {
            std::fprintf(stderr, "benchmark: no headless GL context\n");
            return false;
        }
        return context->isCurrent() || context->makeCurrent();
    }
}
