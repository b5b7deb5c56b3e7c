#include "engine/gfx/VXScopedTextureBinding.h"

#include "engine/gfx/VXRenderContext.h"

#include <epoxy/gl.h>

namespace vx
{
    namespace
    {
        GLenum bindingQueryFor(GLenum target)
        {
            return target == GL_TEXTURE_RECTANGLE_ARB ? GL_TEXTURE_BINDING_RECTANGLE_ARB : GL_TEXTURE_BINDING_2D;
        }
    }

    ScopedTextureBinding::ScopedTextureBinding(unsigned int textureTarget, unsigned int texture) : target(textureTarget)
    {
        GLint binding = 0;
        glGetIntegerv(bindingQueryFor(target), &binding);
        if (static_cast<GLuint>(binding) == texture)
            return;
        previous = binding;
        glBindTexture(target, texture);
    }

    ScopedTextureBinding::~ScopedTextureBinding()
    {
        if (previous < 0)
            return;
        glBindTexture(target, static_cast<GLuint>(previous));
        if (target != GL_TEXTURE_2D)
            return;
        if (RenderContext* cache = RenderContext::getCurrent())
        {
            GLint active = GL_TEXTURE0;
            glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
            cache->assumeBound2DTexture(static_cast<unsigned long>(active - GL_TEXTURE0),
                                        static_cast<unsigned int>(previous));
        }
    }
}
