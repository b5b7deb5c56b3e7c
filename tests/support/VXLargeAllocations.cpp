#include "support/VXLargeAllocations.h"

#include <atomic>
#include <mutex>

// The sanitizers' runtime defines it; a build without one leaves it null.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, std::size_t),
                                                         void (*freeHook)(const volatile void*)) __attribute__((weak));

namespace vx::test
{
    namespace
    {
        std::atomic<std::size_t> threshold{0}; // 0 while no counter lives
        std::atomic<std::size_t> counted{0};
        std::atomic<std::size_t> biggest{0};

        void onAllocation(const volatile void*, std::size_t size)
        {
            const std::size_t least = threshold.load(std::memory_order_relaxed);
            if (least == 0 || size < least)
                return;
            counted.fetch_add(1);
            std::size_t seen = biggest.load();
            while (size > seen && ! biggest.compare_exchange_weak(seen, size))
            {
            }
        }

        void onFree(const volatile void*)
        {
        }

        // The hooks cannot be taken back: installed once, armed by threshold.
        bool installHooks()
        {
            static std::once_flag once;
            static bool installed = false;
            std::call_once(once,
                           []
                           {
                               installed = __sanitizer_install_malloc_and_free_hooks != nullptr &&
                                           __sanitizer_install_malloc_and_free_hooks(onAllocation, onFree) != 0;
                           });
            return installed;
        }
    }

    LargeAllocations::LargeAllocations(std::size_t atLeast)
    {
        counted = 0;
        biggest = 0;
        if (installHooks())
            threshold = atLeast > 0 ? atLeast : 1;
    }

    LargeAllocations::~LargeAllocations()
    {
        threshold = 0;
    }

    bool LargeAllocations::isAvailable()
    {
        return installHooks();
    }

    std::size_t LargeAllocations::count() const
    {
        return counted.load();
    }

    std::size_t LargeAllocations::largest() const
    {
        return biggest.load();
    }
}
