#include "engine/gfx/VXScopedDrawBufferBlends.h"

#include <epoxy/gl.h>

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
