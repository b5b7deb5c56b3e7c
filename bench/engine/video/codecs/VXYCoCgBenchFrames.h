#pragma once

// Deterministic video-like frames for the YCoCg benchmarks: a gradient
// background with mild noise, flat shapes with hard edges, a region of one
// repeated texture tile, and alpha falling from left to right.

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/video/codecs/VXYCoCgBlocks.h"

namespace vx::bench
{
    using Bytes = std::vector<std::uint8_t>;

    inline Bytes videoFrame(int width, int height, unsigned seed)
    {
        std::mt19937 random(seed);
        Bytes tile(32 * 32 * 3);
        for (auto& b : tile)
            b = static_cast<std::uint8_t>(random());
        Bytes rgba(static_cast<size_t>(width) * height * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                std::uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
                const int noise = static_cast<int>(random() % 5) - 2;
                int r = 40 + 160 * x / width + noise;
                int g = 30 + 180 * y / height + noise;
                int b = 200 - 120 * (x + y) / (width + height) + noise;
                const int dx = x - width / 3, dy = y - height / 2;
                if (dx * dx + dy * dy < height * height / 16)
                {
                    r = 220;
                    g = 200;
                    b = 40;
                }
                else if (x > 2 * width / 3 && x < 5 * width / 6 && y > height / 5 && y < height / 2)
                {
                    r = 20;
                    g = 40;
                    b = 160;
                }
                else if (y > 3 * height / 4 && x > width / 2)
                {
                    const std::uint8_t* t = &tile[static_cast<size_t>((y % 32) * 32 + x % 32) * 3];
                    r = t[0];
                    g = t[1];
                    b = t[2];
                }
                p[0] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
                p[1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
                p[2] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
                p[3] = static_cast<std::uint8_t>(255 - 255 * x / width);
            }
        return rgba;
    }

    // The frame's YCoCg6 (or YACoCg10) planes.
    inline Bytes videoPlanes(int width, int height, unsigned seed, bool alpha)
    {
        const Bytes rgba = videoFrame(width, height, seed);
        Bytes planes(static_cast<size_t>(width) * height * (alpha ? 5 : 3) / 4);
        (alpha ? YACoCg10_Convertfrom_RGBA32 : YCoCg6_Convertfrom_RGBA32)(rgba.data(), width, height, planes.data());
        return planes;
    }
}
