#pragma once

#include <string>

namespace vx
{

    // Measures how long a scope took and logs it at the info level when it ends:
    // the name (which carries its own separator) immediately followed by the
    // time with 5 decimals and the unit, e.g. "load took: 1.23450 seconds".
    class ScopeProfiler
    {
    public:
        enum TimeUnits : int
        {
            seconds = 0,
            milliseconds = 1,
            microseconds = 2
        };

        ScopeProfiler(const std::string& name, TimeUnits units);
        ~ScopeProfiler();

        ScopeProfiler(const ScopeProfiler&) = delete;
        ScopeProfiler& operator=(const ScopeProfiler&) = delete;

        // Restarts the running interval.
        void start();
        // Adds the time since the last start to the total.
        void stop();
        // The accumulated milliseconds.
        float getTimeTaken() const;

    private:
        std::string name;
        TimeUnits units;
        double startTick;
        double accumulated = 0.0;
    };

} // namespace vx
