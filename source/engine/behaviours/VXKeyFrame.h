#pragma once

#include <cstdint>
#include <vector>

namespace vx
{
    class Animation;

    // One keyframe of an animation: the segment from the previous keyframe's
    // destination to this one's, over the time between their phases, shaped
    // by an easing curve and baked at 60 samples per second.
    class KeyFrame
    {
    public:
        // Curve numbers; 4 and 32 leave the easing as it was, numbers outside
        // 1 to 33 are stored and change nothing.
        enum Curve : std::int32_t
        {
            Linear = 1,
            QuadraticIn = 2,
            QuadraticOut = 3,
            Unchanged = 4,
            CubicIn = 5,
            CubicOut = 6,
            CubicInOut = 7,
            SineIn = 8,
            SineOut = 9,
            SineInOut = 10,
            CircularIn = 11,
            CircularOut = 12,
            CircularInOut = 13,
            ExponentialIn = 14,
            ExponentialOut = 15,
            ExponentialInOut = 16,
            ElasticIn = 17,
            ElasticOut = 18,
            ElasticInOut = 19,
            BackIn = 20,
            BackOut = 21,
            BackInOut = 22,
            BounceIn = 23,
            BounceOut = 24,
            BounceInOut = 25,
            QuarticIn = 26,
            QuarticOut = 27,
            QuarticInOut = 28,
            QuinticIn = 29,
            QuinticOut = 30,
            QuinticInOut = 31,
            Unchanged2 = 32,
            Constant = 33
        };

        using Easing = double (*)(double);

        // The phase is clamped into [0, 1].
        KeyFrame(Animation& owningAnimation, double keyPhase, double keyDestination, std::int32_t curveNumber);

        KeyFrame(const KeyFrame&) = delete;
        KeyFrame& operator=(const KeyFrame&) = delete;

        // Stores the number and picks its easing.
        void setCurve(std::int32_t curveNumber);
        // The previous keyframe (or none): the segment's length follows.
        void setStartFrame(KeyFrame* previous);
        void setDuration(unsigned long milliseconds) { duration = milliseconds; }
        void setFps(unsigned long framesPerSecond) { fps = framesPerSecond; }
        // Clamped into [0, 1].
        void setPhase(double keyPhase);
        void setStart(double startValue) { start = startValue; }
        void setDestination(double destinationValue) { destination = destinationValue; }

        // The segment's value at x in [0, 1] (the start is refreshed from
        // the previous keyframe).
        double operator()(double x);
        // The segment's samples at 60 per second; none for a segment shorter
        // than one sample.
        const std::vector<double>& bake();

        std::int32_t getCurve() const { return curve; }
        Easing getEasing() const { return easing; }
        KeyFrame* getStartFrame() const { return startFrame; }
        unsigned long getDuration() const { return duration; }
        unsigned long getFps() const { return fps; }
        double getPhase() const { return phase; }
        double getStart() const { return start; }
        double getDestination() const { return destination; }
        const std::vector<double>& getSamples() const { return samples; }

    private:
        void refreshStart();

        Animation& animation;
        KeyFrame* startFrame = nullptr;
        std::int32_t curve = Linear;
        Easing easing;
        std::vector<double> samples;
        unsigned long duration = 0;
        unsigned long fps = 60;
        double phase = 0.0;
        double start = 0.0;
        double destination = 0.0;
    };
}
