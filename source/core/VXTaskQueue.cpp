#include "core/VXTaskQueue.h"

#include "core/VXScopedLock.h"
#include "core/VXTask.h"
#include "core/VXTaskScheduler.h"

#include <algorithm>
#include <climits>

namespace vx
{
    namespace
    {
        int runIndex(const Task* task)
        {
            return int(task->getPriority()) + 128;
        }
    } // namespace

    void TaskQueue::append(Task* task)
    {
        const int priority = task->getPriority();
        ScopedSpinLock list(listLock);
        newcomers.push_back(task);
        const int shared = newcomerPriority.load(std::memory_order_relaxed);
        if (shared == noNewcomers)
            newcomerPriority.store(priority, std::memory_order_relaxed);
        else if (shared != priority && shared != mixedNewcomers)
            newcomerPriority.store(mixedNewcomers, std::memory_order_relaxed);
        // Released after the priority: whoever reads this count sees it.
        const unsigned long long count = appended.load(std::memory_order_relaxed) + 1;
        if (appendsInTotalOrder)
            appended.store(count, std::memory_order_seq_cst);
        else
            appended.store(count, std::memory_order_release);
    }

    unsigned int TaskQueue::queueTask(Task* task)
    {
        append(task);
        return getNumRemainingTasks();
    }

    unsigned int TaskQueue::getNumRemainingTasks() const
    {
        // Removed first: a task is counted as removed only after its append, so
        // the difference never goes below zero.
        const unsigned long long gone = removed.load(std::memory_order_acquire);
        return static_cast<unsigned int>(appended.load(std::memory_order_acquire) - gone);
    }

    template <typename Visit>
    bool TaskQueue::visitOrdered(Visit&& visit) const
    {
        for (int word = 3; word >= 0; --word)
        {
            std::uint64_t bits = nonEmptyRuns[word];
            while (bits != 0)
            {
                const int bit = 63 - __builtin_clzll(bits);
                bits &= ~(std::uint64_t(1) << bit);
                const int index = word * 64 + bit;
                const Run& run = runs[size_t(index)];
                for (size_t position = run.head; position < run.tasks.size(); ++position)
                    if (visit(index, position, run.tasks[position]))
                        return true;
            }
        }
        return false;
    }

    void TaskQueue::markRun(int index, bool nonEmpty)
    {
        std::uint64_t& word = nonEmptyRuns[index / 64];
        const std::uint64_t bit = std::uint64_t(1) << (index % 64);
        if (((word & bit) != 0) == nonEmpty)
            return;
        word ^= bit;
        nonEmptyRunCount += nonEmpty ? 1 : -1;
        if (nonEmptyRunCount == (nonEmpty ? 1 : 0))
            ordered.store(nonEmpty, std::memory_order_relaxed);
    }

    void TaskQueue::distribute(Task* task)
    {
        const int index = runIndex(task);
        runs[size_t(index)].tasks.push_back(task);
        markRun(index, true);
    }

    void TaskQueue::removeFromRun(int index, size_t position)
    {
        Run& run = runs[size_t(index)];
        if (position == run.head)
        {
            ++run.head;
            // The next task out was most likely written by another thread:
            // its line arrives while the one taken now runs.
            if (run.head + 4 < run.tasks.size())
                __builtin_prefetch(run.tasks[run.head + 4]);
        }
        else
            run.tasks.erase(run.tasks.begin() + std::ptrdiff_t(position));
        if (run.size() == 0)
        {
            run.tasks.clear();
            run.head = 0;
            markRun(index, false);
        }
        else if (run.head >= 64 && run.head * 2 >= run.tasks.size())
        {
            run.tasks.erase(run.tasks.begin(), run.tasks.begin() + std::ptrdiff_t(run.head));
            run.head = 0;
        }
    }

    void TaskQueue::takeOrdered(std::vector<Task*>& into)
    {
        visitOrdered(
            [&](int, size_t, Task* task)
            {
                into.push_back(task);
                return false;
            });
        for (Run& run : runs)
        {
            run.tasks.clear();
            run.head = 0;
        }
        std::fill(std::begin(nonEmptyRuns), std::end(nonEmptyRuns), 0);
        nonEmptyRunCount = 0;
        ordered.store(false, std::memory_order_relaxed);
    }

    unsigned long long TaskQueue::takeNewcomers(std::vector<Task*>& into, int* sharedPriority)
    {
        ScopedSpinLock list(listLock);
        if (sharedPriority != nullptr)
            *sharedPriority = newcomerPriority.load(std::memory_order_relaxed);
        newcomerPriority.store(noNewcomers, std::memory_order_relaxed);
        if (into.empty())
            into.swap(newcomers);
        else
        {
            into.insert(into.end(), newcomers.begin(), newcomers.end());
            newcomers.clear();
        }
        return appended.load(std::memory_order_relaxed);
    }

    void TaskQueue::distributeNewcomers(unsigned long long& appendsSeen, bool prioritiesChanged)
    {
        scratch.clear();
        int shared = noNewcomers;
        appendsSeen = takeNewcomers(scratch, &shared);
        if (scratch.empty())
            return;
        // Newcomers of one priority join its run as a whole; a change of
        // priority since they came is taken into account by the next fetch.
        if (! prioritiesChanged && shared != mixedNewcomers && shared != noNewcomers)
        {
            const int index = shared + 128;
            Run& run = runs[size_t(index)];
            if (run.size() == 0)
            {
                run.tasks.swap(scratch);
                run.head = 0;
            }
            else
                run.tasks.insert(run.tasks.end(), scratch.begin(), scratch.end());
            markRun(index, true);
            scratch.clear();
            return;
        }
        for (Task* task : scratch)
            distribute(task);
        scratch.clear();
    }

