#pragma once

#include "core/VXSpinLock.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
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

        // Numbers fetchers 0 to count - 1 for fetchNextAs (the task workers).
        // Called before any of them fetches.
        void prepareFetchers(unsigned int count);
        // fetchNext for numbered fetcher `fetcher`. While the fetch lock is held,
        // the fetcher asks the holder to fetch for it and waits, instead of
        // every fetcher taking the lock (and its cache lines) in turn. Tasks
        // whose guard would be consulted are left to each fetcher itself, since
        // guards are asked on the fetching thread. On null, appendsSeen receives
        // the append count up to which the fetch considered every task.
        Task* fetchNextAs(unsigned int fetcher, unsigned int* retryTimeout, unsigned long long& appendsSeen);

        // Empties the queue and answers its tasks, in priority order if asked,
        // else in queue order.
        std::vector<Task*> fetchAll(bool sorted);

        unsigned int getNumRemainingTasks() const;
        unsigned int getNumNonRecurringTasks() const;
        // Number of appends ever made; lets a worker about to sleep see whether
        // anything was queued since its last fetch.
        unsigned long long getAppendCount() const { return appended.load(std::memory_order_seq_cst); }

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

        // A numbered fetcher's request, on its own cache line. Its state moves
        // from waiting to served only under the fetch lock, and the fetcher
        // withdraws it only under the fetch lock, so no handed-out task is lost.
        struct alignas(64) Request
        {
            enum State : int
            {
                idle,
                waiting,
                served
            };
            std::atomic<int> state{idle};
            Task* task = nullptr;
            unsigned int retryTimeout = 0;
            unsigned long long appendsSeen = 0;
        };

        static constexpr int noNewcomers = INT_MIN;
        static constexpr int mixedNewcomers = INT_MAX;

        // Under the fetch lock. With unguardedOnly it answers null and sets
        // guarded, changing nothing, when a guard would have to be consulted.
        Task* fetchLocked(unsigned int* retryTimeout, bool unguardedOnly, bool& guarded,
                          unsigned long long& appendsSeen);
        void serveRequests(unsigned int self);

        // True when the run of that priority is the only one holding tasks.
        bool onlyRunIs(int priority) const;
        void distribute(Task* task);
        void removeFromRun(int index, size_t position);
        template <typename Visit>
        bool visitOrdered(Visit&& visit) const; // highest priority first; stops when visit answers true
        // Appends the ordered tasks, highest priority first, and empties the runs.
        void takeOrdered(std::vector<Task*>& into);
        // Answers the append count the taken newcomers go up to.
        unsigned long long takeNewcomers(std::vector<Task*>& into);
        void distributeNewcomers(unsigned long long& appendsSeen);
        Task* leave(Task* task);

        // What queueing threads write, on a cache line of its own. Counts are
        // kept apart, each under its own lock, so neither side needs an atomic
        // read-modify-write: tasks queued = appended - removed.
        alignas(64) SpinLock listLock;
        std::vector<Task*> newcomers; // list lock
        std::atomic<unsigned long long> appended{0};

        // The priority all newcomers share, noNewcomers when there are none,
        // mixedNewcomers when theirs differ; written under the list lock only
        // when that changes (about twice per batch), so fetches read it cheaply.
        alignas(64) std::atomic<int> newcomerPriority{noNewcomers};

        // What fetching threads write.
        alignas(64) SpinLock fetchLock;
        std::uint64_t nonEmptyRuns[4] = {};
        std::atomic<unsigned long long> removed{0};
        unsigned int seenPriorityChanges = 0;
        std::vector<Task*> scratch;
        std::unique_ptr<Request[]> requests;
        unsigned int requestCount = 0;
        std::array<Run, 256> runs; // index = priority + 128
    };

} // namespace vx
