#pragma once

#include <functional>

namespace vx
{

    class WaitableEvent;

    /** Runs work on the render thread. */
    class RenderThread
    {
    public:
        /** On the render thread: calls fn now and, with wait, answers a new event
            that is already triggered. Elsewhere: queues fn on the Renderer queue
            of the engine's task manager and answers its event (with wait). The
            caller owns the event. Without a task manager fn cannot reach the
            render thread: logs an error, does not call fn and answers null. */
        static WaitableEvent* execute(std::function<void()> fn, bool wait, signed char priority);
        /** execute(fn, true, 100), then waits for the event and deletes it. */
        static void executeNow(std::function<void()> fn);
    };

} // namespace vx
