#include "engine/devices/VXCaptureDeviceInfo.h"

namespace vx
{
    CaptureDeviceInfo& CaptureDeviceInfo::operator=(const CaptureDeviceInfo& other)
    {
        if (this == &other || uniqueId != other.uniqueId)
            return *this;
        category = other.category;
        name = other.name;
        description = other.description;
        resolutions = other.resolutions;
        inUseForOutput = other.inUseForOutput;
        return *this;
    }
}
