#include "engine/gfx/VXScopedProgram.h"

#include "engine/gfx/VXRenderContext.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedProgram::ScopedProgram()
    {
        glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    }

    ScopedProgram::~ScopedProgram()
    {
        glUseProgram(static_cast<GLuint>(previous));
        if (RenderContext* cache = RenderContext::getCurrent())
            cache->assumeBoundShader(static_cast<unsigned int>(previous));
    }
}
