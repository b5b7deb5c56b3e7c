// Draws the Kelvo flake sprite: a 64 x 64 RGBA picture, white throughout,
// whose alpha is a soft round disc with a faint six-armed crystal inside.
// Writes it as PNG to the path given (normally plugin/resources/flake.png).

#include "engine/video/formats/VXPNGImageFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <vector>

namespace
{
    constexpr int side = 64;

    float smoothStep(float edge0, float edge1, float x)
    {
        const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
        return t * t * (3.0f - 2.0f * t);
    }

    // Alpha at a point given in units of the sprite's radius (0 = centre).
    float flakeAlpha(float x, float y)
    {
        const float radius = std::sqrt(x * x + y * y);
        // The soft disc: full in the middle, fading out before the rim.
        const float disc = 1.0f - smoothStep(0.15f, 0.95f, radius);
        // Six thin arms, brightest near the centre.
        const float angle = std::atan2(y, x);
        const float armDistance = std::fabs(std::sin(3.0f * angle)) * radius;
        const float arms = (1.0f - smoothStep(0.0f, 0.08f, armDistance)) * (1.0f - smoothStep(0.5f, 0.9f, radius));
        return std::clamp(disc * 0.85f + arms * 0.35f, 0.0f, 1.0f);
    }
}

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT_PNG\n", argv[0]);
        return 2;
    }

    std::vector<unsigned char> pixels(side * side * 4);
    constexpr int samples = 4; // per axis, to smooth the rim
    for (int row = 0; row < side; ++row)
        for (int column = 0; column < side; ++column)
        {
            float alpha = 0.0f;
            for (int sy = 0; sy < samples; ++sy)
                for (int sx = 0; sx < samples; ++sx)
                {
                    const float x = (column + (sx + 0.5f) / samples) / (side * 0.5f) - 1.0f;
                    const float y = (row + (sy + 0.5f) / samples) / (side * 0.5f) - 1.0f;
                    alpha += flakeAlpha(x, y);
                }
            alpha /= samples * samples;
            unsigned char* pixel = &pixels[static_cast<std::size_t>((row * side + column) * 4)];
            pixel[0] = pixel[1] = pixel[2] = 255;
            pixel[3] = static_cast<unsigned char>(std::lround(alpha * 255.0f));
        }

    std::ofstream stream(argv[1], std::ios::binary | std::ios::trunc);
    if (! stream || ! vx::PNGImageFormat::writePixelsToStream(pixels.data(), side, side, 4, stream))
    {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    stream.close();
    if (! stream)
    {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", argv[1]);
    return 0;
}
