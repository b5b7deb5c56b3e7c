#include "core/VXOverrideableTimer.h"

#include <algorithm>

namespace vx
{

    // Constant-initialised: timers that are static objects of other files may
    // register before this file's dynamic initialisation would have run.
    constinit std::shared_ptr<OverrideableTimer::Collection> OverrideableTimer::Collection::instance;
    constinit std::vector<OverrideableTimer*> OverrideableTimer::Collection::uninitializedTimers;

    void OverrideableTimer::Collection::addTimer(OverrideableTimer* timer)
    {
        if (instance)
            instance->add(timer);
        else
            uninitializedTimers.push_back(timer);
    }

    void OverrideableTimer::Collection::removeTimer(OverrideableTimer* timer)
    {
        if (instance)
            instance->remove(timer);
        else
            std::erase(uninitializedTimers, timer);
    }

    void OverrideableTimer::Collection::startTimer(OverrideableTimer* timer, int intervalMs)
    {
        if (instance)
            instance->start(timer, intervalMs);
    }

    void OverrideableTimer::Collection::stopTimer(OverrideableTimer* timer)
    {
        if (instance)
            instance->stop(timer);
    }

    OverrideableTimer::OverrideableTimer()
    {
        Collection::addTimer(this);
    }

    OverrideableTimer::~OverrideableTimer()
    {
        Collection::removeTimer(this);
    }

    void OverrideableTimer::startTimer(int intervalMs)
    {
        interval = intervalMs;
        Collection::startTimer(this, intervalMs);
    }

    void OverrideableTimer::stopTimer()
    {
        interval = -1;
        Collection::stopTimer(this);
    }

} // namespace vx
