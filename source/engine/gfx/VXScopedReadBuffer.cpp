#include "engine/gfx/VXScopedReadBuffer.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedReadBuffer::ScopedReadBuffer()
    {
        GLint drawBuffer = GL_NONE;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &framebuffer);
        glGetIntegerv(GL_READ_BUFFER, &previous);
        glGetIntegerv(GL_DRAW_BUFFER0, &drawBuffer);
        if (drawBuffer == GL_NONE || drawBuffer == GL_FRONT_AND_BACK || drawBuffer == previous)
            return;
        glReadBuffer(static_cast<GLenum>(drawBuffer));
        changed = true;
    }

    ScopedReadBuffer::~ScopedReadBuffer()
    {
        if (! changed)
            return;
        GLint bound = 0;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &bound);
        if (bound != framebuffer)
            glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
        glReadBuffer(static_cast<GLenum>(previous));
        if (bound != framebuffer)
            glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(bound));
    }
}
