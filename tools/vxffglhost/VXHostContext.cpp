#include "VXHostContext.h"

#include <epoxy/gl.h>

#include <cstdio>

namespace vx::host
{
    HostContext::HostContext()
    {
        display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (display == EGL_NO_DISPLAY || ! eglInitialize(display, &major, &minor))
        {
            display = EGL_NO_DISPLAY;
            fail("no surfaceless EGL display");
            return;
        }
        if (! eglBindAPI(EGL_OPENGL_API))
        {
            fail("EGL does not offer desktop OpenGL");
            return;
        }
        const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
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
                                           EGL_NONE};
        EGLConfig config = nullptr;
        EGLint count = 0;
        if (! eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1)
        {
            fail("no RGBA8 OpenGL configuration");
            return;
        }
        const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                            EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
        if (context == EGL_NO_CONTEXT)
        {
            fail("eglCreateContext failed");
            return;
        }
        // Everything draws into the host's own framebuffer objects.
        if (! eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
        {
            eglDestroyContext(display, context);
            context = EGL_NO_CONTEXT;
            fail("eglMakeCurrent failed");
        }
    }

    HostContext::~HostContext()
    {
        if (context != EGL_NO_CONTEXT)
        {
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroyContext(display, context);
        }
        // The display stays initialised: terminating it unloads the driver,
        // which keeps allocations for the life of the process.
        eglReleaseThread();
    }

    bool HostContext::fail(const char* what)
    {
        char text[160];
        std::snprintf(text, sizeof text, "%s (EGL error 0x%x); is EGL_PLATFORM=surfaceless set?", what,
                      static_cast<unsigned int>(eglGetError()));
        error = text;
        return false;
    }

    std::string HostContext::describe() const
    {
        if (! isValid())
            return {};
        const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        return std::string(renderer != nullptr ? renderer : "?") + ", OpenGL " + (version != nullptr ? version : "?");
    }
}
