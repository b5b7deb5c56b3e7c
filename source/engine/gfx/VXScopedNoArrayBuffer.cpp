#include "engine/gfx/VXScopedNoArrayBuffer.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedNoArrayBuffer::ScopedNoArrayBuffer()
    {
        GLint binding = 0;
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &binding);
        previous = binding;
        if (previous != 0)
            glBindBuffer(GL_ARRAY_BUFFER, 0);
    }

    ScopedNoArrayBuffer::~ScopedNoArrayBuffer()
    {
        if (previous != 0)
            glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previous));
    }
}
