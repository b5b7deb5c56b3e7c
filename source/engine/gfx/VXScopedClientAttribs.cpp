#include "engine/gfx/VXScopedClientAttribs.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedClientAttribs::ScopedClientAttribs(unsigned int mask)
    {
        glPushClientAttrib(mask);
    }

    ScopedClientAttribs::~ScopedClientAttribs()
    {
        glPopClientAttrib();
    }
}
