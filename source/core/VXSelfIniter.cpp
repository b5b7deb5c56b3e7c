#include "core/VXSelfIniter.h"

namespace vx
{
    bool SelfIniter::begin(Renderer&)
    {
        if (getWidth() == 0 || getHeight() == 0)
            return false;
        if (! initialised)
        {
            initFailed = ! init();
            initialised = true;
        }
        return ! initFailed;
    }

    void SelfIniter::end(Renderer&)
    {
    }

    void SelfIniter::resetState()
    {
        initialised = false;
        initFailed = false;
    }
}
