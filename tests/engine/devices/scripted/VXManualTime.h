#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "core/VXAsyncScheduler.h"
#include "core/VXAsyncUpdatable.h"
#include "core/VXOverrideableTimer.h"

namespace vx::test
{
    // Time that moves only when a test says so. While it lives, new
    // AsyncUpdatables defer their callbacks to it (a delayed trigger is due
    // at now + delay; triggers while one is pending merge into the earlier),
    // OverrideableTimers tick on it, and a global AsyncScheduler is set so
    // asynchronous listeners are recorded (their delivery is deferred too).
    // Make it before the objects it is to drive; destroy them first.
    class ManualTime
    {
    public:
        ManualTime();
        ~ManualTime();
        ManualTime(const ManualTime&) = delete;
        ManualTime& operator=(const ManualTime&) = delete;

        double now() const;
        // Runs what falls due up to now + ms, in time order, on the calling thread.
        void advance(double ms);
        // Deferred updates not yet run.
        size_t getNumPending() const;
        bool isRunning(const OverrideableTimer& timer) const;

        struct Entry
        {
            double due = 0.0;
            int interval = -1; // timers only
        };

    private:
        class Impl;
        class Timers;
        struct Scheduler : AsyncScheduler
        {
            void updatableAdded(AsyncUpdatable&) override {}
            void stopHandling() override {}
        };

        void schedule(AsyncUpdatable& owner, double delayMs);
        void cancel(AsyncUpdatable& owner);

        mutable std::recursive_mutex lock;
        double clock = 0.0;
        std::map<AsyncUpdatable*, Entry> updates;
        std::map<OverrideableTimer*, Entry> timers;
        std::shared_ptr<Timers> timerService;
        std::shared_ptr<Scheduler> scheduler;
        std::shared_ptr<OverrideableTimer::Collection> previousTimers;
        std::shared_ptr<AsyncScheduler> previousScheduler;
        AsyncUpdatableImpl::CreationFunc previousCreation;
        static ManualTime* current;
    };
}
