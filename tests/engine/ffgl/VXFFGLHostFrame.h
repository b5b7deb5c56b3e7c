#pragma once

// What an FFGL host hands a plugin each frame, for the layer's GL tests: an
// input texture filled with one colour, a framebuffer to draw into (bound
// while the frame lives), the records that describe them, and a snapshot of
// the GL state a plugin must leave as it found it.

#include "engine/ffgl/FFGL.h"
#include "support/gl/VXGLTestFixture.h"

#include <array>
#include <memory>
#include <ostream>

namespace vx::test
{
    class FFGLHostFrame
    {
    public:
        FFGLHostFrame(int width, int height, float red, float green, float blue)
            : input(std::make_unique<ScopedTestFramebuffer>(width, height))
        {
            clearTo(red, green, blue, 1.0f);
            output = std::make_unique<ScopedTestFramebuffer>(width, height);
            clearTo(0.0f, 0.0f, 0.0f, 0.0f);

            const auto w = static_cast<std::uint32_t>(width);
            const auto h = static_cast<std::uint32_t>(height);
            texture = { w, h, w, h, input->getTexture() };
            textures[0] = &texture;
            record.numInputTextures = 1;
            record.inputTextures = textures;
            record.HostFBO = output->getFramebuffer();
            viewport = { 0, 0, w, h };
        }

        ~FFGLHostFrame()
        {
            output.reset();
            input.reset();
        }

        FFGL::Word recordWord() { return FFGL::fromPointer(&record); }
        FFGL::Word viewportWord() { return FFGL::fromPointer(&viewport); }

        std::unique_ptr<ScopedTestFramebuffer> input;
        std::unique_ptr<ScopedTestFramebuffer> output;
        FFGLTextureStruct texture {};
        FFGLTextureStruct* textures[1] {};
        ProcessOpenGLStructTag record {};
        FFGLViewportStructTag viewport {};
    };

    // The host state a frame must not change.
    struct HostGLState
    {
        std::array<GLint, 4> viewport {};
        GLint matrixMode = 0;
        std::array<GLfloat, 16> modelview {}, projection {}, textureMatrix {};
        GLint drawFramebuffer = 0, readFramebuffer = 0, program = 0, activeTexture = 0, arrayBuffer = 0;
        GLboolean blend = GL_FALSE, depthTest = GL_FALSE, scissorTest = GL_FALSE, texture2D = GL_FALSE;
        GLboolean vertexArray = GL_FALSE;
        GLint blendSource = 0, blendDestination = 0;
        std::array<GLfloat, 4> clearColor {};

        static HostGLState capture()
        {
            HostGLState s;
            glGetIntegerv(GL_VIEWPORT, s.viewport.data());
            glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
            glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview.data());
            glGetFloatv(GL_PROJECTION_MATRIX, s.projection.data());
            glGetFloatv(GL_TEXTURE_MATRIX, s.textureMatrix.data());
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.drawFramebuffer);
            glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &s.readFramebuffer);
            glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
            glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
            glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s.arrayBuffer);
            s.blend = glIsEnabled(GL_BLEND);
            s.depthTest = glIsEnabled(GL_DEPTH_TEST);
            s.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
            s.texture2D = glIsEnabled(GL_TEXTURE_2D);
            s.vertexArray = glIsEnabled(GL_VERTEX_ARRAY);
            glGetIntegerv(GL_BLEND_SRC_RGB, &s.blendSource);
            glGetIntegerv(GL_BLEND_DST_RGB, &s.blendDestination);
            glGetFloatv(GL_COLOR_CLEAR_VALUE, s.clearColor.data());
            return s;
        }

        bool operator==(const HostGLState&) const = default;
    };

    inline std::ostream& operator<<(std::ostream& out, const HostGLState& s)
    {
        return out << "viewport " << s.viewport[0] << "," << s.viewport[1] << "," << s.viewport[2] << ","
                   << s.viewport[3] << " mode " << s.matrixMode << " proj[0] " << s.projection[0] << " tex[12] "
                   << s.textureMatrix[12] << " fbo " << s.drawFramebuffer << "/" << s.readFramebuffer << " program "
                   << s.program << " unit " << s.activeTexture << " blend " << int(s.blend) << " vertexArray "
                   << int(s.vertexArray) << " texture2D " << int(s.texture2D) << " clear " << s.clearColor[0] << ","
                   << s.clearColor[1] << "," << s.clearColor[2] << "," << s.clearColor[3];
    }
}
