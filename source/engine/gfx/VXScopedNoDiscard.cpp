#include "engine/gfx/VXScopedNoDiscard.h"

#include <epoxy/gl.h>

namespace vx
{
    namespace
    {
        bool hasSampleMask()
        {
            static const bool has = epoxy_gl_version() >= 32 || epoxy_has_gl_extension("GL_ARB_texture_multisample");
            return has;
        }
    }

    ScopedNoDiscard::ScopedNoDiscard()
    {
        if (epoxy_gl_version() >= 30)
        {
            rasterizerDiscard = glIsEnabled(GL_RASTERIZER_DISCARD) == GL_TRUE;
            if (rasterizerDiscard)
                glDisable(GL_RASTERIZER_DISCARD);
        }
        if (hasSampleMask())
        {
            sampleMask = glIsEnabled(GL_SAMPLE_MASK) == GL_TRUE;
            if (sampleMask)
                glDisable(GL_SAMPLE_MASK);
        }
    }

    ScopedNoDiscard::~ScopedNoDiscard()
    {
        if (rasterizerDiscard)
            glEnable(GL_RASTERIZER_DISCARD);
        if (sampleMask)
            glEnable(GL_SAMPLE_MASK);
    }
}
