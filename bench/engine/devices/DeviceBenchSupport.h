#pragma once

// What the device benchmarks share: one engine root with its GL context,
// the allocation counter, and the timing of a frame beside its baseline.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "../ffgl/VXBenchEngine.h"

namespace vx::bench
{
    // C++ allocations on any thread while counting is on.
    extern std::atomic<long> allocations;
    extern std::atomic<bool> countAllocations;

    double median(std::vector<double> values);

    template <typename Frame>
    double timed(Frame& frame)
    {
        const auto start = std::chrono::steady_clock::now();
        frame();
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    }

    // Times frame and baseline in every iteration, each going first every
    // other time (before runs untimed ahead of each pair), and reports their
    // medians in microseconds and the frame's over the baseline's.
    template <typename Frame, typename Baseline, typename Before>
    void timeAlternately(benchmark::State& state, Frame& frame, Baseline& baseline, Before before,
                         const char* frameName, const char* baselineName, const char* ratioName)
    {
        std::vector<double> frameTimes, baselineTimes;
        bool frameFirst = true;
        for (auto _ : state)
        {
            before();
            if (frameFirst)
            {
                frameTimes.push_back(timed(frame));
                baselineTimes.push_back(timed(baseline));
            }
            else
            {
                baselineTimes.push_back(timed(baseline));
                frameTimes.push_back(timed(frame));
            }
            frameFirst = ! frameFirst;
        }
        const double frameMedian = median(frameTimes), baselineMedian = median(baselineTimes);
        state.counters[frameName] = frameMedian;
        state.counters[baselineName] = baselineMedian;
        state.counters[ratioName] = baselineMedian > 0.0 ? frameMedian / baselineMedian : 0.0;
    }
}
