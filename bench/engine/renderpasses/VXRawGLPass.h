#pragma once

// What the catalogue benchmarks' raw-GL baselines share: a framebuffer over a
// texture, the unit quad on the engine's attributes, the end of a frame, and
// a count of GL object creations.

#include <epoxy/gl.h>

#include "../gfx/VXBenchGLContext.h"

namespace vx::bench
{
    // Every GL object creation while in scope.
    struct GLCreationCounter
    {
        CallCounter<&epoxy_glGenTextures> textures{"glGenTextures"};
        CallCounter<&epoxy_glGenFramebuffers> framebuffers{"glGenFramebuffers"};
        CallCounter<&epoxy_glGenRenderbuffers> renderbuffers{"glGenRenderbuffers"};
        CallCounter<&epoxy_glGenBuffers> buffers{"glGenBuffers"};
        CallCounter<&epoxy_glCreateShader> shaders{"glCreateShader"};
        CallCounter<&epoxy_glCreateProgram> programs{"glCreateProgram"};

        long total() const
        {
            return textures.calls + framebuffers.calls + renderbuffers.calls + buffers.calls + shaders.calls +
                   programs.calls;
        }
    };

    // A framebuffer over an RGBA8 texture of the given size, made once.
    struct RawTarget
    {
        RawTarget(int w, int h) : width(w), height(h)
        {
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
            glGenFramebuffers(1, &framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
        }
        ~RawTarget()
        {
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteTextures(1, &texture);
        }
        RawTarget(const RawTarget&) = delete;
        RawTarget& operator=(const RawTarget&) = delete;

        void bind() const
        {
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glViewport(0, 0, width, height);
        }

        int width, height;
        GLuint texture = 0, framebuffer = 0;
    };

    // The unit quad on the engine's attributes (0 position, 2 coordinates),
    // mapped onto clip space by WorldViewProj = unitToClip.
    inline void drawTransformQuad()
    {
        static const float corners[8] = {0, 0, 0, 1, 1, 1, 1, 0};
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, corners);
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 0, corners);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glDisableVertexAttribArray(0);
        glDisableVertexAttribArray(2);
    }

    inline constexpr float unitToClip[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, -1, -1, 0, 1};

    // Unbinds what a baseline frame bound and waits for the GPU.
    inline void endRawFrame()
    {
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, 0);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glUseProgram(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glFinish();
    }
}
