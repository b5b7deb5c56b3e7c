#pragma once

// Seeded inputs for the YCoCg block stages and plane coders: video-like RGBA
// frames and block planes whose halves repeat in every way the coders look
// for.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

namespace vx::test
{
    using Bytes = std::vector<std::uint8_t>;

    inline Bytes cat(std::initializer_list<Bytes> parts)
    {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    }

    enum class Scene
    {
        gradient,  // smooth diagonal colour ramps with mild noise
        edges,     // flat shapes with hard edges on a flat background
        tiles,     // one 24 x 24 pattern repeated (not aligned to 8)
        alphaRamp, // a colour ramp with alpha falling left to right
        noise      // mild noise over mid grey
    };

    // Tightly packed RGBA8, width x height.
    inline Bytes makeFrame(Scene scene, int width, int height, unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> jitter(-3, 3);
        const auto clamp = [](int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); };
        Bytes rgba(static_cast<size_t>(width) * height * 4);
        Bytes pattern(24 * 24 * 4);
        for (auto& b : pattern)
            b = static_cast<std::uint8_t>(random());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                std::uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
                int r = 0, g = 0, b = 0, a = 255;
                switch (scene)
                {
                    case Scene::gradient:
                        r = 255 * x / std::max(1, width - 1) + jitter(random);
                        g = 255 * y / std::max(1, height - 1) + jitter(random);
                        b = 255 * (x + y) / std::max(1, width + height - 2) + jitter(random);
                        break;
                    case Scene::edges:
                    {
                        const bool box = x > width / 5 && x < width / 2 && y > height / 4 && y < 3 * height / 4;
                        const int dx = x - 2 * width / 3, dy = y - height / 2;
                        const bool disc = dx * dx + dy * dy < width * height / 16;
                        r = box ? 230 : disc ? 20 : 60;
                        g = box ? 40 : disc ? 200 : 60;
                        b = box ? 30 : disc ? 90 : 70;
                        break;
                    }
                    case Scene::tiles:
                    {
                        const std::uint8_t* t = &pattern[static_cast<size_t>((y % 24) * 24 + x % 24) * 4];
                        r = t[0];
                        g = t[1];
                        b = t[2];
                        a = t[3];
                        break;
                    }
                    case Scene::alphaRamp:
                        r = 200;
                        g = 255 * y / std::max(1, height - 1);
                        b = 100;
                        a = 255 - 255 * x / std::max(1, width - 1);
                        break;
                    case Scene::noise:
                        r = 128 + 4 * jitter(random);
                        g = 128 + 4 * jitter(random);
                        b = 128 + 4 * jitter(random);
                        a = 128 + 4 * jitter(random);
                        break;
                }
                p[0] = clamp(r);
                p[1] = clamp(g);
                p[2] = clamp(b);
                p[3] = clamp(a);
            }
        return rgba;
    }

    // count blocks of blockBytes (8 or 16); each half is, at random, a repeat
    // of the previous block's half, a copy of an earlier half, or bytes from a
    // small alphabet with endpoints and index triples taken, each at random,
    // from earlier halves.
    inline Bytes makeBlockPlane(int count, int blockBytes, unsigned seed)
    {
        std::mt19937 random(seed);
        Bytes plane(static_cast<size_t>(count) * blockBytes);
        const auto randomByte = [&] { return static_cast<std::uint8_t>(random() % 23 * 11); };
        for (int block = 0; block < count; ++block)
            for (int h = 0; h < blockBytes / 8; ++h)
            {
                std::uint8_t* half = &plane[static_cast<size_t>(block) * blockBytes + 8 * h];
                const auto earlier = [&](int maxBack) {
                    const int back = 1 + static_cast<int>(random() % static_cast<unsigned>(std::min(block, maxBack)));
                    return half - static_cast<std::ptrdiff_t>(back) * blockBytes;
                };
                const unsigned choice = block == 0 ? 99 : random() % 10;
                if (choice < 3)
                {
                    std::copy(half - blockBytes, half - blockBytes + 8, half);
                    continue;
                }
                // Copies from up to 70000 blocks back reach past the 65536-block
                // window of the distance fields.
                if (choice == 3)
                {
                    const std::uint8_t* from = earlier(70000);
                    std::copy(from, from + 8, half);
                    continue;
                }
                for (int i = 0; i < 8; ++i)
                    half[i] = randomByte();
                if (block == 0)
                    continue;
                // Endpoints: new, the previous block's, or an earlier half's.
                const unsigned endpoints = random() % 3;
                if (endpoints > 0)
                {
                    const std::uint8_t* from = endpoints == 1 ? half - blockBytes : earlier(300);
                    std::copy(from, from + 2, half);
                }
                // Index bytes: new, an earlier I1 as I1 and/or as I2, or all six
                // of an earlier half.
                const unsigned indices = random() % 5;
                if (indices == 1 || indices == 3)
                {
                    const std::uint8_t* from = earlier(300);
                    std::copy(from + 2, from + 5, half + 2);
                }
                if (indices == 2 || indices == 3)
                {
                    const std::uint8_t* from = earlier(300);
                    std::copy(from + 2, from + 5, half + 5);
                }
                if (indices == 4)
                {
                    const std::uint8_t* from = earlier(70000);
                    std::copy(from + 2, from + 8, half + 2);
                }
            }
        // Long runs: every 4096 blocks, the next few hundred repeat.
        for (int start = 4096; start + 1 < count; start += 4096)
        {
            const int length = std::min(count - start, 1 + static_cast<int>(random() % 300));
            for (int b = start; b < start + length; ++b)
                std::copy(&plane[static_cast<size_t>(b - 1) * blockBytes], &plane[static_cast<size_t>(b) * blockBytes],
                          &plane[static_cast<size_t>(b) * blockBytes]);
        }
        return plane;
    }
}
