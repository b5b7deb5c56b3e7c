#include "engine/devices/VXScreenCaptureWrapper.h"

#include <gtest/gtest.h>

#include "core/VXTime.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "engine/gfx/VXTexture.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        // Top row red at half coverage, the rest opaque blue with x in green.
        uint32_t picture(int x, int y)
        {
            if (y == 0)
                return 0xFF000080u;
            return 0x000000FFu | (uint32_t(x * 10) << 16) | (0xFFu << 8);
        }

        class ScreenCaptureWrapperGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                graphics = ScriptedCoreGraphics::install();
                graphics->setWindows({windowEntry(12, "Preview", "photo", 55)});
                graphics->setWindowImage(12, makeImage(6, 4, 32, cg::ImageLayout::premultipliedBGRA, &picture));
                wrapper.setWindowId(12);
                updateTime(10000.0);
            }

            void TearDown() override
            {
                texture.release();
                ScriptedCoreGraphics::uninstall();
                GLTest::TearDown();
            }

            std::vector<PixelRGBA8> texels() { return readTexture(GL_TEXTURE_2D, texture.getGLName()); }

            std::shared_ptr<ScriptedCoreGraphics> graphics;
            ScreenCaptureWrapper wrapper;
            Texture texture;
        };

        TEST_F(ScreenCaptureWrapperGLTest, GrabsAreSpacedBy40MsOfEngineTime)
        {
            EXPECT_TRUE(wrapper.grab(&texture));
            updateTime(10010.0);
            EXPECT_FALSE(wrapper.grab(&texture));
            EXPECT_EQ(graphics->getNumImagesMade(), 1) << "a refused grab asks for no image";
            updateTime(10040.0);
            EXPECT_TRUE(wrapper.grab(&texture));
            EXPECT_EQ(graphics->getNumImagesMade(), 2);
        }

        TEST_F(ScreenCaptureWrapperGLTest, PixelsArePremultipliedRGBAWithTheTopRowFirst)
        {
            ASSERT_TRUE(wrapper.grab(&texture));
            ASSERT_EQ(texture.getWidth(), 6);
            ASSERT_EQ(texture.getHeight(), 4);
            EXPECT_EQ(texture.getFormat(), Texture::RGBA8);
            const std::vector<PixelRGBA8> read = texels();
            const int stride = texture.getHardwareWidth();
            EXPECT_EQ(read[0], (PixelRGBA8{128, 0, 0, 128}));
            EXPECT_EQ(read[5], (PixelRGBA8{128, 0, 0, 128}));
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(read[size_t(3 * stride + x)], (PixelRGBA8{0, uint8_t(x * 10), 255, 255})) << x;
        }

        TEST_F(ScreenCaptureWrapperGLTest, StraightAlphaImagesArePremultiplied)
        {
            graphics->setWindowImage(
                12, makeImage(2, 1, 8, cg::ImageLayout::straightRGBA, [](int, int) { return 0xC8643280u; }));
            ASSERT_TRUE(wrapper.grab(&texture));
            EXPECT_TRUE(isNear(texels()[0], PixelRGBA8{100, 50, 25, 128}, 1)) << texels()[0];
        }

        TEST_F(ScreenCaptureWrapperGLTest, TheTextureIsReusedAtOneSizeAndRemadeWhenTheWindowResizes)
        {
            ASSERT_TRUE(wrapper.grab(&texture));
            const unsigned int name = texture.getGLName();
            updateTime(10100.0);
            ASSERT_TRUE(wrapper.grab(&texture));
            EXPECT_EQ(texture.getGLName(), name);

            graphics->setWindowImage(12, makeImage(9, 7, 36, cg::ImageLayout::premultipliedBGRA, &picture));
            updateTime(10200.0);
            ASSERT_TRUE(wrapper.grab(&texture));
            EXPECT_EQ(texture.getWidth(), 9);
            EXPECT_EQ(texture.getHeight(), 7);
            const std::vector<PixelRGBA8> read = texels();
            EXPECT_EQ(read[size_t(6 * texture.getHardwareWidth() + 8)], (PixelRGBA8{0, 80, 255, 255}));
        }

        TEST_F(ScreenCaptureWrapperGLTest, AVanishedWindowLeavesTheTextureUntouched)
        {
            ASSERT_TRUE(wrapper.grab(&texture));
            const unsigned int name = texture.getGLName();
            const std::vector<PixelRGBA8> before = texels();
            graphics->setWindowImage(12, nullptr);
            updateTime(10100.0);
            EXPECT_FALSE(wrapper.grab(&texture));
            EXPECT_EQ(texture.getGLName(), name);
            EXPECT_EQ(texels(), before);
        }
    }
}
