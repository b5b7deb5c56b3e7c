#pragma once

#include <atomic>
#include <cstdint>

namespace vx
{

    /** A one-byte lock for short, non-blocking sections (listener queues, pools,
        the read/write lock's own record). Not re-entrant: a holder must neither
        enter it again nor block while holding it. */
    class SpinLock
    {
    public:
        SpinLock() noexcept { state.exchange(0, std::memory_order_relaxed); }
        SpinLock(const SpinLock&) = delete;
        SpinLock& operator=(const SpinLock&) = delete;

        /** Busy-waits until the lock is ours. */
        void enter() const noexcept
        {
            while (state.exchange(1, std::memory_order_acquire) != 0)
            {
                while (state.load(std::memory_order_relaxed) != 0)
                    pause();
            }
        }

        /** One attempt; true when the lock is now ours. */
        bool tryEnter() const noexcept { return state.exchange(1, std::memory_order_acquire) == 0; }

        void exit() const noexcept { state.store(0, std::memory_order_release); }

    private:
        static void pause() noexcept
        {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }

        mutable std::atomic<std::uint8_t> state{0};
    };

} // namespace vx
