#pragma once

#include "core/VXTask.h"

#include <vector>

namespace vx
{

    // low when value < low, high when value > high, else value (the task
    // groups' priority sums).
    char clamp(char low, char high, int value);

    // How a task group fans out its sub-tasks.
    struct UncollapseSettings
    {
        // Wait (while helping) until every sub-task ran.
        bool waitForCompletion = false;
        // Sub-task priorities against the group's g: 1 raise to g, 2 lower to g,
        // 3 set to g, 4 add g (limited to -127..127), 5 set to 127, else keep.
        int priorityPolicy = 0;
    };

    // A task (Threaded, priority 0) that runs its sub-tasks: in place and in
    // priority order (collapsed), or by queueing each on its own queue
    // (uncollapsed, the default), optionally waiting while running tasks of its
    // own mode. Uses TaskManager::getCurrent(); without a task manager the
    // sub-tasks run on the calling thread and the missing manager is logged.
    class TaskGroup : public Task
    {
    public:
        TaskGroup();
        // Destroys the sub-tasks not yet queued or run.
        ~TaskGroup() override;

        // The group owns the task until it is queued or run. Tasks come from the
        // current manager's pool or from new (the only kind without a manager).
        void addSubTask(Task* task) { subTasks.push_back(task); }
        size_t getNumSubTasks() const { return subTasks.size(); }
        void setUncollapseOnExecute(bool uncollapse) { uncollapseOnExecute = uncollapse; }
        void setUncollapseSettings(const UncollapseSettings& settings) { uncollapseSettings = settings; }

        void executeGroup();

    private:
        void runInPlace();

        std::vector<Task*> subTasks;
        bool uncollapseOnExecute = true;
        UncollapseSettings uncollapseSettings;
    };

} // namespace vx
