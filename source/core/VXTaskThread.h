#pragma once

#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

#include <atomic>

namespace vx
{

    class Context;
    class TaskManager;

    // A worker of the task manager: drains the Threaded queue, then sleeps on its
    // wake-up event until the manager wakes it (one worker per queued task), or
    // for the smallest retry time-out of the guards that deferred a task.
    class TaskThread : public Thread
    {
    public:
        // Per-worker GL contexts are not available in this configuration.
        static constexpr bool GL_AVAILABILITY_ENABLED = false;

        // Named "Vexkit Task Thread #<number>"; the manager starts it.
        TaskThread(TaskManager& manager, unsigned short number);
        // Stops the thread with the 250 ms bound.
        ~TaskThread() override;

        // Starts the thread with priority 5.
        bool start();

        // Requests the stop and wakes the worker.
        void requestThreadStop() override;

        void wakeup() { wakeupEvent.trigger(); }
        bool isCurrentlySleeping() const { return sleeping.load(); }

        // Answers true: nothing to set up without per-worker contexts.
        bool init(Context& sharedContext);

    protected:
        void run() override;

    private:
        TaskManager& manager;
        WaitableEvent wakeupEvent;
        std::atomic<bool> sleeping{false};
    };

} // namespace vx
