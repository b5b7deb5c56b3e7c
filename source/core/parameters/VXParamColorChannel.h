#pragma once

#include "core/parameters/VXParamRange.h"

#include <string>

namespace vx
{
    class ParamColor;

    // One channel of a colour parameter: a range parameter over 0..1 that
    // knows its owner and which channel it is.
    class ParamColorChannel : public ParamRange
    {
    public:
        // No owner yet; channel is a ParamColor::ColorChannel.
        ParamColorChannel(const std::string& name, int channel, double defaultValue, const ValueRange<double>& range);
        ~ParamColorChannel() override;

        // Not owned; the owner clears it before it dies.
        void setParamColor(ParamColor* owner) { paramColor = owner; }
        ParamColor* getParamColor() const { return paramColor; }
        int getChannel() const { return channel; }

        // The range parameter's reset, then the owner (when set) rebuilds its
        // colour, so it follows even a silent reset.
        void resetToDefault(const ValueChangeInfo& info) override;

    private:
        ParamColor* paramColor = nullptr;
        int channel;
    };
}
