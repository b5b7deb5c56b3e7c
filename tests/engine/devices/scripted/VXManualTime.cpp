#include "VXManualTime.h"

namespace vx::test
{
    ManualTime* ManualTime::current = nullptr;

    class ManualTime::Impl : public AsyncUpdatableImpl
    {
    public:
        Impl(AsyncUpdatable& owner, ManualTime& time) : AsyncUpdatableImpl(owner), clock(time) {}
        ~Impl() override { clock.cancel(owner); }
        void triggerAsyncUpdateDerived() override { clock.schedule(owner, 0.0); }
        void triggerAsyncUpdateDerived(unsigned int delayMs) override { clock.schedule(owner, double(delayMs)); }
        void cancelPendingUpdateDerived() override { clock.cancel(owner); }

    private:
        ManualTime& clock;
    };

    class ManualTime::Timers : public OverrideableTimer::Collection
    {
    public:
        explicit Timers(ManualTime& time) : clock(time) {}
        void add(OverrideableTimer*) override {}
        void remove(OverrideableTimer* timer) override
        {
            std::lock_guard<std::recursive_mutex> hold(clock.lock);
            clock.timers.erase(timer);
        }
        void start(OverrideableTimer* timer, int intervalMs) override
        {
            std::lock_guard<std::recursive_mutex> hold(clock.lock);
            clock.timers[timer] = Entry{clock.clock + intervalMs, intervalMs};
        }
        void stop(OverrideableTimer* timer) override { remove(timer); }

    private:
        ManualTime& clock;
    };

    ManualTime::ManualTime()
        : timerService(std::make_shared<Timers>(*this)), scheduler(std::make_shared<Scheduler>()),
          previousTimers(OverrideableTimer::Collection::instance), previousScheduler(AsyncScheduler::asyncScheduler),
          previousCreation(AsyncUpdatableImpl::creationFunc)
    {
        current = this;
        OverrideableTimer::Collection::instance = timerService;
        AsyncScheduler::asyncScheduler = scheduler;
        AsyncUpdatableImpl::creationFunc = [](AsyncUpdatable& owner) -> AsyncUpdatableImpl*
        { return new Impl(owner, *current); };
    }

    ManualTime::~ManualTime()
    {
        AsyncUpdatableImpl::creationFunc = previousCreation;
        AsyncScheduler::asyncScheduler = previousScheduler;
        OverrideableTimer::Collection::instance = previousTimers;
        current = nullptr;
    }

    double ManualTime::now() const
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        return clock;
    }

    size_t ManualTime::getNumPending() const
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        return updates.size();
    }

    bool ManualTime::isRunning(const OverrideableTimer& timer) const
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        return timers.count(const_cast<OverrideableTimer*>(&timer)) != 0;
    }

    void ManualTime::schedule(AsyncUpdatable& owner, double delayMs)
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        auto entry = updates.find(&owner);
        if (entry == updates.end())
            updates[&owner] = Entry{clock + delayMs, -1};
        else if (clock + delayMs < entry->second.due)
            entry->second.due = clock + delayMs;
    }

    void ManualTime::cancel(AsyncUpdatable& owner)
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        updates.erase(&owner);
    }

    void ManualTime::advance(double ms)
    {
        std::unique_lock<std::recursive_mutex> hold(lock);
        const double target = clock + ms;
        for (;;)
        {
            AsyncUpdatable* update = nullptr;
            OverrideableTimer* timer = nullptr;
            double due = target;
            bool found = false;
            for (auto& [owner, entry] : updates)
                if (entry.due <= due && (! found || entry.due < due))
                {
                    due = entry.due;
                    update = owner;
                    found = true;
                }
            for (auto& [owner, entry] : timers)
                if (entry.due <= due && (! found || entry.due < due))
                {
                    due = entry.due;
                    timer = owner;
                    update = nullptr;
                    found = true;
                }
            if (! found)
            {
                clock = target;
                return;
            }
            clock = due;
            if (update != nullptr)
            {
                updates.erase(update);
                update->asyncCallback();
            }
            else
            {
                Entry& entry = timers[timer];
                entry.due += entry.interval > 0 ? entry.interval : 1;
                timer->timerCallback();
            }
        }
    }
}
