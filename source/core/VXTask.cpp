#include "core/VXTask.h"

#include "core/VXWaitableEvent.h"

namespace vx
{

    Task::Task(std::function<void()> taskFunction, TaskThreadMode mode, signed char taskPriority, bool isRecurring)
        : function(std::move(taskFunction)), threadMode(mode), priority(taskPriority), recurring(isRecurring)
    {
    }

    constinit std::atomic<unsigned int> Task::queuedPriorityChanges{0};

    Task::~Task() = default;

    void Task::setPriority(signed char newPriority)
    {
        priority.exchange(newPriority);
        // Read after the exchange: a queue that takes the task later reads the
        // new priority itself.
        if (timesQueued.load() > 0)
            queuedPriorityChanges.fetch_add(1);
    }

    void Task::execute()
    {
        if (function)
            function();
        if (completionEvent != nullptr)
            completionEvent->trigger();
    }

} // namespace vx
