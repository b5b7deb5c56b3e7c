#include "engine/gfx/VXScopedDrawBufferBlends.h"

#include <epoxy/gl.h>

#include <algorithm>

namespace vx
{
    ScopedDrawBufferBlends::ScopedDrawBufferBlends()
    {
        static const bool perBuffer = epoxy_gl_version() >= 40 || epoxy_has_gl_extension("GL_ARB_draw_buffers_blend");
        if (! perBuffer)
            return;
        GLint count = 0;
        glGetIntegerv(GL_MAX_DRAW_BUFFERS, &count);
        buffers.resize(static_cast<std::size_t>(count > 0 ? count : 0));
        for (GLuint i = 0; i < buffers.size(); ++i)
        {
            Blend& blend = buffers[i];
            blend.enabled = glIsEnabledi(GL_BLEND, i) == GL_TRUE;
            glGetIntegeri_v(GL_BLEND_SRC_RGB, i, &blend.sourceRGB);
            glGetIntegeri_v(GL_BLEND_DST_RGB, i, &blend.destinationRGB);
            glGetIntegeri_v(GL_BLEND_SRC_ALPHA, i, &blend.sourceAlpha);
            glGetIntegeri_v(GL_BLEND_DST_ALPHA, i, &blend.destinationAlpha);
            glGetIntegeri_v(GL_BLEND_EQUATION_RGB, i, &blend.equationRGB);
            glGetIntegeri_v(GL_BLEND_EQUATION_ALPHA, i, &blend.equationAlpha);
        }
        // Alike in all but being on, the buffers come back from the pop.
        const auto sameAsFirst = [this](const Blend& blend)
        {
            const Blend& first = buffers.front();
            return blend.sourceRGB == first.sourceRGB && blend.destinationRGB == first.destinationRGB &&
                   blend.sourceAlpha == first.sourceAlpha && blend.destinationAlpha == first.destinationAlpha &&
                   blend.equationRGB == first.equationRGB && blend.equationAlpha == first.equationAlpha;
        };
        if (std::all_of(buffers.begin(), buffers.end(), sameAsFirst))
            buffers.clear();
    }

    ScopedDrawBufferBlends::~ScopedDrawBufferBlends()
    {
        for (GLuint i = 0; i < buffers.size(); ++i)
        {
            const Blend& blend = buffers[i];
            glBlendFuncSeparatei(i, GLenum(blend.sourceRGB), GLenum(blend.destinationRGB), GLenum(blend.sourceAlpha),
                                 GLenum(blend.destinationAlpha));
            glBlendEquationSeparatei(i, GLenum(blend.equationRGB), GLenum(blend.equationAlpha));
            if (blend.enabled)
                glEnablei(GL_BLEND, i);
            else
                glDisablei(GL_BLEND, i);
        }
    }
}
