// The QMV frame codec and the network pixel compressors beside the bare calls
// they wrap, on the same buffers: table entries 0 (LZ4), 1 (LZ4 HC 8), 2 (LZF)
// and 7 (copy) through compressFrameLosslessStep against LZ4_compress_default,
// LZ4_compress_HC at level 8, lzf_compress and memcpy; the LZ4 and LZF pixel
// compressors against the same calls; compressFrame (DXT1 and DXT5, one
// thread) against rygCompress plus the DXTR coder on the padded picture. The
// inputs are DXT blocks of a 1920x1080 video-like picture (padded to 1088
// rows) and the picture itself. Ratios are read between neighbouring lines.

#include <benchmark/benchmark.h>
#include <lz4.h>
#include <lz4hc.h>
#include <lzf.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "VXDXTTestCorpus.h"
#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXDXTR.h"
#include "engine/video/codecs/VXLZ4PixelsCompressor.h"
#include "engine/video/codecs/VXLZFPixelsCompressor.h"
#include "engine/video/codecs/VXPixelsCompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/formats/VXPixels.h"

namespace
{
    using Bytes = std::vector<std::uint8_t>;

    constexpr int width = 1920, height = 1080, paddedHeight = 1088;

    const Bytes& picture()
    {
        static const Bytes rgba = vx::test::dxt::makePicture(vx::test::dxt::Picture::video, width, height, 2026);
        return rgba;
    }

    // The picture padded to 1088 rows with black, as the frame codec pads it.
    const Bytes& paddedPicture(bool alpha)
    {
        static std::map<bool, Bytes> cache;
        Bytes& padded = cache[alpha];
        if (padded.empty())
        {
            padded.assign(std::size_t(width) * paddedHeight * 4, 0);
            std::memcpy(padded.data(), picture().data(), picture().size());
            if (! alpha)
                for (std::size_t i = 3; i < picture().size(); i += 4)
                    padded[i] = 255;
        }
        return padded;
    }

    const Bytes& dxt1Blocks()
    {
        static Bytes blocks;
        if (blocks.empty())
        {
            blocks.resize(std::size_t(width) * paddedHeight / 2);
            qmv::rygCompress(blocks.data(), paddedPicture(false).data(), width, paddedHeight, 0);
        }
        return blocks;
    }

