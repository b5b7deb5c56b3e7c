#include "engine/gfx/VXScopedFramebufferBinding.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedFramebufferBinding::ScopedFramebufferBinding()
    {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    }

    ScopedFramebufferBinding::~ScopedFramebufferBinding()
    {
        restore();
    }

    void ScopedFramebufferBinding::restore() const
    {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
    }
}
