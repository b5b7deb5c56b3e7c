// Latency of one input message from pushMessage to apply(), per thread
// affinity, with the message, render and control queues drained by host-like
// loops every millisecond and the Input queue by the controller's own thread
// every 10 ms. Messages are pushed at a random phase of those periods (a
// seeded pause between them). Baseline: a bare task fired on the Input queue,
// drained the same way. Goal: the input thread's messages within its 10 ms
// period.
#include "core/VXTaskManager.h"
#include "core/VXTime.h"
#include "core/parameters/VXParam.h"
#include "engine/gui/VXBaseInputMessage.h"
#include "engine/gui/VXInputController.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>

namespace
{
    using Mode = vx::TaskThreadMode;

    class StampMessage : public vx::BaseInputMessage
    {
    public:
        StampMessage(vx::ParamBase* target, std::atomic<double>& appliedAt) : BaseInputMessage(target), stamp(appliedAt)
        {
        }
        void apply() override { stamp.store(vx::getTickCount()); }

    private:
        std::atomic<double>& stamp;
    };

    // A host loop draining one queue every millisecond.
    class HostLoop
    {
    public:
        HostLoop(vx::TaskManager& manager, Mode mode)
            : thread(
                  [this, &manager, mode]
                  {
                      while (! stop.load())
                      {
                          manager.executeTasks(mode, 0.0);
                          std::this_thread::sleep_for(std::chrono::milliseconds(1));
                      }
                  })
        {
        }
        ~HostLoop()
        {
            stop = true;
            thread.join();
        }

    private:
        std::atomic<bool> stop{false};
        std::thread thread;
    };

    // Untimed: moves the next push to a random point of the drain periods.
    void randomPause(std::mt19937& random)
    {
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 10000)(random)));
    }

    double waitForStamp(const std::atomic<double>& stamp)
    {
        double applied;
        while ((applied = stamp.load()) < 0.0)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        return applied;
    }

    void BM_InputMessageLatency(benchmark::State& state)
    {
        const auto affinity = vx::ParamBase::ThreadAffinity(state.range(0));
        vx::TaskManager manager(1);
        vx::InputController controller(manager);
        std::unique_ptr<HostLoop> host;
        if (affinity == vx::ParamBase::ThreadAffinity_MessageThread)
            host = std::make_unique<HostLoop>(manager, Mode::Message);
        else if (affinity == vx::ParamBase::ThreadAffinity_RenderThread)
            host = std::make_unique<HostLoop>(manager, Mode::Renderer);
        else if (affinity == vx::ParamBase::ThreadAffinity_ControlThread)
            host = std::make_unique<HostLoop>(manager, Mode::Control);
        vx::Param<int> target("Target", 0);
        target.setThreadAffinity(affinity);
        std::atomic<double> appliedAt{-1.0};
        double worst = 0.0;
        std::mt19937 random(42);
        for (auto _ : state)
        {
            randomPause(random);
            appliedAt = -1.0;
            const double pushed = vx::getTickCount();
            controller.pushMessage(new StampMessage(&target, appliedAt));
            const double latency = waitForStamp(appliedAt) - pushed;
            worst = std::max(worst, latency);
            state.SetIterationTime(latency / 1000.0);
        }
        state.counters["worstMs"] = worst;
    }
    BENCHMARK(BM_InputMessageLatency)
        ->ArgName("affinity")
        ->Arg(0)
        ->Arg(1)
        ->Arg(2)
        ->Arg(4)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(100);

    void BM_InputMessageLatency_BareTaskBaseline(benchmark::State& state)
    {
        vx::TaskManager manager(1);
        std::atomic<bool> stop{false};
        std::thread inputLoop(
            [&]
            {
                while (! stop.load())
                {
                    manager.executeTasks(Mode::Input, 0.0);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
        std::atomic<double> appliedAt{-1.0};
        double worst = 0.0;
        std::mt19937 random(42);
        for (auto _ : state)
        {
            randomPause(random);
            appliedAt = -1.0;
            const double pushed = vx::getTickCount();
            manager.fireTask(
                Mode::Input, [&appliedAt] { appliedAt.store(vx::getTickCount()); }, false, 0);
            const double latency = waitForStamp(appliedAt) - pushed;
            worst = std::max(worst, latency);
            state.SetIterationTime(latency / 1000.0);
        }
        state.counters["worstMs"] = worst;
        stop = true;
        inputLoop.join();
    }
    BENCHMARK(BM_InputMessageLatency_BareTaskBaseline)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace
