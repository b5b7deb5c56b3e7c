#pragma once

#include "engine/gfx/VXScopedBufferBinding.h"
#include "engine/gfx/VXScopedClientAttribs.h"

namespace vx
{
    // Pixel-pack state for one read, whatever the host left set: alignment
    // and row length as given, no skipped rows or pixels, and packBuffer
    // (0: client memory) bound as the pack buffer. All restored after.
    class ScopedPackState
    {
    public:
        ScopedPackState(int alignment, int rowLength, unsigned int packBuffer = 0);

    private:
        const ScopedBufferBinding binding;
        const ScopedClientAttribs pixelStore;
    };
}
