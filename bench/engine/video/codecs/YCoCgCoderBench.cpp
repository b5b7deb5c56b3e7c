// The YCoCg6 and YACoCg10 plane coders on the planes of a 1920x1088
// video-like frame, beside zstd at level 1 (with a reused context) over the
// same planes and a memcpy of them. Each reports its packed size and the
// planes' size over it.

#include <benchmark/benchmark.h>

#include <cstring>

#include <zstd.h>

#include "VXYCoCgBenchFrames.h"
#include "engine/video/codecs/VXYCoCgCoder.h"

namespace
{
    using vx::bench::Bytes;

    constexpr int width = 1920;
    constexpr int height = 1088;

    const Bytes& planes(bool alpha)
    {
        static const Bytes yCoCg6 = vx::bench::videoPlanes(width, height, 20261207u, false);
        static const Bytes yACoCg10 = vx::bench::videoPlanes(width, height, 20261207u, true);
        return alpha ? yACoCg10 : yCoCg6;
    }

    void report(benchmark::State& state, const Bytes& source, size_t packed)
    {
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(source.size()));
        state.counters["bytes"] = static_cast<double>(packed);
        state.counters["ratio"] = static_cast<double>(source.size()) / static_cast<double>(packed);
    }

    // The frame codec's work buffer for these planes.
    size_t workBufferSize(const Bytes& source)
    {
        return source.size() + source.size() / 32 + 64;
    }

    void BM_Memcpy(benchmark::State& state, bool alpha)
    {
        const Bytes& source = planes(alpha);
        Bytes out(source.size());
        for (auto _ : state)
        {
            std::memcpy(out.data(), source.data(), source.size());
            benchmark::ClobberMemory();
        }
        report(state, source, source.size());
    }

    void BM_Compress(benchmark::State& state, bool alpha)
    {
        const Bytes& source = planes(alpha);
        Bytes out(workBufferSize(source));
        const auto compress = alpha ? vx::YACoCg10_compress : vx::YCoCg6_compress;
        int size = 0;
        for (auto _ : state)
        {
            size = compress(out.data(), static_cast<int>(out.size()), source.data(), static_cast<int>(source.size()));
            benchmark::ClobberMemory();
        }
        if (size == 0)
            state.SkipWithError("compress failed");
        report(state, source, static_cast<size_t>(size));
    }

    void BM_Decompress(benchmark::State& state, bool alpha)
    {
        const Bytes& source = planes(alpha);
        Bytes packed(workBufferSize(source));
        const int size = (alpha ? vx::YACoCg10_compress : vx::YCoCg6_compress)(
            packed.data(), static_cast<int>(packed.size()), source.data(), static_cast<int>(source.size()));
        const auto decompress = alpha ? vx::YACoCg10_decompress : vx::YCoCg6_decompress;
        Bytes out(source.size());
        for (auto _ : state)
        {
            if (decompress(packed.data(), out.data(), size, static_cast<int>(out.size())) != size)
                state.SkipWithError("decompress failed");
            benchmark::ClobberMemory();
        }
        if (out != source)
            state.SkipWithError("planes differ");
        report(state, source, static_cast<size_t>(size));
    }

    void BM_Zstd1Compress(benchmark::State& state, bool alpha)
    {
        const Bytes& source = planes(alpha);
        Bytes out(ZSTD_compressBound(source.size()));
        ZSTD_CCtx* context = ZSTD_createCCtx();
        size_t size = 0;
        for (auto _ : state)
        {
            size = ZSTD_compressCCtx(context, out.data(), out.size(), source.data(), source.size(), 1);
            benchmark::ClobberMemory();
        }
        ZSTD_freeCCtx(context);
        if (ZSTD_isError(size))
            state.SkipWithError("zstd failed");
        report(state, source, size);
    }

    void BM_Zstd1Decompress(benchmark::State& state, bool alpha)
    {
        const Bytes& source = planes(alpha);
        Bytes packed(ZSTD_compressBound(source.size()));
        const size_t size = ZSTD_compress(packed.data(), packed.size(), source.data(), source.size(), 1);
        ZSTD_DCtx* context = ZSTD_createDCtx();
        Bytes out(source.size());
        for (auto _ : state)
        {
            if (ZSTD_decompressDCtx(context, out.data(), out.size(), packed.data(), size) != source.size())
                state.SkipWithError("zstd failed");
            benchmark::ClobberMemory();
        }
        ZSTD_freeDCtx(context);
        report(state, source, size);
    }

#define VX_PLANE_BENCHMARKS(function, label)                                                                           \
    BENCHMARK_CAPTURE(function, YCoCg6, false)                                                                         \
        ->Name("BM_YCoCgCoder_" label "/YCoCg6/1920x1088")                                                             \
        ->Unit(benchmark::kMillisecond);                                                                               \
    BENCHMARK_CAPTURE(function, YACoCg10, true)                                                                        \
        ->Name("BM_YCoCgCoder_" label "/YACoCg10/1920x1088")                                                           \
        ->Unit(benchmark::kMillisecond)

    VX_PLANE_BENCHMARKS(BM_Memcpy, "Memcpy");
    VX_PLANE_BENCHMARKS(BM_Compress, "Compress");
    VX_PLANE_BENCHMARKS(BM_Decompress, "Decompress");
    VX_PLANE_BENCHMARKS(BM_Zstd1Compress, "Zstd1Compress");
    VX_PLANE_BENCHMARKS(BM_Zstd1Decompress, "Zstd1Decompress");
#undef VX_PLANE_BENCHMARKS
}