    // Under the fetch lock.
    Task* TaskQueue::leave(Task* task)
    {
        removed.store(removed.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        return task;
    }

    Task* TaskQueue::fetchNext(unsigned int* retryTimeout)
    {
        if (retryTimeout != nullptr)
            *retryTimeout = UINT_MAX;
        // An empty queue answers without taking the fetch lock, so idle
        // fetchers do not queue up behind one another.
        if (getNumRemainingTasks() == 0)
            return nullptr;
        unsigned long long appendsSeen = 0;
        ScopedSpinLock fetch(fetchLock);
        return fetchLocked(retryTimeout, appendsSeen);
    }

    Task* TaskQueue::fetchNext(unsigned int* retryTimeout, unsigned long long& appendsSeen)
    {
        if (retryTimeout != nullptr)
            *retryTimeout = UINT_MAX;
        ScopedSpinLock fetch(fetchLock);
        return fetchLocked(retryTimeout, appendsSeen);
    }

    Task* TaskQueue::fetchLocked(unsigned int* retryTimeout, unsigned long long& appendsSeen)
    {
        bool newcomersTaken = false;
        // Read before any priority: a change made after this is seen next time.
        const unsigned int priorityChanges = Task::priorityChanges.load();
        if (priorityChanges != seenPriorityChanges)
        {
            seenPriorityChanges = priorityChanges;
            std::vector<Task*> ordered;
            takeOrdered(ordered);
            for (Task* task : ordered)
                distribute(task);
            // The newcomers' recorded priority may be out of date too.
            distributeNewcomers(appendsSeen, true);
            newcomersTaken = true;
        }
        // While the runs and the newcomers all share one priority, sorting them
        // together would leave the newcomers behind the runs in queue order: so
        // they may stay where they are until the runs run dry, and fetching
        // leaves the queueing threads' cache line alone while a backlog lasts.
        // With mixed priorities every fetch takes them, as the order of equal
        // priorities after a later change depends on where each stood.
        if (! newcomersTaken)
        {
            const int shared = newcomerPriority.load(std::memory_order_acquire);
            if (shared != noNewcomers && (shared == mixedNewcomers || ! onlyRunIs(shared)))
            {
                distributeNewcomers(appendsSeen, false);
                newcomersTaken = true;
            }
        }
        for (;;)
        {
            int foundIndex = -1;
            size_t foundPosition = 0;
            Task* found = nullptr;
            visitOrdered(
                [&](int index, size_t position, Task* task)
                {
                    TaskGuard* guard = task->getExecutionGuard();
                    if (guard == nullptr || guard->canExecuteNow())
                    {
                        foundIndex = index;
                        foundPosition = position;
                        found = task;
                        return true;
                    }
                    if (retryTimeout != nullptr)
                        *retryTimeout = std::min(*retryTimeout, guard->getRetryTimeout());
                    return false;
                });
            if (found != nullptr)
            {
                removeFromRun(foundIndex, foundPosition);
                return leave(found);
            }
            if (newcomersTaken)
                return nullptr;
            // Nothing runnable in the runs. The count is read before the
            // newcomers are looked at, so it never covers one not seen.
            const unsigned long long before = appended.load(std::memory_order_acquire);
            if (newcomerPriority.load(std::memory_order_acquire) == noNewcomers)
            {
                appendsSeen = before;
                return nullptr;
            }
            distributeNewcomers(appendsSeen, false);
            newcomersTaken = true;
        }
    }

    bool TaskQueue::onlyRunIs(int priority) const
    {
        const int index = priority + 128;
        return nonEmptyRunCount == 1 && (nonEmptyRuns[index / 64] & (std::uint64_t(1) << (index % 64))) != 0;
    }

    bool TaskQueue::unQueueTask(Task& task)
    {
        ScopedSpinLock fetch(fetchLock);
        int foundIndex = -1;
        size_t foundPosition = 0;
        if (visitOrdered(
                [&](int index, size_t position, Task* queued)
                {
                    foundIndex = index;
                    foundPosition = position;
                    return queued == &task;
                }))
        {
            removeFromRun(foundIndex, foundPosition);
            leave(&task);
            return true;
        }
        ScopedSpinLock list(listLock);
        const auto found = std::find(newcomers.begin(), newcomers.end(), &task);
        if (found == newcomers.end())
            return false;
        newcomers.erase(found);
        leave(&task);
        return true;
    }

    std::vector<Task*> TaskQueue::fetchAll(bool sorted)
    {
        std::vector<Task*> all;
        {
            // The fetch lock keeps a fetch in progress from holding tasks that
            // are handed out here.
            ScopedSpinLock fetch(fetchLock);
            takeOrdered(all);
            takeNewcomers(all, nullptr);
            for (Task* task : all)
                leave(task);
        }
        if (sorted)
            TaskScheduler().sort(all);
        return all;
    }

    unsigned int TaskQueue::getNumNonRecurringTasks() const
    {
        ScopedSpinLock fetch(fetchLock);
        unsigned int count = 0;
        visitOrdered(
            [&](int, size_t, Task* task)
            {
                count += task->isRecurringTask() ? 0 : 1;
                return false;
            });
        ScopedSpinLock list(listLock);
        for (const Task* task : newcomers)
            count += task->isRecurringTask() ? 0 : 1;
        return count;
    }

} // namespace vx
