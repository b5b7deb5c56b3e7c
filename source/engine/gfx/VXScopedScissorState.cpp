#include "engine/gfx/VXScopedScissorState.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedScissorState::ScopedScissorState()
    {
        enabled = glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE;
        glGetIntegerv(GL_SCISSOR_BOX, box);
    }

    ScopedScissorState::~ScopedScissorState()
    {
        glScissor(box[0], box[1], box[2], box[3]);
        if (enabled)
            glEnable(GL_SCISSOR_TEST);
        else
            glDisable(GL_SCISSOR_TEST);
    }
}
