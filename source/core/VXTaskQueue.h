#pragma once

#include "core/VXSpinLock.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace vx
{

    class Task;

    // One queue of tasks. Any thread may queue; fetches are serialised by the
    // fetch lock, so ordering happens outside the list lock while appends go on.
    // Tasks leave the queue only under the fetch lock, so a fetch may look at
    // its tasks (priorities, guards) without holding the list lock.
    class TaskQueue
    {
    public:
        TaskQueue() = default;
        TaskQueue(const TaskQueue&) = delete;
        TaskQueue& operator=(const TaskQueue&) = delete;

        // Appends; answers the number of tasks now queued.
        unsigned int queueTask(Task* task);
        // Removes the first occurrence; false when the task was not queued.
        bool unQueueTask(Task& task);
        // Orders the queue (priority highest first, queued order among equals),
        // then removes and answers the first task whose guard lets it run, or
        // null. Tasks queued while the fetch orders stay behind the ordered ones
        // until the next fetch. When given, retryTimeout receives the smallest
        // retry time-out of the guards that refused (4294967295 when none did).
        Task* fetchNext(unsigned int* retryTimeout);
        // Empties the queue and answers its tasks, in priority order if asked,
        // else in queue order.
        std::vector<Task*> fetchAll(bool sorted);

        unsigned int getNumRemainingTasks() const { return numTasks.load(); }
        unsigned int getNumNonRecurringTasks() const;
        // Number of appends ever made; lets a worker about to sleep see whether
        // anything was queued since its last fetch.
        unsigned long long getAppendCount() const { return appendCount.load(); }

    private:
        // The ordered part of the queue is kept as one first-in-first-out run
        // per priority: a stable sort by priority of (ordered run + newcomers)
        // is then just the newcomers appended to their runs, with no sort and no
        // pass over the whole queue per fetch. Only when a queued task's priority
        // changed is everything re-distributed, in queue order.
        struct Run
        {
            std::vector<Task*> tasks;
            size_t head = 0; // tasks before head have left
            size_t size() const { return tasks.size() - head; }
        };

        void distribute(Task* task);
        void removeFromRun(int index, size_t position);
        template <typename Visit>
        bool visitOrdered(Visit&& visit) const; // highest priority first; stops when visit answers true
        // Appends the ordered tasks, highest priority first, and empties the runs.
        void takeOrdered(std::vector<Task*>& into);
        void takeNewcomers(std::vector<Task*>& into);
        Task* leave(Task* task);

        SpinLock listLock;
        std::vector<Task*> newcomers; // list lock
        SpinLock fetchLock;
        std::array<Run, 256> runs; // fetch lock; index = priority + 128
        std::uint64_t nonEmptyRuns[4] = {};
        unsigned int seenPriorityChanges = 0;
        std::vector<Task*> scratch; // fetch lock
        std::atomic<unsigned int> numTasks{0};
        std::atomic<unsigned long long> appendCount{0};
    };

} // namespace vx
