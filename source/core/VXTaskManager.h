#pragma once

#include "core/VXPoolAllocator.h"
#include "core/VXTask.h"
#include "core/VXTaskProfiler.h"
#include "core/VXTaskQueue.h"

#include <atomic>
#include <functional>
#include <vector>

namespace vx
{

    class Context;
    class TaskThread;
    class WaitableEvent;

    // Owns the six task queues, the task pool (1000 slots, chaining further
    // pools when full) and the worker threads that drain the Threaded queue.
    // The other queues are drained by the threads that call executeTasks for
    // them. Any thread may queue, fire or unqueue tasks.
    class TaskManager
    {
    public:
        // Starts numThreads workers (clamped to 1..255), numbered from 1.
        explicit TaskManager(unsigned char numThreads);
        // Stops the workers, each after the task it is running has finished
        // (a worker is never cancelled); queued tasks are destroyed unrun and
        // their completion events are not triggered. A running task that waits
        // for one of those, or for this thread, keeps it waiting.
        ~TaskManager();

        TaskManager(const TaskManager&) = delete;
        TaskManager& operator=(const TaskManager&) = delete;

        // The task manager the static entry points (MessageThread, TaskThreads,
        // ControlThread) and task groups use: set by the engine root when it
        // makes its manager and cleared before the manager goes; null while there
        // is none.
        static TaskManager* getCurrent();
        static void setCurrent(TaskManager* manager);

        // Answers true: workers have no GL contexts to share in this configuration.
        bool init(Context& context);

        // A task built in a pool slot, not queued; never null.
        Task* constructTask(TaskThreadMode mode, signed char priority, std::function<void()> function, bool recurring);
        // Returns a pool task to its slot, deletes any other; null is ignored.
        void destructTask(Task* task);

        // Builds and queues a non-recurring task. With wantEvent it answers a new
        // event, triggered after the function ran, that the caller waits on and
        // deletes; otherwise null.
        WaitableEvent* fireTask(TaskThreadMode mode, std::function<void()> function, bool wantEvent,
                                signed char priority);
        // Queues the task on its mode's queue; the manager now owns it. For the
        // Threaded queue it wakes sleeping workers: while all sleep, one per
        // queued task; while some drain, one to watch the queue when none does
        // (see TaskThread). Null is ignored; a task whose mode names no queue
        // is logged and stays with the caller.
        void queueTask(Task* task);
        // Removes a queued task, runs it first if asked, and destroys it; false
        // (and nothing changes) when it was not queued.
        bool unqueueTask(Task& task, bool executeNow);

        // Runs at most the tasks queued in the mode when the call begins, while
        // maxSeconds (> 0) has not passed; maxSeconds <= 0 sets no limit. The
        // budget is tested before each task.
        void executeTasks(TaskThreadMode mode, double maxSeconds);
        // Fetches and runs one task; recurring tasks are queued again, others
        // destroyed. False when no task may run.
        bool executeNextTask(TaskThreadMode mode, unsigned int* retryTimeout);

        unsigned int getNumPendingTasks(TaskThreadMode mode) const;

        // A new profiler, replacing (and deleting) any earlier one; it hears
        // of every queue change from now on. Not concurrently with itself or
        // disableProfiler; queueing and running may go on meanwhile.
        void enableProfiler();
        void disableProfiler();
        // Null while disabled.
        TaskProfiler* getProfiler() const { return profiler.get(); }
        unsigned char getMaxNumTaskThreads() const { return maxNumTaskThreads; }
        const std::vector<TaskThread*>& getTaskThreads() const { return taskThreads; }
        // Whether every worker sleeps until it is woken (or its guards' retry
        // time-out passes): none drains, watches the queue for the drainers
        // (the watcher sleeps between looks, so its own sleeping flag does not
        // tell) or is on its way. A snapshot: a task queued, or a time-out
        // passing, may set workers going at once.
        bool areAllWorkersAsleep() const;

    private:
        friend class TaskThread;

        // The workers' side: fetches and runs one Threaded task for a worker;
        // on false, appendsSeen as TaskQueue::fetchNext gives it. The pool
        // slots of tasks run collect in ranSlots until releaseSlots.
        bool executeNextWorkerTask(unsigned int* retryTimeout, unsigned long long& appendsSeen,
                                   std::vector<unsigned char*>& ranSlots);
        void releaseSlots(std::vector<unsigned char*>& ranSlots);
        void queueOn(TaskQueue& queue, TaskThreadMode mode, Task* task);
        // Runs a fetched task, then queues it again or destroys it; false for null.
        bool runFetched(const TaskQueue& queue, TaskThreadMode mode, Task* task,
                        std::vector<unsigned char*>* ranSlots = nullptr);
        // Wakes sleeping workers for tasks on the Threaded queue when no awake
        // worker is free to notice them (see queueTask).
        void wakeWorkers();
        // Wakes one sleeping worker to watch the queue, unless one already
        // watches or is on its way.
        void wakeWatcher();
        // Claims a sleeping worker for a wake-up; false when it is not asleep
        // or another waker was first.
        bool claimForWakeUp(TaskThread& worker, bool toWatch);
        // Null, with a log line, for a mode that names no queue.
        TaskQueue* findQueue(TaskThreadMode mode, const char* operation) const;
        void destroyAllQueued();

        std::vector<TaskThread*> taskThreads;
        mutable TaskQueue queues[numTaskThreadModes];
        PoolAllocator taskPool;
        unsigned char maxNumTaskThreads;
        TaskProfilerSlot profiler;
        // What the workers do, counted on a line of its own: queueing threads
        // and draining workers read it for every task, workers write it only
        // when they change between draining, watching and sleeping.
        struct alignas(64) WorkerCounts
        {
            std::atomic<int> sleeping{0};
            std::atomic<int> watching{0}; // watching the queue for the drainers (at most one)
            std::atomic<int> underway{0}; // woken, not yet awake
            std::atomic<int> draining{0}; // fetching and running tasks
        };
        WorkerCounts workerCounts;
    };

} // namespace vx
