// FFGL instances on real headless GL, driven in-process through plugMain.

#include "engine/ffgl/FFGLPlugMain.h"
#include "engine/ffgl/VXFFGLHostFrame.h"
#include "engine/ffgl/VXFFGLTestEffect.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"

#include "support/VXLogRecorder.h"
#include "support/gl/VXGLTestFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
    using namespace vx;
    using vx::test::FFGLHostFrame;
    using vx::test::FFGLTestEffectLog;
    using vx::test::HostGLState;

    constexpr FFGL::Word failWord = 0xFFFFFFFFu;

    FFGL::Word call(std::uint32_t code, FFGL::Word input = 0, FFGL::Word instance = 0)
    {
        return plugMain(code, input, instance);
    }

    class VXFFGLPluginGLTest : public vx::test::GLTest
    {
    protected:
        void SetUp() override
        {
            GLTest::SetUp();
            FFGLTestEffectLog::get() = {};
            info.reset(vx::test::makeTestEffectInfo());
        }

        void TearDown() override
        {
            EXPECT_EQ(call(FFGL::deInitialise), 0u);
            info.reset();
            EXPECT_EQ(VXFFGLApp::getInstanceCount(), 0u);
            EXPECT_EQ(VXFFGLApp::getInitCount(), 0u);
            EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr);
            EXPECT_EQ(FFGLTestEffectLog::get().constructed, FFGLTestEffectLog::get().destroyed);
            FFGLTestEffectLog::get() = {};
            GLTest::TearDown();
        }

        FFGL::Word instantiate(FFGLHostFrame& frame)
        {
            testing::internal::CaptureStdout();
            const FFGL::Word instance = call(FFGL::instantiateGL, frame.viewportWord());
            lastStdout = testing::internal::GetCapturedStdout();
            return instance;
        }

        static VXFFGLPlugin* plugin(FFGL::Word instance) { return FFGL::toPointer<VXFFGLPlugin>(instance); }

        static ContextManager* contexts()
        {
            Vexkit* root = Vexkit::getInstanceWithoutCreating();
            return root != nullptr ? root->getContextManager() : nullptr;
        }

        std::unique_ptr<CFFGLPluginInfo> info;
        std::string lastStdout;
    };

    // Another context of the host, sharing nothing with the fixture's, with a
    // pbuffer of its own; GL errors on it fail the test too. Compatibility
    // profile unless a core profile (3.2 or later) is asked for.
    class OtherHostContext
    {
    public:
        explicit OtherHostContext(bool coreProfile = false)
        {
            const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                            EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_CONTEXT_OPENGL_DEBUG,
                                            EGL_TRUE, EGL_NONE};
            const EGLint core[] = {EGL_CONTEXT_MAJOR_VERSION,
                                   3,
                                   EGL_CONTEXT_MINOR_VERSION,
                                   2,
                                   EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                   EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                   EGL_CONTEXT_OPENGL_DEBUG,
                                   EGL_TRUE,
                                   EGL_NONE};
            context = eglCreateContext(display, vx::test::GLTestContext::getConfig(), EGL_NO_CONTEXT,
                                       coreProfile ? core : compatibility);
            const EGLint size[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
            surface = eglCreatePbufferSurface(display, vx::test::GLTestContext::getConfig(), size);
        }

        ~OtherHostContext()
        {
            if (eglGetCurrentContext() == context)
                eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroySurface(display, surface);
            eglDestroyContext(display, context);
            vx::test::GLTestContext::makeCurrent();
        }

        bool makeCurrent()
        {
            if (context == EGL_NO_CONTEXT || surface == EGL_NO_SURFACE ||
                ! eglMakeCurrent(display, surface, surface, context))
                return false;
            vx::test::installDebugCallback();
            return true;
        }

        // This context is current on the calling thread with its own surfaces.
        bool isCurrentAsMade() const
        {
            return eglGetCurrentContext() == context && eglGetCurrentDisplay() == display &&
                   eglGetCurrentSurface(EGL_DRAW) == surface && eglGetCurrentSurface(EGL_READ) == surface;
        }

        const EGLDisplay display = vx::test::GLTestContext::getDisplay();
        EGLContext context = EGL_NO_CONTEXT;
        EGLSurface surface = EGL_NO_SURFACE;
    };

    bool isFilledThroughTheRenderer(int x, int y)
    {
        // The fill colour in bytes, 1/255 for rounding.
        return vx::test::isNear(vx::test::readPixel(x, y), {51, 102, 153, 255}, 1);
    }

    TEST_F(VXFFGLPluginGLTest, TwoInstancesShareOneEngineStart)
    {
        FFGLHostFrame frame(16, 16, 0.0f, 0.0f, 0.0f);
        const FFGL::Word first = instantiate(frame);
        ASSERT_NE(first, failWord);
        EXPECT_EQ(lastStdout, "The input viewport is: 0 0 16 16\nThe app viewport is: 0 0 16 16\n");
        const FFGL::Word second = instantiate(frame);
        ASSERT_NE(second, failWord);
        EXPECT_NE(first, second);

        Vexkit* root = Vexkit::getInstanceWithoutCreating();
        ASSERT_NE(root, nullptr);
        EXPECT_TRUE(root->isInitialised());
        EXPECT_EQ(VXFFGLApp::getInstanceCount(), 3u) << "prototype and two instances";
        EXPECT_EQ(VXFFGLApp::getInitCount(), 2u);
        ASSERT_EQ(contexts()->getNumContexts(), 1) << "the host context is registered once";
        EXPECT_EQ(contexts()->getPrimaryContext()->getNativeContext(), vx::test::GLTestContext::getContext());
        ASSERT_NE(root->getPrimaryRenderer(), nullptr);
        EXPECT_EQ(FFGLTestEffectLog::get().lastRenderer, root->getPrimaryRenderer());
        EXPECT_EQ(plugin(first)->getApp()->getRenderer(), root->getPrimaryRenderer());

        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, first), 0u);
        EXPECT_TRUE(root->isInitialised()) << "the engine runs while an instance does";
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), second), 0u);

        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, second), 0u);
        EXPECT_FALSE(root->isInitialised());
        EXPECT_EQ(contexts()->getNumContexts(), 0) << "the host context is forgotten with the last instance";
        EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), root) << "the prototype still holds the root";
    }

    TEST_F(VXFFGLPluginGLTest, InstanceOnAnotherHostContextDrawsWithThatContextsRenderer)
    {
        FFGLTestEffectLog::get().drawThroughRenderer = true;
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word first = instantiate(frame);
        ASSERT_NE(first, failWord);

        OtherHostContext other;
        ASSERT_TRUE(other.makeCurrent());
        {
            FFGLHostFrame otherFrame(8, 8, 0.0f, 0.0f, 0.0f);
            const FFGL::Word second = instantiate(otherFrame);
            ASSERT_NE(second, failWord);
            Renderer* renderer = plugin(second)->getApp()->getRenderer();
            ASSERT_NE(renderer, nullptr);
            EXPECT_NE(renderer, plugin(first)->getApp()->getRenderer());
            EXPECT_EQ(renderer->getContext().getNativeContext(), other.context);

            EXPECT_EQ(call(FFGL::processOpenGL, otherFrame.recordWord(), second), 0u);
            EXPECT_TRUE(isFilledThroughTheRenderer(3, 3)) << vx::test::readPixel(3, 3);
            EXPECT_EQ(call(FFGL::deInstantiateGL, 0, second), 0u);
            EXPECT_TRUE(other.isCurrentAsMade());
        }

        ASSERT_TRUE(vx::test::GLTestContext::makeCurrent());
        EXPECT_EQ(contexts()->getNumContexts(), 1) << "the other context is forgotten with its instance";
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), first), 0u);
        EXPECT_TRUE(isFilledThroughTheRenderer(3, 3)) << vx::test::readPixel(3, 3);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, first), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, DeInstantiatingLeavesTheHostsCurrentContextAsItWas)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word first = instantiate(frame);
        ASSERT_NE(first, failWord);

        OtherHostContext other;
        ASSERT_TRUE(other.makeCurrent());
        {
            FFGLHostFrame otherFrame(8, 8, 0.0f, 0.0f, 0.0f);
            const FFGL::Word second = instantiate(otherFrame);
            ASSERT_NE(second, failWord);

            ASSERT_TRUE(vx::test::GLTestContext::makeCurrent());
            EXPECT_EQ(call(FFGL::deInstantiateGL, 0, first), 0u);
            EXPECT_TRUE(vx::test::GLTestContext::isCurrent());

            // The last instance releases the engine on the first context.
            ASSERT_TRUE(other.makeCurrent());
            EXPECT_EQ(call(FFGL::deInstantiateGL, 0, second), 0u);
            EXPECT_EQ(VXFFGLApp::getInitCount(), 0u);
            EXPECT_TRUE(other.isCurrentAsMade()) << "current: " << eglGetCurrentContext();
        }
        ASSERT_TRUE(vx::test::GLTestContext::makeCurrent());
    }

    TEST_F(VXFFGLPluginGLTest, QueuedGPUObjectsEndWithTheNextFrame)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word first = instantiate(frame);
        const FFGL::Word second = instantiate(frame);
        ASSERT_NE(first, failWord);
        ASSERT_NE(second, failWord);
        GfxObjectManager* queue = Vexkit::getInstanceWithoutCreating()->getGfxObjectManager();

        // What an instance's destructor hands over, as the plugin's does.
        auto* texture = new Texture();
        ASSERT_TRUE(texture->create(4, 4, Texture::RGBA8));
        const GLuint name = texture->getGLName();
        GfxObject::deleteUsingManager(texture);
        EXPECT_EQ(queue->getNumReleasingObjects(), 1);

        const HostGLState before = HostGLState::capture();
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), second), 0u);
        EXPECT_EQ(before.differencesTo(HostGLState::capture()), std::vector<std::string>{});
        EXPECT_EQ(queue->getNumReleasingObjects(), 0);
        EXPECT_EQ(queue->getNumDeletingObjects(), 0);
        EXPECT_FALSE(glIsTexture(name)) << "released while another instance keeps the engine running";

        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, first), 0u);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, second), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, FrameDrawsAndLeavesHostStateAsFound)
    {
        FFGLHostFrame frame(16, 16, 0.0f, 0.0f, 0.0f);
        const FFGL::Word instance = instantiate(frame);
        ASSERT_NE(instance, failWord);

        // A host's own state, different from every default.
        glViewport(0, 0, 16, 16);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glScalef(2.0f, 3.0f, 1.0f);
        glMatrixMode(GL_MODELVIEW);
        glColor4f(0.25f, 0.5f, 0.75f, 0.625f);
        const HostGLState before = HostGLState::capture();

        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
        const HostGLState after = HostGLState::capture();
        EXPECT_EQ(before.differencesTo(after), std::vector<std::string>{});
        EXPECT_EQ(FFGLTestEffectLog::get().draws, 1);

        // Red 0.25 from "Gain", green from "Invert"; 1/255 for rounding.
        EXPECT_TRUE(vx::test::isNear(vx::test::readPixel(3, 3), {64, 255, 255, 255}, 1)) << vx::test::readPixel(3, 3);

        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, FrameWithoutItsInputDrawsNothing)
    {
        FFGLHostFrame frame(16, 16, 0.0f, 0.0f, 0.0f);
        const FFGL::Word instance = instantiate(frame);
        ASSERT_NE(instance, failWord);

        ProcessOpenGLStructTag none{0, nullptr, frame.record.HostFBO};
        {
            vx::test::GLCallCounter<&epoxy_glPushAttrib> pushes("glPushAttrib");
            vx::test::GLCallCounter<&epoxy_glBindTexture> binds("glBindTexture");
            EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&none), instance), failWord);
            EXPECT_EQ(pushes.count() + binds.count(), 0) << "no GL before an input ever came";
        }
        ProcessOpenGLStructTag nullArray{1, nullptr, frame.record.HostFBO};
        EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&nullArray), instance), failWord);
        FFGLTextureStruct* nullEntry[1] = {nullptr};
        ProcessOpenGLStructTag unconnected{1, nullEntry, frame.record.HostFBO};
        EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&unconnected), instance), failWord);
        EXPECT_EQ(FFGLTestEffectLog::get().draws, 0);

        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
        EXPECT_EQ(FFGLTestEffectLog::get().draws, 1);
        vx::test::clearTo(0.0f, 0.0f, 0.0f, 0.0f);
        EXPECT_EQ(call(FFGL::processOpenGL, FFGL::fromPointer(&unconnected), instance), failWord)
            << "an input missing from this frame is not taken from an earlier one";
        EXPECT_EQ(FFGLTestEffectLog::get().draws, 1);
        EXPECT_EQ(vx::test::readPixel(3, 3), vx::test::PixelRGBA8{});

        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, ConnectionFollowsTheHostsCalls)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word instance = instantiate(frame);
        ASSERT_NE(instance, failWord);
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
        EXPECT_EQ(call(FFGL::disconnect, 0, instance), 0u);
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
        EXPECT_EQ(FFGLTestEffectLog::get().trail, "ICUWUWDCUWDX")
            << "connect once before the first frame; disconnect before exit";

        const FFGL::Word unconnected = instantiate(frame);
        EXPECT_EQ(call(FFGL::connect, 0, unconnected), 0u);
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), unconnected), 0u);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, unconnected), 0u);
        EXPECT_EQ(FFGLTestEffectLog::get().trail.substr(12), "ICUWDX");
    }

    TEST_F(VXFFGLPluginGLTest, FrameTimeRunsFromInitAndLongGapsCountAsOneFrame)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word instance = instantiate(frame);
        ASSERT_NE(instance, failWord);

        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
        const double first = FFGLTestEffectLog::get().lastFrameTime;
        EXPECT_GE(first, 20.0) << "measured from the tick InitGL took";
        EXPECT_LT(first, 1000.0);

        // A host that stalls for more than a second gets one ordinary frame.
        std::this_thread::sleep_for(std::chrono::milliseconds(1050));
        EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
        EXPECT_EQ(FFGLTestEffectLog::get().lastFrameTime, 30.0);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, InstanceCodesCheckTheirInput)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word instance = instantiate(frame);
        ASSERT_NE(instance, failWord);

        EXPECT_EQ(call(FFGL::resize, 0, instance), failWord);
        EXPECT_EQ(call(FFGL::setParameter, 0, instance), failWord);
        EXPECT_EQ(call(FFGL::setTime, 0, instance), failWord);
        EXPECT_EQ(call(FFGL::processOpenGL, 0, instance), failWord);
        EXPECT_EQ(FFGLTestEffectLog::get().trail, "I") << "nothing reached the effect";

        const FFGLViewportStructTag larger{2, 3, 640, 360};
        EXPECT_EQ(call(FFGL::resize, FFGL::fromPointer(&larger), instance), 0u);
        const VXFFGLApp::Viewport& viewport = plugin(instance)->getApp()->getViewport();
        EXPECT_EQ(viewport.x, 2);
        EXPECT_EQ(viewport.y, 3);
        EXPECT_EQ(viewport.width, 640);
        EXPECT_EQ(viewport.height, 360);
        const double seconds = 12.5;
        EXPECT_EQ(call(FFGL::setTime, FFGL::fromPointer(&seconds), instance), 0u);
        EXPECT_EQ(call(FFGL::getInputStatus, 0, instance), 1u);
        EXPECT_EQ(call(FFGL::getInputStatus, 1, instance), failWord);

        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, ParametersThroughTheWord)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word first = instantiate(frame);
        const FFGL::Word second = instantiate(frame);
        ASSERT_NE(first, failWord);
        ASSERT_NE(second, failWord);

        SetParameterStruct gain{0, FFGL::fromFloat(0.75f)};
        EXPECT_EQ(call(FFGL::setParameter, FFGL::fromPointer(&gain), first), 0u);
        EXPECT_EQ(call(FFGL::getParameter, 0, first), FFGL::fromFloat(0.75f));
        EXPECT_EQ(call(FFGL::getParameter, 0, second), FFGL::fromFloat(0.25f)) << "instances are independent";
        EXPECT_STREQ(FFGL::toPointer<const char>(call(FFGL::getParameterDisplay, 0, first)), "6.00");

        const char caption[] = "changed";
        SetParameterStruct text{3, FFGL::fromPointer(caption)};
        EXPECT_EQ(call(FFGL::setParameter, FFGL::fromPointer(&text), first), 0u);
        EXPECT_STREQ(FFGL::toPointer<const char>(call(FFGL::getParameter, 3, first)), "changed");
        EXPECT_STREQ(FFGL::toPointer<const char>(call(FFGL::getParameter, 3, second)), "hello");

        SetParameterStruct unknown{9, FFGL::fromFloat(0.5f)};
        EXPECT_EQ(call(FFGL::setParameter, FFGL::fromPointer(&unknown), first), failWord)
            << "an unknown index goes to the float setter, which refuses it";

        // The host may drop the prototype while instances live.
        EXPECT_EQ(call(FFGL::deInitialise), 0u);
        const char later[] = "later";
        SetParameterStruct textAgain{3, FFGL::fromPointer(later)};
        EXPECT_EQ(call(FFGL::setParameter, FFGL::fromPointer(&textAgain), second), 0u);
        EXPECT_STREQ(FFGL::toPointer<const char>(call(FFGL::getParameter, 3, second)), "later");

        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, first), 0u);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, second), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, FailingInitLeavesCountsBalanced)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        FFGLTestEffectLog::get().failInit = true;
        EXPECT_EQ(instantiate(frame), failWord);
        EXPECT_EQ(FFGLTestEffectLog::get().trail, "IX");
        EXPECT_EQ(VXFFGLApp::getInitCount(), 0u);
        EXPECT_EQ(contexts()->getNumContexts(), 0);
        EXPECT_EQ(VXFFGLApp::getInstanceCount(), 1u) << "only the prototype is left";

        FFGLTestEffectLog::get().failInit = false;
        const FFGL::Word instance = instantiate(frame);
        ASSERT_NE(instance, failWord);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    TEST_F(VXFFGLPluginGLTest, InstantiateWithoutCurrentContextTouchesNothing)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        EXPECT_EQ(call(FFGL::initialise), 0u);
        vx::test::GLTestContext::release();
        vx::test::LogRecorder log;
        EXPECT_EQ(instantiate(frame), failWord);
        EXPECT_TRUE(log.contains("No OpenGL context is current")) << log.dump();
        EXPECT_EQ(VXFFGLApp::getInitCount(), 0u);
        EXPECT_EQ(contexts()->getNumContexts(), 0);
        EXPECT_EQ(FFGLTestEffectLog::get().inits, 0);
        EXPECT_EQ(FFGLTestEffectLog::get().exits, 0) << "nothing to undo";
        ASSERT_TRUE(vx::test::GLTestContext::makeCurrent());

        const FFGL::Word instance = instantiate(frame);
        ASSERT_NE(instance, failWord);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
    }

    // An effect on a shared engine inside an application on it: the
    // application made the root, registered its context and started the
    // engine's GL before the effect came, and ends them itself.
    TEST_F(VXFFGLPluginGLTest, EngineItsHostStartedIsLeftToTheHost)
    {
        Vexkit* root = Vexkit::create(3);
        ASSERT_TRUE(root->initialise(false));
        auto hostContext = contexts()->addContext(vx::test::GLTestContext::getContext(), 0, 0, true, true);
        root->init();
        ASSERT_TRUE(root->isInitialised());
        GlobalFBO* fbo = root->getRenderTargetManager()->getGlobalFBO();
        ASSERT_EQ(fbo->getMainFboId(), 0u);
        // What the host handed over for its own next render task.
        GfxObjectManager* queue = root->getGfxObjectManager();
        auto* texture = new Texture();
        ASSERT_TRUE(texture->create(4, 4, Texture::RGBA8));
        GfxObject::deleteUsingManager(texture);

        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        for (int round = 0; round < 2; ++round)
        {
            const FFGL::Word instance = instantiate(frame);
            ASSERT_NE(instance, failWord);
            EXPECT_EQ(plugin(instance)->getApp()->getRenderer(), hostContext->getRenderer());
            EXPECT_EQ(call(FFGL::processOpenGL, frame.recordWord(), instance), 0u);
            EXPECT_TRUE(vx::test::isNear(vx::test::readPixel(3, 3), {64, 255, 255, 255}, 1))
                << vx::test::readPixel(3, 3);
            EXPECT_EQ(fbo->getMainFboId(), 0u) << "the host's main framebuffer is the host's again";
            EXPECT_EQ(queue->getNumReleasingObjects(), 1) << "the host drains its own queue";

            EXPECT_EQ(call(FFGL::deInstantiateGL, 0, instance), 0u);
            EXPECT_TRUE(root->isInitialised()) << "round " << round;
            EXPECT_EQ(contexts()->getNumContexts(), 1);
            EXPECT_EQ(contexts()->getPrimaryContext(), hostContext);
            EXPECT_EQ(call(FFGL::deInitialise), 0u);
            EXPECT_EQ(VXFFGLApp::getInstanceCount(), 0u);
            ASSERT_EQ(Vexkit::getInstanceWithoutCreating(), root) << "round " << round;
            ASSERT_NE(root->getContextManager(), nullptr) << "round " << round;
        }

        root->executeRenderTask();
        root->executeMessageTask();
        EXPECT_EQ(queue->getNumReleasingObjects() + queue->getNumDeletingObjects(), 0);
        root->release();
        contexts()->removeContext(hostContext);
        hostContext.reset();
        Vexkit::deleteInstance();
    }

    TEST_F(VXFFGLPluginGLTest, NextFirstInstanceRegistersTheContextCurrentThen)
    {
        FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
        const FFGL::Word first = instantiate(frame);
        ASSERT_NE(first, failWord);
        EXPECT_EQ(call(FFGL::deInstantiateGL, 0, first), 0u);

        // The host moves to another context of its own.
        OtherHostContext other;
        ASSERT_TRUE(other.makeCurrent());
        {
            FFGLHostFrame otherFrame(8, 8, 0.0f, 0.0f, 0.0f);
            const FFGL::Word second = instantiate(otherFrame);
            ASSERT_NE(second, failWord);
            ASSERT_EQ(contexts()->getNumContexts(), 1);
            EXPECT_EQ(contexts()->getPrimaryContext()->getNativeContext(), other.context);
            EXPECT_EQ(call(FFGL::processOpenGL, otherFrame.recordWord(), second), 0u);
            EXPECT_TRUE(vx::test::isNear(vx::test::readPixel(1, 1), {64, 255, 255, 255}, 1));
            EXPECT_EQ(call(FFGL::deInstantiateGL, 0, second), 0u);
        }
    }

    // The adapter and the engine draw with the fixed-function pipeline and
    // the attribute stack: a core-profile context is refused at
    // instantiation, with a log line, rather than every frame answering
    // success with hundreds of failed calls behind it.
    TEST_F(VXFFGLPluginGLTest, ACoreProfileContextIsRefusedAtInstantiation)
    {
        OtherHostContext core(true);
        ASSERT_TRUE(core.makeCurrent());
        ASSERT_NE(vx::test::getInteger(GL_CONTEXT_PROFILE_MASK) & GL_CONTEXT_CORE_PROFILE_BIT, 0);
        {
            FFGLHostFrame frame(8, 8, 0.0f, 0.0f, 0.0f);
            vx::test::LogRecorder log;
            const FFGL::Word instance = instantiate(frame);
            EXPECT_EQ(instance, failWord);
            EXPECT_TRUE(log.contains("The current OpenGL context has no compatibility profile")) << log.dump();
            EXPECT_EQ(FFGLTestEffectLog::get().inits, 0);
            EXPECT_EQ(VXFFGLApp::getInitCount(), 0u);
            EXPECT_EQ(contexts()->getNumContexts(), 0);
            if (instance != failWord)
                call(FFGL::deInstantiateGL, 0, instance);
        }
    }
}
