#include "engine/behaviours/VXDeltaSource.h"

#include "core/VXTimeInfo.h"

namespace vx
{
    DeltaSource::Result TimelineDeltaSource::getDelta(const TimeInfo& info)
    {
        Result result;
        result.delta = rate * 0.0002 * info.deltaTime * speedFactor;
        return result;
    }

    DeltaSource::Result BeatsDeltaSource::getDelta(const TimeInfo& info)
    {
        Result result;
        result.delta = info.tempo.beatDelta / beatsPerCycle * speedFactor;
        return result;
    }
}
