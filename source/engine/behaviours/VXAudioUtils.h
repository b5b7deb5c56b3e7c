#pragma once

#include <cstddef>

namespace vx
{
    // In-place operations on float buffers.
    class AudioUtils
    {
    public:
        // Each value into [min, max]; nothing for a count of 0.
        static void clip(float* values, std::size_t count, float min, float max);
        // Divides every value by the largest magnitude; values that are all
        // 0 (or not numbers) stay as they are.
        static void normalize(float* values, std::size_t count);
    };
}
