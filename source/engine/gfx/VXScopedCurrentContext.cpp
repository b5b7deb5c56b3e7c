#include "engine/gfx/VXScopedCurrentContext.h"

#include "core/VXLog.h"
#include "engine/gfx/VXContextOSX.h"

namespace vx
{
    ScopedCurrentContext::ScopedCurrentContext()
    {
        const auto saved = ContextOSX::NativePimpl::getCurrentState();
        display = saved.display;
        drawSurface = saved.drawSurface;
        readSurface = saved.readSurface;
        context = saved.context;
    }

    ScopedCurrentContext::~ScopedCurrentContext()
    {
        ContextOSX::NativePimpl::CurrentState saved;
        saved.display = display;
        saved.drawSurface = drawSurface;
        saved.readSurface = readSurface;
        saved.context = context;
        if (! ContextOSX::NativePimpl::restoreCurrentState(saved))
            logPrint(logError, "ScopedCurrentContext: the context %p cannot be made current again", context);
    }
}
