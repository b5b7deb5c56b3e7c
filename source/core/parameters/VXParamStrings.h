#pragma once

#include "core/parameters/VXParamVector.h"

#include <string>

namespace vx
{
    // A list of texts under its own element name, "ParamStrings".
    class ParamStrings : public ParamVector<std::string>
    {
    public:
        explicit ParamStrings(const std::string& name);
    };
}
