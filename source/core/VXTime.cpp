#include "core/VXTime.h"

#include <sys/time.h>
#include <time.h>

#include <cstdio>

namespace vx
{
    namespace
    {
        // Written by the frame-driving thread, read from anywhere without a lock.
        double currentTime = 0.0;
        double previousTime = 0.0;
        double deltaTime = 0.0;

        double measuredFps = 60.0;
        double targetFps = 60.0;
        double fpsRatio = 1.0;
        double fpsWindowStart = 0.0;
        int fpsFrameCounter = 0;
        bool fpsFirstCall = true;

        // The monotonic clock counts nanoseconds.
        constexpr double millisecondsPerTick = 1.0 / 1000000.0;

        unsigned long long readRawTicks()
        {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            return (unsigned long long)now.tv_sec * 1000000000ULL + (unsigned long long)now.tv_nsec;
        }
    } // namespace

    double getTickCount()
    {
        return double(readRawTicks()) * millisecondsPerTick;
    }

    void updateTime(double now)
    {
        if (now == -1.0)
            now = getTickCount();
        previousTime = currentTime;
        currentTime = now;
        deltaTime = now - previousTime;
    }

    double getCurrentTime()
    {
        return currentTime;
    }
    double getCurrentTimeSeconds()
    {
        return currentTime / 1000.0;
    }
    double getFrameMsecs()
    {
        return deltaTime;
    }
    double getFrameSeconds()
    {
        return deltaTime * 0.001;
    }

    long long getTimeOfDay()
    {
        timeval now{};
        gettimeofday(&now, nullptr);
        return (long long)now.tv_sec * 1000LL + (long long)now.tv_usec / 1000LL;
    }

    void calculateFPS()
    {
        if (fpsFirstCall)
        {
            fpsFirstCall = false;
            fpsWindowStart = currentTime;
        }
        ++fpsFrameCounter;
        const double elapsed = currentTime - fpsWindowStart;
        if (elapsed > 1000.0)
        {
            measuredFps = fpsFrameCounter * 1000.0 / elapsed;
            fpsRatio = targetFps / measuredFps;
            fpsWindowStart = currentTime;
            fpsFrameCounter = 0;
        }
    }

    double getFPS()
    {
        return measuredFps;
    }

    std::string getFpsAsString()
    {
        char text[64];
        std::snprintf(text, sizeof(text), "FPS %.2f", measuredFps);
        return text;
    }

    void setTargetFps(double fps)
    {
        targetFps = fps;
    }
    double getFpsRatio()
    {
        return fpsRatio;
    }

} // namespace vx
