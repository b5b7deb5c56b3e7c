#include "core/VXTaskThread.h"

#include "core/VXTaskManager.h"

#include <climits>
#include <string>
#include <thread>

namespace vx
{

TaskThread::TaskThread(TaskManager& owner, unsigned short number)
    : Thread("Unnamed Vexkit Thread"), manager(owner)
{
    setThreadName("Vexkit Task Thread #" + std::to_string(number));
}

TaskThread::~TaskThread()
{
    stopThreadNow(250);
    // A thread that ended on its own reports "not running" before it has
    // finished triggering the base's finished event; the base must not be
    // destroyed under it.
    if (started)
        while (!finishCompleted.load())
            std::this_thread::yield();
}

bool TaskThread::start()
{
    started = startThread(5);
    return started;
}

void TaskThread::threadFinished()
{
    Thread::threadFinished();
    finishCompleted.store(true);
}

void TaskThread::requestThreadStop()
{
    Thread::requestThreadStop();
    // Always: a worker between its last check and its wait would otherwise
    // sleep through the request (an unconsumed trigger lets the next wait pass).
    wakeup();
}

bool TaskThread::init(Context&)
{
    return true;
}

void TaskThread::run()
{
    TaskQueue& queue = manager.queues[int(TaskThreadMode::Threaded)];
    unsigned int retryTimeout = UINT_MAX;
    while (!isStopRequested())
    {
        // Drain first: tasks queued before this worker first slept woke nobody.
        unsigned long long seen = 0;
        for (;;)
        {
            if (isStopRequested())
                return;
            seen = queue.getAppendCount();
            if (!manager.executeNextTask(TaskThreadMode::Threaded, &retryTimeout))
                break;
        }

        // A task queued after the last fetch but before the sleeping flag is
        // visible is seen here; one queued later finds the flag and wakes us.
        sleeping.store(true);
        if (queue.getAppendCount() != seen || isStopRequested())
        {
            sleeping.store(false);
            continue;
        }
        if (retryTimeout < UINT_MAX)
            wakeupEvent.waitForTrigger(retryTimeout);
        else
            wakeupEvent.waitForTrigger();
        sleeping.store(false);
    }
}

} // namespace vx
