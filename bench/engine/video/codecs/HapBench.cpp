// Hap frames beside the bare snappy calls and FFmpeg's Hap encoder, on DXT1
// blocks of a 1920x1080 video-like picture: HapEncode and HapDecode against
// snappy_compress and snappy_uncompress; chunked decoding through the HAP
// pixel compressor with a four-worker task manager, for frames of 1, 2 and 4
// chunks (FFmpeg-made); and the HAP pixel compressor's whole path (DXT1
// blocks from the RGBA picture, then the Hap frame) against FFmpeg's Hap
// encoder (snappy, one chunk) at the same thread count, and the compressor's
// own step alone (blocks ready).

#include <benchmark/benchmark.h>
#include <snappy-c.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "VXDXTTestCorpus.h"
#include "VXFFmpegHap.h"
#include "core/VXTaskManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXHAPPixelsCompressor.h"
#include "engine/video/codecs/VXHap.h"
#include "engine/video/codecs/VXPixelsCompressor.h"
#include "engine/video/formats/VXPixels.h"

namespace
{
    using Bytes = std::vector<std::uint8_t>;

    constexpr int width = 1920, height = 1080;

    const Bytes& picture()
    {
        static const Bytes rgba = vx::test::dxt::makePicture(vx::test::dxt::Picture::video, width, height, 2026);
        return rgba;
    }

    const Bytes& blocks()
    {
        static Bytes dxt1;
        if (dxt1.empty())
        {
            dxt1.resize(std::size_t(width) * height / 2);
            qmv::rygCompress(dxt1.data(), picture().data(), width, height, 0);
        }
        return dxt1;
    }

