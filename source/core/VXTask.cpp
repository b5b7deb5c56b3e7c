#include "core/VXTask.h"

#include "core/VXWaitableEvent.h"

namespace vx
{

    Task::Task(std::function<void()> taskFunction, TaskThreadMode mode, signed char taskPriority, bool isRecurring)
        : function(std::move(taskFunction)), threadMode(mode), priority(taskPriority), recurring(isRecurring)
    {
    }

    constinit std::atomic<unsigned int> Task::priorityChanges{0};

    Task::~Task() = default;

    void Task::setPriority(signed char newPriority)
    {
        // Counted after the exchange: a fetch that sees the count sees the new
        // priority; one that does not re-sorts at the next fetch.
        if (priority.exchange(newPriority) != newPriority)
            priorityChanges.fetch_add(1);
    }

    void Task::execute()
    {
        if (function)
            function();
        if (completionEvent != nullptr)
            completionEvent->trigger();
    }

} // namespace vx
