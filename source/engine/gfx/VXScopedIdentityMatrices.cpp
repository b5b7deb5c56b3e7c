#include "engine/gfx/VXScopedIdentityMatrices.h"

#include <epoxy/gl.h>

#include <initializer_list>

namespace vx
{
    ScopedIdentityMatrices::ScopedIdentityMatrices()
    {
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
        glActiveTexture(GL_TEXTURE0);
        glGetFloatv(GL_TEXTURE_MATRIX, texture);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
        for (const GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW})
        {
            glMatrixMode(mode);
            glLoadIdentity();
        }
    }

    ScopedIdentityMatrices::~ScopedIdentityMatrices()
    {
        glActiveTexture(GL_TEXTURE0);
        glMatrixMode(GL_TEXTURE);
        glLoadMatrixf(texture);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(modelview);
        glMatrixMode(static_cast<GLenum>(matrixMode));
        glActiveTexture(static_cast<GLenum>(activeTexture));
    }
}
