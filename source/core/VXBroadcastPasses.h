#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace vx::detail
{

    /** Which broadcasts run on which thread: what the broadcaster has instead of
        a lock held across listener callbacks. A pass announces itself with one
        store in its thread's record; list changes read all records to wait for
        passes elsewhere or to learn when old lists may be freed; and an owner's
        state outlives every pass of it, so a callback may destroy the owner. */
    class BroadcastPasses
    {
    public:
        /** A pass's entry in its thread's record; other threads only read it. */
        struct Slot
        {
            std::atomic<const void*> owner{nullptr};
            std::atomic<std::uint32_t> generation{0}; // changes at every pass start
        };

        /** One running pass on this thread of an owner (a broadcaster's state).
            Until it ends, release() keeps that state alive. */
        class Pass
        {
        public:
            explicit Pass(const void* owner);
            ~Pass();
            Pass(const Pass&) = delete;
            Pass& operator=(const Pass&) = delete;

        private:
            Slot* slot;
        };

        /** True when the calling thread is inside a pass of any owner. */
        static bool isInsidePass();

        /** Waits until the passes of owner running on other threads now have
            ended. Never called inside a pass: those passes may be waiting for it. */
        static void waitForPassesElsewhere(const void* owner);

        /** True when a pass of owner runs on any thread, this one included. */
        static bool isRunning(const void* owner);

        /** Frees an owner's state once no pass of it runs: at once when none
            does, else when a later pass ends or a later release is made. */
        static void release(std::shared_ptr<void> ownerState);
    };

} // namespace vx::detail
