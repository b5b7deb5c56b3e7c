#include "engine/gfx/VXScopedNoArrayBuffer.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedNoArrayBuffer::ScopedNoArrayBuffer() : binding(GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING, 0)
    {
    }
}
