#pragma once

#include "core/VXTimeInfo.h"
#include "core/VXTimeUnit.h"

#include <string>

namespace vx
{

    // Milliseconds from the monotonic clock (arbitrary origin, fractional).
    // Any thread.
    double getTickCount();

    // Advances the process-wide frame time: previous = current, current = now,
    // delta = now - previous. Exactly -1.0 reads getTickCount() instead. Called
    // once per frame by the thread that drives frames; read from anywhere
    // without a lock (a reader may see the previous frame's value).
    void updateTime(double now);
    double getCurrentTime();
    double getCurrentTimeSeconds();
    double getFrameMsecs();
    double getFrameSeconds();

    // Wall-clock milliseconds since 1970.
    long long getTimeOfDay();

    // Frame-rate meter: call calculateFPS() once per frame after updateTime().
    // The rate is refreshed from whole windows of more than 1000 ms; until the
    // first window closes it reads 60 and the ratio 1.
    void calculateFPS();
    double getFPS();
    std::string getFpsAsString();
    void setTargetFps(double fps);
    double getFpsRatio(); // target / measured, as of the last window

} // namespace vx
