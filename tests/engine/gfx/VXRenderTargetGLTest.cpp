#include "engine/gfx/VXRenderTarget.h"

#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureRef.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        const PixelRGBA8 red{255, 0, 0, 255};
        const PixelRGBA8 green{0, 255, 0, 255};
        const PixelRGBA8 blue{0, 0, 255, 255};

        PixelRGBA8 texel(const Texture* texture, int x, int y)
        {
            const auto pixels = readTexture(GL_TEXTURE_2D, texture->getGLName());
            return pixels.at(static_cast<size_t>(y) * texture->getHardwareWidth() + x);
        }

        // A framebuffer standing in for the host's, with one colour texture.
        struct HostFramebuffer
        {
            HostFramebuffer()
            {
                GLint previous = 0;
                glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
                glGenTextures(1, &texture);
                glBindTexture(GL_TEXTURE_2D, texture);
                glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
                glBindTexture(GL_TEXTURE_2D, 0);
                glGenRenderbuffers(1, &depth);
                glBindRenderbuffer(GL_RENDERBUFFER, depth);
                glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, 8, 8);
                glBindRenderbuffer(GL_RENDERBUFFER, 0);
                glGenFramebuffers(1, &name);
                glBindFramebuffer(GL_FRAMEBUFFER, name);
                glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
                glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
                glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
            }
            ~HostFramebuffer()
            {
                glDeleteFramebuffers(1, &name);
                glDeleteRenderbuffers(1, &depth);
                glDeleteTextures(1, &texture);
            }
            GLuint attached(GLenum attachment) const
            {
                GLint previous = 0, object = 0;
                glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
                glBindFramebuffer(GL_FRAMEBUFFER, name);
                glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                                      &object);
                glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
                return static_cast<GLuint>(object);
            }
            GLuint name = 0;
            GLuint texture = 0;
            GLuint depth = 0;
        };
    }

    using RenderTargetTest = RenderTargetGLTest;

    TEST_F(RenderTargetTest, DrawsIntoItsTextureAndUnbindsToTheWindowSystem)
    {
        RenderTarget target;
        ASSERT_TRUE(target.create2D(20, 10, Texture::RGBA8, false));
        ASSERT_TRUE(target.bind());
        EXPECT_TRUE(target.isBound());
        EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), &target);
        EXPECT_EQ(RenderTarget::getCurrentFboId(), fbo().getName());
        clearTo(1, 0, 0, 1);
        EXPECT_EQ(readPixel(19, 9), red);

        RenderTarget::unbind();
        EXPECT_FALSE(target.isBound());
        EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);
        EXPECT_EQ(integer(GL_DRAW_BUFFER), GL_BACK);
        EXPECT_EQ(integer(GL_READ_BUFFER), GL_BACK);
        EXPECT_EQ(fbo().getNumAttachedColorTextures(), 0);
        EXPECT_EQ(texel(target.getTexture(0), 19, 9), red);
    }

    TEST_F(RenderTargetTest, BindingTwiceCallsGLOnce)
    {
        RenderTarget target;
        ASSERT_TRUE(target.create2D(16, 16));
        GLCallCounter<&epoxy_glBindFramebuffer> binds("glBindFramebuffer");
        GLCallCounter<&epoxy_glFramebufferTexture2D> attaches("glFramebufferTexture2D");
        GLCallCounter<&epoxy_glDrawBuffers> drawBuffers("glDrawBuffers");
        ASSERT_TRUE(target.bind());
        ASSERT_TRUE(target.bind());
        EXPECT_EQ(binds.count(), 1);
        EXPECT_EQ(attaches.count(), 1);
        EXPECT_EQ(drawBuffers.count(), 1);
        RenderTarget::unbind();
    }

    TEST_F(RenderTargetTest, PingPongFlipAttachesTheOtherSetAndASingleTargetIgnoresIt)
    {
        RenderTarget target;
        ASSERT_TRUE(target.createPingPong2D(8, 8, Texture::RGBA8, true));
        ASSERT_TRUE(target.isPingPong());
        Texture* first = target.getTexture(0);
        ASSERT_TRUE(target.bind());
        clearTo(1, 0, 0, 1);

        target.flip();
        EXPECT_FALSE(target.isBound()) << "the other set is not attached yet";
        Texture* second = target.getTexture(0);
        ASSERT_NE(first, second);
        {
            GLCallCounter<&epoxy_glFramebufferTexture2D> attaches("glFramebufferTexture2D");
            GLCallCounter<&epoxy_glDrawBuffers> drawBuffers("glDrawBuffers");
            GLCallCounter<&epoxy_glFramebufferRenderbuffer> depth("glFramebufferRenderbuffer");
            ASSERT_TRUE(target.bind());
            EXPECT_EQ(attaches.count(), 1);
            EXPECT_EQ(drawBuffers.count(), 0) << "same number of attachments";
            EXPECT_EQ(depth.count(), 0) << "the depth buffer stays attached";
        }
        EXPECT_EQ(fbo().getAttachedTexture(0), second);
        clearTo(0, 1, 0, 1);
        RenderTarget::unbind();

        EXPECT_EQ(texel(first, 3, 3), red);
        EXPECT_EQ(texel(second, 3, 3), green);
        target.flip();
        EXPECT_EQ(target.getTexture(0), first);

        RenderTarget single;
        ASSERT_TRUE(single.create2D(8, 8));
        Texture* before = single.getTexture(0);
        LogRecorder log;
        single.flip();
        EXPECT_TRUE(log.contains("flip: Cannot flip RenderTarget, we aren't a ping-pong RenderTarget.")) << log.dump();
        EXPECT_EQ(single.getTexture(0), before);
    }

    TEST_F(RenderTargetTest, UnbindToAHostFramebufferSelectsItsColourAttachment)
    {
        HostFramebuffer host;
        fbo().setMainFboId(host.name);
        RenderTarget target;
        ASSERT_TRUE(target.create2D(8, 8));
        ASSERT_TRUE(target.bind());
        RenderTarget::unbind();
        EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(host.name));
        EXPECT_EQ(integer(GL_DRAW_BUFFER), GL_COLOR_ATTACHMENT0);
        EXPECT_EQ(host.attached(GL_COLOR_ATTACHMENT0), host.texture);

        // Resetting while the shared object is not bound leaves the host's
        // attachments alone.
        RenderTarget::resetAll();
        EXPECT_EQ(host.attached(GL_COLOR_ATTACHMENT0), host.texture);
        EXPECT_EQ(host.attached(GL_DEPTH_ATTACHMENT), host.depth);

        fbo().setMainFboId(0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
    }

    TEST_F(RenderTargetTest, PushKeepsOneSlotAndPopRebindsOnlyWhenNeeded)
    {
        RenderTarget a, b;
        ASSERT_TRUE(a.create2D(8, 8));
        ASSERT_TRUE(b.create2D(8, 8));
        ASSERT_TRUE(a.bind());
        RenderTarget::pushCurrentTarget();
        ASSERT_TRUE(b.bind());
        RenderTarget::pushCurrentTarget(); // overwrites a
        ASSERT_TRUE(a.bind());

        RenderTarget::popCurrentTarget();
        EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), &b);
        EXPECT_TRUE(b.isBound());
        RenderTarget::popCurrentTarget(); // slot empty
        EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), &b);

        RenderTarget::pushCurrentTarget();
        {
            GLCallCounter<&epoxy_glBindFramebuffer> binds("glBindFramebuffer");
            RenderTarget::popCurrentTarget(); // b is current already
            EXPECT_EQ(binds.count(), 0);
        }
        RenderTarget::unbind();
    }

    TEST_F(RenderTargetTest, DestroyedTargetsAreForgotten)
    {
        {
            RenderTarget target;
            ASSERT_TRUE(target.create2D(8, 8));
            ASSERT_TRUE(target.bind());
            RenderTarget::pushCurrentTarget();
        }
        EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), nullptr);
        RenderTarget::popCurrentTarget(); // must not touch the dead target
        RenderTarget::unbind();
        EXPECT_EQ(integer(GL_FRAMEBUFFER_BINDING), 0);
    }

    TEST_F(RenderTargetTest, SeveralColourBuffersAreDrawnTogether)
    {
        RenderTargetConfiguration configuration(8, 8, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        EXPECT_FALSE(configuration.setNumColorBuffers(5));
        EXPECT_FALSE(configuration.setNumColorBuffers(0));
        EXPECT_EQ(configuration.numColorBuffers, 1);
        ASSERT_TRUE(configuration.setNumColorBuffers(2));

        RenderTarget target;
        ASSERT_TRUE(target.create2D(configuration));
        EXPECT_EQ(target.getNumColorBuffers(), 2);
        ASSERT_NE(target.getTexture(1), nullptr);
        EXPECT_EQ(target.getTexture(2), nullptr);
        ASSERT_TRUE(target.bind());
        EXPECT_EQ(fbo().getNumAttachedColorTextures(), 2);
        clearTo(0, 0, 1, 1);
        RenderTarget::unbind();
        EXPECT_EQ(texel(target.getTexture(0), 1, 1), blue);
        EXPECT_EQ(texel(target.getTexture(1), 1, 1), blue);
    }

    TEST_F(RenderTargetTest, DepthBufferIsAttachedAndSizedByTheHardware)
    {
        RenderTarget target;
        ASSERT_TRUE(target.create2D(100, 60, Texture::RGBA8, true, DEPTH_24));
        ASSERT_NE(target.getDepthStencilBuffer(), nullptr);
        EXPECT_EQ(target.getDepthStencilFormat(), DEPTH_24);
        ASSERT_TRUE(target.bind());
        GLint object = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &object);
        EXPECT_EQ(static_cast<GLuint>(object), target.getDepthStencilBuffer()->glName);
        RenderTarget::unbind();

        GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = false;
        RenderTarget padded;
        ASSERT_TRUE(padded.create2D(100, 60));
        EXPECT_EQ(padded.getDepthStencilBuffer()->width, 128);
        EXPECT_EQ(padded.getDepthStencilBuffer()->height, 64);
        EXPECT_EQ(padded.getWidth(), 100);
    }

    TEST_F(RenderTargetTest, ResizeKeepsFormatAndRemakesDepth)
    {
        RenderTarget target;
        ASSERT_TRUE(target.createPingPong2D(16, 16, Texture::RGB8, true));
        ASSERT_TRUE(target.resize(40, 20));
        EXPECT_EQ(target.getWidth(), 40);
        EXPECT_EQ(target.getHeight(), 20);
        EXPECT_EQ(target.getFormat(), Texture::RGB8);
        target.flip();
        EXPECT_EQ(target.getWidth(), 40) << "both sets are resized";
        EXPECT_EQ(target.getDepthStencilBuffer()->width, target.getTexture(0)->getHardwareWidth());

        RenderTarget empty;
        EXPECT_FALSE(empty.resize(10, 10));
    }

    // A texture freed while attached and a new one made at the same address
    // (placement new makes the reuse certain) is a different GL texture: it is
    // attached, not taken for the old one.
    TEST_F(RenderTargetTest, ATextureAtAFreedTexturesAddressIsAttachedAnew)
    {
        alignas(Texture) unsigned char storage[sizeof(Texture)];
        Texture* texture = new (storage) Texture();
        ASSERT_TRUE(texture->create(8, 8, Texture::RGBA8));
        TextureRef refs[4];
        refs[0].reset(texture);

        fbo().bindFBO();
        fbo().linkTextureBuffers(refs);
        ASSERT_TRUE(fbo().checkFramebufferStatus());
        clearTo(1, 0, 0, 1);

        texture->~Texture();
        texture = new (storage) Texture();
        ASSERT_TRUE(texture->create(8, 8, Texture::RGBA8));
        ASSERT_EQ(refs[0].get(), texture);
        fbo().linkTextureBuffers(refs);
        EXPECT_TRUE(fbo().checkFramebufferStatus());
        clearTo(0, 1, 0, 1);
        EXPECT_EQ(texel(texture, 7, 7), green);

        fbo().unbindFBO();
        refs[0].steal();
        texture->~Texture();
    }

    TEST_F(RenderTargetTest, ADepthBufferMadeAgainWhileBoundIsAttachedAnew)
    {
        RenderTarget target;
        ASSERT_TRUE(target.create2D(16, 16, Texture::RGBA8, true));
        ASSERT_TRUE(target.bind());
        const DepthStencilBuffer* depth = target.getDepthStencilBuffer();
        ASSERT_NE(depth, nullptr);

        // The same buffer object gets a new renderbuffer of the new size.
        ASSERT_TRUE(target.resize(32, 32));
        ASSERT_EQ(target.getDepthStencilBuffer(), depth);
        ASSERT_TRUE(target.bind());
        GLint attached = 0;
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
        EXPECT_EQ(static_cast<GLuint>(attached), depth->glName);
        EXPECT_TRUE(glIsRenderbuffer(static_cast<GLuint>(attached)));
        RenderTarget::unbind();
    }

    TEST_F(RenderTargetTest, ConfigurationKeysAndDepthMatching)
    {
        const RenderTargetConfiguration a(640, 480, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        const RenderTargetConfiguration b(700, 500, Texture::RGBA8, true, DEFAULT_DEPTH_FMT);
        const RenderTargetConfiguration c(768, 480, Texture::RGBA8, true, DEPTH_16);
        EXPECT_EQ(a.computeCacheKey(128), b.computeCacheKey(128));
        EXPECT_NE(c.computeCacheKey(128), a.computeCacheKey(128));
        EXPECT_NE(a.computeCacheKey(0), b.computeCacheKey(0)) << "no quantum: exact sizes";

        EXPECT_TRUE(a.depthMatches(b));
        EXPECT_FALSE(b.depthMatches(a));
        EXPECT_FALSE(b.depthMatches(c));
        EXPECT_TRUE(b.depthMatches(b));

        GfxInfo::VX_MAX_TEXTURE_SIZE = 512;
        EXPECT_TRUE(
            RenderTargetConfiguration(512, 512, Texture::RGBA8, false, DEFAULT_DEPTH_FMT).isSupportedOnCurrentSystem());
        EXPECT_FALSE(a.isSupportedOnCurrentSystem());
    }

    TEST_F(RenderTargetTest, BadRequestsFailCleanly)
    {
        LogRecorder log;
        RenderTarget target;
        EXPECT_FALSE(target.create2D(0, 10));
        EXPECT_FALSE(target.create2D(10, 70000));
        EXPECT_FALSE(target.create2D(8, 8, Texture::RGBA8, true, static_cast<DepthStencilFormat>(7)));
        EXPECT_FALSE(target.isValid());
        EXPECT_EQ(target.getTexture(0), nullptr);
        EXPECT_EQ(textures().getUsedTextureCount(), 0u) << "nothing is kept after a failed creation";
        EXPECT_EQ(log.count(logError), 3u) << log.dump();
    }

    TEST(RenderTargetWithoutEngine, AnswersFalseWithoutARoot)
    {
        ASSERT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr);
        LogRecorder log;
        RenderTarget target;
        EXPECT_FALSE(target.create2D(8, 8));
        EXPECT_FALSE(target.bind());
        RenderTarget::unbind();
        EXPECT_EQ(RenderTarget::getCurrentFboId(), 0u);
        EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr) << "no root is made on the way";
        EXPECT_GE(log.count(logError), 2u) << log.dump();
    }
}
