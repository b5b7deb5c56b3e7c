#include "engine/gfx/geometry/VXVertexArrayObject.h"

#include <epoxy/gl.h>

namespace vx
{

    VertexArrayObject::~VertexArrayObject()
    {
        if (name != 0)
            glDeleteVertexArrays(1, &name);
    }

    bool VertexArrayObject::initialize()
    {
        if (name == 0)
            glGenVertexArrays(1, &name);
        return name != 0;
    }

    bool VertexArrayObject::bind()
    {
        if (name == 0)
            return false;
        glBindVertexArray(name);
        return true;
    }

    void VertexArrayObject::unbind()
    {
        glBindVertexArray(0);
    }

} // namespace vx
