#include "platform/gl/VXContextEGL.h"

#include "support/gl/VXGLTestFixture.h"

#include <memory>
#include <thread>

namespace vx
{
    namespace
    {

        using ContextEGLGLTest = test::GLTest;
        using Native = ContextOSX::NativePimpl;

        TEST_F(ContextEGLGLTest, OffscreenContextsShareTheProcessDisplay)
        {
            std::unique_ptr<Native> native(Native::createOffscreen(nullptr));
            ASSERT_NE(native, nullptr);
            auto& egl = static_cast<ContextEGL&>(*native);
            EXPECT_TRUE(native->isCurrent()) << "made current on creation";
            EXPECT_EQ(egl.getDisplay(), ContextEGL::getSurfacelessDisplay());
            EXPECT_EQ(egl.getDisplay(), test::GLTestContext::getDisplay());

            EGLint width = 0, height = 0;
            eglQuerySurface(egl.getDisplay(), egl.getDrawSurface(), EGL_WIDTH, &width);
            eglQuerySurface(egl.getDisplay(), egl.getDrawSurface(), EGL_HEIGHT, &height);
            EXPECT_EQ(width, 64);
            EXPECT_EQ(height, 64);
            EXPECT_GE(test::getInteger(GL_DEPTH_BITS), 24);
            EXPECT_GE(test::getInteger(GL_STENCIL_BITS), 8);

            native->destroyNative();
            EXPECT_EQ(Native::getCurrentHandle(), nullptr) << "destroying a current context leaves nothing current";
            EXPECT_FALSE(native->makeCurrent());
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
        }

        TEST_F(ContextEGLGLTest, CurrentStateRoundTrip)
        {
            const auto saved = Native::getCurrentState();
            EXPECT_EQ(saved.context, test::GLTestContext::getContext());
            EXPECT_EQ(saved.drawSurface, test::GLTestContext::getSurface());

            EXPECT_TRUE(Native::clearCurrent());
            EXPECT_EQ(Native::getCurrentState().context, nullptr);
            EXPECT_TRUE(Native::clearCurrent()) << "clearing with nothing current is fine";
            EXPECT_TRUE(Native::restoreCurrentState(saved));
            EXPECT_TRUE(test::GLTestContext::isCurrent());
            EXPECT_EQ(eglGetCurrentSurface(EGL_READ), test::GLTestContext::getSurface());
        }

        TEST_F(ContextEGLGLTest, WrappingAContextCurrentElsewhereUsesNoSurface)
        {
            std::unique_ptr<Native> wrapped;
            std::thread(
                [&]
                {
                    // A new thread starts with the OpenGL ES API bound and nothing current.
                    EXPECT_EQ(Native::getCurrentHandle(), nullptr);
                    wrapped.reset(Native::wrap(test::GLTestContext::getContext()));
                })
                .join();
            ASSERT_NE(wrapped, nullptr);
            auto& egl = static_cast<ContextEGL&>(*wrapped);
            EXPECT_EQ(egl.getDrawSurface(), EGL_NO_SURFACE);
            EXPECT_TRUE(wrapped->isCurrent());
            wrapped->destroyNative();
            EXPECT_TRUE(test::GLTestContext::isCurrent()) << "a wrapped context is never destroyed";
        }

        TEST_F(ContextEGLGLTest, ActivationFailsWhileCurrentOnAnotherThread)
        {
            std::unique_ptr<Native> wrapped(Native::wrap(test::GLTestContext::getContext()));
            bool tookIt = true;
            std::thread([&] { tookIt = wrapped->makeCurrent(); }).join();
            EXPECT_FALSE(tookIt);
            EXPECT_TRUE(wrapped->isCurrent());
        }

    } // namespace
} // namespace vx
