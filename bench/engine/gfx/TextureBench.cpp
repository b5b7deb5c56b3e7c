// Texture pool: acquire/release cycles against creating a GL texture each time.
#include "engine/gfx/VXContext.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace
{

    // One offscreen context, current on the benchmark thread for the run.
    bool ensureContext()
    {
        static std::unique_ptr<vx::Context> context;
        if (context == nullptr)
        {
            setenv("EGL_PLATFORM", "surfaceless", 0);
            context.reset(vx::Context::createOffscreenContext(true, 0, nullptr));
            if (context == nullptr)
                return false;
            context->activate();
            vx::GfxInfo::filloutGfxInfo();
        }
        return context->isActive() || context->activate();
    }

    // Baseline: a new GL texture every time.
    void BM_TextureCreateRelease(benchmark::State& state)
    {
        if (! ensureContext())
            return state.SkipWithError("no GL context");
        for (auto _ : state)
        {
            vx::Texture texture;
            texture.create(256, 256, vx::Texture::RGBA8);
            benchmark::DoNotOptimize(texture.getGLName());
        }
    }
    BENCHMARK(BM_TextureCreateRelease)->Name("BM_TextureCreateRelease/256x256");

    void BM_TexturePoolOneKey(benchmark::State& state)
    {
        if (! ensureContext())
            return state.SkipWithError("no GL context");
        vx::TextureManager pool;
        for (auto _ : state)
        {
            vx::Texture* texture = pool.aquireTexture(256, 256, vx::Texture::RGBA8);
            benchmark::DoNotOptimize(texture);
            pool.releaseTexture(*texture);
        }
        pool.release();
    }
    BENCHMARK(BM_TexturePoolOneKey)->Name("BM_TexturePoolOneKey/256x256");

    // Cycles through distinct sizes, each its own key; all are in the pool after
    // the first round.
    void BM_TexturePoolManyKeys(benchmark::State& state)
    {
        if (! ensureContext())
            return state.SkipWithError("no GL context");
        const int keys = static_cast<int>(state.range(0));
        vx::TextureManager pool;
        int next = 0;
        for (auto _ : state)
        {
            const auto side = static_cast<uint16_t>(64 + 64 * (next % keys));
            vx::Texture* texture = pool.aquireTexture(side, 64, vx::Texture::RGBA8);
            benchmark::DoNotOptimize(texture);
            pool.releaseTexture(*texture);
            ++next;
        }
        state.counters["keys"] = keys;
        pool.release();
    }
    BENCHMARK(BM_TexturePoolManyKeys)->Arg(1)->Arg(16)->Arg(64)->Name("BM_TexturePoolManyKeys/x64");

    // Many textures lent at once on one key, as a frame of effects holds them.
    void BM_TexturePoolOneKeyHeld(benchmark::State& state)
    {
        if (! ensureContext())
            return state.SkipWithError("no GL context");
        const int held = static_cast<int>(state.range(0));
        vx::TextureManager pool;
        std::vector<vx::Texture*> lent(static_cast<size_t>(held));
        for (auto _ : state)
        {
            for (auto& texture : lent)
                texture = pool.aquireTexture(128, 128, vx::Texture::RGBA8);
            for (auto* texture : lent)
                pool.releaseTexture(*texture);
        }
        state.SetItemsProcessed(state.iterations() * held);
        pool.release();
    }
    BENCHMARK(BM_TexturePoolOneKeyHeld)->Arg(1)->Arg(10)->Arg(100)->Name("BM_TexturePoolOneKeyHeld/128x128");

} // namespace
