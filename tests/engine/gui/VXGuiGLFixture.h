#pragma once

// The fixture of the GUI layer's GL tests: the shared context wrapped as the
// host's, with its renderer, a test framebuffer in pixel space (y down, origin
// top left) and the fixed-function matrices the views draw through.

#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"

#include <memory>

namespace vx::test
{
    class GuiGLTest : public GLTest
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
            host = std::make_unique<ScopedHostRenderer>(manager);
            renderer = host->renderer;
            ASSERT_NE(renderer, nullptr);
            Fonts::initialize();
        }

        void TearDown() override
        {
            Fonts::release();
            target.reset();
            gfx::setIdentityTransform();
            host.reset();
            GLTest::TearDown();
        }

        // A cleared size x size target with pixel-space projection, both for
        // the fixed-function pipeline and (world identity) for the renderer.
        void beginPixelSpace(int width, int height, const Color& clear = Color::black)
        {
            target = std::make_unique<ScopedTestFramebuffer>(width, height);
            renderer->setViewport(RectT<float>(0.0f, 0.0f, float(width), float(height)));
            gfx::setOrtho(float(width), float(height));
            renderer->updateMatricesFromFFP();
            clearTo(clear.r, clear.g, clear.b, clear.a);
            targetHeight = height;
        }

        // Pixel (x, y) of the pixel space; read-back rows go bottom-up.
        PixelRGBA8 at(int x, int y) const { return readPixel(x, targetHeight - 1 - y); }

        static PixelRGBA8 rgba(const Color& c)
        {
            return {uint8_t(c.r * 255.0f + 0.5f), uint8_t(c.g * 255.0f + 0.5f), uint8_t(c.b * 255.0f + 0.5f),
                    uint8_t(c.a * 255.0f + 0.5f)};
        }

        ContextManager manager;
        std::unique_ptr<ScopedHostRenderer> host;
        Renderer* renderer = nullptr;
        std::unique_ptr<ScopedTestFramebuffer> target;
        int targetHeight = 0;
    };
}
