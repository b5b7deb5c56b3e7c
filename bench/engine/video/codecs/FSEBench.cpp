// The FSE stage on the symbol streams the plane coders make of a 1920x1088
// video-like frame (the YACoCg10 luma-alpha stream's first and second halves,
// the YCoCg6 chroma stream's first halves), beside zstd's own FSE at table log 10 over the same
// symbols (histogram, normalisation, header and table per block, as zstd's
// FSE_compress does) and a memcpy. Each reports its block size, and ours its
// size against zstd's and against the order-0 entropy bound of the stream.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>

#include "VXYCoCgBenchFrames.h"
#include "engine/video/codecs/VXFSE.h"
#include "engine/video/codecs/VXYCoCgCoder.h"

#if VX_BENCH_ZSTD_FSE
// zstd's FSE stage, from its static library (the package ships no header for it).
extern "C"
{
    size_t FSE_normalizeCount(short* normalizedCounter, unsigned tableLog, const unsigned* count, size_t srcSize,
                              unsigned maxSymbolValue, unsigned useLowProbCount);
    size_t FSE_writeNCount(void* buffer, size_t bufferSize, const short* normalizedCounter, unsigned maxSymbolValue,
                           unsigned tableLog);
    size_t FSE_buildCTable_wksp(unsigned* ct, const short* normalizedCounter, unsigned maxSymbolValue,
                                unsigned tableLog, void* workSpace, size_t wkspSize);
    size_t FSE_compress_usingCTable(void* dst, size_t dstCapacity, const void* src, size_t srcSize, const unsigned* ct);
    size_t FSE_decompress_wksp_bmi2(void* dst, size_t dstCapacity, const void* cSrc, size_t cSrcSize, unsigned maxLog,
                                    void* workSpace, size_t wkspSize, int bmi2);
    unsigned FSE_isError(size_t code);
}
#else
#include <zstd.h>
#endif

namespace
{
    using vx::bench::Bytes;

    constexpr int width = 1920;
    constexpr int height = 1088;

    struct SymbolStreams
    {
        Bytes yaFirstHalves, yaSecondHalves, chromaFirstHalves;
    };

    // Symbol stream `which` of the block stream at `stream` (FSE blocks after
    // the raw bytes, their symbol counts in the header); end receives the
    // offset of the end of that FSE block.
    Bytes decodeSymbols(const std::uint8_t* stream, int which, std::uint32_t* end = nullptr)
    {
        std::uint32_t at, count = 0;
        std::memcpy(&at, stream, 4);
        Bytes symbols;
        for (int h = 0; h <= which; ++h)
        {
            std::memcpy(&count, stream + 4 + 4 * h, 4);
            symbols.assign(count, 0);
            at += static_cast<std::uint32_t>(
                vx::FSE_decompress(symbols.data(), static_cast<int>(count), stream + at, 1 << 30));
        }
        if (end != nullptr)
            *end = at;
        return symbols;
    }

    const SymbolStreams& streams()
    {
        static const SymbolStreams s = [] {
            SymbolStreams out;
            const Bytes withAlpha = vx::bench::videoPlanes(width, height, 20261207u, true);
            Bytes packed(withAlpha.size() * 2);
            vx::YACoCg10_compress(packed.data(), static_cast<int>(packed.size()), withAlpha.data(),
                                  static_cast<int>(withAlpha.size()));
            out.yaFirstHalves = decodeSymbols(packed.data(), 0);
            out.yaSecondHalves = decodeSymbols(packed.data(), 1);
            const Bytes planes = vx::bench::videoPlanes(width, height, 20261207u, false);
            vx::YCoCg6_compress(packed.data(), static_cast<int>(packed.size()), planes.data(),
                                static_cast<int>(planes.size()));
            std::uint32_t lumaEnd = 0;
            decodeSymbols(packed.data(), 0, &lumaEnd);
            out.chromaFirstHalves = decodeSymbols(packed.data() + lumaEnd, 0);
            return out;
        }();
        return s;
    }

