#include "core/VXTaskManager.h"

#include "core/VXLog.h"
#include "core/VXTaskThread.h"
#include "core/VXTime.h"
#include "core/VXWaitableEvent.h"

#include <atomic>

namespace vx
{
    namespace
    {
        constexpr unsigned int taskPoolSize = 1000;
        constexpr size_t slotBatchSize = 32;

        std::atomic<TaskManager*> currentManager{nullptr};
    } // namespace

    TaskManager* TaskManager::getCurrent()
    {
        return currentManager.load();
    }

    void TaskManager::setCurrent(TaskManager* manager)
    {
        currentManager.store(manager);
    }

    TaskManager::TaskManager(unsigned char numThreads)
        : taskPool(taskPoolSize, sizeof(Task)), maxNumTaskThreads(numThreads == 0 ? 1 : numThreads)
    {
        taskPool.enableChaining();
        queues[int(TaskThreadMode::Threaded)].setAppendsInTotalOrder(true);
        taskThreads.reserve(maxNumTaskThreads);
        for (unsigned short number = 1; number <= maxNumTaskThreads; ++number)
        {
            TaskThread* worker = new TaskThread(*this, number);
            taskThreads.push_back(worker);
            worker->start();
        }
        logPrint(logInfo, "Created TaskManager with %u threads.", (unsigned)maxNumTaskThreads);
    }

    TaskManager::~TaskManager()
    {
        // All workers stop together, each finishing the task it runs however
        // long that takes: a worker is never cancelled, since a task cut off
        // part-way never completes and one cut off in a destructor ends the
        // process.
        for (TaskThread* worker : taskThreads)
            worker->requestThreadStop();
        destroyAllQueued();
        // Every worker ends before any is deleted: a finishing worker that puts
        // a recurring task back walks the worker list.
        for (TaskThread* worker : taskThreads)
            worker->stopThreadNow();
        for (TaskThread* worker : taskThreads)
            delete worker;
        taskThreads.clear();
        // Recurring tasks put back by a finishing worker.
        destroyAllQueued();
        if (getCurrent() == this)
            setCurrent(nullptr);
    }

    void TaskManager::destroyAllQueued()
    {
        for (TaskQueue& queue : queues)
            for (Task* task : queue.fetchAll(false))
                destructTask(task);
    }

    TaskQueue* TaskManager::findQueue(TaskThreadMode mode, const char* operation) const
    {
        const int index = int(mode);
        if (index >= 0 && index < numTaskThreadModes) [[likely]]
            return &queues[index];
        logPrint(logError, "TaskManager::%s: no task queue for thread mode %d", operation, index);
        return nullptr;
    }

    bool TaskManager::init(Context&)
    {
        static_assert(! TaskThread::GL_AVAILABILITY_ENABLED, "workers have no contexts to initialise");
        return true;
    }

    Task* TaskManager::constructTask(TaskThreadMode mode, signed char priority, std::function<void()> function,
                                     bool recurring)
    {
        // Chaining is on, so the pool always gives a slot.
        return taskPool.construct<Task>(std::move(function), mode, priority, recurring);
    }

    void TaskManager::destructTask(Task* task)
    {
        if (task == nullptr)
            return;
        unsigned char* address = reinterpret_cast<unsigned char*>(task);
        if (taskPool.containsObject(address))
        {
            task->~Task();
            taskPool.unaquireObject(address);
        }
        else
            delete task;
    }

    WaitableEvent* TaskManager::fireTask(TaskThreadMode mode, std::function<void()> function, bool wantEvent,
                                         signed char priority)
    {
        TaskQueue* queue = findQueue(mode, "fireTask");
        if (queue == nullptr)
            return nullptr;
        Task* task = constructTask(mode, priority, std::move(function), false);
        WaitableEvent* event = nullptr;
        if (wantEvent)
        {
            event = new WaitableEvent();
            task->installCompletionEvent(*event);
        }
        queueOn(*queue, mode, task);
        return event;
    }

    void TaskManager::queueTask(Task* task)
    {
        if (task == nullptr)
            return;
        const TaskThreadMode mode = task->getThreadMode();
        if (TaskQueue* queue = findQueue(mode, "queueTask"))
            queueOn(*queue, mode, task);
    }

    void TaskManager::queueOn(TaskQueue& queue, TaskThreadMode mode, Task* task)
    {
        queue.append(task);
        // Counting reads what fetching threads write: only for a profiler.
        if (profiler.get() != nullptr)
        {
            const unsigned int queued = queue.getNumRemainingTasks();
            profiler.taskQueued(mode, queued - 1, queued);
        }
        if (mode != TaskThreadMode::Threaded)
            return;
        // The append and this read are both sequentially consistent, as are a
        // worker's count of itself as sleeping and its read of the append
        // count before it sleeps: so either this sees the worker counted, or
        // the worker sees the append and stays awake.
        if (workerCounts.sleeping.load() != 0)
            wakeWorkers();
    }

    // While every worker sleeps, one is woken per queued task, to drain. While
    // some drain, nobody is woken as long as a worker watches the queue for
    // them (it brings in more as it finds them falling behind, see
    // TaskThread); otherwise one is woken to watch. A woken worker on its way
    // takes what is queued meanwhile. Waking costs a system call, far more
    // than a tiny task, and more workers than the tasks need slow each other.
    void TaskManager::wakeWorkers()
    {
        if (workerCounts.underway.load() != 0)
            return;
        if (workerCounts.draining.load() != 0)
        {
            wakeWatcher();
            return;
        }
        int toWake = int(queues[int(TaskThreadMode::Threaded)].getNumRemainingTasks());
        for (TaskThread* worker : taskThreads)
        {
            if (toWake <= 0)
                break;
            if (claimForWakeUp(*worker, false))
            {
                worker->wakeup();
                --toWake;
            }
        }
    }

