#pragma once

#include "core/VXSMPTEFrame.h"
#include "core/VXSpeedInfo.h"
#include "core/VXTempoInfo.h"

namespace vx
{

    // The per-frame time record handed to everything that animates. Copied
    // freely; no lock.
    class TimeInfo
    {
    public:
        // Times and count 0, then setTime(time): delta 0, frame count 1.
        explicit TimeInfo(double time);

        TimeInfo(const TimeInfo&) = default;
        // Copies everything but the two timecodes, which keep their values.
        TimeInfo& operator=(const TimeInfo& other);

        // The first time set (stored time exactly 0) gives delta 0; later ones
        // the difference. Counts one frame either way.
        void setTime(double newTime);
        // Advances by dt milliseconds and counts one frame.
        void increment(double dt);
        // Zeroes delta, time, frame count and offset; the rest stays.
        TimeInfo& reset();

        // A full copy of the source (timecodes included) whose delta is dt.
        static TimeInfo withDeltaTime(const TimeInfo& source, double dt);
        // As withDeltaTime, with the tempo's beat delta set to beats.
        static TimeInfo withDeltaTimeAndBeats(const TimeInfo& source, double dt, double beats);

        double deltaTime = 0.0;            // ms since the previous update
        double time = 0.0;                 // ms, the time of this update
        unsigned long long frameCount = 0; // number of updates applied
        unsigned int stepCount = 1;        // equal steps the frame's delta is divided into
        double timeOffset = 0.0;           // ms, carried along; nothing in the engine sets it
        SMPTEFrame timecode;
        SMPTEFrame timecodeEnd;
        TempoInfo tempo;
        SpeedInfo speed{1.0, 1};
    };

} // namespace vx
