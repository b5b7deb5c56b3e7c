#pragma once

#include "core/VXTimeInfo.h"

#include <cmath>
#include <cstdlib>

// Arithmetic the behaviours share: stepping loops that always end, the
// engine's single-precision random numbers, and the frame check.

namespace vx::detail
{
    // The double machine epsilon, which spans stand in for when they are not
    // a number.
    constexpr double spanEpsilon = 2.220446049250313e-16;

    // Short stepping loops run as written; longer ones are computed.
    constexpr int maxWrapSteps = 64;

    // hi - lo, or spanEpsilon when that is not a number.
    inline double spanOf(double lo, double hi)
    {
        const double span = hi - lo;
        return std::isnan(span) ? spanEpsilon : span;
    }

    // std::fmod(x, 1.0), skipping the library call where it would answer x
    // itself (|x| below 1): the same number, sign of zero included.
    inline double fmodOne(double x)
    {
        return std::fabs(x) < 1.0 ? x : std::fmod(x, 1.0);
    }

    // rand() / 2^31 computed in single precision, in [0, 1).
    inline float randomUnit()
    {
        return static_cast<float>(std::rand()) * 4.656613e-10f;
    }

    // As "while (v < lo) v += step", but always ends: NaN stays NaN; an
    // infinite v, or a step that is not a positive finite number, answers lo.
    inline double raiseBySteps(double v, double lo, double step)
    {
        if (! (v < lo))
            return v;
        if (! std::isfinite(v) || ! (step > 0.0) || ! std::isfinite(step))
            return lo;
        const double gap = lo - v;
        if (gap / step <= maxWrapSteps)
        {
            for (int i = 0; v < lo && i <= maxWrapSteps; ++i)
                v += step;
            return v < lo ? lo : v;
        }
        const double remainder = std::fmod(gap, step);
        return remainder == 0.0 ? lo : lo + (step - remainder);
    }

    // As "while (v > hi) v -= step", with the same guarantees (answering hi).
    inline double lowerBySteps(double v, double hi, double step)
    {
        if (! (v > hi))
            return v;
        if (! std::isfinite(v) || ! (step > 0.0) || ! std::isfinite(step))
            return hi;
        const double gap = v - hi;
        if (gap / step <= maxWrapSteps)
        {
            for (int i = 0; v > hi && i <= maxWrapSteps; ++i)
                v -= step;
            return v > hi ? hi : v;
        }
        const double remainder = std::fmod(gap, step);
        return remainder == 0.0 ? hi : hi - (step - remainder);
    }

    // v reflected at lo and hi until inside, as repeated mirroring would;
    // a window that is empty, reversed or not finite clamps instead, and an
    // infinite v answers lo.
    inline double reflectInto(double v, double lo, double hi)
    {
        if (std::isnan(v))
            return v;
        const double width = hi - lo;
        if (! (width > 0.0) || ! std::isfinite(width))
            return lo > v ? lo : (v > hi ? hi : v);
        if (! std::isfinite(v))
            return lo;
        for (int i = 0; i <= maxWrapSteps; ++i)
        {
            if (lo > v)
                v = 2.0 * lo - v;
            else if (v > hi)
                v = 2.0 * hi - v;
            else
                return v;
        }
        double offset = std::fmod(v - lo, 2.0 * width);
        if (offset < 0.0)
            offset += 2.0 * width;
        return offset <= width ? lo + offset : lo + 2.0 * width - offset;
    }

    // Logs the first unusable frame an object meets (warned keeps that per
    // object); answers false.
    bool refuseFrame(const TimeInfo& info, bool& warned, const char* who);

    // Whether a frame's times and beats are all finite numbers. A frame that
    // is not moves nothing; the first one an object meets is logged (warned
    // keeps that per object). Inline: every animated parameter asks each
    // frame.
    inline bool isUsableFrame(const TimeInfo& info, bool& warned, const char* who)
    {
        if (std::isfinite(info.time) && std::isfinite(info.deltaTime) && std::isfinite(info.tempo.beatDelta) &&
            std::isfinite(info.tempo.beatPosition) && std::isfinite(info.tempo.bpm))
            return true;
        return refuseFrame(info, warned, who);
    }
}
