#pragma once

#include "engine/gfx/VXScopedBufferBinding.h"

namespace vx
{
    // Client-side vertex arrays are read from memory only while no array
    // buffer is bound, and a host may leave one bound: detaches it for the
    // scope and binds it again after.
    class ScopedNoArrayBuffer
    {
    public:
        ScopedNoArrayBuffer();

    private:
        const ScopedBufferBinding binding;
    };
}
