// PNG decode and encode of a 1920x1080 RGBA8 picture beside a memcpy of the
// same bytes, and the one-byte-per-pixel framebuffer read-back of the flake
// effect's edge pass (640x360).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../gfx/VXBenchGLContext.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixelsUtils.h"

namespace
{
    constexpr int width = 1920;
    constexpr int height = 1080;

    // A smooth gradient with a little seeded noise: compressible like video,
    // not trivially so.
    const std::vector<unsigned char>& picture()
    {
        static const std::vector<unsigned char> bytes = []
        {
            std::vector<unsigned char> v(static_cast<size_t>(width) * height * 4);
            std::mt19937 rng(20261206u);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                {
                    unsigned char* p = &v[(static_cast<size_t>(y) * width + x) * 4];
                    const int noise = static_cast<int>(rng() % 9) - 4;
                    p[0] = static_cast<unsigned char>(std::clamp(x * 255 / width + noise, 0, 255));
                    p[1] = static_cast<unsigned char>(std::clamp(y * 255 / height + noise, 0, 255));
                    p[2] = static_cast<unsigned char>((x + y) & 0xFF);
                    p[3] = 255;
                }
            return v;
        }();
        return bytes;
    }

    const std::string& encodedPicture()
    {
        static const std::string png = []
        {
            std::ostringstream out;
            vx::PNGImageFormat::writePixelsToStream(picture().data(), width, height, 4, out);
            return out.str();
        }();
        return png;
    }

    void BM_MemcpyBaseline(benchmark::State& state)
    {
        const auto& source = picture();
        std::vector<unsigned char> target(source.size());
        for (auto _ : state)
        {
            std::memcpy(target.data(), source.data(), source.size());
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
    }
    BENCHMARK(BM_MemcpyBaseline)->Name("BM_MemcpyBaseline/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGEncode(benchmark::State& state)
    {
        const auto& source = picture();
        size_t encodedSize = 0;
        for (auto _ : state)
        {
            std::ostringstream out;
            if (! vx::PNGImageFormat::writePixelsToStream(source.data(), width, height, 4, out))
                state.SkipWithError("encode failed");
            encodedSize = static_cast<size_t>(out.tellp());
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
        state.counters["ratio"] = static_cast<double>(source.size()) / static_cast<double>(encodedSize);
    }
    BENCHMARK(BM_PNGEncode)->Name("BM_PNGEncode/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_PNGDecode(benchmark::State& state)
    {
        const std::string& png = encodedPicture();
        for (auto _ : state)
        {
            std::istringstream in(png);
            unsigned long w = 0, h = 0;
            unsigned char* pixels = vx::PNGImageFormat::decodeImage(in, &w, &h, nullptr, nullptr, nullptr);
            if (pixels == nullptr)
                state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(pixels);
            std::free(pixels);
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(picture().size()));
    }
    BENCHMARK(BM_PNGDecode)->Name("BM_PNGDecode/1920x1080")->Unit(benchmark::kMillisecond);

    void BM_ReadFromFrameBufferToBuffer(benchmark::State& state)
    {
        if (! vx::bench::makeBenchGLContextCurrent())
        {
            state.SkipWithError("no GL context");
            return;
        }
        constexpr int readWidth = 640, readHeight = 360;
        GLuint texture = 0, framebuffer = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, readWidth, readHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glClearColor(0.5f, 0.25f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);

        std::vector<unsigned char> buffer(static_cast<size_t>(readWidth) * readHeight);
        for (auto _ : state)
        {
            vx::PixelsUtils::readFromFrameBufferToBuffer(0, 0, readWidth, readHeight, 1, buffer.data(),
                                                         GL_UNSIGNED_BYTE, GL_RED);
            benchmark::ClobberMemory();
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));

        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(1, &texture);
    }
    BENCHMARK(BM_ReadFromFrameBufferToBuffer)->Name("BM_ReadFromFrameBufferToBuffer/640x360x1");
}
