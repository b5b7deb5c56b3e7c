#pragma once

#include "engine/gfx/VXScopedBufferBinding.h"
#include "engine/gfx/VXScopedClientAttribs.h"

namespace vx
{
    // Tightly packed uploads from client memory, whatever the caller's unpack
    // state: alignment 1, no row length or skips, no unpack buffer bound. All
    // restored after.
    class ScopedUnpackState
    {
    public:
        ScopedUnpackState();

    private:
        const ScopedBufferBinding binding;
        const ScopedClientAttribs pixelStore;
    };
}
