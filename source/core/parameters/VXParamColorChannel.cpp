#include "core/parameters/VXParamColorChannel.h"

#include "core/parameters/VXParamColor.h"

namespace vx
{
    ParamColorChannel::ParamColorChannel(const std::string& name, int colorChannel, double defaultValue,
                                         const ValueRange<double>& range)
        : ParamRange(name, defaultValue, range), channel(colorChannel)
    {
    }

    ParamColorChannel::~ParamColorChannel() = default;

    void ParamColorChannel::resetToDefault(const ValueChangeInfo& info)
    {
        ParamRange::resetToDefault(info);
        if (paramColor != nullptr)
            paramColor->valueChanged(*this, ChangeInfo());
    }
}
