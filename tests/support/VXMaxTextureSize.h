#pragma once

#include "engine/gfx/VXGfxInfo.h"

namespace vx::test
{
    // While it lives, the largest texture GL is taken to hold is most (as on
    // a smaller GPU than the tests'). Set it while no thread reads sizes.
    class MaxTextureSize
    {
    public:
        explicit MaxTextureSize(int most) : previous(GfxInfo::VX_MAX_TEXTURE_SIZE)
        {
            GfxInfo::VX_MAX_TEXTURE_SIZE = most;
        }
        ~MaxTextureSize() { GfxInfo::VX_MAX_TEXTURE_SIZE = previous; }
        MaxTextureSize(const MaxTextureSize&) = delete;
        MaxTextureSize& operator=(const MaxTextureSize&) = delete;

    private:
        int previous;
    };
}
