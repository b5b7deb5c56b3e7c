#include "core/VXTaskThread.h"

#include "core/VXTaskManager.h"

#include <climits>
#include <string>

namespace vx
{

    TaskThread::TaskThread(TaskManager& owner, unsigned short number) : Thread("Unnamed Vexkit Thread"), manager(owner)
    {
        setThreadName("Vexkit Task Thread #" + std::to_string(number));
    }

    TaskThread::~TaskThread()
    {
        stopThreadNow(250);
    }

    bool TaskThread::start()
    {
        return startThread(5);
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
        while (! isStopRequested())
        {
            // Drain first: tasks queued before this worker first slept woke nobody.
            unsigned long long seen = 0;
            for (;;)
            {
                if (isStopRequested())
                    return;
                seen = queue.getAppendCount();
                if (! manager.executeNextTask(TaskThreadMode::Threaded, &retryTimeout))
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
