// An application on the shared engine hosting FFGL effects in a chain:
//   vxeffectchainhost <effect> <other plugin>
// <effect> is linked to the same shared engine (so it finds the application's
// root running) and fills its output with (Level, 0, 1 - Level, 1); <other
// plugin> carries an engine of its own. The application draws the effect
// after a solid red generator, drops the pass (with a pass of the other
// plugin queued for deletion behind it), keeps drawing the generator, drains
// its GPU-object queues, takes the effect again and ends its engine itself.
// Exits 0 when every check held; a check that fails prints itself, and a step
// that does not end within a minute (a deadlock) ends the process with 3.

#include "core/VXFile.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXScopedFramebufferBinding.h"
#include "engine/renderpasses/VXFFGLEffect.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/catalogue/VXSolidColor.h"
#include "engine/video/formats/VXPixelsUtils.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace
{
    // Ends the process when one step takes longer than the limit.
    class Watchdog
    {
    public:
        explicit Watchdog(std::chrono::seconds limitPerStep) : limit(limitPerStep), thread([this] { watch(); }) {}
        ~Watchdog()
        {
            {
                const std::lock_guard<std::mutex> hold(lock);
                done = true;
            }
            changed.notify_all();
            thread.join();
        }

        void at(const char* what)
        {
            {
                const std::lock_guard<std::mutex> hold(lock);
                step = what;
                ++steps;
            }
            changed.notify_all();
        }

    private:
        void watch()
        {
            std::unique_lock<std::mutex> hold(lock);
            while (! done)
            {
                const unsigned long seen = steps;
                if (! changed.wait_for(hold, limit, [&] { return done || steps != seen; }))
                {
                    std::fprintf(stderr, "vxeffectchainhost: stuck for %lld s at: %s\n",
                                 static_cast<long long>(limit.count()), step);
                    std::fflush(stderr);
                    std::_Exit(3);
                }
            }
        }

        const std::chrono::seconds limit;
        std::mutex lock;
        std::condition_variable changed;
        const char* step = "starting";
        unsigned long steps = 0;
        bool done = false;
        std::thread thread;
    };

    bool failed(const std::string& what)
    {
        std::fprintf(stderr, "vxeffectchainhost: %s\n", what.c_str());
        return false;
    }

    // The chain's first output pixel; false when it did not render.
    bool renderPixel(vx::RenderPassChain& chain, vx::Renderer& renderer, unsigned char pixel[4])
    {
        vx::RenderTarget* target = chain.render(renderer) ? chain.getRenderTarget() : nullptr;
        if (target == nullptr)
            return false;
        const vx::ScopedFramebufferBinding keep;
        const bool read = target->bind() && vx::PixelsUtils::readFromFrameBufferToBuffer(0, 0, 1, 1, 4, pixel, 0, 0);
        vx::RenderTarget::unbind();
        return read;
    }

    bool expectPixel(vx::RenderPassChain& chain, vx::Renderer& renderer, const int expected[4], const char* what)
    {
        unsigned char pixel[4] = {};
        if (! renderPixel(chain, renderer, pixel))
            return failed(std::string(what) + ": the chain did not render");
        for (int i = 0; i < 4; ++i)
            if (std::abs(pixel[i] - expected[i]) > 2)
            {
                char text[160];
                std::snprintf(text, sizeof text, ": drew %d %d %d %d, not %d %d %d %d", pixel[0], pixel[1], pixel[2],
                              pixel[3], expected[0], expected[1], expected[2], expected[3]);
                return failed(what + std::string(text));
            }
        return true;
    }

    vx::RenderPassChain::PassPtr addPlugin(vx::RenderPassChain& chain, const std::string& path)
    {
        auto* pass = new vx::FFGLEffect(nullptr, 1);
        if (! pass->load(vx::File(path)))
        {
            delete pass;
            return nullptr;
        }
        return chain.addRenderPass(pass);
    }

    // The root, its managers, its primary context and its OpenGL start-up
    // are the application's as it made them.
    bool rootIsIntact(vx::Vexkit* root, const char* when)
    {
        if (vx::Vexkit::getInstanceWithoutCreating() != root || root->getContextManager() == nullptr ||
            root->getGfxObjectManager() == nullptr || root->getRenderTargetManager() == nullptr)
            return failed(std::string("the application's engine root is gone ") + when);
        if (root->getContextManager()->getPrimaryContext() == nullptr || root->getPrimaryRenderer() == nullptr)
            return failed(std::string("the application's primary context is gone ") + when);
        if (! root->isInitialised())
            return failed(std::string("the application's engine OpenGL was released ") + when);
        return true;
    }

    // A failure here lets the run go on: a main framebuffer left to the
    // effect's shows only in what the application draws to its own.
    bool mainFramebufferIsOwn(vx::Vexkit* root, const char* when)
    {
        if (root->getRenderTargetManager()->getGlobalFBO()->getMainFboId() != 0)
            return failed(std::string("the application's main framebuffer was changed ") + when);
        return true;
    }

    bool run(vx::Vexkit* root, const std::string& effectPath, const std::string& otherPath, Watchdog& watchdog)
    {
        const int red[4] = {255, 0, 0, 255};
        const int quarter[4] = {64, 0, 191, 255};
        const int half[4] = {128, 0, 128, 255};

        vx::Renderer& renderer = *root->getPrimaryRenderer();
        vx::RenderPassChain chain;
        chain.setSize(8, 8);
        chain.addRenderPass(new vx::SolidColor());
        chain.retainOutput(true);
        vx::RenderPassChain others;
        others.setSize(8, 8);
        others.addRenderPass(new vx::SolidColor());

        watchdog.at("loading the effect");
        vx::RenderPassChain::PassPtr effect = addPlugin(chain, effectPath);
        if (effect == nullptr)
            return failed("the effect " + effectPath + " does not load");
        auto level = std::dynamic_pointer_cast<vx::ParamRange>(effect->getParams().getParamByName("Level"));
        if (level == nullptr)
            return failed("the effect's pass has no \"Level\"");
        level->setValue(0.25, vx::ValueChangeInfo());
        watchdog.at("the effect's first frame");
        if (! expectPixel(chain, renderer, quarter, "the effect's first frame") ||
            ! rootIsIntact(root, "by the effect's first frame"))
            return false;
        bool good = mainFramebufferIsOwn(root, "by the effect's frame");

        watchdog.at("loading the other plugin");
        vx::RenderPassChain::PassPtr other = addPlugin(others, otherPath);
        if (other == nullptr)
            return failed("the plugin " + otherPath + " does not load");
        if (! others.render(renderer))
            return failed("the other plugin's chain does not render");

        // The effect's pass goes first, the other plugin's behind it.
        watchdog.at("dropping the passes");
        chain.removeRenderPass(effect);
        effect.reset();
        level.reset();
        others.removeRenderPass(other);
        other.reset();
        watchdog.at("drawing after the drop");
        if (! expectPixel(chain, renderer, red, "the frame after the drop"))
            return false;
        watchdog.at("draining the GPU-object queues");
        root->executeRenderTask();
        root->executeMessageTask();
        if (! rootIsIntact(root, "when the passes were deleted"))
            return false;
        watchdog.at("drawing after the deletion");
        if (! expectPixel(chain, renderer, red, "the frame after the deletion"))
            return false;

        // The effect again, at its default level.
        watchdog.at("loading the effect again");
        effect = addPlugin(chain, effectPath);
        if (effect == nullptr)
            return failed("the effect does not load a second time");
        watchdog.at("the effect's frame after loading again");
        if (! expectPixel(chain, renderer, half, "the effect's frame after loading again"))
            return false;
        watchdog.at("dropping the effect again");
        chain.removeRenderPass(effect);
        effect.reset();
        root->executeRenderTask();
        root->executeMessageTask();
        watchdog.at("drawing at the end");
        if (! expectPixel(chain, renderer, red, "the frame at the end") || ! rootIsIntact(root, "at the end"))
            return false;
        chain.retainOutput(false);
        return good;
    }
}

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: vxeffectchainhost <effect> <other plugin>\n");
        return 2;
    }
    Watchdog watchdog(std::chrono::seconds(60));
    watchdog.at("starting the engine");
    // Textures and render passes; OpenGL on an offscreen primary context.
    vx::Vexkit* root = vx::Vexkit::create(0x201);
    if (! root->initialise(true) || ! root->isInitialised())
    {
        failed("the engine root did not start OpenGL");
        return 1;
    }

    bool good = false;
    {
        const auto selected = root->getContextManager()->getScopedPrimaryContextLock();
        good = run(root, argv[1], argv[2], watchdog);
        watchdog.at("releasing the engine's OpenGL");
        root->executeMessageTask();
        root->release();
    }
    watchdog.at("ending the engine");
    root->shutdown();
    vx::Vexkit::deleteInstance();
    if (good)
        std::printf("vxeffectchainhost: the effect drew in the chain, was dropped and taken again; the application's "
                    "engine ran on\n");
    return good ? 0 : 1;
}
