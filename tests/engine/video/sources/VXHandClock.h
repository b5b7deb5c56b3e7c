#pragma once

#include "engine/video/formats/avfoundation/VXCoreMedia.h"

#include <atomic>

namespace vx::test
{
    // The host clock players run on, moved by the test alone while it
    // lives: a self-timed movie then plays exactly as far as the test says.
    class HandClock final : public av::HostClock
    {
    public:
        HandClock() { av::HostClock::setCurrent(this); }
        ~HandClock() override { av::HostClock::setCurrent(nullptr); }
        HandClock(const HandClock&) = delete;
        HandClock& operator=(const HandClock&) = delete;
        double getSeconds() const override { return seconds.load(); }

        std::atomic<double> seconds{100.0};
    };
}
