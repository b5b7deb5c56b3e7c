#pragma once

namespace vx
{
    class TimeInfo;
    class TimeUnit;

    // The per-frame interface of parameters, containers, render passes and
    // sources.
    class Updatable
    {
    public:
        virtual ~Updatable() = default;
        virtual void start(bool restart, const TimeUnit& time) = 0;
        virtual void stop(const TimeUnit& time) = 0;
        // True when the object's value changed during this update.
        virtual bool update(const TimeInfo& info) = 0;
    };
}
