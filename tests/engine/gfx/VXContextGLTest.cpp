#include "engine/gfx/VXContext.h"

#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXContextOSX.h"
#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace vx
{
    namespace
    {

        // Stands in for the renderer behind the opaque pointer contexts hold: owns
        // one GL texture made in its context.
        struct FakeRenderer
        {
            void* context = nullptr;
            GLuint texture = 0;
        };

        FakeRenderer* fake(Renderer* r)
        {
            return reinterpret_cast<FakeRenderer*>(r);
        }

        struct RendererLog
        {
            int created = 0, initialised = 0, destroyed = 0;
            // What the last destroy was told, and whether its own context was
            // in fact current then (only then may it touch GL).
            bool toldCurrent = false, ownContextCurrent = false;
            bool textureStillThere = false;
        };
        RendererLog rendererLog;

        Context::RendererHooks countingHooks()
        {
            Context::RendererHooks hooks;
            hooks.create = [](Context& context)
            {
                ++rendererLog.created;
                return reinterpret_cast<Renderer*>(new FakeRenderer{context.getNativeContext()});
            };
            hooks.initialize = [](Renderer& renderer, ContextProfile)
            {
                auto* r = fake(&renderer);
                ++rendererLog.initialised;
                glGenTextures(1, &r->texture);
                glBindTexture(GL_TEXTURE_2D, r->texture);
                glBindTexture(GL_TEXTURE_2D, 0);
                return Context::getCurrentNativeContext() == r->context;
            };
            hooks.destroy = [](Renderer* renderer, bool current)
            {
                auto* r = fake(renderer);
                ++rendererLog.destroyed;
                rendererLog.toldCurrent = current;
                rendererLog.ownContextCurrent = Context::getCurrentNativeContext() == r->context;
                if (current && rendererLog.ownContextCurrent)
                {
                    rendererLog.textureStillThere = glIsTexture(r->texture);
                    glDeleteTextures(1, &r->texture);
                }
                delete r;
            };
            return hooks;
        }

        class ContextGLTest : public test::GLTest
        {
        protected:
            void TearDown() override
            {
                Context::rendererHooks = {};
                rendererLog = {};
                test::GLTest::TearDown();
            }

            // The fixture's context, as the host's context is wrapped.
            std::shared_ptr<Context> wrapHost(ContextManager& manager)
            {
                return manager.addContext(test::GLTestContext::getContext(), 0, 1, true, true);
            }
        };

        TEST_F(ContextGLTest, OffscreenContextIsMadeAndLeavesTheCallersContextCurrent)
        {
            std::unique_ptr<Context> context(Context::createOffscreenContext(true, 7, nullptr));
            ASSERT_NE(context, nullptr);
            EXPECT_EQ(context->getId(), 0u) << "the primary context is id 0";
            EXPECT_TRUE(test::GLTestContext::isCurrent());
            EXPECT_FALSE(context->isActive());

            std::unique_ptr<Context> secondary(Context::createOffscreenContext(false, 7, nullptr));
            ASSERT_NE(secondary, nullptr);
            EXPECT_EQ(secondary->getId(), 7u);
            EXPECT_NE(secondary->getNativeContext(), context->getNativeContext());

            ASSERT_TRUE(context->activate());
            test::installDebugCallback();
            GLint viewport[4] = {};
            glGetIntegerv(GL_VIEWPORT, viewport);
            EXPECT_NE(test::getInteger(GL_CONTEXT_PROFILE_MASK) & GL_CONTEXT_COMPATIBILITY_PROFILE_BIT, 0);
            EXPECT_EQ(viewport[2], 64);
            glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            EXPECT_EQ(test::readPixel(63, 63), (test::PixelRGBA8{0, 0, 255, 255}));
            EXPECT_TRUE(context->swapBuffers());
            EXPECT_TRUE(context->setSwapInterval(0));
            EXPECT_TRUE(Context::deactivate());
            EXPECT_EQ(Context::getCurrentNativeContext(), nullptr);
            EXPECT_FALSE(context->swapBuffers()) << "not current";
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
        }

        TEST_F(ContextGLTest, OffscreenContextSharesObjectsWithTheGivenContext)
        {
            ContextManager manager;
            auto host = wrapHost(manager);
            GLuint texture = 0;
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glBindTexture(GL_TEXTURE_2D, 0);

            std::unique_ptr<Context> shared(Context::createOffscreenContext(false, 2, host.get()));
            std::unique_ptr<Context> alone(Context::createOffscreenContext(false, 3, nullptr));
            ASSERT_NE(shared, nullptr);
            ASSERT_NE(alone, nullptr);
            ASSERT_TRUE(shared->activate());
            EXPECT_TRUE(glIsTexture(texture));
            ASSERT_TRUE(alone->activate());
            EXPECT_FALSE(glIsTexture(texture));
            ASSERT_TRUE(host->activate());
            glDeleteTextures(1, &texture);
        }

        TEST_F(ContextGLTest, WrappedHostContextComesBackWithItsSurfaces)
        {
            ContextManager manager;
            auto host = wrapHost(manager);
            ASSERT_NE(host, nullptr);
            EXPECT_TRUE(host->isActive());
            EXPECT_TRUE(host->isNoCleanup());
            EXPECT_EQ(manager.getContextWithNativeContext(test::GLTestContext::getContext()), host);

            Context::deactivate();
            EXPECT_FALSE(host->isActive());
            ASSERT_TRUE(host->activate());
            EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), test::GLTestContext::getSurface());

            // Dropping the wrapper leaves the host's context alive and current.
            EXPECT_TRUE(manager.removeContext(host));
            host.reset();
            EXPECT_TRUE(test::GLTestContext::isCurrent());
            glClear(GL_COLOR_BUFFER_BIT);
        }

        TEST_F(ContextGLTest, RendererEndsWithItsOwnContextCurrent)
        {
            Context::rendererHooks = countingHooks();
            {
                std::unique_ptr<Context> context(Context::createOffscreenContext(false, 4, nullptr));
                ASSERT_NE(context, nullptr);
                EXPECT_EQ(rendererLog.created, 1);
                EXPECT_EQ(rendererLog.initialised, 1);
                EXPECT_TRUE(context->isRendererInitialized());
                EXPECT_NE(context->getRenderer(), nullptr);
                EXPECT_TRUE(test::GLTestContext::isCurrent());
            }
            EXPECT_EQ(rendererLog.destroyed, 1);
            EXPECT_TRUE(rendererLog.toldCurrent && rendererLog.ownContextCurrent);
            EXPECT_TRUE(rendererLog.textureStillThere);
            EXPECT_TRUE(test::GLTestContext::isCurrent()) << "the caller's context comes back";
        }

        TEST_F(ContextGLTest, RendererIsToldWhenItsContextCannotBeCurrent)
        {
            Context::rendererHooks = countingHooks();
            std::unique_ptr<Context> context(Context::createOffscreenContext(false, 4, nullptr));
            ASSERT_NE(context, nullptr);
            std::atomic<bool> holding{false}, done{false};
            std::thread holder(
                [&]
                {
                    EXPECT_TRUE(context->activate());
                    holding = true;
                    while (! done)
                        std::this_thread::yield();
                    Context::deactivate();
                });
            while (! holding)
                std::this_thread::yield();
            EXPECT_FALSE(context->activate()) << "current on another thread";
            EXPECT_FALSE(context->isActive());
            // Its wrapper ends while the other thread still has it current: the
            // renderer is told it may not touch GL.
            context.reset();
            EXPECT_EQ(rendererLog.destroyed, 1);
            EXPECT_FALSE(rendererLog.toldCurrent);
            EXPECT_TRUE(test::GLTestContext::isCurrent());
            done = true;
            holder.join();
        }

        TEST_F(ContextGLTest, RegistryLookups)
        {
            ContextManager manager;
            EXPECT_EQ(manager.addContext(static_cast<Context*>(nullptr)), nullptr);
            EXPECT_EQ(manager.addContext(nullptr, 0, 1, true, true), nullptr);
            auto host = wrapHost(manager);
            auto worker = manager.addContext(Context::createOffscreenContext(false, 9, nullptr));
            ASSERT_NE(worker, nullptr);

            EXPECT_EQ(manager.getContext(1), worker);
            EXPECT_EQ(manager.getContext(-1), nullptr);
            EXPECT_EQ(manager.getContext(2), nullptr);
            EXPECT_EQ(manager.getContextWithId(9), worker);
            EXPECT_EQ(manager.getPrimaryContext(), host);
            EXPECT_EQ(manager.getFirstNonPrimaryContext(), worker);

            int unknown = 0;
            EXPECT_FALSE(manager.removeContext(&unknown));
            EXPECT_TRUE(manager.removeContext(worker->getNativeContext()));
            EXPECT_FALSE(manager.removeContext(worker));
            EXPECT_EQ(manager.getNumContexts(), 1);
        }

        TEST_F(ContextGLTest, ScopedSelectorRestoresTheThreadsState)
        {
            ContextManager manager;
            auto host = wrapHost(manager);
            auto worker = manager.addContext(Context::createOffscreenContext(false, 9, nullptr));
            ASSERT_NE(worker, nullptr);

            {
                auto selector = manager.getScopedPrimaryContextLock();
                EXPECT_TRUE(selector->isContextUsable());
            }
            EXPECT_TRUE(test::GLTestContext::isCurrent()) << "already current: left current";

            // The host's context comes back with its own surfaces, not the
            // surfaceless state a wrapped context is made current with.
            {
                auto selector = manager.getScopedContextLock(9);
                EXPECT_TRUE(selector->isContextUsable());
                EXPECT_TRUE(worker->isActive());
            }
            EXPECT_TRUE(test::GLTestContext::isCurrent()) << "made current: what was current comes back";
            EXPECT_EQ(eglGetCurrentSurface(EGL_DRAW), test::GLTestContext::getSurface());
            EXPECT_EQ(eglGetCurrentSurface(EGL_READ), test::GLTestContext::getSurface());
            EXPECT_EQ(eglGetCurrentDisplay(), test::GLTestContext::getDisplay());

            Context::deactivate();
            {
                auto selector = manager.getScopedContextLock(9);
                EXPECT_TRUE(worker->isActive());
            }
            EXPECT_EQ(Context::getCurrentNativeContext(), nullptr) << "nothing was current: nothing is";

            {
                auto selector = manager.getScopedContextLock(12345);
                EXPECT_FALSE(selector->isContextUsable());
                EXPECT_TRUE(manager.getLock().tryEnter()) << "re-entrant on the same thread";
                manager.getLock().exit();
            }
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
        }

        TEST_F(ContextGLTest, ScopedLockBlocksAnotherThread)
        {
            ContextManager manager;
            auto worker = manager.addContext(Context::createOffscreenContext(false, 9, nullptr));
            ASSERT_NE(worker, nullptr);

            std::atomic<bool> otherTried{false}, otherHolds{false}, otherUsable{false};
            std::thread other;
            {
                auto selector = manager.getScopedContextLock(worker);
                ASSERT_TRUE(selector->isContextUsable());
                other = std::thread(
                    [&]
                    {
                        otherTried = true;
                        auto theirs = manager.getScopedContextLock(9);
                        otherHolds = true;
                        otherUsable = theirs->isContextUsable();
                    });
                while (! otherTried)
                    std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                EXPECT_FALSE(otherHolds) << "the other thread got in while the lock was held";
                EXPECT_TRUE(worker->isActive());
            }
            other.join();
            EXPECT_TRUE(otherHolds);
            EXPECT_TRUE(otherUsable) << "the context was released for the other thread";
            ASSERT_TRUE(test::GLTestContext::makeCurrent());
        }

    } // namespace
} // namespace vx
