#pragma once

#include <utility>
#include <vector>

namespace vx
{
    // Texture units 0 .. units - 1 sample with their textures' own
    // parameters for the scope: a sampler object a caller left bound there
    // (its filters may ask for mipmaps a texture lacks) is unbound, and bound
    // again after. The active unit is as on entry. Needs sampler objects
    // (GL 3.3); without them there is nothing to unbind.
    class ScopedNoSamplers
    {
    public:
        explicit ScopedNoSamplers(unsigned int units);
        ~ScopedNoSamplers();
        ScopedNoSamplers(const ScopedNoSamplers&) = delete;
        ScopedNoSamplers& operator=(const ScopedNoSamplers&) = delete;

    private:
        std::vector<std::pair<unsigned int, unsigned int>> unbound; // unit, sampler
    };
}