    const Bytes& streamNamed(int index)
    {
        return index == 0 ? streams().yaFirstHalves : index == 1 ? streams().yaSecondHalves : streams().chromaFirstHalves;
    }

    double orderZeroBytes(const Bytes& symbols)
    {
        double counts[256] = {};
        for (std::uint8_t s : symbols)
            ++counts[s];
        double bits = 0;
        for (double c : counts)
            if (c > 0)
                bits += c * std::log2(static_cast<double>(symbols.size()) / c);
        return bits / 8;
    }

    void setSymbolBytes(benchmark::State& state, const Bytes& symbols)
    {
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(symbols.size()));
        state.counters["symbols"] = static_cast<double>(symbols.size());
        state.counters["bound"] = orderZeroBytes(symbols);
    }

#if VX_BENCH_ZSTD_FSE
    constexpr unsigned zstdTableLog = 10;

    struct ZstdFSE
    {
        unsigned ct[4096];
        std::uint64_t workspace[8192];
    };

    size_t zstdCompress(ZstdFSE& z, std::uint8_t* dst, size_t capacity, const Bytes& src)
    {
        unsigned count[256] = {};
        unsigned maxSymbol = 0;
        for (std::uint8_t s : src)
        {
            ++count[s];
            maxSymbol = std::max<unsigned>(maxSymbol, s);
        }
        short norm[256];
        if (FSE_isError(FSE_normalizeCount(norm, zstdTableLog, count, src.size(), maxSymbol, src.size() >= 2048)))
            return 0;
        const size_t header = FSE_writeNCount(dst, capacity, norm, maxSymbol, zstdTableLog);
        if (FSE_isError(header) ||
            FSE_isError(FSE_buildCTable_wksp(z.ct, norm, maxSymbol, zstdTableLog, z.workspace, sizeof(z.workspace))))
            return 0;
        const size_t body = FSE_compress_usingCTable(dst + header, capacity - header, src.data(), src.size(), z.ct);
        return FSE_isError(body) || body == 0 ? 0 : header + body;
    }

    size_t zstdDecompress(ZstdFSE& z, std::uint8_t* dst, size_t capacity, const std::uint8_t* src, size_t size)
    {
        const size_t n = FSE_decompress_wksp_bmi2(dst, capacity, src, size, zstdTableLog, z.workspace,
                                                  sizeof(z.workspace), __builtin_cpu_supports("bmi2") ? 1 : 0);
        return FSE_isError(n) ? 0 : n;
    }
#else
    size_t zstdCompress(ZSTD_CCtx* context, std::uint8_t* dst, size_t capacity, const Bytes& src)
    {
        const size_t n = ZSTD_compressCCtx(context, dst, capacity, src.data(), src.size(), 1);
        return ZSTD_isError(n) ? 0 : n;
    }
#endif

    void BM_Memcpy(benchmark::State& state)
    {
        const Bytes& symbols = streamNamed(static_cast<int>(state.range(0)));
        Bytes out(symbols.size());
        for (auto _ : state)
        {
            std::memcpy(out.data(), symbols.data(), symbols.size());
            benchmark::ClobberMemory();
        }
        setSymbolBytes(state, symbols);
    }

    void BM_Compress(benchmark::State& state)
    {
        const Bytes& symbols = streamNamed(static_cast<int>(state.range(0)));
        Bytes out(symbols.size() + 1);
        int size = 0;
        for (auto _ : state)
        {
            size = vx::FSE_compress_Nsymbols(out.data(), symbols.data(), static_cast<int>(symbols.size()), 18);
            benchmark::ClobberMemory();
        }
        setSymbolBytes(state, symbols);
        state.counters["bytes"] = size;
        state.counters["toBound"] = size / orderZeroBytes(symbols);
#if VX_BENCH_ZSTD_FSE
        static ZstdFSE z;
        Bytes zstd(symbols.size() * 2 + 512);
        state.counters["toZstdFSE"] = size / static_cast<double>(zstdCompress(z, zstd.data(), zstd.size(), symbols));
#endif
    }

    void BM_Decompress(benchmark::State& state)
    {
        const Bytes& symbols = streamNamed(static_cast<int>(state.range(0)));
        Bytes block(symbols.size() + 1);
        const int size = vx::FSE_compress_Nsymbols(block.data(), symbols.data(), static_cast<int>(symbols.size()), 18);
        Bytes out(symbols.size());
        for (auto _ : state)
        {
            if (vx::FSE_decompress(out.data(), static_cast<int>(out.size()), block.data(), size) != size)
                state.SkipWithError("decode failed");
            benchmark::ClobberMemory();
        }
        if (out != symbols)
            state.SkipWithError("decoded symbols differ");
        setSymbolBytes(state, symbols);
    }

