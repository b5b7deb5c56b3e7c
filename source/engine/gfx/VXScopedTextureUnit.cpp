#include "engine/gfx/VXScopedTextureUnit.h"

#include "engine/gfx/VXRenderContext.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedTextureUnit::ScopedTextureUnit(unsigned int unitToUse) : unit(unitToUse), cache(RenderContext::getCurrent())
    {
        glGetIntegerv(GL_ACTIVE_TEXTURE, &previousActive);
        glActiveTexture(GL_TEXTURE0 + unit);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousBinding);
        wasEnabled = glIsEnabled(GL_TEXTURE_2D) == GL_TRUE;
        if (cache != nullptr)
            cache->assumeActiveSampler(unit);
    }

    ScopedTextureUnit::~ScopedTextureUnit()
    {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousBinding));
        if (wasEnabled)
            glEnable(GL_TEXTURE_2D);
        else
            glDisable(GL_TEXTURE_2D);
        glActiveTexture(static_cast<GLenum>(previousActive));
        if (cache != nullptr)
        {
            cache->assumeBound2DTexture(unit, static_cast<unsigned int>(previousBinding));
            cache->assumeActiveSampler(static_cast<unsigned int>(previousActive - GL_TEXTURE0));
        }
    }
}
