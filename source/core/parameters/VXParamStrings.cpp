#include "core/parameters/VXParamStrings.h"

namespace vx
{
    ParamStrings::ParamStrings(const std::string& name) : ParamVector<std::string>(name, "ParamStrings")
    {
    }
}
