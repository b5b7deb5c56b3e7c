#pragma once

#include <epoxy/egl.h>

#include <string>

namespace vx::host
{
    // A headless OpenGL context on EGL's surfaceless platform (compatibility
    // profile), current on the creating thread for the object's life; the
    // host's stand-in for a window's context.
    class HostContext
    {
    public:
        HostContext();
        ~HostContext();
        HostContext(const HostContext&) = delete;
        HostContext& operator=(const HostContext&) = delete;

        // False when no context could be made; getError says why.
        bool isValid() const { return context != EGL_NO_CONTEXT; }
        const std::string& getError() const { return error; }
        // The renderer and version strings, once current.
        std::string describe() const;

    private:
        bool fail(const char* what);

        EGLDisplay display = EGL_NO_DISPLAY;
        EGLContext context = EGL_NO_CONTEXT;
        std::string error;
    };
}
