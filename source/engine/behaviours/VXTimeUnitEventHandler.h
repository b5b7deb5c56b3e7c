#pragma once

#include "core/VXSpinLock.h"
#include "core/VXTimeUnit.h"

#include <atomic>
#include <cstdint>
#include <utility>

namespace vx
{
    class TimeInfo;

    // A start or stop of a range parameter, due at a moment.
    struct TimeUnitEvent
    {
        enum Type : std::int32_t
        {
            startWithoutReset = 0,
            startWithReset = 1,
            stop = 2
        };

        std::int32_t type = startWithoutReset;
        TimeUnit time; // immediate: nothing pending
    };

    // Holds at most one pending start or stop until the frame in which its
    // time (milliseconds or beats) has passed. set, get and update may run
    // on different threads (a control thread schedules, the update thread
    // polls); each holds the spin lock for its whole body.
    class TimeUnitEventHandler
    {
    public:
        // Status and event type that update answers.
        using Result = std::pair<std::int32_t, std::int32_t>;

        TimeUnitEventHandler() = default;
        virtual ~TimeUnitEventHandler() = default;

        TimeUnitEventHandler(const TimeUnitEventHandler&) = delete;
        TimeUnitEventHandler& operator=(const TimeUnitEventHandler&) = delete;

        // Replaces any pending event.
        void set(const TimeUnitEvent& event);
        TimeUnitEvent get() const;

        // (-1, 0) when nothing fires in this frame; otherwise (0, type) and
        // the event is no longer pending. An event fires in the first frame
        // whose time is strictly later than its own, never earlier.
        virtual Result update(const TimeInfo& info);

    protected:
        // Under the lock: takes the pending event, leaving none.
        TimeUnitEvent take();

        SpinLock lock;
        TimeUnitEvent pending;
        // Whether an event waits: the frames in between (nearly all) read only
        // this, without the lock.
        std::atomic<bool> hasPending{false};
    };
}
