#include "platform/gl/VXContextEGL.h"

#include "core/VXLog.h"

#include <mutex>

namespace vx
{

    namespace
    {
        // EGL keeps one current context per client API and thread; the engine
        // only speaks OpenGL, and a new thread starts bound to OpenGL ES.
        void bindOpenGL()
        {
            if (eglQueryAPI() != EGL_OPENGL_API)
                eglBindAPI(EGL_OPENGL_API);
        }

        EGLConfig chooseOffscreenConfig(EGLDisplay display)
        {
            const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                         EGL_PBUFFER_BIT,
                                         EGL_RENDERABLE_TYPE,
                                         EGL_OPENGL_BIT,
                                         EGL_RED_SIZE,
                                         8,
                                         EGL_GREEN_SIZE,
                                         8,
                                         EGL_BLUE_SIZE,
                                         8,
                                         EGL_ALPHA_SIZE,
                                         8,
                                         EGL_DEPTH_SIZE,
                                         24,
                                         EGL_STENCIL_SIZE,
                                         8,
                                         EGL_NONE};
            EGLConfig config = nullptr;
            EGLint count = 0;
            if (! eglChooseConfig(display, attributes, &config, 1, &count) || count < 1)
                return nullptr;
            return config;
        }
    }

    ContextEGL::ContextEGL(EGLDisplay displayToUse, EGLContext contextToUse, EGLSurface draw, EGLSurface read,
                           bool isOwned)
        : display(displayToUse), context(contextToUse), drawSurface(draw), readSurface(read), owned(isOwned)
    {
    }

    ContextEGL::~ContextEGL()
    {
        if (owned)
            destroyNative();
    }

    bool ContextEGL::isCurrent() const
    {
        bindOpenGL();
        return context != EGL_NO_CONTEXT && eglGetCurrentContext() == context;
    }

    bool ContextEGL::makeCurrent()
    {
        if (context == EGL_NO_CONTEXT || display == EGL_NO_DISPLAY)
            return false;
        bindOpenGL();
        return eglMakeCurrent(display, drawSurface, readSurface, context) == EGL_TRUE;
    }

    bool ContextEGL::swapBuffers()
    {
        if (! isCurrent())
            return false;
        if (drawSurface == EGL_NO_SURFACE)
            return true;
        return eglSwapBuffers(display, drawSurface) == EGL_TRUE;
    }

    bool ContextEGL::setSwapInterval(int interval)
    {
        // Applies to the surface of the current context only.
        if (! isCurrent())
            return false;
        return eglSwapInterval(display, interval) == EGL_TRUE;
    }

    void ContextEGL::destroyNative()
    {
        if (! owned || context == EGL_NO_CONTEXT)
            return;
        if (isCurrent())
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
        if (drawSurface != EGL_NO_SURFACE)
            eglDestroySurface(display, drawSurface);
        if (readSurface != EGL_NO_SURFACE && readSurface != drawSurface)
            eglDestroySurface(display, readSurface);
        context = EGL_NO_CONTEXT;
        drawSurface = readSurface = EGL_NO_SURFACE;
    }

    EGLDisplay ContextEGL::getSurfacelessDisplay()
    {
        static std::once_flag once;
        static EGLDisplay display = EGL_NO_DISPLAY;
        std::call_once(once,
                       []
                       {
                           EGLDisplay candidate =
                               eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
                           EGLint major = 0, minor = 0;
                           if (candidate == EGL_NO_DISPLAY || ! eglInitialize(candidate, &major, &minor))
                           {
                               logPrint(logError, "ContextEGL: no surfaceless EGL display (EGL error 0x%x)",
                                        eglGetError());
                               return;
                           }
                           display = candidate;
                       });
        return display;
    }

    //==============================================================================
    ContextOSX::NativePimpl* ContextOSX::NativePimpl::wrap(void* nativeHandle)
    {
        auto nativeContext = static_cast<EGLContext>(nativeHandle);
        bindOpenGL();
        if (nativeContext != EGL_NO_CONTEXT && eglGetCurrentContext() == nativeContext)
            return new ContextEGL(eglGetCurrentDisplay(), nativeContext, eglGetCurrentSurface(EGL_DRAW),
                                  eglGetCurrentSurface(EGL_READ), false);
        // Not current here: its surfaces are unknown, so it is made current
        // without any on the engine's display.
        return new ContextEGL(ContextEGL::getSurfacelessDisplay(), nativeContext, EGL_NO_SURFACE, EGL_NO_SURFACE,
                              false);
    }

    ContextOSX::NativePimpl* ContextOSX::NativePimpl::createOffscreen(void* shareHandle)
    {
        EGLDisplay display = ContextEGL::getSurfacelessDisplay();
        if (display == EGL_NO_DISPLAY)
            return nullptr;
        bindOpenGL();

        EGLConfig config = chooseOffscreenConfig(display);
        if (config == nullptr)
        {
            logPrint(logError, "ContextEGL: no RGBA8 / depth 24 / stencil 8 pbuffer configuration");
            return nullptr;
        }

        const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                            EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        EGLContext context = eglCreateContext(display, config, static_cast<EGLContext>(shareHandle), contextAttributes);
        if (context == EGL_NO_CONTEXT)
        {
            logPrint(logError, "ContextEGL: eglCreateContext failed (EGL error 0x%x, share context %p)", eglGetError(),
                     shareHandle);
            return nullptr;
        }

        const EGLint surfaceAttributes[] = {EGL_WIDTH, ContextEGL::offscreenSize, EGL_HEIGHT, ContextEGL::offscreenSize,
                                            EGL_NONE};
        EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
        if (surface == EGL_NO_SURFACE)
        {
            logPrint(logError, "ContextEGL: eglCreatePbufferSurface failed (EGL error 0x%x)", eglGetError());
            eglDestroyContext(display, context);
            return nullptr;
        }

        auto* created = new ContextEGL(display, context, surface, surface, true);
        if (! created->makeCurrent())
        {
            logPrint(logError, "ContextEGL: the new context cannot be made current (EGL error 0x%x)", eglGetError());
            delete created;
            return nullptr;
        }
        return created;
    }

    bool ContextOSX::NativePimpl::clearCurrent()
    {
        bindOpenGL();
        EGLDisplay display = eglGetCurrentDisplay();
        if (display == EGL_NO_DISPLAY)
            return true;
        return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT) == EGL_TRUE;
    }

    void* ContextOSX::NativePimpl::getCurrentHandle()
    {
        bindOpenGL();
        EGLContext current = eglGetCurrentContext();
        return current != EGL_NO_CONTEXT ? current : nullptr;
    }

    ContextOSX::NativePimpl::CurrentState ContextOSX::NativePimpl::getCurrentState()
    {
        bindOpenGL();
        CurrentState state;
        state.context = eglGetCurrentContext();
        if (state.context != EGL_NO_CONTEXT)
        {
            state.display = eglGetCurrentDisplay();
            state.drawSurface = eglGetCurrentSurface(EGL_DRAW);
            state.readSurface = eglGetCurrentSurface(EGL_READ);
        }
        else
        {
            state.context = nullptr;
        }
        return state;
    }

    bool ContextOSX::NativePimpl::restoreCurrentState(const CurrentState& state)
    {
        bindOpenGL();
        if (state.context == nullptr)
            return clearCurrent();
        if (eglGetCurrentContext() == state.context && eglGetCurrentSurface(EGL_DRAW) == state.drawSurface &&
            eglGetCurrentSurface(EGL_READ) == state.readSurface)
            return true;
        return eglMakeCurrent(static_cast<EGLDisplay>(state.display), static_cast<EGLSurface>(state.drawSurface),
                              static_cast<EGLSurface>(state.readSurface),
                              static_cast<EGLContext>(state.context)) == EGL_TRUE;
    }

} // namespace vx
