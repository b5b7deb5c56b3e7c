#pragma once

// What an FFGL host hands a plugin each frame, for the layer's GL tests: an
// input texture filled with one colour, a framebuffer to draw into (bound
// while the frame lives), the records that describe them, and a snapshot of
// the GL state a plugin must leave as it found it (the host tool's own).

#include "engine/ffgl/FFGL.h"
#include "support/gl/VXGLTestFixture.h"
#include "vxffglhost/VXHostGLState.h"

#include <memory>

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
            texture = {w, h, w, h, input->getTexture()};
            textures[0] = &texture;
            record.numInputTextures = 1;
            record.inputTextures = textures;
            record.HostFBO = output->getFramebuffer();
            viewport = {0, 0, w, h};
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
        FFGLTextureStruct texture{};
        FFGLTextureStruct* textures[1]{};
        ProcessOpenGLStructTag record{};
        FFGLViewportStructTag viewport{};
    };

    // The host state a frame must not change: compare with differencesTo,
    // which names each entry that moved.
    using HostGLState = vx::host::HostGLState;
}
