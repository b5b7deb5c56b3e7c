#pragma once

#include <atomic>
#include <cstdint>
#include <sched.h>
#include <time.h>

namespace vx
{

    /** A one-byte lock for short, non-blocking sections (listener queues, pools,
        task queues, the read/write lock's own record). Not re-entrant: a holder
        must neither enter it again nor block while holding it. */
    class SpinLock
    {
    public:
        SpinLock() noexcept { state.exchange(0, std::memory_order_relaxed); }
        SpinLock(const SpinLock&) = delete;
        SpinLock& operator=(const SpinLock&) = delete;

        /** Spins until the lock is ours, backing off, then yielding the processor. */
        void enter() const noexcept
        {
            if (state.exchange(1, std::memory_order_acquire) != 0)
                enterContended();
        }

        /** One attempt; true when the lock is now ours. */
        bool tryEnter() const noexcept { return state.exchange(1, std::memory_order_acquire) == 0; }

        void exit() const noexcept { state.store(0, std::memory_order_release); }

        /** A hint only: the lock may change hands right after. */
        bool isHeld() const noexcept { return state.load(std::memory_order_relaxed) != 0; }

    private:
        // Waiters back off exponentially so they do not fight over the lock's
        // cache line, then yield, and at last sleep briefly: a holder that lost
        // its processor gets one back sooner than if every waiter spun out its
        // time slice.
        void enterContended() const noexcept
        {
            constexpr unsigned maxPauses = 32;
            unsigned pauses = 1;
            for (unsigned round = 0;; ++round)
            {
                for (unsigned i = 0; i < pauses; ++i)
                    pause();
                if (state.load(std::memory_order_relaxed) == 0 && state.exchange(1, std::memory_order_acquire) == 0)
                    return;
                if (pauses < maxPauses)
                    pauses *= 2;
                else
                    backOff(round);
            }
        }

    public:
        /** The waiting step of a spinning wait in its round-th round: processor
            pauses, then yields, then short sleeps. */
        static void backOff(unsigned round) noexcept
        {
            if (round < 16)
            {
                for (int i = 0; i < 32; ++i)
                    pause();
            }
            else if (round < 80)
                sched_yield();
            else
            {
                const timespec nap{0, 50000};
                nanosleep(&nap, nullptr);
            }
        }

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
