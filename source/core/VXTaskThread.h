#pragma once

#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

#include <atomic>

namespace vx
{

    class Context;
    class TaskManager;
    class TaskQueue;

    // A worker of the task manager: drains the Threaded queue; out of tasks, it
    // looks for new ones for a few hundred microseconds (at most two workers
    // look at a time), then sleeps on its wake-up event until it is woken, or
    // for the smallest retry time-out of the guards that deferred a task.
    class TaskThread : public Thread
    {
    public:
        // Per-worker GL contexts are not available in this configuration.
        static constexpr bool GL_AVAILABILITY_ENABLED = false;

        // Named "Vexkit Task Thread #<number>"; the manager starts it.
        TaskThread(TaskManager& manager, unsigned short number);
        // Stops the thread once its running task has finished; never cancels it.
        ~TaskThread() override;

        // Starts the thread with priority 5.
        bool start();

        // Requests the stop and wakes the worker.
        void requestThreadStop() override;

        void wakeup() { wakeupEvent.trigger(); }
        // True for the first caller since the worker last woke; see TaskManager.
        // othersAwake: whether another worker was awake (the wake-up may turn
        // out needless).
        bool markWoken(bool othersAwake)
        {
            if (woken.exchange(true))
                return false;
            wokenWhileOthersAwake.store(othersAwake);
            return true;
        }
        bool isCurrentlySleeping() const { return sleeping.load(); }

        // Answers true: nothing to set up without per-worker contexts.
        bool init(Context& sharedContext);

    protected:
        void run() override;

    private:
        bool lookForTasks(const TaskQueue& queue, unsigned long long& seen);

        TaskManager& manager;
        const unsigned short number;
        WaitableEvent wakeupEvent;
        std::atomic<bool> sleeping{false};
        std::atomic<bool> woken{false};
        std::atomic<bool> wokenWhileOthersAwake{false};
        unsigned int tasksRun = 0; // this thread only, as the two below
        unsigned int tasksRunWhenWoken = 0;
        bool wasWoken = false;
    };

} // namespace vx