#if VX_BENCH_ZSTD_FSE
    void BM_ZstdFSECompress(benchmark::State& state)
    {
        const Bytes& symbols = streamNamed(static_cast<int>(state.range(0)));
        static ZstdFSE z;
        Bytes out(symbols.size() * 2 + 512);
        size_t size = 0;
        for (auto _ : state)
        {
            size = zstdCompress(z, out.data(), out.size(), symbols);
            benchmark::ClobberMemory();
        }
        setSymbolBytes(state, symbols);
        state.counters["bytes"] = static_cast<double>(size);
        state.counters["toBound"] = static_cast<double>(size) / orderZeroBytes(symbols);
    }

    void BM_ZstdFSEDecompress(benchmark::State& state)
    {
        const Bytes& symbols = streamNamed(static_cast<int>(state.range(0)));
        static ZstdFSE z;
        Bytes block(symbols.size() * 2 + 512);
        const size_t size = zstdCompress(z, block.data(), block.size(), symbols);
        Bytes out(symbols.size());
        for (auto _ : state)
        {
            if (zstdDecompress(z, out.data(), out.size(), block.data(), size) != symbols.size())
                state.SkipWithError("decode failed");
            benchmark::ClobberMemory();
        }
        if (out != symbols)
            state.SkipWithError("decoded symbols differ");
        setSymbolBytes(state, symbols);
    }
#else
    // Without zstd's FSE stage: zstd level 1 over the same symbols.
    void BM_Zstd1Compress(benchmark::State& state)
    {
        const Bytes& symbols = streamNamed(static_cast<int>(state.range(0)));
        ZSTD_CCtx* context = ZSTD_createCCtx();
        Bytes out(ZSTD_compressBound(symbols.size()));
        size_t size = 0;
        for (auto _ : state)
        {
            size = zstdCompress(context, out.data(), out.size(), symbols);
            benchmark::ClobberMemory();
        }
        ZSTD_freeCCtx(context);
        setSymbolBytes(state, symbols);
        state.counters["bytes"] = static_cast<double>(size);
    }
#endif

    // Streams: 0 YACoCg10 luma-alpha first halves, 1 their second halves, 2
    // YCoCg6 chroma first halves.
    void streamArguments(benchmark::internal::Benchmark* b)
    {
        b->ArgName("stream")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
    }

    BENCHMARK(BM_Memcpy)->Name("BM_FSE_Memcpy/1920x1088")->Apply(streamArguments);
    BENCHMARK(BM_Compress)->Name("BM_FSE_Compress/1920x1088")->Apply(streamArguments);
    BENCHMARK(BM_Decompress)->Name("BM_FSE_Decompress/1920x1088")->Apply(streamArguments);
#if VX_BENCH_ZSTD_FSE
    BENCHMARK(BM_ZstdFSECompress)->Name("BM_FSE_ZstdFSECompress/1920x1088")->Apply(streamArguments);
    BENCHMARK(BM_ZstdFSEDecompress)->Name("BM_FSE_ZstdFSEDecompress/1920x1088")->Apply(streamArguments);
#else
    BENCHMARK(BM_Zstd1Compress)->Name("BM_FSE_Zstd1Compress/1920x1088")->Apply(streamArguments);
#endif
}
