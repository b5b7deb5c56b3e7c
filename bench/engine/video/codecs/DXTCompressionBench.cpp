// Real-time DXT compression of a 1920x1088 video-like RGBA8 frame.
//
// rygCompress beside the bare stb_dxt block loop it wraps (same encoder, same
// mode) and a memcpy of the frame; then the strip-split forms (a persistent
// session, threads per frame) at 1 to 8 strips beside the bare loop split
// into as many bands on std::threads made per frame. The machine may be
// shared: run with repetitions and compare medians.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include <stb/stb_dxt.h>

#include "VXDXTTestCorpus.h"
#include "engine/video/codecs/VXDXTCompression.h"

namespace
{
    constexpr int width = 1920;
    constexpr int height = 1088;

    const std::vector<std::uint8_t>& frame()
    {
        static const std::vector<std::uint8_t> rgba =
            vx::test::dxt::makePicture(vx::test::dxt::Picture::video, width, height, 2026);
        return rgba;
    }

    std::size_t blocksBytes(bool alpha) { return std::size_t(width / 4) * (height / 4) * (alpha ? 16 : 8); }

    // Rows [first, first + rows) of whole blocks, nothing else.
    void bareLoop(std::uint8_t* dst, const std::uint8_t* src, int first, int rows, bool alpha)
    {
        const int blockBytes = alpha ? 16 : 8;
        std::uint8_t block[64];
        dst += std::size_t(first / 4) * (width / 4) * blockBytes;
        for (int y = first; y < first + rows; y += 4)
            for (int x = 0; x < width; x += 4)
            {
                for (int r = 0; r < 4; ++r)
                    std::memcpy(block + r * 16, src + (std::size_t(y + r) * width + x) * 4, 16);
                stb_compress_dxt_block(dst, block, alpha ? 1 : 0, 10);
                dst += blockBytes;
            }
    }

    void setProcessed(benchmark::State& state)
    {
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(frame().size()));
    }

    void BM_Memcpy(benchmark::State& state)
    {
        std::vector<std::uint8_t> out(frame().size());
        for (auto _ : state)
        {
            std::memcpy(out.data(), frame().data(), frame().size());
            benchmark::ClobberMemory();
        }
        setProcessed(state);
    }
    BENCHMARK(BM_Memcpy)->Name("BM_Memcpy/1920x1088")->Unit(benchmark::kMillisecond);

    void BM_BareStbLoop(benchmark::State& state)
    {
        const bool alpha = state.range(0) != 0;
        std::vector<std::uint8_t> out(blocksBytes(alpha));
        for (auto _ : state)
        {
            bareLoop(out.data(), frame().data(), 0, height, alpha);
            benchmark::ClobberMemory();
        }
        setProcessed(state);
    }
    BENCHMARK(BM_BareStbLoop)->ArgName("alpha")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

    void BM_RygCompress(benchmark::State& state)
    {
        const bool alpha = state.range(0) != 0;
        std::vector<std::uint8_t> out(blocksBytes(alpha));
        for (auto _ : state)
        {
            qmv::rygCompress(out.data(), frame().data(), width, height, alpha ? 1 : 0);
            benchmark::ClobberMemory();
        }
        setProcessed(state);
    }
    BENCHMARK(BM_RygCompress)->ArgName("alpha")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

    // The baseline of the strip forms: block rows shared evenly between N
    // std::threads made for the frame.
    void BM_BareStbLoopStdThreads(benchmark::State& state)
    {
        const int threads = int(state.range(0));
        std::vector<std::uint8_t> out(blocksBytes(false));
        const int blockRows = height / 4;
        for (auto _ : state)
        {
            std::vector<std::thread> workers;
            int first = 0;
            for (int t = 0; t < threads; ++t)
            {
                const int rows = (blockRows / threads + (t < blockRows % threads ? 1 : 0)) * 4;
                workers.emplace_back(bareLoop, out.data(), frame().data(), first, rows, false);
                first += rows;
            }
            for (std::thread& worker : workers)
                worker.join();
            benchmark::ClobberMemory();
        }
        setProcessed(state);
    }
    BENCHMARK(BM_BareStbLoopStdThreads)
        ->ArgName("threads")
        ->Arg(1)
        ->Arg(2)
        ->Arg(4)
        ->Arg(8)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);

    void BM_SessionPersistent(benchmark::State& state)
    {
        const int threads = int(state.range(0));
        std::vector<std::uint8_t> out(blocksBytes(false));
        qmv::Session* session = qmv::beginCompressionPersistent();
        // The first frame starts the threads; it is not what a stream pays per frame.
        qmv::compressMultiThreadedPersistent(session, out.data(), frame().data(), width, height, false, threads);
        for (auto _ : state)
        {
            qmv::compressMultiThreadedPersistent(session, out.data(), frame().data(), width, height, false, threads);
            benchmark::ClobberMemory();
        }
        qmv::endCompressionPersistent(&session);
        setProcessed(state);
    }
    BENCHMARK(BM_SessionPersistent)
        ->ArgName("strips")
        ->Arg(1)
        ->Arg(2)
        ->Arg(4)
        ->Arg(8)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);

    void BM_CompressMultiThreaded(benchmark::State& state)
    {
        const int threads = int(state.range(0));
        std::vector<std::uint8_t> out(blocksBytes(false));
        for (auto _ : state)
        {
            qmv::compressMultiThreaded(out.data(), frame().data(), width, height, false, threads);
            benchmark::ClobberMemory();
        }
        setProcessed(state);
    }
    BENCHMARK(BM_CompressMultiThreaded)
        ->ArgName("strips")
        ->Arg(1)
        ->Arg(2)
        ->Arg(4)
        ->Arg(8)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}
