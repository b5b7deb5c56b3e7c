#include "core/VXTaskThread.h"

#include "core/VXTaskManager.h"

#include <algorithm>
#include <climits>
#include <sched.h>
#include <string>

namespace vx
{
    namespace
    {
        using Clock = std::chrono::steady_clock;
        using std::chrono::microseconds;

        // How long the only drainer waits for more tasks before it stops
        // draining: tasks come in bursts, and waking a worker costs the
        // queueing thread a system call, far more than a tiny task.
        constexpr microseconds drainIdleTime{50};
        // While tasks stream in, the newcomers are taken at most this often.
        constexpr microseconds takeInterval{1};
        // How often the watching worker looks at the queue while others drain.
        constexpr std::chrono::milliseconds watchInterval{1};

        // About half a microsecond between looks: tasks gather meanwhile, so a
        // worker takes them in batches instead of fetching each one as it
        // arrives, on the cache lines the queueing thread writes. Later looks
        // give the processor up now and then, for the threads doing work.
        void pause(unsigned round)
        {
            for (int i = 0; i < 16; ++i)
            {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
            if (round >= 64 && round % 8 == 0)
                sched_yield();
        }

        // Tasks queued that this worker has not considered, counted in the
        // order that keeps the difference from going below zero.
        bool hasNewTasks(const TaskQueue& queue, unsigned long long seen)
        {
            const unsigned long long removed = queue.getRemovedCount();
            const unsigned long long appended = queue.getAppendCount();
            return appended != seen && appended != removed;
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

    // A drainer quicker than the threads queueing would take every task as it
    // arrives, each time taking the cache lines the queueing thread writes
    // (the queue's list and its lock) from under it: that slows the queueing
    // thread down, and the drainer with it. Spacing the takes lets tasks
    // gather, to be taken in batches; a drainer that has been idle takes at
    // once.
    void TaskThread::paceTakes()
    {
        const Clock::time_point due = lastTakeAt + takeInterval;
        Clock::time_point now = Clock::now();
        while (now < due && ! isStopRequested())
        {
            pause(0);
            now = Clock::now();
        }
        lastTakeAt = now;
    }

    TaskThread::Role TaskThread::startWatchingOr(Role otherwise)
    {
        int none = 0;
        if (manager.workerCounts.watching.compare_exchange_strong(none, 1))
            return Role::watching;
        if (otherwise == Role::draining)
            manager.workerCounts.draining.fetch_add(1);
        return otherwise;
    }

    // The only drainer waits a little for more tasks; with others draining, it
    // leaves them the queue at once.
    TaskThread::Role TaskThread::drainIdle(const TaskQueue& queue, unsigned long long seen)
    {
        TaskManager::WorkerCounts& counts = manager.workerCounts;
        if (counts.draining.load() == 1)
        {
            const Clock::time_point until = std::min(Clock::now() + drainIdleTime, retryAt);
            // Watching the newcomers, not the append count: the count is on
            // the line a queueing thread locks for every task.
            for (unsigned round = 0; ! isStopRequested(); ++round)
            {
                if (queue.hasNewcomers() || Clock::now() >= until)
                    break;
                pause(round);
            }
            if (isStopRequested() || queue.getAppendCount() != seen || Clock::now() >= retryAt)
                return Role::draining;
        }
        counts.draining.fetch_sub(1);
        return startWatchingOr(Role::sleeping);
    }

    TaskThread::State TaskThread::await(Clock::time_point until, bool ifNothingNew, const TaskQueue& queue,
                                        unsigned long long seen)
    {
        TaskManager::WorkerCounts& counts = manager.workerCounts;
        // The state first: a queueing thread that counts this worker sleeping
        // also finds whom to wake.
        state.store(asleep);
        counts.sleeping.fetch_add(1);
        // A task queued after this read finds the worker counted and wakes it.
        if (! isStopRequested() && ! (ifNothingNew && hasNewTasks(queue, seen)))
        {
            // A trigger that finds the worker unclaimed and no stop requested
            // is left over from a wake-up it took without waiting (it saw the
            // task itself, or its time-out came first): it waits on, rather
            // than go round for nothing and be unclaimable meanwhile.
            while (waitUntil(until) && state.load() == asleep && ! isStopRequested())
            {
            }
        }
        counts.sleeping.fetch_sub(1);
        const State was = State(state.exchange(awake));
        if (was != asleep)
            counts.underway.fetch_sub(1);
        return was == asleep ? awake : was;
    }

    bool TaskThread::waitUntil(Clock::time_point until)
    {
        if (until == Clock::time_point::max())
            return wakeupEvent.waitForTrigger();
        const Clock::time_point now = Clock::now();
        if (now >= until)
            return false;
        // Rounded up, so the worker does not wake just before it is due.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        return wakeupEvent.waitForTrigger(static_cast<unsigned int>(std::min<long long>(left, UINT_MAX - 1)));
    }

    TaskThread::Role TaskThread::watch(const TaskQueue& queue, unsigned long long seen)
    {
        TaskManager::WorkerCounts& counts = manager.workerCounts;
        unsigned long long lastRemoved = queue.getRemovedCount();
        while (! isStopRequested())
        {
            if (counts.draining.load() == 0)
            {
                // Nothing to watch. New tasks are for this worker to drain;
                // otherwise it sleeps, and the next task queued wakes a worker.
                if (hasNewTasks(queue, seen))
                    break;
                counts.watching.fetch_sub(1);
                return Role::sleeping;
            }
            // A sleep, not a spin: a worker spinning beside the drainers takes
            // processor time they and the queueing threads could use.
            if (await(std::min(Clock::now() + watchInterval, retryAt), false, queue, seen) == wokenToDrain)
                break;
            if (Clock::now() >= retryAt)
                break;
            const unsigned long long removed = queue.getRemovedCount();
            const unsigned long long appended = queue.getAppendCount();
            const unsigned long long pace = removed - lastRemoved;
            lastRemoved = removed;
            if (appended == seen || appended == removed)
                continue;
            // Tasks wait, and either nobody drains, or no task left since the
            // last look (every drainer is busy with one of its own), or the
            // drainers would take longer than a look's interval to clear them.
            const int drainers = counts.draining.load();
            if (drainers == 0)
            {
                break;
            }
            if (pace == 0 || appended - removed > pace)
            {
                // Counted as draining before no longer watching, so that a
                // queueing thread never sees neither and wakes in vain; then
                // another worker takes over watching.
                counts.draining.fetch_add(1);
                counts.watching.fetch_sub(1);
                manager.wakeWatcher();
                return Role::draining;
            }
        }
        counts.draining.fetch_add(1);
        counts.watching.fetch_sub(1);
        return Role::draining;
    }

    TaskThread::Role TaskThread::sleep(const TaskQueue& queue, unsigned long long seen)
    {
        TaskManager::WorkerCounts& counts = manager.workerCounts;
        // A woken worker, or one watching others drain, takes what is queued;
        // otherwise the tasks queued since this worker's last fetch keep it
        // awake.
        const bool covered =
            counts.underway.load() != 0 || (counts.watching.load() != 0 && counts.draining.load() != 0);
        const State woken = await(retryAt, ! covered, queue, seen);
        if (woken == wokenToDrain)
        {
            counts.draining.fetch_add(1);
            return Role::draining;
        }
        if (woken == wokenToWatch)
            return startWatchingOr(Role::sleeping);
        // Not woken: the guards that deferred a task are due, or tasks wait
        // that nobody takes, or the wait was cut short.
        if (Clock::now() >= retryAt || (hasNewTasks(queue, seen) && counts.draining.load() == 0))
        {
            counts.draining.fetch_add(1);
            return Role::draining;
        }
        return startWatchingOr(Role::sleeping);
    }

    void TaskThread::run()
    {
        const TaskQueue& queue = manager.queues[int(TaskThreadMode::Threaded)];
        TaskManager::WorkerCounts& counts = manager.workerCounts;
        std::vector<unsigned char*> ranSlots;
        ranSlots.reserve(64);
        // Appends up to which this worker's last empty fetch considered the queue.
        unsigned long long seen = 0;
        // Drain first: tasks queued before this worker first slept woke nobody.
        Role role = Role::draining;
        counts.draining.fetch_add(1);
        while (! isStopRequested())
        {
            switch (role)
            {
                case Role::draining:
                {
                    if (! queue.hasOrderedTasks())
                        paceTakes();
                    unsigned int retryTimeout = UINT_MAX;
                    if (manager.executeNextWorkerTask(&retryTimeout, seen, ranSlots))
                        continue;
                    retryAt = retryTimeout == UINT_MAX
                                  ? Clock::time_point::max()
                                  : Clock::now() + std::chrono::milliseconds(retryTimeout);
                    manager.releaseSlots(ranSlots);
                    role = drainIdle(queue, seen);
                    break;
                }
                case Role::watching:
                    role = watch(queue, seen);
                    break;
                case Role::sleeping:
                    role = sleep(queue, seen);
                    break;
            }
        }
        if (role == Role::draining)
            counts.draining.fetch_sub(1);
        else if (role == Role::watching)
            counts.watching.fetch_sub(1);
        manager.releaseSlots(ranSlots);
    }

} // namespace vx
