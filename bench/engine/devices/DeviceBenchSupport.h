#pragma once

// What the device benchmarks share: one engine root with its GL context,
// the allocation counter, and the timing of a frame beside its baseline.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include <epoxy/gl.h>

#include "../ffgl/VXBenchEngine.h"

namespace vx::bench
{
    // C++ allocations on any thread while counting is on.
    extern std::atomic<long> allocations;
    extern std::atomic<bool> countAllocations;

    double median(std::vector<double> values);

    // Deterministic frame bytes.
    std::vector<uint8_t> pattern(size_t size);

    // The baseline of a captured frame: memcpy of its bytes plus
    // glTexSubImage2D of the same layout into a texture of texels x rows
    // (rows longer than the texels upload with GL_UNPACK_ROW_LENGTH).
    struct UploadBaseline
    {
        UploadBaseline(int texels, int rows, int rowBytes, GLenum format, GLenum type = GL_UNSIGNED_BYTE)
            : source(pattern(size_t(rowBytes) * size_t(rows))), buffer(source.size()), width(texels), height(rows),
              rowPixels(rowBytes / 4), pixelFormat(format), pixelType(type)
        {
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, pixelFormat, pixelType, nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
        }
        ~UploadBaseline() { glDeleteTextures(1, &texture); }
        void operator()()
        {
            std::memcpy(buffer.data(), source.data(), source.size());
            glBindTexture(GL_TEXTURE_2D, texture);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, rowPixels == width ? 0 : rowPixels);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, pixelFormat, pixelType, buffer.data());
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            glBindTexture(GL_TEXTURE_2D, 0);
            glFinish();
        }
        std::vector<uint8_t> source;
        std::vector<uint8_t> buffer;
        int width;
        int height;
        int rowPixels;
        GLenum pixelFormat;
        GLenum pixelType;
        GLuint texture = 0;
    };

    template <typename Frame>
    double timed(Frame& frame)
    {
        const auto start = std::chrono::steady_clock::now();
        frame();
        return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    }

    // Times frame and baseline in every iteration, each going first every
    // other time (before runs untimed ahead of each pair), and reports their
    // medians in microseconds and the frame's over the baseline's.
    template <typename Frame, typename Baseline, typename Before>
    void timeAlternately(benchmark::State& state, Frame& frame, Baseline& baseline, Before before,
                         const char* frameName, const char* baselineName, const char* ratioName)
    {
        std::vector<double> frameTimes, baselineTimes;
        bool frameFirst = true;
        for (auto _ : state)
        {
            before();
            if (frameFirst)
            {
                frameTimes.push_back(timed(frame));
                baselineTimes.push_back(timed(baseline));
            }
            else
            {
                baselineTimes.push_back(timed(baseline));
                frameTimes.push_back(timed(frame));
            }
            frameFirst = ! frameFirst;
        }
        const double frameMedian = median(frameTimes), baselineMedian = median(baselineTimes);
        state.counters[frameName] = frameMedian;
        state.counters[baselineName] = baselineMedian;
        state.counters[ratioName] = baselineMedian > 0.0 ? frameMedian / baselineMedian : 0.0;
    }
}