    // Counted on its way before it is claimed: the worker, once claimed, may
    // wake and count itself arrived at once.
    bool TaskManager::claimForWakeUp(TaskThread& worker, bool toWatch)
    {
        if (! worker.isCurrentlySleeping())
            return false;
        workerCounts.underway.fetch_add(1);
        if (worker.markWoken(toWatch))
            return true;
        workerCounts.underway.fetch_sub(1);
        return false;
    }

    void TaskManager::wakeWatcher()
    {
        if (workerCounts.sleeping.load() == 0 || workerCounts.watching.load() != 0 ||
            workerCounts.underway.load() != 0)
            return;
        for (TaskThread* worker : taskThreads)
        {
            if (claimForWakeUp(*worker, true))
            {
                worker->wakeup();
                return;
            }
        }
    }

    bool TaskManager::unqueueTask(Task& task, bool executeNow)
    {
        TaskQueue* queue = findQueue(task.getThreadMode(), "unqueueTask");
        if (queue == nullptr || ! queue->unQueueTask(task))
            return false;
        if (executeNow)
            task.execute();
        destructTask(&task);
        return true;
    }

    void TaskManager::executeTasks(TaskThreadMode mode, double maxSeconds)
    {
        TaskQueue* queue = findQueue(mode, "executeTasks");
        if (queue == nullptr)
            return;
        const unsigned int count = queue->getNumRemainingTasks();
        if (count == 0)
            return;
        // The clock is read only when there is a budget to keep.
        const bool budgeted = maxSeconds > 0.0;
        const double start = budgeted ? getTickCount() : 0.0;
        for (unsigned int run = 0; run < count; ++run)
        {
            if (budgeted && getTickCount() / 1000.0 - start / 1000.0 > maxSeconds)
                break;
            if (! runFetched(*queue, mode, queue->fetchNext(nullptr)))
                break;
        }
    }

    bool TaskManager::executeNextTask(TaskThreadMode mode, unsigned int* retryTimeout)
    {
        TaskQueue* queue = findQueue(mode, "executeNextTask");
        return queue != nullptr && runFetched(*queue, mode, queue->fetchNext(retryTimeout));
    }

    bool TaskManager::executeNextWorkerTask(unsigned int* retryTimeout, unsigned long long& appendsSeen,
                                            std::vector<unsigned char*>& ranSlots)
    {
        TaskQueue& queue = queues[int(TaskThreadMode::Threaded)];
        Task* task = queue.fetchNext(retryTimeout, appendsSeen);
        // Before the task runs: it may run long, and the tasks behind it must
        // not wait for it while every other worker sleeps. The counts are read
        // first; the queue only when nobody watches.
        if (task != nullptr && workerCounts.sleeping.load(std::memory_order_relaxed) != 0 &&
            workerCounts.watching.load(std::memory_order_relaxed) == 0 &&
            workerCounts.underway.load(std::memory_order_relaxed) == 0 && queue.getNumRemainingTasks() != 0)
            wakeWatcher();
        return runFetched(queue, TaskThreadMode::Threaded, task, &ranSlots);
    }

    void TaskManager::releaseSlots(std::vector<unsigned char*>& ranSlots)
    {
        taskPool.unaquireObjects(ranSlots.data(), ranSlots.size());
        ranSlots.clear();
    }

    bool TaskManager::runFetched(const TaskQueue& queue, TaskThreadMode mode, Task* task,
                                 std::vector<unsigned char*>* ranSlots)
    {
        if (task == nullptr)
            return false;
        task->execute();
        if (profiler.get() != nullptr)
            profiler.taskExecuted(mode, queue.getNumRemainingTasks());
        if (task->isRecurringTask())
            queueTask(task);
        else if (ranSlots == nullptr)
            destructTask(task);
        else
        {
            // A worker gives its pool slots back a batch at a time: one push
            // where each slot would have fought the other workers for the
            // pool's given-back stack.
            unsigned char* address = reinterpret_cast<unsigned char*>(task);
            if (taskPool.containsObject(address))
            {
                task->~Task();
                ranSlots->push_back(address);
                if (ranSlots->size() >= slotBatchSize)
                    releaseSlots(*ranSlots);
            }
            else
                delete task;
        }
        return true;
    }

    void TaskManager::enableProfiler()
    {
        profiler.set(new TaskProfiler());
    }

    void TaskManager::disableProfiler()
    {
        profiler.set(nullptr);
    }

    bool TaskManager::areAllWorkersAsleep() const
    {
        // The counts first: a worker leaves each of them only once awake and
        // enters it before it waits again, so one that the counts missed while
        // it changed roles is found awake below.
        if (workerCounts.draining.load() != 0 || workerCounts.watching.load() != 0 ||
            workerCounts.underway.load() != 0)
            return false;
        for (const TaskThread* worker : taskThreads)
            if (! worker->isCurrentlySleeping())
                return false;
        return true;
    }

    unsigned int TaskManager::getNumPendingTasks(TaskThreadMode mode) const
    {
        const TaskQueue* queue = findQueue(mode, "getNumPendingTasks");
        return queue != nullptr ? queue->getNumRemainingTasks() : 0;
    }

} // namespace vx
