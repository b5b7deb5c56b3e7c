#pragma once

#include <functional>

namespace vx
{

    class WaitableEvent;

    // Runs functions on the Input queue of the current task manager, which
    // the input controller's thread drains every 10 ms. With wantEvent the
    // answer is an event triggered after the function ran (the caller waits
    // on it and deletes it), otherwise null. Without a task manager the
    // missing manager is logged and the function runs at once on the calling
    // thread.
    class InputThread
    {
    public:
        static WaitableEvent* execute(std::function<void()> function, bool wantEvent, signed char priority);
        // Priority 100, waiting without limit: never from the input thread.
        static void executeNow(std::function<void()> function);
    };

} // namespace vx
