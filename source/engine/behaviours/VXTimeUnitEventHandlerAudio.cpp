#include "engine/behaviours/VXTimeUnitEventHandlerAudio.h"

#include "core/VXScopedLock.h"
#include "core/VXTimeInfo.h"

namespace vx
{
    TimeUnitEventHandler::Result TimeUnitEventHandlerAudio::update(const TimeInfo& info)
    {
        if (! hasPending.load(std::memory_order_acquire))
            return {-1, 0};
        const ScopedSpinLock hold(lock);
        if (pending.time.isNow())
            return {-1, 0};

        const double timestamp = pending.time.asTimestamp(info);
        std::int32_t status = 0;
        if (info.time > timestamp)
        {
            status = 0;
        }
        else if (info.time + info.deltaTime > timestamp)
        {
            const double fraction = (timestamp - info.time) / info.deltaTime;
            const double samples = static_cast<double>(info.stepCount);
            const double offset = samples * fraction;
            // A frame without samples still fires at offset 0: answering
            // samples - 1 (-1) would read as "nothing fired" after the event
            // was taken, losing it.
            if (info.stepCount == 0 || ! (offset > 0.0))
                status = 0;
            else if (offset < samples)
                status = static_cast<std::int32_t>(offset);
            else
                status = static_cast<std::int32_t>(info.stepCount - 1);
        }
        else
        {
            return {-1, 0};
        }

        return {status, take().type};
    }
}
