#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace vx::bench
{
    // Runs a then b each iteration, so load on the machine hits both, and
    // reports a's total time over b's as "ratio".
    template <typename A, typename B>
    void sideBySide(benchmark::State& state, A&& a, B&& b)
    {
        using Clock = std::chrono::steady_clock;
        Clock::duration timeA{}, timeB{};
        for (auto _ : state)
        {
            const auto t0 = Clock::now();
            a();
            const auto t1 = Clock::now();
            b();
            timeB += Clock::now() - t1;
            timeA += t1 - t0;
        }
        state.counters["ratio"] = double(timeA.count()) / double(std::max<Clock::rep>(timeB.count(), 1));
    }
}
