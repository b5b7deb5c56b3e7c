#include "VXTestPicture.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace vx::host
{
    namespace
    {
        struct Rgb
        {
            int r, g, b;
        };

        struct Building
        {
            float left, right; // fractions of the width
            float top;         // fraction of the height from the top
            Rgb colour;
        };

        const Building buildings[] = {
            {0.00f, 0.09f, 0.52f, {62, 70, 96}},  {0.08f, 0.17f, 0.38f, {78, 84, 112}},
            {0.17f, 0.23f, 0.60f, {54, 60, 84}},  {0.22f, 0.34f, 0.30f, {88, 92, 120}},
            {0.35f, 0.42f, 0.48f, {70, 76, 104}}, {0.42f, 0.51f, 0.22f, {96, 100, 130}},
            {0.52f, 0.60f, 0.56f, {58, 66, 90}},  {0.60f, 0.71f, 0.42f, {82, 88, 116}},
            {0.71f, 0.78f, 0.34f, {66, 72, 100}}, {0.78f, 0.88f, 0.50f, {90, 94, 124}},
            {0.88f, 1.00f, 0.40f, {60, 68, 94}},
        };

        constexpr float groundTop = 0.88f;

        // A fixed pseudo-random pattern of lit windows.
        bool isLit(int building, int column, int row)
        {
            std::uint32_t h = static_cast<std::uint32_t>(building * 73856093) ^
                              static_cast<std::uint32_t>(column * 19349663) ^
                              static_cast<std::uint32_t>(row * 83492791);
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            h ^= h >> 15;
            return (h % 100u) < 45u;
        }
    }

    std::vector<unsigned char> makeTestPicture(int width, int height)
    {
        if (width <= 0 || height <= 0)
            return {};
        std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u);
        const auto w = static_cast<float>(width);
        const auto h = static_cast<float>(height);
        const float moonX = 0.16f * w, moonY = 0.16f * h, moonRadius = 0.07f * h;
        const float windowSize = std::max(2.0f, 0.018f * h);
        const float windowStep = windowSize * 2.2f;

        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const float fy = static_cast<float>(y) / h;
                const float fx = static_cast<float>(x) / w;
                // Sky: deep blue at the top, lighter towards the horizon.
                Rgb c{static_cast<int>(12 + 30 * fy), static_cast<int>(18 + 40 * fy), static_cast<int>(48 + 70 * fy)};

                const float dx = static_cast<float>(x) - moonX, dy = static_cast<float>(y) - moonY;
                if (dx * dx + dy * dy <= moonRadius * moonRadius)
                    c = {236, 232, 204};

                for (int b = 0; b < static_cast<int>(std::size(buildings)); ++b)
                {
                    const Building& building = buildings[b];
                    if (fx < building.left || fx >= building.right || fy < building.top)
                        continue;
                    c = building.colour;
                    // Windows on a grid inside the walls, below the roof.
                    const float localX = static_cast<float>(x) - building.left * w - windowSize;
                    const float localY = static_cast<float>(y) - building.top * h - windowSize;
                    if (localX >= 0.0f && localY >= 0.0f)
                    {
                        const int column = static_cast<int>(localX / windowStep);
                        const int row = static_cast<int>(localY / windowStep);
                        // Only whole windows, clear of the right wall.
                        const float windowRight =
                            building.left * w + windowSize + static_cast<float>(column) * windowStep + windowSize;
                        const bool inWindow = localX - static_cast<float>(column) * windowStep < windowSize &&
                                              localY - static_cast<float>(row) * windowStep < windowSize &&
                                              windowRight <= building.right * w - windowSize * 0.5f;
                        if (inWindow && isLit(b, column, row))
                            c = {250, 214, 128};
                    }
                }

                if (fy >= groundTop)
                    c = {196, 202, 214};

                unsigned char* pixel = &pixels[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                                static_cast<std::size_t>(x)) *
                                               4u];
                pixel[0] = static_cast<unsigned char>(std::clamp(c.r, 0, 255));
                pixel[1] = static_cast<unsigned char>(std::clamp(c.g, 0, 255));
                pixel[2] = static_cast<unsigned char>(std::clamp(c.b, 0, 255));
                pixel[3] = 255;
            }
        return pixels;
    }
}
