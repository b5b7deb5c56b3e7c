#include "VXAllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
    std::atomic<bool> counting{false};
    std::atomic<long> allocations{0};
}

namespace vx::bench
{
    void startCountingAllocations()
    {
        allocations.store(0);
        counting.store(true);
    }

    long stopCountingAllocations()
    {
        counting.store(false);
        return allocations.load();
    }
}

// The replaceable global forms; the others (arrays, aligned) forward here.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
