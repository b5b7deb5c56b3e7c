#include "engine/gfx/VXScopedBufferBinding.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedBufferBinding::ScopedBufferBinding(unsigned int bufferTarget, unsigned int bindingQuery, unsigned int buffer)
        : target(bufferTarget)
    {
        GLint binding = 0;
        glGetIntegerv(bindingQuery, &binding);
        if (static_cast<GLuint>(binding) == buffer)
            return;
        previous = binding;
        glBindBuffer(target, buffer);
    }

    ScopedBufferBinding::ScopedBufferBinding(unsigned int bufferTarget, unsigned int bindingQuery)
        : target(bufferTarget)
    {
        GLint binding = 0;
        glGetIntegerv(bindingQuery, &binding);
        previous = binding;
    }

    ScopedBufferBinding::~ScopedBufferBinding()
    {
        if (previous >= 0)
            glBindBuffer(target, static_cast<GLuint>(previous));
    }
}
