#pragma once

#include <vector>

namespace vx::host
{
    // The host's built-in input: a night skyline of width x height RGBA8
    // pixels, first row = top. Flat roofs, lit windows, a moon and the
    // ground give clear edges for the flakes to settle on. The same size
    // always gives the same picture.
    std::vector<unsigned char> makeTestPicture(int width, int height);
}
