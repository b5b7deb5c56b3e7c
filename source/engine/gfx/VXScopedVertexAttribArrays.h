#pragma once

#include "engine/gfx/VXScopedNoArrayBuffer.h"

namespace vx
{
    // Client-side vertex attribute arrays for one draw: each attribute given
    // is enabled and read from memory (no array buffer bound meanwhile); all
    // are disabled again after, as they point into the caller's memory.
    class ScopedVertexAttribArrays
    {
    public:
        ScopedVertexAttribArrays() = default;
        ~ScopedVertexAttribArrays();
        ScopedVertexAttribArrays(const ScopedVertexAttribArrays&) = delete;
        ScopedVertexAttribArrays& operator=(const ScopedVertexAttribArrays&) = delete;

        // index below 32; components floats per vertex, stride in bytes (0: packed).
        void attribute(unsigned int index, int components, int stride, const float* data);

    private:
        const ScopedNoArrayBuffer noArrayBuffer;
        unsigned int enabled = 0; // bit per attribute index
    };
}
