#include "engine/gfx/VXRenderTargetManager.h"

#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXTexture.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    using RenderTargetManagerTest = RenderTargetGLTest;

    TEST_F(RenderTargetManagerTest, RetainedTargetIsDrawnIntoAndReadBack)
    {
        RenderTarget* target = targets().retain(33, 17, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        ASSERT_NE(target, nullptr);
        ASSERT_TRUE(target->bind());
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, 10, 17);
        clearTo(0, 0, 1, 1);
        glScissor(10, 0, 23, 17);
        clearTo(1, 1, 0, 1);
        glDisable(GL_SCISSOR_TEST);
        const auto pixels = readPixels(0, 0, 33, 17);
        EXPECT_EQ(pixels[0], (PixelRGBA8{0, 0, 255, 255}));
        EXPECT_EQ(pixels[9], (PixelRGBA8{0, 0, 255, 255}));
        EXPECT_EQ(pixels[10], (PixelRGBA8{255, 255, 0, 255}));
        EXPECT_EQ(pixels[16 * 33 + 32], (PixelRGBA8{255, 255, 0, 255}));
        RenderTarget::unbind();
        targets().release(target);
    }

    TEST_F(RenderTargetManagerTest, BadRequestsAreLoggedAndAnswerNull)
    {
        LogRecorder log;
        EXPECT_EQ(targets().retain(0, 10, Texture::RGBA8, false, DEFAULT_DEPTH_FMT), nullptr);
        EXPECT_TRUE(log.contains("retain: Cannot create render target, negative size.")) << log.dump();
        EXPECT_EQ(targets().retain(70000, 10, Texture::RGBA8, false, DEFAULT_DEPTH_FMT), nullptr);
        EXPECT_TRUE(log.contains("retain: Cannot create render target, too large size.")) << log.dump();
        EXPECT_EQ(targets().retain(16, 16, Texture::DXT5_RGBA, false, DEFAULT_DEPTH_FMT), nullptr);
        EXPECT_TRUE(log.contains("retain: Cannot create render target, cannot render to compressed format."))
            << log.dump();
        EXPECT_EQ(targets().retainPingPong(-1, 5, Texture::RGBA8, false, DEFAULT_DEPTH_FMT), nullptr);
        EXPECT_TRUE(log.contains("retainPingPong: Cannot create render target, negative size.")) << log.dump();

        GfxInfo::VX_MAX_TEXTURE_SIZE = 256;
        EXPECT_EQ(targets().retain(300, 10, Texture::RGBA8, false, DEFAULT_DEPTH_FMT), nullptr);
        EXPECT_TRUE(log.contains("getRenderTarget: Requested render target configuration is not supported."))
            << log.dump();

        EXPECT_EQ(targets().getTotalRTCount(), 0u);
        EXPECT_EQ(targets().getUsedRTCount(), 0u);
        EXPECT_EQ(targets().getNumKeys(), 0u);

        // The ping-pong form has no compressed-format check.
        log.clear();
        RenderTarget* compressed = targets().retainPingPong(16, 16, Texture::DXT5_RGBA, false, DEFAULT_DEPTH_FMT);
        EXPECT_FALSE(log.contains("compressed format")) << log.dump();
        if (compressed != nullptr)
            targets().release(compressed);
    }

    TEST_F(RenderTargetManagerTest, ReleasedTargetsAreReusedWithFreshTextures)
    {
        RenderTarget* first = targets().retain(640, 480, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_NE(first, nullptr);
        RenderTarget* second = targets().retain(700, 500, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_NE(second, nullptr);
        EXPECT_NE(first, second) << "a retained target is not handed out twice";
        EXPECT_EQ(targets().getTotalRTCount(), 2u);
        EXPECT_EQ(targets().getUsedRTCount(), 2u);
        EXPECT_EQ(targets().getNumKeys(), 1u);

        targets().release(first);
        EXPECT_EQ(targets().getUsedRTCount(), 1u);
        EXPECT_EQ(first->getTexture(0), nullptr) << "a free target holds no colour textures";
        EXPECT_TRUE(first->hasDepthStencilBuffer()) << "but keeps its depth buffer";

        RenderTarget* again = targets().retain(700, 500, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        EXPECT_EQ(again, first);
        ASSERT_NE(again->getTexture(0), nullptr);
        EXPECT_EQ(again->getWidth(), 700);
        EXPECT_EQ(again->getHeight(), 500);
        EXPECT_EQ(targets().getTotalRTCount(), 2u);

        targets().release(again);
        targets().release(second);
        EXPECT_EQ(targets().getUsedRTCount(), 0u);
    }

    TEST_F(RenderTargetManagerTest, KindsAreNeverMixedWithinAKey)
    {
        RenderTarget* single = targets().retain(64, 64, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        ASSERT_NE(single, nullptr);
        targets().release(single);

        RenderTarget* pingPong = targets().retainPingPong(64, 64, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        ASSERT_NE(pingPong, nullptr);
        EXPECT_NE(pingPong, single);
        EXPECT_TRUE(pingPong->isPingPong());

        RenderTarget* withDepth = targets().retain(64, 64, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_NE(withDepth, nullptr);
        EXPECT_NE(withDepth, single);
        EXPECT_TRUE(withDepth->hasDepth());

        RenderTarget* otherDepth = targets().retain(64, 64, Texture::RGBA8, true, DEPTH_16);
        ASSERT_NE(otherDepth, nullptr);
        EXPECT_NE(otherDepth, single);

        RenderTarget* plain = targets().retain(64, 64, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        EXPECT_EQ(plain, single);
        EXPECT_EQ(targets().getTotalRTCount(), 4u);

        for (RenderTarget* t : {pingPong, withDepth, otherDepth, plain})
            targets().release(t);
    }

    TEST_F(RenderTargetManagerTest, ForeignAndRepeatedReleasesAreRefused)
    {
        LogRecorder log;
        targets().release(nullptr);
        EXPECT_TRUE(log.contains("Escaped from error in release(188): You're releasing a render target to us that you "
                                 "didn't aquire from us. You can't do that.."))
            << log.dump();

        RenderTarget own;
        ASSERT_TRUE(own.create2D(8, 8));
        log.clear();
        targets().release(&own);
        EXPECT_EQ(log.count(logError), 1u);

        RenderTarget* target = targets().retain(8, 8, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        RenderTarget* other = targets().retain(8, 8, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        ASSERT_NE(target, nullptr);
        targets().release(target);
        log.clear();
        targets().release(target);
        EXPECT_EQ(log.count(logError), 1u) << log.dump();
        EXPECT_EQ(targets().getUsedRTCount(), 1u) << "a second release does not count";
        targets().release(other);

        // A target from another pool is not ours either.
        RenderTargetManager elsewhere;
        RenderTarget* foreign = elsewhere.retain(8, 8, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        ASSERT_NE(foreign, nullptr);
        log.clear();
        targets().release(foreign);
        EXPECT_EQ(log.count(logError), 1u);
        elsewhere.release(foreign);
        elsewhere.release();
    }

    TEST_F(RenderTargetManagerTest, FreeingUnusedTargetsEmptiesThePool)
    {
        RenderTarget* a = targets().retain(100, 100, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        RenderTarget* b = targets().retainPingPong(300, 200, Texture::RGB8, false, DEFAULT_DEPTH_FMT);
        RenderTarget* c = targets().retain(100, 100, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_TRUE(a && b && c);
        targets().release(a);
        targets().release(b);
        targets().freeUnusedRenderTargets();
        EXPECT_EQ(targets().getTotalRTCount(), 1u);
        EXPECT_EQ(targets().getNumKeys(), 1u);
        EXPECT_EQ(c->getWidth(), 100) << "a retained target survives";

        targets().release(c);
        targets().freeUnusedRenderTargets();
        EXPECT_EQ(targets().getTotalRTCount(), 0u);
        EXPECT_EQ(targets().getNumKeys(), 0u);
        EXPECT_EQ(textures().getUsedTextureCount(), 0u);
    }

    TEST_F(RenderTargetManagerTest, ReleaseDeletesTargetsAndTheSharedFramebuffer)
    {
        RenderTarget* target = targets().retain(32, 32, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_NE(target, nullptr);
        ASSERT_TRUE(target->bind());
        const GLuint name = fbo().getName();
        targets().release();
        EXPECT_EQ(fbo().getName(), 0u);
        EXPECT_FALSE(glIsFramebuffer(name));
        EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);
        EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), nullptr);
        EXPECT_EQ(targets().getTotalRTCount(), 0u);
        EXPECT_TRUE(targets().init());
    }
}

namespace vx::test
{
    using RenderTargetPoolReuseTest = RenderTargetGLTest;

    // One pooled target taken by one use after another at growing and
    // shrinking sizes of one key: every use gets a complete target whose
    // depth buffer covers its colour textures, so a clear reaches every column.
    TEST_F(RenderTargetPoolReuseTest, AReusedTargetIsCompleteAtEachNewSize)
    {
        restoresViewport = true;
        RenderTarget* first = nullptr;
        for (const auto& [w, h] : {std::pair{16, 8}, {80, 40}, {127, 100}, {24, 12}, {100, 60}})
        {
            SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
            RenderTarget* target = targets().retainPingPong(w, h, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
            ASSERT_NE(target, nullptr);
            if (first == nullptr)
                first = target;
            EXPECT_EQ(target, first) << "the free target is reused";
            const DepthStencilBuffer* depth = target->getDepthStencilBuffer();
            ASSERT_NE(depth, nullptr);
            EXPECT_EQ(depth->width, target->getTexture(0)->getHardwareWidth());
            EXPECT_EQ(depth->height, target->getTexture(0)->getHardwareHeight());

            ASSERT_TRUE(target->bind());
            glViewport(0, 0, w, h);
            glEnable(GL_DEPTH_TEST);
            glClearDepth(1.0);
            glClear(GL_DEPTH_BUFFER_BIT);
            clearTo(0, 1, 0, 1);
            glDisable(GL_DEPTH_TEST);
            const auto pixels = readPixels(0, 0, w, h);
            for (int x = 0; x < w; ++x)
            {
                ASSERT_EQ(pixels[size_t(x)], (PixelRGBA8{0, 255, 0, 255})) << "column " << x << ", bottom row";
                ASSERT_EQ(pixels[size_t((h - 1) * w + x)], (PixelRGBA8{0, 255, 0, 255})) << "column " << x << ", top row";
            }
            RenderTarget::unbind();
            targets().release(target);
        }
        EXPECT_EQ(targets().getTotalRTCount(), 1u);
    }

    // What still points into the pool when it lets go of its targets: a
    // pointer kept by a holder is refused without being followed, and a
    // return queued on the GPU-object manager is dropped.
    TEST_F(RenderTargetManagerTest, ThePoolsEndVoidsWhatStillPointsIntoIt)
    {
        GfxObjectManager& queue = *root->getGfxObjectManager();
        RenderTarget* kept = targets().retain(32, 32, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_NE(kept, nullptr);
        targets().release();
        ASSERT_TRUE(targets().init());
        LogRecorder log;
        targets().release(kept);
        EXPECT_EQ(log.count(logError), 1u) << log.dump();

        RenderTarget* returned = targets().retain(32, 32, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_NE(returned, nullptr);
        targets().releaseDeferred(returned);
        EXPECT_EQ(targets().getUsedRTCount(), 1u) << "given back on the render thread";
        queue.cleanAll();
        EXPECT_EQ(targets().getUsedRTCount(), 0u);

        RenderTarget* late = targets().retain(32, 32, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        ASSERT_NE(late, nullptr);
        targets().releaseDeferred(late);
        const uint64_t before = targets().getGeneration();
        targets().release();
        EXPECT_NE(targets().getGeneration(), before);
        log.clear();
        queue.cleanAll();
        EXPECT_EQ(log.count(logError), 0u) << log.dump();
        EXPECT_EQ(queue.getNumReleasingObjects() + queue.getNumDeletingObjects(), 0);
    }
}
