#pragma once

#include <cstdint>

namespace vx
{
    class TimeInfo;

    // One step of a behaviour's chain: advances its own state each frame
    // (reporting change flags) and maps a normalised value. The base leaves
    // the value alone and reports nothing.
    class ParamModifier
    {
    public:
        ParamModifier() = default;
        virtual ~ParamModifier() = default;

        ParamModifier(const ParamModifier&) = delete;
        ParamModifier& operator=(const ParamModifier&) = delete;

        virtual void apply(double& value);
        virtual std::uint32_t update(const TimeInfo& info);
        // update, then apply on value in place; answers the flags.
        virtual std::uint32_t updateAndApply(const TimeInfo& info, double& value);
        // n equal slices of info's frame: each values[i] (provided by the
        // caller) is updated and mapped in place and flags[i] ORed with the
        // slice's flags (the caller zeroes flags). info's delta time and beat
        // delta become one slice's and its time and beat position end one
        // slice past the frame. value is not read. n below 1 answers 0 and
        // leaves info untouched.
        virtual std::uint32_t updateAndApply(TimeInfo& info, double* values, int* flags, double& value, int n);
        // Re-bases the modifier at a normalised value.
        virtual void reset(const double& newValue) { value = newValue; }
        virtual bool isAnimating() const { return true; }

        double getValue() const { return value; }

    protected:
        double value = 0.0;
    };
}
