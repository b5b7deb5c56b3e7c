// The YCoCg texture stage (RGBA8 to YCoCg6 / YACoCg10 block planes) of a
// 1920x1088 video-like frame beside stb_dxt's DXT5 and DXT1 (high quality, no
// dithering) over the same frame block by block, and a memcpy of the frame.
// Each reports its PSNR over red, green and blue after decoding (the YCoCg
// planes through the CPU expansion, DXT1 through a plain block decoder).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "VXYCoCgBenchFrames.h"
#include "engine/video/codecs/VXYCoCgBlocks.h"

// A private copy of the block encoder, so that the baseline is the bare loop.
#define STB_DXT_STATIC
#define STB_DXT_IMPLEMENTATION
#include <stb/stb_dxt.h>

namespace
{
    using vx::bench::Bytes;

    constexpr int width = 1920;
    constexpr int height = 1088;

    const Bytes& frame()
    {
        static const Bytes bytes = vx::bench::videoFrame(width, height, 20261207u);
        return bytes;
    }

    // The bare stb loop: every 4x4 block of a frame whose sides are multiples of 4.
    void stbCompress(std::uint8_t* dst, const std::uint8_t* rgba, bool alpha)
    {
        std::uint8_t block[64];
        const int blockBytes = alpha ? 16 : 8;
        for (int y = 0; y < height; y += 4)
            for (int x = 0; x < width; x += 4)
            {
                for (int r = 0; r < 4; ++r)
                    std::memcpy(block + 16 * r, rgba + (static_cast<size_t>(y + r) * width + x) * 4, 16);
                stb_compress_dxt_block(dst, block, alpha ? 1 : 0, STB_DXT_HIGHQUAL);
                dst += blockBytes;
            }
    }

    void rgb565(std::uint16_t c, int* out)
    {
        const int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        out[0] = (r << 3) | (r >> 2);
        out[1] = (g << 2) | (g >> 4);
        out[2] = (b << 3) | (b >> 2);
    }

    Bytes decodeDXT1(const Bytes& blocks)
    {
        Bytes rgba(static_cast<size_t>(width) * height * 4, 255);
        const std::uint8_t* block = blocks.data();
        for (int y = 0; y < height; y += 4)
            for (int x = 0; x < width; x += 4, block += 8)
            {
                const std::uint16_t c0 = static_cast<std::uint16_t>(block[0] | (block[1] << 8));
                const std::uint16_t c1 = static_cast<std::uint16_t>(block[2] | (block[3] << 8));
                int palette[4][3];
                rgb565(c0, palette[0]);
                rgb565(c1, palette[1]);
                for (int c = 0; c < 3; ++c)
                {
                    if (c0 > c1)
                    {
                        palette[2][c] = (2 * palette[0][c] + palette[1][c]) / 3;
                        palette[3][c] = (palette[0][c] + 2 * palette[1][c]) / 3;
                    }
                    else
                    {
                        palette[2][c] = (palette[0][c] + palette[1][c]) / 2;
                        palette[3][c] = 0;
                    }
                }
                const std::uint32_t indices = block[4] | (block[5] << 8) | (block[6] << 16) |
                                              (static_cast<std::uint32_t>(block[7]) << 24);
                for (int i = 0; i < 16; ++i)
                {
                    std::uint8_t* p = &rgba[(static_cast<size_t>(y + i / 4) * width + x + i % 4) * 4];
                    for (int c = 0; c < 3; ++c)
                        p[c] = static_cast<std::uint8_t>(palette[(indices >> (2 * i)) & 3][c]);
                }
            }
        return rgba;
    }

