#include "engine/behaviours/VXAudioUtils.h"

#include <cmath>

namespace vx
{
    void AudioUtils::clip(float* values, std::size_t count, float min, float max)
    {
        for (std::size_t i = 0; i < count; ++i)
        {
            if (values[i] < min)
                values[i] = min;
            else if (values[i] > max)
                values[i] = max;
        }
    }

    void AudioUtils::normalize(float* values, std::size_t count)
    {
        float largest = -1.0f;
        for (std::size_t i = 0; i < count; ++i)
            largest = std::fabs(values[i]) > largest ? std::fabs(values[i]) : largest;
        if (! (largest > 0.0f) || ! std::isfinite(largest))
            return;
        for (std::size_t i = 0; i < count; ++i)
            values[i] /= largest;
    }
}
