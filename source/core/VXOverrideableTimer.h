#pragma once

#include <memory>
#include <vector>

namespace vx
{

    // Base of interval timers whose ticking comes from a timer service that the
    // embedding host installs in OverrideableTimer::Collection::instance. Without
    // a service timers are only listed (uninitializedTimers) and never tick.
    class OverrideableTimer
    {
    public:
        // The timer service interface, implemented by the host.
        class Collection
        {
        public:
            virtual ~Collection() = default;
            virtual void add(OverrideableTimer* timer) = 0;
            virtual void remove(OverrideableTimer* timer) = 0;
            virtual void start(OverrideableTimer* timer, int intervalMs) = 0;
            virtual void stop(OverrideableTimer* timer) = 0;

            // Forward to the installed service; without one, add and remove keep
            // uninitializedTimers up to date and start and stop do nothing.
            static void addTimer(OverrideableTimer* timer);
            static void removeTimer(OverrideableTimer* timer);
            static void startTimer(OverrideableTimer* timer, int intervalMs);
            static void stopTimer(OverrideableTimer* timer);

            // Set once by the host, before timers are used; a service installed
            // later takes over the timers listed in uninitializedTimers.
            static std::shared_ptr<Collection> instance;
            static std::vector<OverrideableTimer*> uninitializedTimers;
        };

        OverrideableTimer();
        virtual ~OverrideableTimer();

        OverrideableTimer(const OverrideableTimer&) = delete;
        OverrideableTimer& operator=(const OverrideableTimer&) = delete;

        // Called by the timer service at each tick, on a thread of its choosing.
        virtual void timerCallback() = 0;

        void startTimer(int intervalMs);
        void stopTimer();
        bool isTimerRunning() const { return interval != -1; }
        int getTimerInterval() const { return interval; }

    private:
        int interval = -1;
    };

} // namespace vx
