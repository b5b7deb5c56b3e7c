#pragma once

#include <cstddef>

namespace vx::test
{
    // Counts the heap allocations of at least a given size that the process
    // makes on any thread while it lives, through the sanitizers' allocation
    // hooks (AddressSanitizer, ThreadSanitizer). Without a sanitizer nothing
    // is counted: isAvailable answers false. One at a time.
    class LargeAllocations
    {
    public:
        explicit LargeAllocations(std::size_t atLeast);
        ~LargeAllocations();
        LargeAllocations(const LargeAllocations&) = delete;
        LargeAllocations& operator=(const LargeAllocations&) = delete;

        static bool isAvailable();
        std::size_t count() const;
        std::size_t largest() const;
    };
}
