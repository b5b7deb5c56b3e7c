#pragma once

namespace vx
{

    class TimeInfo;

    // A moment either in milliseconds or in beats, or "now" (the current moment,
    // whatever the value holds).
    class TimeUnit
    {
    public:
        enum Type : int
        {
            timestamp = 0, // value in milliseconds
            position = 1   // value in beats
        };

        // The current moment.
        TimeUnit() = default;
        TimeUnit(Type unitType, double unitValue) : type(unitType), value(unitValue), now(false) {}

        static TimeUnit withTimestamp(double milliseconds) { return TimeUnit(timestamp, milliseconds); }
        static TimeUnit withPosition(double beats) { return TimeUnit(position, beats); }

        Type getType() const { return type; }
        double getValue() const { return value; }
        operator double() const { return value; }
        TimeUnit& setValue(double newValue);
        TimeUnit& setNow();
        bool isNow() const { return now; }

        // Type and the now flag stay.
        TimeUnit& operator+=(double amount);
        TimeUnit& operator-=(double amount);

        // This moment in milliseconds, beats converted through the info's tempo.
        double asTimestamp(const TimeInfo& info) const;
        // This moment in beats, milliseconds converted through the info's tempo.
        double asPosition(const TimeInfo& info) const;

    private:
        Type type = timestamp;
        double value = 0.0;
        bool now = true;
    };

} // namespace vx
