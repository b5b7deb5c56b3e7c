#include "engine/behaviours/VXBehaviourUtils.h"

#include "core/VXLog.h"

namespace vx::detail
{
    bool isUsableFrame(const TimeInfo& info, bool& warned, const char* who)
    {
        const bool usable = std::isfinite(info.time) && std::isfinite(info.deltaTime) &&
                            std::isfinite(info.tempo.beatDelta) && std::isfinite(info.tempo.beatPosition) &&
                            std::isfinite(info.tempo.bpm);
        if (! usable && ! warned)
        {
            warned = true;
            logPrint(logWarning, "%s: ignoring a frame whose time or beats are not finite (time %g, delta %g, beat %g)",
                     who, info.time, info.deltaTime, static_cast<double>(info.tempo.beatPosition));
        }
        return usable;
    }
}
