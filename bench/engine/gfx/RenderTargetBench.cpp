// Render-target pool: retain/release cycles against a pool holding 1, 10 and
// 100 free targets of the requested key, and the GL calls of binding a
// ping-pong target, flipping it and binding it again.

#include <benchmark/benchmark.h>

#include <vector>

#include "VXBenchGLContext.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"

namespace
{
    // Engine root with texture and render-target pools on the bench context.
    struct Engine
    {
        Engine()
        {
            ok = vx::bench::makeBenchGLContextCurrent();
            if (! ok)
                return;
            vx::GfxInfo::filloutGfxInfo();
            root = vx::Vexkit::create(3);
            root->initialise(false);
            ok = root->getRenderTargetManager()->init();
        }
        ~Engine()
        {
            if (root == nullptr)
                return;
            vx::RenderTarget::unbind();
            root->getRenderTargetManager()->release();
            root->getTextureManager()->release();
            vx::Vexkit::deleteInstance();
        }
        vx::RenderTargetManager& targets() { return *root->getRenderTargetManager(); }

        vx::Vexkit* root = nullptr;
        bool ok = false;
    };

    void BM_RenderTargetRetainRelease(benchmark::State& state)
    {
        Engine engine;
        if (! engine.ok)
        {
            state.SkipWithError("no GL context");
            return;
        }
        const int freeEntries = static_cast<int>(state.range(0));
        std::vector<vx::RenderTarget*> held;
        for (int i = 0; i < freeEntries; ++i)
            held.push_back(engine.targets().retainPingPong(640, 360, vx::Texture::RGBA8, false, vx::DEFAULT_DEPTH_FMT));
        for (auto* target : held)
            engine.targets().release(target);

        for (auto _ : state)
        {
            vx::RenderTarget* target =
                engine.targets().retainPingPong(640, 360, vx::Texture::RGBA8, false, vx::DEFAULT_DEPTH_FMT);
            benchmark::DoNotOptimize(target);
            engine.targets().release(target);
        }
        state.counters["pooled"] = engine.targets().getTotalRTCount();
    }
    BENCHMARK(BM_RenderTargetRetainRelease)->ArgName("free")->Arg(1)->Arg(10)->Arg(100);

    void BM_PingPongBindFlipBind(benchmark::State& state)
    {
        Engine engine;
        if (! engine.ok)
        {
            state.SkipWithError("no GL context");
            return;
        }
        vx::RenderTarget* target =
            engine.targets().retainPingPong(640, 360, vx::Texture::RGBA8, true, vx::DEFAULT_DEPTH_FMT);
        vx::bench::CallCounter<&epoxy_glBindFramebuffer> binds("glBindFramebuffer");
        vx::bench::CallCounter<&epoxy_glFramebufferTexture2D> attaches("glFramebufferTexture2D");
        vx::bench::CallCounter<&epoxy_glFramebufferRenderbuffer> depth("glFramebufferRenderbuffer");
        vx::bench::CallCounter<&epoxy_glDrawBuffers> drawBuffers("glDrawBuffers");
        vx::bench::CallCounter<&epoxy_glCheckFramebufferStatus> checks("glCheckFramebufferStatus");
        target->bind();
        binds.calls = attaches.calls = depth.calls = drawBuffers.calls = checks.calls = 0;

        for (auto _ : state)
        {
            target->flip();
            benchmark::DoNotOptimize(target->bind());
            benchmark::DoNotOptimize(target->bind());
        }
        const double n = static_cast<double>(state.iterations());
        state.counters["glBindFramebuffer/iter"] = binds.calls / n;
        state.counters["glFramebufferTexture2D/iter"] = attaches.calls / n;
        state.counters["glFramebufferRenderbuffer/iter"] = depth.calls / n;
        state.counters["glDrawBuffers/iter"] = drawBuffers.calls / n;
        state.counters["glCheckFramebufferStatus/iter"] = checks.calls / n;
        vx::RenderTarget::unbind();
        engine.targets().release(target);
    }
    BENCHMARK(BM_PingPongBindFlipBind);
}
