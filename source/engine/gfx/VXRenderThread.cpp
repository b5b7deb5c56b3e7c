#include "engine/gfx/VXRenderThread.h"

#include "core/VXLog.h"
#include "core/VXTaskManager.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

namespace vx
{

    WaitableEvent* RenderThread::execute(std::function<void()> fn, bool wait, signed char priority)
    {
        if (Thread::isThisRenderThread())
        {
            fn();
            if (! wait)
                return nullptr;
            auto* done = new WaitableEvent();
            done->trigger();
            return done;
        }

        if (auto* tasks = TaskManager::getCurrent())
            return tasks->fireTask(TaskThreadMode::Renderer, std::move(fn), wait, priority);

        logPrint(logError,
                 "RenderThread::execute: no task manager to reach the render thread; the function is not run");
        return nullptr;
    }

    void RenderThread::executeNow(std::function<void()> fn)
    {
        if (WaitableEvent* done = execute(std::move(fn), true, 100))
        {
            done->waitForTrigger();
            delete done;
        }
    }

} // namespace vx
