#pragma once

#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXTextureManager.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    // A GL test with an engine root whose texture and render-target pools live
    // on the test's context; everything is released and the root deleted after
    // the test (a root that existed before is kept).
    class RenderTargetGLTest : public GLTest
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
            savedNonPowerOfTwo = GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES;
            savedMaxSize = GfxInfo::VX_MAX_TEXTURE_SIZE;
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
            if (root->getRenderTargetManager() != nullptr)
                targets().release();
            if (root->getTextureManager() != nullptr)
                textures().release();
            if (ownsRoot)
                Vexkit::deleteInstance();
            GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = savedNonPowerOfTwo;
            GfxInfo::VX_MAX_TEXTURE_SIZE = savedMaxSize;
            GLTest::TearDown();
        }

        RenderTargetManager& targets() { return *root->getRenderTargetManager(); }
        TextureManager& textures() { return *root->getTextureManager(); }
        GlobalFBO& fbo() { return *targets().getGlobalFBO(); }

        static GLint integer(GLenum name) { return getInteger(name); }

        Vexkit* root = nullptr;
        bool ownsRoot = false;
        bool savedNonPowerOfTwo = false;
        int savedMaxSize = 0;
    };
}
