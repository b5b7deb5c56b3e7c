#pragma once

// Seeded 16-bit UV maps (U, V, 0, A per pixel) of the kinds a UV-map stream
// carries: smooth warps, warps with transparent holes and soft edges, and
// noise that defeats prediction.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace vx::test
{
    using Words = std::vector<std::uint16_t>;

    enum class UVMap
    {
        warp,      // a smoothly warped grid, opaque everywhere
        holes,     // the warp with transparent discs and a soft alpha border
        speckled,  // every third pixel transparent, alpha varying
        noise      // random U, V and alpha
    };

    inline Words makeUVMap(UVMap kind, int width, int height, unsigned seed)
    {
        std::mt19937 random(seed);
        Words map(static_cast<size_t>(width) * height * 4);
        const double cx = width * 0.4, cy = height * 0.6, radius = std::max(2.0, std::min(width, height) * 0.2);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                std::uint16_t* p = &map[(static_cast<size_t>(y) * width + x) * 4];
                const double fx = width > 1 ? double(x) / (width - 1) : 0.0;
                const double fy = height > 1 ? double(y) / (height - 1) : 0.0;
                double u = fx + 0.05 * std::sin(6.0 * fy + 1.0), v = fy + 0.05 * std::cos(5.0 * fx);
                int a = 65535;
                switch (kind)
                {
                    case UVMap::warp: break;
                    case UVMap::holes:
                    {
                        const double d = std::hypot(x - cx, y - cy);
                        if (d < radius)
                            a = 0;
                        else if (d < radius + 6)
                            a = int((d - radius) / 6 * 65535);
                        if (x == width - 1 && y % 5 == 0)
                            a = 0;
                        break;
                    }
                    case UVMap::speckled:
                        a = (x + y) % 3 == 0 ? 0 : int(random() % 65536);
                        break;
                    case UVMap::noise:
                        u = double(random() % 65536) / 65535;
                        v = double(random() % 65536) / 65535;
                        a = int(random() % 65536);
                        break;
                }
                p[0] = static_cast<std::uint16_t>(std::clamp(u, 0.0, 1.0) * 65535);
                p[1] = static_cast<std::uint16_t>(std::clamp(v, 0.0, 1.0) * 65535);
                p[2] = 0;
                p[3] = static_cast<std::uint16_t>(a);
            }
        return map;
    }
}
