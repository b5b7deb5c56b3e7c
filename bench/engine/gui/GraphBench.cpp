// Graph::addEntry from 4 threads while a fifth draws the graph (some 500
// entries in its window) on a headless GL context, against the bare
// alternative: a mutex-guarded vector the drawer copies under the mutex and
// trims to its newest 500 entries, drawn the same way. Goal: at most 1.5x
// the baseline's time per added entry.
#include "../gfx/VXBenchGLContext.h"
#include "core/VXTime.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gui/VXGraph.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
    constexpr int entriesDrawn = 500;
    constexpr float graphSize = 256.0f;

    // A thread with the bench context and a renderer, calling draw until stopped.
    class Drawer
    {
    public:
        explicit Drawer(std::function<size_t(vx::Renderer&)> drawOnce)
            : thread(
                  [this, drawOnce]
                  {
                      if (! vx::bench::makeBenchGLContextCurrent())
                      {
                          ready = true;
                          return;
                      }
                      vx::ContextManager manager;
                      vx::Renderer::installContextHooks();
                      auto context = manager.addContext(vx::ContextOSX::NativePimpl::getCurrentHandle(),
                                                        vx::ContextProfile(0), 1, true, true);
                      vx::Renderer* renderer = context != nullptr ? context->getRenderer() : nullptr;
                      if (renderer != nullptr)
                      {
                          renderer->setViewport(vx::RectT<float>(0.0f, 0.0f, graphSize, graphSize));
                          renderer->setupGuiMatrices(10.0f);
                      }
                      ready = true;
                      while (renderer != nullptr && ! stop.load(std::memory_order_relaxed))
                      {
                          mostDrawn = std::max(mostDrawn.load(), drawOnce(*renderer));
                      }
                      manager.removeContext(context);
                  })
        {
            while (! ready.load())
                std::this_thread::yield();
        }
        ~Drawer()
        {
            stop = true;
            thread.join();
        }
        // The most entries one draw found: about 500 while the writers run.
        double getMostDrawn() const { return double(mostDrawn); }

    private:
        std::atomic<bool> stop{false};
        std::atomic<bool> ready{false};
        std::atomic<size_t> mostDrawn{0};
        std::thread thread;
    };

    vx::GraphStyle plainStyle()
    {
        vx::GraphStyle style;
        style.setTextColor(vx::Color::transparentBlack);
        style.setMarkerColor(vx::Color::transparentBlack);
        return style;
    }

    // ---- The graph.

    std::unique_ptr<vx::Graph> graph;
    std::unique_ptr<Drawer> graphDrawer;

    void BM_GraphAddEntryWhileDrawing(benchmark::State& state)
    {
        if (state.thread_index() == 0)
        {
            // A window that holds about 500 entries at the rate four threads add.
            graph = std::make_unique<vx::Graph>(float(state.range(0)) * 1e-6f);
            graph->setStyle(plainStyle());
            graphDrawer = std::make_unique<Drawer>(
                [](vx::Renderer& renderer)
                {
                    graph->draw(renderer, 0.0f, 0.0f, graphSize, graphSize);
                    return graph->getHistory().size();
                });
        }
        float value = 0.0f;
        for (auto _ : state)
        {
            graph->addEntry(value, nullptr);
            value += 1.0f;
        }
        state.SetItemsProcessed(state.iterations());
        if (state.thread_index() == 0)
        {
            state.counters["mostDrawn"] = graphDrawer->getMostDrawn();
            graphDrawer.reset();
            graph.reset();
        }
    }
    BENCHMARK(BM_GraphAddEntryWhileDrawing)->Arg(30)->Threads(4)->UseRealTime();

    // ---- Baseline: a mutex-guarded vector.

    struct Entry
    {
        double time;
        float value;
    };
    std::mutex baselineLock;
    std::vector<Entry> baselineEntries;
    std::unique_ptr<Drawer> baselineDrawer;

    size_t drawBaseline(vx::Renderer& renderer)
    {
        std::vector<Entry> copy;
        {
            std::lock_guard<std::mutex> hold(baselineLock);
            if (baselineEntries.size() > size_t(entriesDrawn))
                baselineEntries.erase(baselineEntries.begin(), baselineEntries.end() - std::ptrdiff_t(entriesDrawn));
            copy = baselineEntries;
        }
        if (copy.size() < 2)
            return copy.size();
        std::vector<vx::TVec2<float>> points;
        points.reserve(copy.size());
        const double now = vx::getTickCount();
        const double span = now - copy.front().time + 1e-9;
        for (const Entry& e : copy)
            points.emplace_back(float(graphSize - 2.0 - (graphSize - 3.0) * (now - e.time) / span),
                                float(graphSize - 2.0) - float(int(e.value) % 200));
        renderer.fillRectWithin(0.0f, 0.0f, graphSize, graphSize, vx::Color(0.0f, 0.0f, 0.0f, 0.7f));
        renderer.drawLineStrip(points, vx::Color(0.7f, 0.7f, 0.7f, 1.0f));
        renderer.drawPoints(points, vx::Color::green);
        renderer.drawRectWithin(vx::RectT<float>(0.0f, 0.0f, graphSize, graphSize), vx::Color::red);
        return copy.size();
    }

    void BM_GraphAddEntryWhileDrawing_MutexVectorBaseline(benchmark::State& state)
    {
        if (state.thread_index() == 0)
        {
            baselineEntries.clear();
            baselineDrawer = std::make_unique<Drawer>(drawBaseline);
        }
        float value = 0.0f;
        for (auto _ : state)
        {
            const Entry entry{vx::getTickCount(), value};
            std::lock_guard<std::mutex> hold(baselineLock);
            baselineEntries.push_back(entry);
            value += 1.0f;
        }
        state.SetItemsProcessed(state.iterations());
        if (state.thread_index() == 0)
        {
            state.counters["mostDrawn"] = baselineDrawer->getMostDrawn();
            baselineDrawer.reset();
        }
    }
    BENCHMARK(BM_GraphAddEntryWhileDrawing_MutexVectorBaseline)->Threads(4)->UseRealTime();

} // namespace
