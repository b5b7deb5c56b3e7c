#pragma once

// A headless GL context for benchmarks: the engine's offscreen context
// (surfaceless EGL, compatibility profile, a small pbuffer as default
// framebuffer). Made current on the calling thread on first use and kept for
// the life of the process.

#include "engine/gfx/VXContextOSX.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <type_traits>

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

    // Counts calls of one GL entry point by swapping libepoxy's dispatch pointer.
    template <auto* DispatchPointer>
    struct CallCounter
    {
        using Fn = std::remove_pointer_t<decltype(DispatchPointer)>;

        explicit CallCounter(const char* name)
        {
            saved = *DispatchPointer;
            real = reinterpret_cast<Fn>(eglGetProcAddress(name));
            calls = 0;
            *DispatchPointer = hook(real);
        }
        ~CallCounter() { *DispatchPointer = saved; }

        template <typename R, typename... Args>
        static auto hook(R (*)(Args...)) -> R (*)(Args...)
        {
            return [](Args... args) -> R
            {
                ++calls;
                return real(args...);
            };
        }

        static inline Fn real = nullptr;
        static inline long calls = 0;
        Fn saved = nullptr;
    };
}