    void BM_HapEncode(benchmark::State& state)
    {
        Bytes frame(vx::HapMaxEncodedLength(blocks().size()));
        unsigned long used = 0;
        for (auto _ : state)
        {
            vx::HapEncode(blocks().data(), blocks().size(), vx::hapFormatDXT1, vx::hapCompressorSnappy, frame.data(),
                          frame.size(), &used);
            benchmark::DoNotOptimize(frame.data());
        }
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(blocks().size()));
        state.counters["ratio"] = double(used) / double(blocks().size());
    }

    void BM_SnappyCompress(benchmark::State& state)
    {
        Bytes out(snappy_max_compressed_length(blocks().size()) + 8);
        size_t n = 0;
        for (auto _ : state)
        {
            n = out.size() - 4;
            snappy_compress(reinterpret_cast<const char*>(blocks().data()), blocks().size(),
                            reinterpret_cast<char*>(out.data() + 4), &n);
            benchmark::DoNotOptimize(out.data());
        }
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(blocks().size()));
        state.counters["ratio"] = double(n + 4) / double(blocks().size());
    }

    const Bytes& ourFrame()
    {
        static Bytes frame;
        if (frame.empty())
        {
            frame.resize(vx::HapMaxEncodedLength(blocks().size()));
            unsigned long used = 0;
            vx::HapEncode(blocks().data(), blocks().size(), vx::hapFormatDXT1, vx::hapCompressorSnappy, frame.data(),
                          frame.size(), &used);
            frame.resize(used);
        }
        return frame;
    }

    void BM_HapDecode(benchmark::State& state)
    {
        Bytes out(blocks().size());
        unsigned long used = 0;
        unsigned format = 0;
        for (auto _ : state)
        {
            vx::HapDecode(ourFrame().data(), ourFrame().size(), nullptr, nullptr, out.data(), out.size(), &used,
                          &format);
            benchmark::DoNotOptimize(out.data());
        }
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(blocks().size()));
    }

    void BM_SnappyUncompress(benchmark::State& state)
    {
        Bytes out(blocks().size());
        const char* packed = reinterpret_cast<const char*>(ourFrame().data()) + 4;
        const size_t packedSize = ourFrame().size() - 4;
        for (auto _ : state)
        {
            size_t n = 0;
            snappy_uncompressed_length(packed, packedSize, &n);
            snappy_uncompress(packed, packedSize, reinterpret_cast<char*>(out.data()), &n);
            benchmark::DoNotOptimize(out.data());
        }
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(blocks().size()));
    }

    BENCHMARK(BM_HapEncode)->Name("BM_HapEncode/DXT1_1920x1080");
    BENCHMARK(BM_SnappyCompress)->Name("BM_SnappyCompress/DXT1_1920x1080");
    BENCHMARK(BM_HapDecode)->Name("BM_HapDecode/DXT1_1920x1080");
    BENCHMARK(BM_SnappyUncompress)->Name("BM_SnappyUncompress/DXT1_1920x1080");

    // FFmpeg's frame of the picture in the given number of chunks.
    const Bytes& ffmpegFrame(int chunks)
    {
        static std::map<int, Bytes> cache;
        Bytes& frame = cache[chunks];
        if (frame.empty())
            frame = vx::test::ffmpeg::encode(picture().data(), width, height, "hap", "snappy", chunks);
        return frame;
    }

    void BM_HapChunkedDecode(benchmark::State& state)
    {
        const Bytes& frame = ffmpegFrame(int(state.range(0)));
        vx::TaskManager manager(4);
        vx::TaskManager::setCurrent(&manager);
        vx::CompressedPixels in;
        in.allocateData(long(frame.size()));
        std::memcpy(in.data, frame.data(), frame.size());
        in.width = width;
        in.height = height;
        in.bytesPerPixel = 4;
        in.type = vx::PixelsCompressor::HAP;
        vx::HAPPixelsCompressor hap;
        for (auto _ : state)
        {
            std::unique_ptr<vx::Pixels> image(hap.decompress(in));
            if (image == nullptr)
                state.SkipWithError("refused");
            benchmark::DoNotOptimize(image.get());
        }
        vx::TaskManager::setCurrent(nullptr);
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(blocks().size()));
    }

    BENCHMARK(BM_HapChunkedDecode)->Name("BM_HapChunkedDecode/1chunk")->Arg(1)->UseRealTime();
    BENCHMARK(BM_HapChunkedDecode)->Name("BM_HapChunkedDecode/2chunks")->Arg(2)->UseRealTime();
    BENCHMARK(BM_HapChunkedDecode)->Name("BM_HapChunkedDecode/4chunks")->Arg(4)->UseRealTime();

    // RGBA to a Hap frame: the DXT1 blocks over the threads, then the frame.
    void BM_HAPPixelsCompressor(benchmark::State& state)
    {
        const int threads = int(state.range(0));
        vx::Pixels dxt(width, height, 4, long(blocks().size()));
        dxt.format = vx::Texture::DXT1_RGBA;
        vx::HAPPixelsCompressor hap;
        vx::CompressedPixels out;
        std::memcpy(dxt.data, blocks().data(), blocks().size());
        for (auto _ : state)
        {
            // Threads 0: the blocks are ready (the compressor's own work alone).
            if (threads > 1)
                qmv::compressMultiThreaded(dxt.data, picture().data(), width, height, false, threads);
            else if (threads == 1)
                qmv::rygCompress(dxt.data, picture().data(), width, height, 0);
            if (! hap.compress(&dxt, out))
                state.SkipWithError("refused");
            benchmark::DoNotOptimize(out.data);
        }
        state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    }

    void BM_FFmpegHapEncoder(benchmark::State& state)
    {
        const int threads = int(state.range(0));
        vx::test::ffmpeg::Context encoder = vx::test::ffmpeg::openEncoder(width, height, "hap", "snappy", 1, threads);
        if (! encoder)
        {
            state.SkipWithError("FFmpeg's Hap encoder is missing");
            return;
        }
        for (auto _ : state)
        {
            const Bytes frame = vx::test::ffmpeg::encode(encoder.get(), picture().data());
            if (frame.empty())
                state.SkipWithError("refused");
            benchmark::DoNotOptimize(frame.data());
        }
        state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    }

    BENCHMARK(BM_HAPPixelsCompressor)->Name("BM_HAPPixelsCompressor/blocksReady")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_HAPPixelsCompressor)->Name("BM_HAPPixelsCompressor/1thread")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_FFmpegHapEncoder)->Name("BM_FFmpegHapEncoder/1thread")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_HAPPixelsCompressor)->Name("BM_HAPPixelsCompressor/4threads")->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_FFmpegHapEncoder)->Name("BM_FFmpegHapEncoder/4threads")->Arg(4)->UseRealTime()->Unit(benchmark::kMillisecond);
}
