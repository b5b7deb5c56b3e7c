#include "core/VXTaskThreads.h"

#include "core/VXLog.h"
#include "core/VXTaskManager.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

namespace vx
{
    namespace
    {
        WaitableEvent* runInline(const std::function<void()>& function, bool wantEvent)
        {
            if (function)
                function();
            if (! wantEvent)
                return nullptr;
            WaitableEvent* event = new WaitableEvent();
            event->trigger();
            return event;
        }

        WaitableEvent* fireOn(TaskThreadMode mode, const char* queueName, std::function<void()> function,
                              bool wantEvent, signed char priority)
        {
            TaskManager* manager = TaskManager::getCurrent();
            if (manager == nullptr)
            {
                logPrint(logError, "%s: no task manager, running the task on the calling thread", queueName);
                return runInline(function, wantEvent);
            }
            return manager->fireTask(mode, std::move(function), wantEvent, priority);
        }

        void waitAndDelete(WaitableEvent* event)
        {
            if (event == nullptr)
                return;
            event->waitForTrigger();
            delete event;
        }
    } // namespace

    WaitableEvent* MessageThread::execute(std::function<void()> function, bool wantEvent, signed char priority)
    {
        if (Thread::isThisMessageThread())
            return runInline(function, wantEvent);
        return fireOn(TaskThreadMode::Message, "MessageThread", std::move(function), wantEvent, priority);
    }

    void MessageThread::executeNow(std::function<void()> function)
    {
        waitAndDelete(execute(std::move(function), true, 100));
    }

    WaitableEvent* TaskThreads::execute(std::function<void()> function, bool wantEvent, signed char priority)
    {
        return fireOn(TaskThreadMode::Threaded, "TaskThreads", std::move(function), wantEvent, priority);
    }

    void TaskThreads::executeNow(std::function<void()> function)
    {
        waitAndDelete(execute(std::move(function), true, 100));
    }

    WaitableEvent* ControlThread::execute(std::function<void()> function, bool wantEvent, signed char priority)
    {
        return fireOn(TaskThreadMode::Control, "ControlThread", std::move(function), wantEvent, priority);
    }

    void ControlThread::executeNow(std::function<void()> function)
    {
        waitAndDelete(execute(std::move(function), true, 100));
    }

} // namespace vx
