#pragma once

#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

#include <atomic>
#include <chrono>
#include <vector>

namespace vx
{

    class Context;
    class TaskManager;
    class TaskQueue;

    // A worker of the task manager. It drains the Threaded queue; out of tasks,
    // it waits a little for more, then either watches the queue for the other
    // drainers (one worker at a time) or sleeps on its wake-up event until it
    // is woken, or for the smallest retry time-out of the guards that deferred
    // a task. The watcher sleeps too, looking at the queue every millisecond,
    // and joins in when the drainers fall behind: when nobody drains, when no
    // task left the queue since its last look while tasks wait (every drainer
    // runs a long task), or when the tasks waiting outnumber those that left.
    // So tiny tasks run on few workers, which neither fight over the queue
    // nor take processor time from the threads queueing them, and long ones
    // on all.
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
        // Claims a sleeping worker for a wake-up (the caller then calls
        // wakeup()): true for the first caller while the worker sleeps, after
        // which it no longer counts as sleeping. toWatch: the worker is to
        // watch the queue rather than drain at once.
        bool markWoken(bool toWatch)
        {
            int expected = asleep;
            return state.compare_exchange_strong(expected, toWatch ? wokenToWatch : wokenToDrain);
        }
        // Sleeping and not yet claimed for a wake-up.
        bool isCurrentlySleeping() const { return state.load() == asleep; }

        // Answers true: nothing to set up without per-worker contexts.
        bool init(Context& sharedContext);

    protected:
        void run() override;

    private:
        using Clock = std::chrono::steady_clock;

        enum class Role
        {
            draining,
            watching,
            sleeping
        };

        enum State : int
        {
            awake,
            asleep,
            wokenToDrain,
            wokenToWatch
        };

        // Each leaves its role's count and enters the next one's.
        Role drainIdle(const TaskQueue& queue, unsigned long long seen);
        Role watch(const TaskQueue& queue, unsigned long long seen);
        Role sleep(const TaskQueue& queue, unsigned long long seen);
        Role startWatchingOr(Role otherwise);
        void paceTakes();
        // Sleeps until woken or until the time given (the latest possible:
        // no limit); with ifNothingNew, not at all while tasks are queued
        // that the worker has not considered. Answers the state it was left
        // in: awake when not claimed by markWoken.
        State await(Clock::time_point until, bool ifNothingNew, const TaskQueue& queue, unsigned long long seen);
        // Waits on the wake-up event until the time given (the latest possible:
        // no limit); false when that time came first.
        bool waitUntil(Clock::time_point until);

        TaskManager& manager;
        const unsigned short number;
        WaitableEvent wakeupEvent;
        std::atomic<int> state{awake};
        // When the guards that deferred a task want to be asked again; this
        // thread only.
        Clock::time_point retryAt = Clock::time_point::max();
        Clock::time_point lastTakeAt; // when the drainer last went for the newcomers
    };

} // namespace vx
