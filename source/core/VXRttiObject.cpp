#include "core/VXRttiObject.h"

namespace vx
{
    bool RttiObject::isOfClassType(std::string) const
    {
        return false;
    }
    std::string RttiObject::derivedOfClassType(std::string) const
    {
        return "NONE";
    }
    std::string RttiObject::getClassType() const
    {
        return "NONE";
    }
    std::string RttiObject::getClassDisplayStr() const
    {
        return "NONE";
    }
}
