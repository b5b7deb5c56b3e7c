#include "engine/gfx/VXScopedTransformFeedbackPause.h"

#include <epoxy/gl.h>

namespace vx
{
    ScopedTransformFeedbackPause::ScopedTransformFeedbackPause()
    {
        static const bool canPause = epoxy_gl_version() >= 40 || epoxy_has_gl_extension("GL_ARB_transform_feedback2");
        if (! canPause)
            return;
        GLint active = GL_FALSE, alreadyPaused = GL_FALSE;
        glGetIntegerv(GL_TRANSFORM_FEEDBACK_ACTIVE, &active);
        glGetIntegerv(GL_TRANSFORM_FEEDBACK_PAUSED, &alreadyPaused);
        if (active == GL_FALSE || alreadyPaused == GL_TRUE)
            return;
        glPauseTransformFeedback();
        paused = true;
    }

    ScopedTransformFeedbackPause::~ScopedTransformFeedbackPause()
    {
        if (paused)
            glResumeTransformFeedback();
    }
}
