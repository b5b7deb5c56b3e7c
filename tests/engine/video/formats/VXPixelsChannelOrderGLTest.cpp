#include "engine/video/formats/VXPixelsUtils.h"

#include <memory>
#include <vector>

#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"

namespace vx::test
{
    namespace
    {
        // The test's context registered as the engine's primary one, with its
        // renderer and built-in programs.
        class ChannelOrderGLTest : public RenderTargetGLTest
        {
        protected:
            void SetUp() override
            {
                RenderTargetGLTest::SetUp();
                glGetIntegerv(GL_VIEWPORT, viewport);
                Renderer::installContextHooks();
                primary = root->getContextManager()->addContext(GLTestContext::getContext(), 0, 0, true, true);
                ASSERT_NE(primary, nullptr);
                ASSERT_NE(root->getPrimaryRenderer(), nullptr);
                ASSERT_TRUE(primary->isRendererInitialized());
                ASSERT_TRUE(GLTestContext::isCurrent());
            }
            void TearDown() override
            {
                if (primary != nullptr)
                    root->getContextManager()->removeContext(primary);
                primary.reset();
                if (! GLTestContext::isCurrent())
                    GLTestContext::makeCurrent();
                glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
                RenderTargetGLTest::TearDown();
            }

            std::shared_ptr<Context> primary;
            GLint viewport[4] = {};
        };
    }

    TEST_F(ChannelOrderGLTest, SwapsRedAndBlueOrMovesAlphaFirst)
    {
        const std::vector<unsigned char> pixel{10, 20, 30, 255, 40, 50, 60, 255};
        Texture texture;
        ASSERT_TRUE(texture.create(pixel.data(), 2, 1, Texture::RGBA8));

        std::unique_ptr<Pixels> swapped(
            PixelsUtils::textureToPixels(&texture, 4, PixelsUtils::swapRedBlue, false, true));
        ASSERT_NE(swapped, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(swapped->data, swapped->data + 8),
                  (std::vector<unsigned char>{30, 20, 10, 255, 60, 50, 40, 255}));

        std::unique_ptr<Pixels> alpha(PixelsUtils::textureToPixels(&texture, 4, PixelsUtils::alphaFirst, false, true));
        ASSERT_NE(alpha, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(alpha->data, alpha->data + 4),
                  (std::vector<unsigned char>{255, 10, 20, 30}));

        EXPECT_EQ(getInteger(GL_CURRENT_PROGRAM), 0) << "the program is unbound afterwards";
    }
}