    // PSNR over red, green and blue of the pixels x0 <= x < x1, y0 <= y < y1.
    double psnrRGB(const Bytes& a, const Bytes& b, int x0 = 0, int y0 = 0, int x1 = width, int y1 = height)
    {
        double squared = 0;
        size_t samples = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                for (int c = 0; c < 3; ++c)
                {
                    const size_t i = (static_cast<size_t>(y) * width + x) * 4 + c;
                    const double d = static_cast<double>(a[i]) - b[i];
                    squared += d * d;
                    ++samples;
                }
        return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / std::max(squared, 1.0));
    }

    // The whole frame, and its parts: the noisy gradient (top left, no
    // shapes), the flat shapes' edges (a band across the disc and the box)
    // and the repeated tile of white noise (bottom right).
    void reportQuality(benchmark::State& state, const Bytes& decoded)
    {
        state.counters["psnr"] = psnrRGB(frame(), decoded);
        state.counters["psnrGradient"] = psnrRGB(frame(), decoded, 0, 0, width / 6, height / 4);
        state.counters["psnrEdges"] = psnrRGB(frame(), decoded, 0, height / 4, width, height / 2);
        state.counters["psnrTile"] = psnrRGB(frame(), decoded, width / 2, 3 * height / 4, width, height);
    }

    void setFrameBytes(benchmark::State& state)
    {
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame().size()));
    }

    void BM_MemcpyBaseline(benchmark::State& state)
    {
        Bytes target(frame().size());
        for (auto _ : state)
        {
            std::memcpy(target.data(), frame().data(), frame().size());
            benchmark::ClobberMemory();
        }
        setFrameBytes(state);
    }
    BENCHMARK(BM_MemcpyBaseline)->Name("BM_YCoCgTexture_Memcpy/1920x1088")->Unit(benchmark::kMillisecond);

    void BM_StbDXT5(benchmark::State& state)
    {
        Bytes blocks(static_cast<size_t>(width) * height);
        for (auto _ : state)
        {
            stbCompress(blocks.data(), frame().data(), true);
            benchmark::ClobberMemory();
        }
        setFrameBytes(state);
    }
    BENCHMARK(BM_StbDXT5)->Name("BM_YCoCgTexture_StbDXT5/1920x1088")->Unit(benchmark::kMillisecond);

    void BM_StbDXT1(benchmark::State& state)
    {
        Bytes blocks(static_cast<size_t>(width) * height / 2);
        for (auto _ : state)
        {
            stbCompress(blocks.data(), frame().data(), false);
            benchmark::ClobberMemory();
        }
        setFrameBytes(state);
        reportQuality(state, decodeDXT1(blocks));
    }
    BENCHMARK(BM_StbDXT1)->Name("BM_YCoCgTexture_StbDXT1/1920x1088")->Unit(benchmark::kMillisecond);

    void BM_TextureStage(benchmark::State& state, bool alpha)
    {
        Bytes planes(static_cast<size_t>(width) * height * (alpha ? 5 : 3) / 4);
        const auto convert = alpha ? vx::YACoCg10_Convertfrom_RGBA32 : vx::YCoCg6_Convertfrom_RGBA32;
        for (auto _ : state)
        {
            convert(frame().data(), width, height, planes.data());
            benchmark::ClobberMemory();
        }
        setFrameBytes(state);
        Bytes back(frame().size());
        (alpha ? vx::YACoCg10_ConvertInto_RGBA32 : vx::YCoCg6_ConvertInto_RGBA32)(planes.data(), width, height,
                                                                                 back.data());
        reportQuality(state, back);
    }
    BENCHMARK_CAPTURE(BM_TextureStage, YCoCg6, false)
        ->Name("BM_YCoCgTexture_YCoCg6/1920x1088")
        ->Unit(benchmark::kMillisecond);
    BENCHMARK_CAPTURE(BM_TextureStage, YACoCg10, true)
        ->Name("BM_YCoCgTexture_YACoCg10/1920x1088")
        ->Unit(benchmark::kMillisecond);

    void BM_Expansion(benchmark::State& state)
    {
        const Bytes planes = vx::bench::videoPlanes(width, height, 20261207u, false);
        Bytes rgba(frame().size());
        for (auto _ : state)
        {
            vx::YCoCg6_ConvertInto_RGBA32(planes.data(), width, height, rgba.data());
            benchmark::ClobberMemory();
        }
        setFrameBytes(state);
    }
    BENCHMARK(BM_Expansion)->Name("BM_YCoCgTexture_YCoCg6Expansion/1920x1088")->Unit(benchmark::kMillisecond);
}
