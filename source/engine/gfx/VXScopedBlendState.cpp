#include "engine/gfx/VXScopedBlendState.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedBlendState::ScopedBlendState()
    {
        enabled = glIsEnabled(GL_BLEND) == GL_TRUE;
        glGetIntegerv(GL_BLEND_SRC_RGB, &sourceRGB);
        glGetIntegerv(GL_BLEND_DST_RGB, &destinationRGB);
        glGetIntegerv(GL_BLEND_SRC_ALPHA, &sourceAlpha);
        glGetIntegerv(GL_BLEND_DST_ALPHA, &destinationAlpha);
        glGetIntegerv(GL_BLEND_EQUATION_RGB, &equationRGB);
        glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &equationAlpha);
    }

    ScopedBlendState::~ScopedBlendState()
    {
        glBlendFuncSeparate(GLenum(sourceRGB), GLenum(destinationRGB), GLenum(sourceAlpha), GLenum(destinationAlpha));
        glBlendEquationSeparate(GLenum(equationRGB), GLenum(equationAlpha));
        if (enabled)
            glEnable(GL_BLEND);
        else
            glDisable(GL_BLEND);
    }
}
