#pragma once

namespace vx
{

    class WaitableEventImpl;

    /** An auto-reset event. A trigger with nobody waiting stays pending and lets
        exactly the next wait through; a trigger with several waiters wakes them
        all and the last to leave clears it. Any thread may trigger or wait. */
    class WaitableEvent
    {
    public:
        WaitableEvent();
        ~WaitableEvent();
        WaitableEvent(const WaitableEvent&) = delete;
        WaitableEvent& operator=(const WaitableEvent&) = delete;

        /** Waits without limit; always true. */
        bool waitForTrigger() const;
        /** True when triggered within timeoutMs, false on time-out (0 answers at once). */
        bool waitForTrigger(unsigned int timeoutMs) const;
        void trigger() const;
        void reset() const;

        class SingleWaiter;

    private:
        SingleWaiter* waiter;
    };

} // namespace vx
