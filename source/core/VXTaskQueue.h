#pragma once

#include "core/VXSpinLock.h"

#include <array>
#include <atomic>
#include <climits>
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
        // Appends without counting (counting reads what fetching threads write).
        void append(Task* task);
        // Removes the first occurrence; false when the task was not queued.
        bool unQueueTask(Task& task);
        // Orders the queue (priority highest first, queued order among equals),
        // then removes and answers the first task whose guard lets it run, or
        // null. Tasks queued while the fetch orders stay behind the ordered ones
        // until the next fetch. When given, retryTimeout receives the smallest
        // retry time-out of the guards that refused (4294967295 when none did).
        Task* fetchNext(unsigned int* retryTimeout);

        // fetchNext for a thread that comes back when new tasks are queued (the
        // task workers). On null, appendsSeen receives the append count up to
        // which the fetch considered every task. It skips the quick look at the
        // counts: while tasks are queued, a fetch then touches nothing the
        // queueing threads write for every task.
        Task* fetchNext(unsigned int* retryTimeout, unsigned long long& appendsSeen);

        // Empties the queue and answers its tasks, in priority order if asked,
        // else in queue order.
        std::vector<Task*> fetchAll(bool sorted);

        unsigned int getNumRemainingTasks() const;
        unsigned int getNumNonRecurringTasks() const;
        // With the flag set, each append stores the append count in the single
        // total order of sequentially consistent operations, so a queueing
        // thread that reads the workers' state after its append, and a worker
        // that reads the count after writing its state, cannot both miss the
        // other. Set before any task is queued.
        void setAppendsInTotalOrder(bool inTotalOrder) { appendsInTotalOrder = inTotalOrder; }
        // Number of appends ever made; lets a worker about to sleep see whether
        // anything was queued since its last fetch.
        unsigned long long getAppendCount() const { return appended.load(std::memory_order_seq_cst); }
        // A hint: whether tasks were queued since the last fetch took the
        // newcomers. It reads a line the queueing threads write once per
        // batch, not once per task.
        bool hasNewcomers() const { return newcomerPriority.load(std::memory_order_relaxed) != noNewcomers; }
        // A hint: whether ordered tasks wait, so that the next fetch need not
        // take the newcomers (and the cache lines the queueing threads write).
        bool hasOrderedTasks() const { return ordered.load(std::memory_order_relaxed); }
        // Number of tasks that ever left; it moves while tasks are being taken.
        unsigned long long getRemovedCount() const { return removed.load(std::memory_order_acquire); }

    private:
        // The ordered part of the queue is kept as one first-in-first-out run
        // per priority: a stable sort by priority of (ordered run + newcomers)
        // is then just the newcomers appended to their runs, with no sort and no
        // pass over the whole queue per fetch. Only when a task's priority
        // changed is everything re-distributed, in queue order.
        struct Run
        {
            std::vector<Task*> tasks;
            size_t head = 0; // tasks before head have left
            size_t size() const { return tasks.size() - head; }
        };

        static constexpr int noNewcomers = INT_MIN;
        static constexpr int mixedNewcomers = INT_MAX;

        // Under the fetch lock.
        Task* fetchLocked(unsigned int* retryTimeout, unsigned long long& appendsSeen);

        // True when the run of that priority is the only one holding tasks.
        bool onlyRunIs(int priority) const;
        void distribute(Task* task);
        // Records whether the run at index holds tasks.
        void markRun(int index, bool nonEmpty);
        void removeFromRun(int index, size_t position);
        template <typename Visit>
        bool visitOrdered(Visit&& visit) const; // highest priority first; stops when visit answers true
        // Appends the ordered tasks, highest priority first, and empties the runs.
        void takeOrdered(std::vector<Task*>& into);
        // Answers the append count the taken newcomers go up to; sharedPriority,
        // when given, receives their newcomerPriority.
        unsigned long long takeNewcomers(std::vector<Task*>& into, int* sharedPriority);
        void distributeNewcomers(unsigned long long& appendsSeen, bool prioritiesChanged);
        Task* leave(Task* task);

        // What queueing threads write, on a cache line of its own. Counts are
        // kept apart, each under its own lock, so neither side needs an atomic
        // read-modify-write: tasks queued = appended - removed.
        alignas(64) SpinLock listLock;
        std::vector<Task*> newcomers; // list lock
        std::atomic<unsigned long long> appended{0};
        bool appendsInTotalOrder = false;

        // The priority all newcomers share, noNewcomers when there are none,
        // mixedNewcomers when theirs differ; written under the list lock only
        // when that changes (about twice per batch), so fetches read it cheaply.
        alignas(64) std::atomic<int> newcomerPriority{noNewcomers};

        // What fetching threads write.
        alignas(64) SpinLock fetchLock;
        std::uint64_t nonEmptyRuns[4] = {};
        int nonEmptyRunCount = 0;
        std::atomic<unsigned long long> removed{0};
        std::atomic<bool> ordered{false};
        unsigned int seenPriorityChanges = 0;
        std::vector<Task*> scratch;
        std::array<Run, 256> runs; // index = priority + 128
    };

} // namespace vx
