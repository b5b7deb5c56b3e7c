// The engine root's GL start-up and release on real headless GL.

#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTextureManager.h"

#include "support/gl/VXGLTestFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
    using namespace vx;

    class VexkitGLTest : public test::GLTest
    {
    protected:
        void TearDown() override
        {
            if (Vexkit* root = Vexkit::getInstanceWithoutCreating())
            {
                // The managers' GL names go with the test's context current.
                ASSERT_TRUE(test::GLTestContext::makeCurrent());
                root->shutdown();
            }
            Vexkit::deleteInstance();
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
            GLTest::TearDown();
        }
    };

    TEST_F(VexkitGLTest, InitialiseWithGLStartsAnOffscreenPrimary)
    {
        Vexkit* root = Vexkit::create(3);
        ASSERT_TRUE(root->initialise(true));
        ASSERT_EQ(root->getContextManager()->getNumContexts(), 1);
        const auto primary = root->getContextManager()->getPrimaryContext();
        ASSERT_NE(primary, nullptr);
        EXPECT_NE(primary->getNativeContext(), test::GLTestContext::getContext());
        EXPECT_TRUE(root->isInitialised());
        EXPECT_NE(root->getPrimaryRenderer(), nullptr);
        EXPECT_GT(GfxInfo::VX_MAX_TEXTURE_SIZE, 0);
        EXPECT_NE(root->getTextureManager()->getWhiteTexture(), nullptr);

        root->release();
        EXPECT_FALSE(root->isInitialised());
        EXPECT_EQ(root->getTextureManager()->getWhiteTexture(), nullptr);
    }

    TEST_F(VexkitGLTest, SystemInfoIsDrawnOnTheHostsContext)
    {
        Vexkit* root = Vexkit::create(3);
        ASSERT_TRUE(root->initialise(false));
        root->getContextManager()->addContext(test::GLTestContext::getContext(), 0, 0, true, true);
        root->init();
        ASSERT_TRUE(root->isInitialised());
        Renderer* renderer = root->getPrimaryRenderer();
        ASSERT_NE(renderer, nullptr);

        {
            test::ScopedTestFramebuffer target(256, 64);
            test::clearTo(0.0f, 0.0f, 0.0f, 1.0f);
            renderer->setViewport(RectT<float>(0.0f, 0.0f, 256.0f, 64.0f));
            renderer->setupGuiMatrices(1.0f);
            root->drawSystemInfo(*renderer, 4.0f, 4.0f);
            renderer->getRenderContext().unbindAll();
            glDisable(GL_TEXTURE_2D); // binding enables it; a host finds it as it left it

            const auto pixels = test::readPixels(0, 0, 256, 64);
            const auto lit =
                std::count_if(pixels.begin(), pixels.end(),
                              [](const test::PixelRGBA8& p) { return p.r > 128 && p.r == p.g && p.g == p.b; });
            EXPECT_GT(lit, 50) << "three lines of white text";
        }
        glViewport(0, 0, test::GLTestContext::defaultFramebufferSize, test::GLTestContext::defaultFramebufferSize);

        root->release();
        root->getContextManager()->removeContext(test::GLTestContext::getContext());
        EXPECT_TRUE(test::GLTestContext::isCurrent()) << "the host's context stays current";
    }
}
