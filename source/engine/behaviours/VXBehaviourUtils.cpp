#include "engine/behaviours/VXBehaviourUtils.h"

#include "core/VXLog.h"

namespace vx::detail
{
    bool refuseFrame(const TimeInfo& info, bool& warned, const char* who)
    {
        if (! warned)
        {
            warned = true;
            logPrint(logWarning, "%s: ignoring a frame whose time or beats are not finite (time %g, delta %g, beat %g)",
                     who, info.time, info.deltaTime, static_cast<double>(info.tempo.beatPosition));
        }
        return false;
    }
}
