#include "core/VXScopeProfiler.h"

#include "core/VXLog.h"
#include "core/VXTime.h"

#include "core/VXStringUtils.h"

namespace vx
{

    ScopeProfiler::ScopeProfiler(const std::string& profileName, TimeUnits timeUnits)
        : name(profileName), units(timeUnits), startTick(getTickCount())
    {
    }

    ScopeProfiler::~ScopeProfiler()
    {
        accumulated += getTickCount() - startTick;
        const char* unitName = "";
        double value = accumulated;
        switch (units)
        {
            case seconds:
                value /= 1000.0;
                unitName = " seconds";
                break;
            case milliseconds:
                unitName = " milliseconds";
                break;
            case microseconds:
                value *= 1000.0;
                unitName = " microseconds";
                break;
        }
        // The name is text, never a format.
        logPrint(logInfo, "%s%s%s", name.c_str(), floatToString(float(value), 5).c_str(), unitName);
    }

    void ScopeProfiler::start()
    {
        startTick = getTickCount();
    }

    void ScopeProfiler::stop()
    {
        accumulated += getTickCount() - startTick;
    }

    float ScopeProfiler::getTimeTaken() const
    {
        return float(accumulated);
    }

} // namespace vx
