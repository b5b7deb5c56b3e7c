#pragma once

#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTextureManager.h"
#include "support/gl/VXGLTestFixture.h"

#include <memory>

namespace vx::test
{
    // The capability flags a test may change, put back when it ends.
    class ScopedGfxInfo
    {
    public:
        ScopedGfxInfo() = default;
        ~ScopedGfxInfo()
        {
            GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = nonPowerOfTwo;
            GfxInfo::VX_MAX_TEXTURE_SIZE = maxSize;
        }
        ScopedGfxInfo(const ScopedGfxInfo&) = delete;
        ScopedGfxInfo& operator=(const ScopedGfxInfo&) = delete;

    private:
        bool nonPowerOfTwo = GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES;
        int maxSize = GfxInfo::VX_MAX_TEXTURE_SIZE;
    };

    // The shared context wrapped as the host's in a context manager, with a
    // real renderer (its binding cache and built-in programs). On leaving, the
    // renderer's bindings and the 2D texturing its binds enabled are undone,
    // the wrapper is removed and the renderer hooks are put back.
    class ScopedHostRenderer
    {
    public:
        explicit ScopedHostRenderer(ContextManager& contextsToUse)
            : contexts(contextsToUse), savedHooks(Context::rendererHooks)
        {
            GfxInfo::filloutGfxInfo();
            Renderer::installContextHooks();
            context = contexts.addContext(GLTestContext::getContext(), 0, 1, true, true);
            renderer = context != nullptr ? context->getRenderer() : nullptr;
        }
        ~ScopedHostRenderer()
        {
            if (renderer != nullptr)
                renderer->getRenderContext().unbindAll();
            for (GLenum unit = 0; unit < 8; ++unit)
            {
                glActiveTexture(GL_TEXTURE0 + unit);
                glDisable(GL_TEXTURE_2D);
            }
            glActiveTexture(GL_TEXTURE0);
            contexts.removeContext(context);
            context.reset(); // the renderer ends with the hooks that made it
            Context::rendererHooks = savedHooks;
        }
        ScopedHostRenderer(const ScopedHostRenderer&) = delete;
        ScopedHostRenderer& operator=(const ScopedHostRenderer&) = delete;

        RenderContext& cache() { return renderer->getRenderContext(); }

        ContextManager& contexts;
        Context::RendererHooks savedHooks;
        std::shared_ptr<Context> context;
        Renderer* renderer = nullptr;
    };

    // A GL test with an engine root whose texture and render-target pools live
    // on the test's context; everything is released and the root deleted after
    // the test (a root that existed before is kept).
    class RenderTargetGLTest : public GLTest
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
            GfxInfo::filloutGfxInfo();
            ownsRoot = Vexkit::getInstanceWithoutCreating() == nullptr;
            root = ownsRoot ? Vexkit::create(3) : Vexkit::getInstanceWithoutCreating();
            root->initialise(false);
            ASSERT_NE(root->getTextureManager(), nullptr);
            ASSERT_NE(root->getRenderTargetManager(), nullptr);
            ASSERT_TRUE(targets().init());
        }

        void TearDown() override
        {
            RenderTarget::unbind();
            if (restoresViewport)
                glViewport(0, 0, GLTestContext::defaultFramebufferSize, GLTestContext::defaultFramebufferSize);
            if (root->getRenderTargetManager() != nullptr)
                targets().release();
            if (root->getTextureManager() != nullptr)
                textures().release();
            if (ownsRoot)
                Vexkit::deleteInstance();
            GLTest::TearDown();
        }

        RenderTargetManager& targets() { return *root->getRenderTargetManager(); }
        TextureManager& textures() { return *root->getTextureManager(); }
        GlobalFBO& fbo() { return *targets().getGlobalFBO(); }

        static GLint integer(GLenum name) { return getInteger(name); }

        ScopedGfxInfo gfxInfo;
        Vexkit* root = nullptr;
        bool ownsRoot = false;
        // Set by tests of code that draws to read back, which sets the viewport
        // to what it draws by design.
        bool restoresViewport = false;
    };

    // A render-target test whose shared context is also the engine's primary
    // one, with its renderer: drawing binds through that renderer's cache.
    class HostRendererGLTest : public RenderTargetGLTest
    {
    protected:
        void SetUp() override
        {
            RenderTargetGLTest::SetUp();
            ASSERT_FALSE(HasFatalFailure());
            host = std::make_unique<ScopedHostRenderer>(*root->getContextManager());
            ASSERT_NE(host->renderer, nullptr);
            ASSERT_EQ(root->getPrimaryRenderer(), host->renderer);
            renderer = host->renderer;
        }
        void TearDown() override
        {
            host.reset();
            if (! GLTestContext::isCurrent())
                GLTestContext::makeCurrent();
            RenderTargetGLTest::TearDown();
        }

        std::unique_ptr<ScopedHostRenderer> host;
        Renderer* renderer = nullptr;
    };
}
