#include "engine/gfx/VXScopedVertexAttribArrays.h"

#include <epoxy/gl.h>

#include <cassert>

namespace vx
{
    ScopedVertexAttribArrays::~ScopedVertexAttribArrays()
    {
        for (GLuint index = 0; enabled != 0; ++index, enabled >>= 1)
            if ((enabled & 1u) != 0)
                glDisableVertexAttribArray(index);
    }

    void ScopedVertexAttribArrays::attribute(unsigned int index, int components, int stride, const float* data)
    {
        assert(index < 32);
        glEnableVertexAttribArray(index);
        glVertexAttribPointer(index, components, GL_FLOAT, GL_FALSE, stride, data);
        enabled |= 1u << index;
    }
}
