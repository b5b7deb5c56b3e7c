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
        // All workers stop together, each finishing at most the task it runs.
        for (TaskThread* worker : taskThreads)
            worker->requestThreadStop();
        destroyAllQueued();
        // Every worker ends before any is deleted: a finishing worker that puts
        // a recurring task back walks the worker list.
        for (TaskThread* worker : taskThreads)
            worker->stopThreadNow(250);
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
        if (index >= 0 && index < numTaskThreadModes)
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
        if (findQueue(mode, "fireTask") == nullptr)
            return nullptr;
        Task* task = constructTask(mode, priority, std::move(function), false);
        WaitableEvent* event = nullptr;
        if (wantEvent)
        {
            event = new WaitableEvent();
            task->installCompletionEvent(*event);
        }
        queueTask(task);
        return event;
    }

    void TaskManager::queueTask(Task* task)
    {
        if (task == nullptr)
            return;
        const TaskThreadMode mode = task->getThreadMode();
        TaskQueue* queue = findQueue(mode, "queueTask");
        if (queue == nullptr)
            return;
        unsigned int queued = queue->queueTask(task);
        profiler.taskQueued(mode, queued - 1, queued);
        if (mode != TaskThreadMode::Threaded)
            return;
        // Wake at most one sleeping worker per queued task. A worker that has
        // not yet set its sleeping flag sees the append itself before it waits.
        for (TaskThread* worker : taskThreads)
        {
            if (queued == 0)
                break;
            if (worker->isCurrentlySleeping())
            {
                worker->wakeup();
                --queued;
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
        const double start = getTickCount();
        for (unsigned int run = 0; run < count; ++run)
        {
            if (maxSeconds > 0.0 && getTickCount() / 1000.0 - start / 1000.0 > maxSeconds)
                break;
            if (! executeNextTask(mode, nullptr))
                break;
        }
    }

    bool TaskManager::executeNextTask(TaskThreadMode mode, unsigned int* retryTimeout)
    {
        TaskQueue* queue = findQueue(mode, "executeNextTask");
        Task* task = queue != nullptr ? queue->fetchNext(retryTimeout) : nullptr;
        if (task == nullptr)
            return false;
        task->execute();
        profiler.taskExecuted(mode, queue->getNumRemainingTasks());
        if (task->isRecurringTask())
            queueTask(task);
        else
            destructTask(task);
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

    unsigned int TaskManager::getNumPendingTasks(TaskThreadMode mode) const
    {
        const TaskQueue* queue = findQueue(mode, "getNumPendingTasks");
        return queue != nullptr ? queue->getNumRemainingTasks() : 0;
    }

} // namespace vx
