#include "engine/behaviours/VXTimeUnitEventHandler.h"

#include "core/VXScopedLock.h"
#include "core/VXTimeInfo.h"

namespace vx
{
    void TimeUnitEventHandler::set(const TimeUnitEvent& event)
    {
        const ScopedSpinLock hold(lock);
        pending = event;
    }

    TimeUnitEvent TimeUnitEventHandler::get() const
    {
        const ScopedSpinLock hold(lock);
        return pending;
    }

    TimeUnitEventHandler::Result TimeUnitEventHandler::update(const TimeInfo& info)
    {
        const ScopedSpinLock hold(lock);
        if (pending.time.isNow())
            return {-1, 0};
        if (! (info.time > pending.time.asTimestamp(info)))
            return {-1, 0};

        const std::int32_t type = pending.type;
        pending = TimeUnitEvent();
        return {0, type};
    }
}
