#include "engine/gfx/VXScopedRenderState.h"

#include "engine/gfx/VXRenderContext.h"

#include <epoxy/gl.h>

namespace vx
{
    namespace
    {
        constexpr GLenum matrixModes[] = {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW};
    }

    ScopedRenderState::ScopedRenderState(RenderContext& bindingCache)
        : cache(bindingCache), arrayBuffer(GL_ARRAY_BUFFER, GL_ARRAY_BUFFER_BINDING),
          elementBuffer(GL_ELEMENT_ARRAY_BUFFER, GL_ELEMENT_ARRAY_BUFFER_BINDING),
          packBuffer(GL_PIXEL_PACK_BUFFER, GL_PIXEL_PACK_BUFFER_BINDING),
          unpackBuffer(GL_PIXEL_UNPACK_BUFFER, GL_PIXEL_UNPACK_BUFFER_BINDING), clientState(GL_CLIENT_ALL_ATTRIB_BITS),
          textures(bindingCache.getNumTextureUnits(), 0u)
    {
        glGetIntegerv(GL_CURRENT_PROGRAM, &currentProgram);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
        activeUnit -= GL_TEXTURE0;
        for (size_t unit = 0; unit < textures.size(); ++unit)
        {
            GLint name = 0;
            glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
            textures[unit] = static_cast<unsigned int>(name);
        }
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + activeUnit));

        glPushAttrib(GL_ALL_ATTRIB_BITS);
        for (const GLenum mode : matrixModes)
        {
            glMatrixMode(mode);
            glPushMatrix();
        }
        // The scope binds through the cache, which must start from the truth
        // whatever the caller bound around it.
        recordInCache();
    }

    ScopedRenderState::~ScopedRenderState()
    {
        // The texture matrix pushed was that of the unit active on entry.
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + activeUnit));
        for (const GLenum mode : matrixModes)
        {
            glMatrixMode(mode);
            glPopMatrix();
        }
        // Before the attributes: the draw and read buffers they restore are
        // valid only for the caller's framebuffer.
        framebuffers.restore();
        glPopAttrib();
        recordInCache();
        // The members then put back buffers, client state and program, and
        // last the colour (which the pop alone may not keep).
    }

    void ScopedRenderState::recordInCache() const
    {
        for (size_t unit = 0; unit < textures.size(); ++unit)
            cache.assumeBound2DTexture(unit, textures[unit]);
        cache.assumeActiveSampler(static_cast<unsigned int>(activeUnit));
        cache.assumeBoundShader(static_cast<unsigned int>(currentProgram));
    }
}
