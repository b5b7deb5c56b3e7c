#pragma once

// What the device benchmarks share: one engine root with its GL context,
// the allocation counter, and the timing of a frame beside its baseline.

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

namespace vx
{
    class Renderer;
    class ScopedContextSelector;
    class Vexkit;
}

namespace vx::bench
{
    // The root (flags 3) with GL started and its primary context current;
    // renderer null when GL could not start.
    struct BenchEngine
    {
        BenchEngine();
        vx::Vexkit* root = nullptr;
        std::shared_ptr<vx::ScopedContextSelector> selected;
        vx::Renderer* renderer = nullptr;
    };
    BenchEngine& benchEngine();

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
}
