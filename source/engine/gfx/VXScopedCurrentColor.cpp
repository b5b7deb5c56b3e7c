#include "engine/gfx/VXScopedCurrentColor.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedCurrentColor::ScopedCurrentColor()
    {
        glGetFloatv(GL_CURRENT_COLOR, colour);
    }

    ScopedCurrentColor::~ScopedCurrentColor()
    {
        glColor4fv(colour);
    }
}
