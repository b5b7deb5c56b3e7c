#include "engine/gui/VXInputThread.h"

#include "core/VXLog.h"
#include "core/VXTaskManager.h"
#include "core/VXWaitableEvent.h"

namespace vx
{

    WaitableEvent* InputThread::execute(std::function<void()> function, bool wantEvent, signed char priority)
    {
        if (TaskManager* manager = TaskManager::getCurrent())
            return manager->fireTask(TaskThreadMode::Input, std::move(function), wantEvent, priority);
        logPrint(logError, "InputThread: no task manager, running the task on the calling thread");
        if (function)
            function();
        if (! wantEvent)
            return nullptr;
        WaitableEvent* event = new WaitableEvent();
        event->trigger();
        return event;
    }

    void InputThread::executeNow(std::function<void()> function)
    {
        WaitableEvent* event = execute(std::move(function), true, 100);
        if (event == nullptr)
            return;
        event->waitForTrigger();
        delete event;
    }

} // namespace vx
