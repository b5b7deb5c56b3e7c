#include "engine/gfx/VXScopedNoSamplers.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedNoSamplers::ScopedNoSamplers(unsigned int units)
    {
        static const bool samplerObjects = epoxy_gl_version() >= 33 || epoxy_has_gl_extension("GL_ARB_sampler_objects");
        if (! samplerObjects)
            return;
        GLint active = GL_TEXTURE0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        for (unsigned int unit = 0; unit < units; ++unit)
        {
            glActiveTexture(GL_TEXTURE0 + unit);
            GLint sampler = 0;
            glGetIntegerv(GL_SAMPLER_BINDING, &sampler);
            if (sampler == 0)
                continue;
            unbound.emplace_back(unit, static_cast<unsigned int>(sampler));
            glBindSampler(unit, 0);
        }
        glActiveTexture(static_cast<GLenum>(active));
    }

    ScopedNoSamplers::~ScopedNoSamplers()
    {
        for (const auto& [unit, sampler] : unbound)
            glBindSampler(unit, sampler);
    }
}
