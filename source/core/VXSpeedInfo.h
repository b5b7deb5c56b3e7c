#pragma once

namespace vx
{

    // The global playing speed and play-direction request carried by every
    // frame record. A plain value: copied freely, no lock.
    struct SpeedInfo
    {
        SpeedInfo(double speedFactor, int direction) : speed(speedFactor), directionRequest(direction) {}

        // Values and bits of the direction request.
        static constexpr int noDirectionRequest = -1;
        static constexpr int applyAtOnce = 0x4000;             // act on the request now
        static constexpr int applyToStartedTimelines = 0x8000; // only timelines started since their last request
        static constexpr int directionMask = ~(applyAtOnce | applyToStartedTimelines);

        double speed;         // global playing speed factor
        int directionRequest; // -1 none; low bits a play direction, 0x4000/0x8000 apply flags
    };

} // namespace vx
