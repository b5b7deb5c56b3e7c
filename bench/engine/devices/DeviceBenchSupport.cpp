#include "DeviceBenchSupport.h"

#include <algorithm>
#include <cstdlib>
#include <new>


namespace vx::bench
{
    std::atomic<long> allocations{0};
    std::atomic<bool> countAllocations{false};

    double median(std::vector<double> values)
    {
        if (values.empty())
            return 0.0;
        std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
        return values[values.size() / 2];
    }

    std::vector<uint8_t> pattern(size_t size)
    {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 7 + i / 7680);
        return bytes;
    }
}

// The standard operator delete frees what malloc gave. Out of line: seen
// inline, the compiler takes the malloc inside for a mismatch with the
// standard delete.
__attribute__((noinline)) void* operator new(std::size_t bytes)
{
    if (vx::bench::countAllocations.load(std::memory_order_relaxed))
        vx::bench::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(bytes != 0 ? bytes : 1))
        return memory;
    throw std::bad_alloc();
}
