#pragma once

#include "engine/behaviours/VXTimeUnitEventHandler.h"

namespace vx
{
    // The handler for audio-rate owners: an event that falls inside the
    // coming frame fires in it, with its sample offset within the frame
    // (the frame's step count is its sample count) as the status, in
    // [0, samples - 1].
    class TimeUnitEventHandlerAudio : public TimeUnitEventHandler
    {
    public:
        Result update(const TimeInfo& info) override;
    };
}
