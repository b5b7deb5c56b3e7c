#pragma once

#include "core/VXTimeInfo.h"

#include <cstdint>

namespace vx
{
    // What moves a play head each frame: the phase advance of the frame and
    // requests (jump, direction, hold). A timeline behaviour is its own
    // source; the two plain sources below serve the oscillators (inline, so
    // an oscillator reaching its own source by name pays no call).
    class DeltaSource
    {
    public:
        enum Type : std::int32_t
        {
            timeline = 0,
            beats = 1
        };

        // Request bits a source may set in its result.
        enum Request : std::uint32_t
        {
            requestJump = 4,    // go to the jump position
            requestForward = 8, // direction requests
            requestBackward = 16,
            requestPause = 32,
            requestRandom = 64,
            requestHold = 256,      // stand still this frame
            requestNoDuration = 512 // no usable duration: nothing moves
        };

        struct Result
        {
            double delta = 0.0;         // phase advance of the frame
            double jumpPosition = -1.0; // with requestJump
            std::uint32_t flags = 0;
        };

        explicit DeltaSource(Type sourceType) : type(sourceType) {}
        virtual ~DeltaSource();

        DeltaSource(const DeltaSource&) = delete;
        DeltaSource& operator=(const DeltaSource&) = delete;

        virtual Result getDelta(const TimeInfo& info) = 0;
        // How long the play head stays at one random position, as a part of
        // its window.
        virtual double getNormalizedRandomDuration() const { return 0.25; }
        // Picks the next random position (and may reduce the elapsed time).
        virtual void getRandomPosition(double& elapsed, double& position) const
        {
            elapsed = 0.0;
            position = 0.0;
        }
        // May rewrite the play window; answers whether a beat loop is on.
        virtual bool updateBeatloop(double, double&, double&) { return false; }

        Type getType() const { return type; }
        double getSpeedFactor() const { return speedFactor; }
        void setSpeedFactor(double factor) { speedFactor = factor; }

    protected:
        double speedFactor = 1.0;

    private:
        Type type;
    };

    // Elapsed time: at rate 1 and speed 1 the phase runs through 0..1 in
    // 5000 ms.
    class TimelineDeltaSource : public DeltaSource
    {
    public:
        TimelineDeltaSource() : DeltaSource(timeline) {}

        // rate x 0.0002 x the frame's delta time x speed factor.
        Result getDelta(const TimeInfo& info) override
        {
            Result result;
            result.delta = rate * 0.0002 * info.deltaTime * speedFactor;
            return result;
        }

        double getRate() const { return rate; }
        void setRate(double newRate) { rate = newRate; }

    private:
        double rate = 1.0;
    };

    // Elapsed beats: at the defaults the phase runs through 0..1 in 4 beats.
    class BeatsDeltaSource : public DeltaSource
    {
    public:
        BeatsDeltaSource() : DeltaSource(beats) {}

        // The frame's beat delta / beats per cycle x speed factor.
        Result getDelta(const TimeInfo& info) override
        {
            Result result;
            result.delta = info.tempo.beatDelta / beatsPerCycle * speedFactor;
            return result;
        }

        double getBeatsPerCycle() const { return beatsPerCycle; }
        void setBeatsPerCycle(double beatCount) { beatsPerCycle = beatCount; }

    private:
        double beatsPerCycle = 4.0;
    };
}
