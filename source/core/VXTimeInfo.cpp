#include "core/VXTimeInfo.h"

namespace vx
{

    TimeInfo::TimeInfo(double newTime)
    {
        setTime(newTime);
    }

    TimeInfo& TimeInfo::operator=(const TimeInfo& other)
    {
        // The timecodes belong to the target's owner and are left as they were.
        deltaTime = other.deltaTime;
        time = other.time;
        frameCount = other.frameCount;
        stepCount = other.stepCount;
        timeOffset = other.timeOffset;
        tempo = other.tempo;
        speed = other.speed;
        return *this;
    }

    void TimeInfo::setTime(double newTime)
    {
        deltaTime = time == 0.0 ? 0.0 : newTime - time;
        time = newTime;
        ++frameCount;
    }

    void TimeInfo::increment(double dt)
    {
        time += dt;
        deltaTime = dt;
        ++frameCount;
    }

    TimeInfo& TimeInfo::reset()
    {
        deltaTime = 0.0;
        time = 0.0;
        frameCount = 0;
        timeOffset = 0.0;
        return *this;
    }

    TimeInfo TimeInfo::withDeltaTime(const TimeInfo& source, double dt)
    {
        TimeInfo result(source);
        result.deltaTime = dt;
        return result;
    }

    TimeInfo TimeInfo::withDeltaTimeAndBeats(const TimeInfo& source, double dt, double beats)
    {
        TimeInfo result(source);
        result.deltaTime = dt;
        result.tempo.beatDelta = beats;
        return result;
    }

} // namespace vx
