#include "core/VXTaskGroup.h"

#include "core/VXLog.h"
#include "core/VXTaskManager.h"
#include "core/VXTaskScheduler.h"
#include "core/VXWaitableEvent.h"

#include <memory>

namespace vx
{
    namespace
    {
        signed char applyPriorityPolicy(int policy, signed char group, signed char priority)
        {
            switch (policy)
            {
                case 1:
                    return priority < group ? group : priority;
                case 2:
                    return priority > group ? group : priority;
                case 3:
                    return group;
                case 4:
                    return static_cast<signed char>(clamp(-127, 127, int(priority) + int(group)));
                case 5:
                    return 127;
                default:
                    return priority;
            }
        }

        // Without a manager only heap tasks can exist: pool tasks die with their pool.
        void destroyTask(TaskManager* manager, Task* task)
        {
            if (manager != nullptr)
                manager->destructTask(task);
            else
                delete task;
        }
    } // namespace

    char clamp(char low, char high, int value)
    {
        if (value < low)
            return low;
        if (value > high)
            return high;
        return static_cast<char>(value);
    }

    TaskGroup::TaskGroup() : Task([this] { executeGroup(); }, TaskThreadMode::Threaded, 0, false)
    {
    }

    TaskGroup::~TaskGroup()
    {
        TaskManager* manager = TaskManager::getCurrent();
        for (Task* task : subTasks)
            destroyTask(manager, task);
    }

    void TaskGroup::runInPlace()
    {
        TaskManager* manager = TaskManager::getCurrent();
        TaskScheduler().sort(subTasks);
        // Taken out first: a sub-task may add to this group while it runs.
        std::vector<Task*> tasks;
        tasks.swap(subTasks);
        for (Task* task : tasks)
        {
            task->execute();
            destroyTask(manager, task);
        }
    }

    void TaskGroup::executeGroup()
    {
        TaskManager* manager = TaskManager::getCurrent();
        if (! uncollapseOnExecute)
        {
            runInPlace();
            return;
        }
        if (manager == nullptr)
        {
            logPrint(logError, "TaskGroup: no task manager, running %u sub-tasks on the calling thread",
                     (unsigned)subTasks.size());
            runInPlace();
            return;
        }

        const signed char groupPriority = getPriority();
        std::vector<std::unique_ptr<WaitableEvent>> events;
        std::vector<Task*> tasks;
        tasks.swap(subTasks);
        for (Task* task : tasks)
        {
            task->setPriority(
                applyPriorityPolicy(uncollapseSettings.priorityPolicy, groupPriority, task->getPriority()));
            if (uncollapseSettings.waitForCompletion)
            {
                events.push_back(std::make_unique<WaitableEvent>());
                task->installCompletionEvent(*events.back());
            }
        }
        for (Task* task : tasks)
            manager->queueTask(task);

        // Help while waiting: run tasks of the group's own mode on this thread;
        // with nothing to run, sleep briefly on the event instead of spinning.
        const TaskThreadMode mode = getThreadMode();
        for (const auto& event : events)
        {
            while (! event->waitForTrigger(0))
            {
                if (! manager->executeNextTask(mode, nullptr) && event->waitForTrigger(1))
                    break;
            }
        }
    }

} // namespace vx
