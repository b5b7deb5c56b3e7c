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

    unsigned int TaskQueue::queueTask(Task* task)
    {
        task->timesQueued.fetch_add(1);
        ScopedSpinLock list(listLock);
        newcomers.push_back(task);
        appendCount.fetch_add(1);
        return numTasks.fetch_add(1) + 1;
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

    void TaskQueue::distribute(Task* task)
    {
        const int index = runIndex(task);
        runs[size_t(index)].tasks.push_back(task);
        nonEmptyRuns[index / 64] |= std::uint64_t(1) << (index % 64);
    }

    void TaskQueue::removeFromRun(int index, size_t position)
    {
        Run& run = runs[size_t(index)];
        if (position == run.head)
            ++run.head;
        else
            run.tasks.erase(run.tasks.begin() + std::ptrdiff_t(position));
        if (run.size() == 0)
        {
            run.tasks.clear();
            run.head = 0;
            nonEmptyRuns[index / 64] &= ~(std::uint64_t(1) << (index % 64));
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
    }

    void TaskQueue::takeNewcomers(std::vector<Task*>& into)
    {
        ScopedSpinLock list(listLock);
        if (into.empty())
            into.swap(newcomers);
        else
        {
            into.insert(into.end(), newcomers.begin(), newcomers.end());
            newcomers.clear();
        }
    }

    Task* TaskQueue::leave(Task* task)
    {
        task->timesQueued.fetch_sub(1);
        numTasks.fetch_sub(1);
        return task;
    }

    Task* TaskQueue::fetchNext(unsigned int* retryTimeout)
    {
        ScopedSpinLock fetch(fetchLock);
        if (retryTimeout != nullptr)
            *retryTimeout = UINT_MAX;

        scratch.clear();
        takeNewcomers(scratch);
        // Read before any priority: a change made after this is seen next time.
        const unsigned int priorityChanges = Task::queuedPriorityChanges.load();
        if (priorityChanges != seenPriorityChanges)
        {
            seenPriorityChanges = priorityChanges;
            std::vector<Task*> ordered;
            takeOrdered(ordered);
            for (Task* task : ordered)
                distribute(task);
        }
        for (Task* task : scratch)
            distribute(task);
        scratch.clear();

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
        if (found == nullptr)
            return nullptr;
        removeFromRun(foundIndex, foundPosition);
        return leave(found);
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
            takeNewcomers(all);
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
