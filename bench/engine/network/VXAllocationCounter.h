#pragma once

// Counts the heap allocations (operator new) this benchmark binary makes
// between start and stop, on every thread.
namespace vx::bench
{
    void startCountingAllocations();
    long stopCountingAllocations();
}
