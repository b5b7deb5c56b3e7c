#include "engine/gfx/VXGfxInfo.h"

#include "engine/gfx/VXContext.h"
#include "support/gl/VXGLTestFixture.h"

#include <memory>

namespace vx
{
    namespace
    {

        using GfxInfoGLTest = test::GLTest;

        TEST_F(GfxInfoGLTest, FillsFromTheCurrentContext)
        {
            GfxInfo::filloutGfxInfo();
            EXPECT_GE(GfxInfo::VX_GL_VERSION_F, 2.1f);
            const GLint renderbufferSize = test::getInteger(GL_MAX_RENDERBUFFER_SIZE);
            EXPECT_EQ(GfxInfo::VX_MAX_TEXTURE_SIZE, renderbufferSize);
        }

        TEST_F(GfxInfoGLTest, ExtensionListOutlivesItsContext)
        {
            {
                std::unique_ptr<Context> other(Context::createOffscreenContext(false, 5, nullptr));
                ASSERT_NE(other, nullptr);
                ASSERT_TRUE(other->activate());
                EXPECT_TRUE(GfxInfo::isExtensionAvailable("GL_ARB_texture_non_power_of_two"));
            }
            test::GLTestContext::release();
            EXPECT_TRUE(GfxInfo::isExtensionAvailable("GL_EXT_framebuffer_object"))
                << "answered from the copy, with no context at all";
            EXPECT_FALSE(GfxInfo::isExtensionAvailable("GL_no_such_extension"));
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
        }

        TEST(GfxInfoTest, ExtensionNamesMatchWhole)
        {
            EXPECT_FALSE(
                GfxInfo::extensionListContains("GL_EXT_framebuffer_object_extended", "GL_EXT_framebuffer_object"));
            EXPECT_FALSE(
                GfxInfo::extensionListContains("GL_ARB_a GL_EXT_framebuffer_objec", "GL_EXT_framebuffer_object"));
            EXPECT_TRUE(GfxInfo::extensionListContains("GL_ARB_a GL_EXT_framebuffer_object GL_ARB_b",
                                                       "GL_EXT_framebuffer_object"));
            EXPECT_TRUE(GfxInfo::extensionListContains("GL_ARB_a GL_ARB_b ", "GL_ARB_b"));
            EXPECT_FALSE(GfxInfo::extensionListContains("GL_ARB_a  GL_ARB_b", ""));
        }

    } // namespace
} // namespace vx
