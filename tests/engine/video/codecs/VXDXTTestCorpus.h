#pragma once

// Seeded RGBA8 pictures that look like video (gradients, hard edges,
// repeated tiles, alpha ramps, mild noise) for the DXT and DXTR tests.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <stb/stb_dxt.h>

namespace vx::test::dxt
{
    enum class Picture
    {
        gradient,
        edges,
        tiles,
        alphaRamp,
        noise,
        video // all of the above in one frame
    };

    inline const char* pictureName(Picture picture)
    {
        switch (picture)
        {
        case Picture::gradient: return "gradient";
        case Picture::edges: return "edges";
        case Picture::tiles: return "tiles";
        case Picture::alphaRamp: return "alphaRamp";
        case Picture::noise: return "noise";
        case Picture::video: return "video";
        }
        return "?";
    }

    inline std::vector<std::uint8_t> makePicture(Picture picture, int width, int height, std::uint32_t seed)
    {
        std::mt19937 random(seed);
        std::vector<std::uint8_t> rgba(std::size_t(width) * height * 4);
        auto pixel = [&](int x, int y) { return rgba.data() + (std::size_t(y) * width + x) * 4; };
        auto set = [&](int x, int y, int r, int g, int b, int a) {
            std::uint8_t* p = pixel(x, y);
            p[0] = std::uint8_t(r);
            p[1] = std::uint8_t(g);
            p[2] = std::uint8_t(b);
            p[3] = std::uint8_t(a);
        };
        const int phase = int(random() % 64);
        // Hard-edged boxes at seeded places.
        struct Box
        {
            int x0, y0, x1, y1, r, g, b;
        };
        std::vector<Box> boxes;
        for (int i = 0; i < 6; ++i)
        {
            const int x0 = int(random() % unsigned(width)), y0 = int(random() % unsigned(height));
            boxes.push_back({x0, y0, x0 + 1 + int(random() % unsigned(width / 3 + 1)),
                             y0 + 1 + int(random() % unsigned(height / 3 + 1)), int(random() % 256),
                             int(random() % 256), int(random() % 256)});
        }
        std::uint8_t tile[8][8][3];
        for (auto& row : tile)
            for (auto& texel : row)
                for (auto& channel : texel)
                    channel = std::uint8_t(random() % 256);
        std::uniform_int_distribution<int> jitter(-3, 3);
        auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };

        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                const int gx = width > 1 ? x * 255 / (width - 1) : 0;
                const int gy = height > 1 ? y * 255 / (height - 1) : 0;
                int r = gx, g = (gy + phase) % 256, b = (gx + gy) / 2, a = 255;
                switch (picture)
                {
                case Picture::gradient: break;
                case Picture::edges:
                    r = g = b = ((x / 7 + y / 5) % 2) != 0 ? 230 : 20;
                    break;
                case Picture::tiles:
                    r = tile[y % 8][x % 8][0];
                    g = tile[y % 8][x % 8][1];
                    b = tile[y % 8][x % 8][2];
                    break;
                case Picture::alphaRamp: a = gx; break;
                case Picture::noise:
                    r = clamp(r + jitter(random));
                    g = clamp(g + jitter(random));
                    b = clamp(b + jitter(random));
                    break;
                case Picture::video:
                    if (y < height / 4)
                    {
                        r = tile[y % 8][x % 8][0];
                        g = tile[y % 8][x % 8][1];
                        b = tile[y % 8][x % 8][2];
                    }
                    else if (y >= height * 3 / 4)
                    {
                        r = clamp(r + jitter(random));
                        g = clamp(g + jitter(random));
                    }
                    for (const Box& box : boxes)
                        if (x >= box.x0 && x < box.x1 && y >= box.y0 && y < box.y1)
                        {
                            r = box.r;
                            g = box.g;
                            b = box.b;
                        }
                    a = x < width / 2 ? 255 : gy;
                    break;
                }
                set(x, y, r, g, b, a);
            }
        return rgba;
    }

    // DXT blocks of an image whose size is a multiple of 4, by the plainest
    // loop over the block encoder: the reference every compressor must match.
    inline std::vector<std::uint8_t> bareBlocks(const std::vector<std::uint8_t>& rgba, int width, int height,
                                                bool alpha)
    {
        const int blockBytes = alpha ? 16 : 8;
        std::vector<std::uint8_t> out(std::size_t(width / 4) * (height / 4) * blockBytes);
        std::uint8_t block[64];
        std::uint8_t* dst = out.data();
        for (int y = 0; y < height; y += 4)
            for (int x = 0; x < width; x += 4)
            {
                for (int r = 0; r < 4; ++r)
                    for (int i = 0; i < 16; ++i)
                        block[r * 16 + i] = rgba[(std::size_t(y + r) * width + x) * 4 + i];
                stb_compress_dxt_block(dst, block, alpha ? 1 : 0, 10);
                dst += blockBytes;
            }
        return out;
    }
}
