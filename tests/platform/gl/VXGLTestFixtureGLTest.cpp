#include "support/gl/VXGLTestFixture.h"

#include <gtest/gtest-spi.h>

namespace vx::test
{
    namespace
    {

        using GLTestFixtureGLTest = GLTest;

        TEST_F(GLTestFixtureGLTest, ContextIsCompatibilityProfileWithDefaultFramebuffer)
        {
            EXPECT_EQ(getInteger(GL_CONTEXT_PROFILE_MASK) & GL_CONTEXT_CORE_PROFILE_BIT, 0);
            EXPECT_GE(epoxy_gl_version(), 21);

            glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            EXPECT_EQ(readPixel(5, 5), (PixelRGBA8{255, 0, 0, 255}));
            glClearColor(0, 0, 0, 0);
        }

        TEST_F(GLTestFixtureGLTest, FramebufferHelperDrawsAndRestoresBinding)
        {
            {
                ScopedTestFramebuffer target(8, 4);
                glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
                glClear(GL_COLOR_BUFFER_BIT);
                glClearColor(0, 0, 0, 0);
                auto pixels = readTexture(GL_TEXTURE_2D, target.getTexture());
                ASSERT_EQ(pixels.size(), 32u);
                EXPECT_EQ(pixels[31], (PixelRGBA8{0, 0, 255, 255}));
            }
            EXPECT_EQ(getInteger(GL_FRAMEBUFFER_BINDING), 0);
        }

        TEST_F(GLTestFixtureGLTest, UnexpectedErrorFailsTheTest)
        {
            EXPECT_NONFATAL_FAILURE(
                {
                    glBindTexture(GL_TEXTURE_2D, 0);
                    glEnable(GL_TEXTURE_BINDING_2D); // not a capability
                },
                "unexpected GL error");
            while (glGetError() != GL_NO_ERROR)
            {
            }
        }

        TEST_F(GLTestFixtureGLTest, ExpectedErrorIsCountedAndCleared)
        {
            {
                ScopedExpectGLError expect(GL_INVALID_ENUM);
                glEnable(GL_TEXTURE_BINDING_2D);
                EXPECT_EQ(expect.getCount(), 1);
            }
            EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

            EXPECT_NONFATAL_FAILURE({ ScopedExpectGLError expect(GL_INVALID_VALUE); }, "was not raised");
        }

        TEST_F(GLTestFixtureGLTest, CallCounterCountsAndRestoresDispatch)
        {
            auto* before = epoxy_glBindTexture;
            {
                GLCallCounter<&epoxy_glBindTexture> binds("glBindTexture");
                glBindTexture(GL_TEXTURE_2D, 0);
                glBindTexture(GL_TEXTURE_2D, 0);
                EXPECT_EQ(binds.count(), 2);
            }
            EXPECT_EQ(epoxy_glBindTexture, before);
        }

        TEST_F(GLTestFixtureGLTest, LeakedStateIsReported)
        {
            GLuint texture = 0;
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            EXPECT_NONFATAL_FAILURE(GLTest::TearDown(), "GL_TEXTURE_BINDING_2D");
            EXPECT_EQ(getInteger(GL_TEXTURE_BINDING_2D), 0);
            glDeleteTextures(1, &texture);
        }

    } // namespace
} // namespace vx::test