    void report(benchmark::State& state, std::size_t input, std::size_t packed)
    {
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input));
        state.counters["ratio"] = double(packed) / double(input);
    }

    void BM_TableEntry(benchmark::State& state)
    {
        const int entry = int(state.range(0));
        const Bytes& blocks = dxt1Blocks();
        Bytes frame(blocks.size() + 12);
        int n = 0;
        for (auto _ : state)
        {
            n = qmv::compressFrameLosslessStep(frame.data(), blocks.data(), unsigned(blocks.size()), qmv::typeDXT1,
                                               entry);
            benchmark::DoNotOptimize(frame.data());
        }
        report(state, blocks.size(), std::size_t(n));
    }

    void BM_BareCall(benchmark::State& state)
    {
        const int entry = int(state.range(0));
        const Bytes& blocks = dxt1Blocks();
        Bytes out(blocks.size() + 12);
        const int size = int(blocks.size());
        int n = 0;
        for (auto _ : state)
        {
            const char* src = reinterpret_cast<const char*>(blocks.data());
            char* dst = reinterpret_cast<char*>(out.data() + 12);
            switch (entry)
            {
                case 0: n = LZ4_compress_default(src, dst, size, size); break;
                case 1: n = LZ4_compress_HC(src, dst, size, size, 8); break;
                case 2: n = int(lzf_compress(src, unsigned(size), dst, unsigned(size))); break;
                default:
                    std::memcpy(dst, src, std::size_t(size));
                    n = size;
                    break;
            }
            benchmark::DoNotOptimize(out.data());
        }
        report(state, blocks.size(), std::size_t(n));
    }

    BENCHMARK(BM_TableEntry)->Name("BM_TableEntry/LZ4/DXT1_1920x1088")->Arg(0);
    BENCHMARK(BM_BareCall)->Name("BM_BareCall/LZ4/DXT1_1920x1088")->Arg(0);
    BENCHMARK(BM_TableEntry)->Name("BM_TableEntry/LZ4HC8/DXT1_1920x1088")->Arg(1);
    BENCHMARK(BM_BareCall)->Name("BM_BareCall/LZ4HC8/DXT1_1920x1088")->Arg(1);
    BENCHMARK(BM_TableEntry)->Name("BM_TableEntry/LZF/DXT1_1920x1088")->Arg(2);
    BENCHMARK(BM_BareCall)->Name("BM_BareCall/LZF/DXT1_1920x1088")->Arg(2);
    BENCHMARK(BM_TableEntry)->Name("BM_TableEntry/Copy/DXT1_1920x1088")->Arg(7);
    BENCHMARK(BM_BareCall)->Name("BM_BareCall/Memcpy/DXT1_1920x1088")->Arg(7);

    // The pixel compressors on the RGBA picture (LZ4's limit is the raw size).
    void BM_PixelsCompressor(benchmark::State& state)
    {
        const bool useLZ4 = state.range(0) == 0;
        vx::Pixels pixels(width, height, 4, picture().data());
        vx::LZ4PixelsCompressor lz4;
        vx::LZFPixelsCompressor lzf;
        vx::PixelsCompressor& compressor = useLZ4 ? static_cast<vx::PixelsCompressor&>(lz4) : lzf;
        vx::CompressedPixels out;
        for (auto _ : state)
        {
            if (! compressor.compress(&pixels, out))
                state.SkipWithError("refused");
            benchmark::DoNotOptimize(out.data);
        }
        report(state, picture().size(), std::size_t(out.size));
    }

    void BM_PixelsBare(benchmark::State& state)
    {
        const bool useLZ4 = state.range(0) == 0;
        const int size = int(picture().size());
        Bytes out(std::size_t(LZ4_compressBound(size)) + std::size_t(size) / 16 + 67);
        int n = 0;
        for (auto _ : state)
        {
            const char* src = reinterpret_cast<const char*>(picture().data());
            n = useLZ4 ? LZ4_compress_default(src, reinterpret_cast<char*>(out.data()), size, size)
                       : int(lzf_compress(src, unsigned(size), out.data(), unsigned(out.size())));
            benchmark::DoNotOptimize(out.data());
        }
        report(state, picture().size(), std::size_t(n));
    }

    BENCHMARK(BM_PixelsCompressor)->Name("BM_PixelsCompressor/LZ4/RGBA_1920x1080")->Arg(0);
    BENCHMARK(BM_PixelsBare)->Name("BM_PixelsBare/LZ4/RGBA_1920x1080")->Arg(0);
    BENCHMARK(BM_PixelsCompressor)->Name("BM_PixelsCompressor/LZF/RGBA_1920x1080")->Arg(1);
    BENCHMARK(BM_PixelsBare)->Name("BM_PixelsBare/LZF/RGBA_1920x1080")->Arg(1);

    // A whole frame, one thread: the padded copy, stb's blocks and DXTR.
    void BM_CompressFrame(benchmark::State& state)
    {
        const int type = int(state.range(0));
        Bytes frame(std::size_t(qmv::getCompressedSize(width, height, type)) + 12);
        int n = 0;
        for (auto _ : state)
        {
            n = qmv::compressFrame(frame.data(), picture().data(), width * 4, width, height, type, 1, -1, false,
                                   nullptr);
            benchmark::DoNotOptimize(frame.data());
        }
        report(state, picture().size(), std::size_t(n));
    }

    void BM_BareStbAndDXTR(benchmark::State& state)
    {
        const bool alpha = state.range(0) == 1;
        const Bytes& padded = paddedPicture(alpha);
        Bytes blocks(std::size_t(width) * paddedHeight / (alpha ? 1 : 2));
        Bytes packed(DXTR_compressBound(unsigned(blocks.size())));
        void* workspace = DXTR_createWorkspace();
        unsigned n = 0;
        for (auto _ : state)
        {
            qmv::rygCompress(blocks.data(), padded.data(), width, paddedHeight, alpha ? 1 : 0);
            n = alpha ? DXTR_compressDXT5_Workspace(workspace, blocks.data(), unsigned(blocks.size()), packed.data(),
                                                    unsigned(packed.size()))
                      : DXTR_compressDXT1_Workspace(workspace, blocks.data(), unsigned(blocks.size()), packed.data(),
                                                    unsigned(packed.size()));
            benchmark::DoNotOptimize(packed.data());
        }
        DXTR_freeWorkspace(workspace);
        report(state, picture().size(), n + 12);
    }

    BENCHMARK(BM_CompressFrame)->Name("BM_CompressFrame/DXT1_1920x1080")->Arg(0)->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_BareStbAndDXTR)->Name("BM_BareStbAndDXTR/DXT1_1920x1080")->Arg(0)->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_CompressFrame)->Name("BM_CompressFrame/DXT5_1920x1080")->Arg(1)->Unit(benchmark::kMillisecond);
    BENCHMARK(BM_BareStbAndDXTR)->Name("BM_BareStbAndDXTR/DXT5_1920x1080")->Arg(1)->Unit(benchmark::kMillisecond);
}
