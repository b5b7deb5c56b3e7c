#include "core/VXTimeUnit.h"

#include "core/VXTimeInfo.h"

namespace vx
{

    TimeUnit& TimeUnit::setValue(double newValue)
    {
        value = newValue;
        now = false;
        return *this;
    }

    TimeUnit& TimeUnit::setNow()
    {
        now = true;
        return *this;
    }

    TimeUnit& TimeUnit::operator+=(double amount)
    {
        value += amount;
        return *this;
    }

    TimeUnit& TimeUnit::operator-=(double amount)
    {
        value -= amount;
        return *this;
    }

    double TimeUnit::asTimestamp(const TimeInfo& info) const
    {
        if (now)
            return info.time;
        if (type == timestamp)
            return value;
        const double beatsAhead = double((long double)value - info.tempo.beatPosition);
        return info.time + TempoInfo::beatsToMilliseconds(beatsAhead, info.tempo.bpm);
    }

    double TimeUnit::asPosition(const TimeInfo& info) const
    {
        if (now)
            return double(info.tempo.beatPosition);
        if (type == position)
            return value;
        return double(info.tempo.beatPosition) + TempoInfo::millisecondsToBeats(value - info.time, info.tempo.bpm);
    }

} // namespace vx
