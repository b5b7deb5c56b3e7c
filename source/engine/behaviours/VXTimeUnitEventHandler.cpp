#include "engine/behaviours/VXTimeUnitEventHandler.h"

#include "core/VXScopedLock.h"
#include "core/VXTimeInfo.h"

namespace vx
{
    void TimeUnitEventHandler::set(const TimeUnitEvent& event)
    {
        const ScopedSpinLock hold(lock);
        pending = event;
        hasPending.store(! event.time.isNow(), std::memory_order_release);
    }

    TimeUnitEvent TimeUnitEventHandler::get() const
    {
        const ScopedSpinLock hold(lock);
        return pending;
    }

    TimeUnitEventHandler::Result TimeUnitEventHandler::update(const TimeInfo& info)
    {
        if (! hasPending.load(std::memory_order_acquire))
            return {-1, 0};
        const ScopedSpinLock hold(lock);
        if (pending.time.isNow())
            return {-1, 0};
        if (! (info.time > pending.time.asTimestamp(info)))
            return {-1, 0};
        return {0, take().type};
    }

    TimeUnitEvent TimeUnitEventHandler::take()
    {
        const TimeUnitEvent taken = pending;
        pending = TimeUnitEvent();
        hasPending.store(false, std::memory_order_release);
        return taken;
    }
}
