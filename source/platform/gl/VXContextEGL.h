#pragma once

#include "engine/gfx/VXContextOSX.h"

#include <epoxy/egl.h>

namespace vx
{

    /** The native context over EGL: the handle is the EGLContext. Offscreen
        contexts live on one process-wide surfaceless display with a 64 x 64
        pbuffer (RGBA8, depth 24, stencil 8) and the compatibility profile. */
    class ContextEGL : public ContextOSX::NativePimpl
    {
    public:
        /** owned: made here, destroyed by destroyNative (or at the end). */
        ContextEGL(EGLDisplay display, EGLContext context, EGLSurface drawSurface, EGLSurface readSurface, bool owned);
        ~ContextEGL() override;

        void* getHandle() const override { return context; }
        bool isCurrent() const override;
        bool makeCurrent() override;
        bool swapBuffers() override;
        bool setSwapInterval(int interval) override;
        void destroyNative() override;

        EGLDisplay getDisplay() const { return display; }
        EGLSurface getDrawSurface() const { return drawSurface; }

        /** The process-wide surfaceless display, initialised on first use and
            kept; EGL_NO_DISPLAY (logged once) when there is none. */
        static EGLDisplay getSurfacelessDisplay();

        static constexpr int offscreenSize = 64;

    private:
        EGLDisplay display;
        EGLContext context;
        EGLSurface drawSurface;
        EGLSurface readSurface;
        bool owned;
    };

} // namespace vx
