#pragma once

#include <functional>

namespace vx
{

    class WaitableEvent;

    // Run a function on the queue of the current task manager
    // (TaskManager::getCurrent()). Each execute answers, when wantEvent is set,
    // an event triggered after the function ran, which the caller waits on and
    // deletes; otherwise null. Without a task manager the missing manager is
    // logged and the function runs at once on the calling thread (the event, if
    // asked for, comes back triggered).

    // On the message thread the function runs at once; elsewhere it goes to the
    // Message queue.
    class MessageThread
    {
    public:
        static WaitableEvent* execute(std::function<void()> function, bool wantEvent, signed char priority);
        // Runs the function with priority 100 and waits for it without limit.
        static void executeNow(std::function<void()> function);
    };

    // The Threaded queue, drained by the task manager's workers.
    class TaskThreads
    {
    public:
        static WaitableEvent* execute(std::function<void()> function, bool wantEvent, signed char priority);
        // Waits without limit: never call it from a worker that the function
        // needs (it would wait for itself).
        static void executeNow(std::function<void()> function);
    };

    // The Control queue, drained by the embedding application.
    class ControlThread
    {
    public:
        static WaitableEvent* execute(std::function<void()> function, bool wantEvent, signed char priority);
        static void executeNow(std::function<void()> function);
    };

} // namespace vx
