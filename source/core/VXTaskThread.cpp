#include "core/VXTaskThread.h"

#include "core/VXTaskManager.h"
#include "core/VXTime.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <sched.h>
#include <string>
#include <vector>

namespace vx
{
    namespace
    {
        constexpr int maxBusyWorkersForTinyTasks = 2;

        // Tasks come in bursts. A worker that ran out looks again every few
        // microseconds, yielding its processor in between, for a while before
        // it sleeps: waking a sleeping worker costs the queueing thread a system
        // call, far more than a tiny task. The spacing lets tasks gather, so the
        // worker takes them in batches instead of fetching each one as it
        // arrives, on the cache line the queueing thread writes.
        void pauseBriefly()
        {
            for (int i = 0; i < 32; ++i)
            {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
            sched_yield();
        }
    } // namespace

    TaskThread::TaskThread(TaskManager& owner, unsigned short workerNumber)
        : Thread("Unnamed Vexkit Thread"), manager(owner), number(workerNumber)
    {
        setThreadName("Vexkit Task Thread #" + std::to_string(number));
    }

    TaskThread::~TaskThread()
    {
        // Without a bound: a running task always finishes.
        stopThreadNow();
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

    // True when the worker should drain the queue (again); false when it may
    // sleep. At most two workers look at a time; the others sleep at once,
    // what came meanwhile being left to the lookers (each of which drains
    // whatever came after its own last fetch).
    bool TaskThread::lookForTasks(const TaskQueue& queue, unsigned long long& seen)
    {
        constexpr int looksBeforeSleep = 48;
        int lookers = manager.lookingWorkers.load();
        do
        {
            if (lookers >= maxBusyWorkersForTinyTasks)
            {
                seen = queue.getAppendCount();
                return isStopRequested();
            }
        } while (! manager.lookingWorkers.compare_exchange_weak(lookers, lookers + 1));
        bool drain = false;
        for (int look = 0; look < looksBeforeSleep && ! drain; ++look)
        {
            drain = isStopRequested() || queue.getAppendCount() != seen;
            if (! drain)
                pauseBriefly();
        }
        manager.lookingWorkers.fetch_sub(1);
        return drain;
    }

    void TaskThread::run()
    {
        TaskQueue& queue = manager.queues[int(TaskThreadMode::Threaded)];
        unsigned int retryTimeout = UINT_MAX;
        std::vector<unsigned char*> ranSlots;
        ranSlots.reserve(64);
        while (! isStopRequested())
        {
            // Drain first: tasks queued before this worker first slept woke nobody.
            unsigned long long seen = 0;
            manager.drainingWorkers.fetch_add(1);
            bool left = false;
            while (! isStopRequested())
            {
                // Tiny tasks run fastest on few workers: more fetching each
                // other's cache lines slow them all down. So beyond two workers
                // draining, one leaves after a task of under a microsecond, its
                // tasks left to the others, who drain until the queue is empty.
                const bool crowded = manager.drainingWorkers.load() > maxBusyWorkersForTinyTasks;
                const auto start = crowded ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
                if (! manager.executeNextWorkerTask(number, &retryTimeout, seen, ranSlots))
                    break;
                ++tasksRun;
                if (crowded && std::chrono::steady_clock::now() - start < std::chrono::microseconds(1))
                {
                    if (manager.drainingWorkers.fetch_sub(1) > maxBusyWorkersForTinyTasks)
                    {
                        left = true;
                        seen = queue.getAppendCount();
                        break;
                    }
                    manager.drainingWorkers.fetch_add(1);
                }
            }
            if (! left)
                manager.drainingWorkers.fetch_sub(1);
            manager.releaseSlots(ranSlots);
            if (isStopRequested())
                break;

            if (lookForTasks(queue, seen))
                continue;

            // A worker woken while others were awake that ran next to nothing
            // was not needed: further such wake-ups are held back for a while,
            // so that bursts of tiny tasks do not keep waking workers in vain.
            // This worker then sleeps only that long, and looks again: a task
            // queued meanwhile while every awake worker is busy waits no longer.
            unsigned int sleepMs = retryTimeout;
            if (wasWoken && tasksRun - tasksRunWhenWoken < 4)
            {
                constexpr unsigned int holdMs = 1;
                manager.wakesHeldUntil.store(getTickCount() + holdMs);
                sleepMs = std::min(sleepMs, holdMs + 1);
            }
            wasWoken = false;

            // A task queued after the last fetch but before the sleeping flag is
            // visible is seen here; one queued later finds the flag and wakes us.
            sleeping.store(true);
            manager.sleepingWorkers.fetch_add(1);
            if (queue.getAppendCount() == seen && ! isStopRequested())
            {
                if (sleepMs < UINT_MAX)
                    wakeupEvent.waitForTrigger(sleepMs);
                else
                    wakeupEvent.waitForTrigger();
            }
            manager.sleepingWorkers.fetch_sub(1);
            sleeping.store(false);
            if (woken.exchange(false))
            {
                manager.wakesUnderway.fetch_sub(1);
                tasksRunWhenWoken = tasksRun;
                wasWoken = wokenWhileOthersAwake.load();
            }
        }
        manager.releaseSlots(ranSlots);
    }

} // namespace vx
