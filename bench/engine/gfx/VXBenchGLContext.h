#pragma once

// A headless GL context for benchmarks: surfaceless EGL, compatibility
// profile, a small pbuffer as default framebuffer. Made current on the calling
// thread on first use and kept for the life of the process.

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>

namespace vx::bench
{
    inline bool makeBenchGLContextCurrent()
    {
        static const bool made = [] {
            EGLDisplay display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            EGLint major = 0, minor = 0;
            if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor) || !eglBindAPI(EGL_OPENGL_API))
                return false;
            const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                               EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                               EGL_DEPTH_SIZE, 24, EGL_STENCIL_SIZE, 8, EGL_NONE};
            EGLConfig config = nullptr;
            EGLint count = 0;
            if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1)
                return false;
            const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                                EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
            EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
            const EGLint surfaceAttributes[] = {EGL_WIDTH, 64, EGL_HEIGHT, 64, EGL_NONE};
            EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
            return context != EGL_NO_CONTEXT && surface != EGL_NO_SURFACE &&
                   eglMakeCurrent(display, surface, surface, context) == EGL_TRUE;
        }();
        if (!made)
            std::fprintf(stderr, "benchmark: no headless GL context (EGL error 0x%x)\n", eglGetError());
        return made;
    }
}
