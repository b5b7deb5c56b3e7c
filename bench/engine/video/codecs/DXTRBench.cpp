// DXTR beside the general-purpose coders on the same DXT frames: LZ4 at its
// default level, LZ4 HC at level 8 and zstd at level 1, compressing and
// decompressing DXT1 and DXT5 blocks of 1920x1088 video-like pictures, with a
// memcpy of the DXT5 frame. Each run reports the packed size ("packed") and
// its share of the input ("ratio"); throughput is of the unpacked blocks.

#include <benchmark/benchmark.h>
#include <lz4.h>
#include <lz4hc.h>
#include <zstd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "VXDXTTestCorpus.h"
#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXDXTR.h"

namespace
{
    using Bytes = std::vector<std::uint8_t>;
    using vx::test::dxt::Picture;

    constexpr int width = 1920;
    constexpr int height = 1088;

    enum Coder
    {
        dxtr,
        lz4,
        lz4hc8,
        zstd1
    };

    // DXT blocks of a picture; alpha picks DXT5.
    const Bytes& blocks(Picture picture, bool alpha)
    {
        static std::map<std::pair<int, bool>, Bytes> cache;
        Bytes& entry = cache[{int(picture), alpha}];
        if (entry.empty())
        {
            const Bytes rgba = vx::test::dxt::makePicture(picture, width, height, 2026);
            entry.resize(std::size_t(width / 4) * (height / 4) * (alpha ? 16 : 8));
            qmv::rygCompress(entry.data(), rgba.data(), width, height, alpha ? 1 : 0);
        }
        return entry;
    }

    std::size_t bound(Coder coder, std::size_t size)
    {
        switch (coder)
        {
        case dxtr: return DXTR_compressBound(unsigned(size));
        case lz4:
        case lz4hc8: return std::size_t(LZ4_compressBound(int(size)));
        case zstd1: return ZSTD_compressBound(size);
        }
        return 0;
    }

    // Packed size; DXTR's 0 (nothing gained) counts as the raw size, as the
    // frame codec then stores the blocks.
    std::size_t pack(Coder coder, bool alpha, const Bytes& src, Bytes& dst, ZSTD_CCtx* context)
    {
        switch (coder)
        {
        case dxtr:
        {
            const unsigned n = alpha ? DXTR_compressDXT5(src.data(), unsigned(src.size()), dst.data(),
                                                         unsigned(dst.size()))
                                     : DXTR_compressDXT1(src.data(), unsigned(src.size()), dst.data(),
                                                         unsigned(dst.size()));
            return n != 0 ? n : src.size();
        }
        case lz4:
            return std::size_t(LZ4_compress_default(reinterpret_cast<const char*>(src.data()),
                                                    reinterpret_cast<char*>(dst.data()), int(src.size()),
                                                    int(dst.size())));
        case lz4hc8:
            return std::size_t(LZ4_compress_HC(reinterpret_cast<const char*>(src.data()),
                                               reinterpret_cast<char*>(dst.data()), int(src.size()), int(dst.size()),
                                               8));
        case zstd1: return ZSTD_compressCCtx(context, dst.data(), dst.size(), src.data(), src.size(), 1);
        }
        return 0;
    }

    void unpack(Coder coder, bool alpha, const Bytes& packed, std::size_t packedSize, Bytes& out,
                ZSTD_DCtx* context)
    {
        switch (coder)
        {
        case dxtr:
            if (alpha)
                DXTR_uncompressDXT5(packed.data(), unsigned(packedSize), out.data(), int(out.size()));
            else
                DXTR_uncompressDXT1(packed.data(), unsigned(packedSize), out.data(), int(out.size()));
            break;
        case lz4:
        case lz4hc8:
            LZ4_decompress_safe(reinterpret_cast<const char*>(packed.data()), reinterpret_cast<char*>(out.data()),
                                int(packedSize), int(out.size()));
            break;
        case zstd1: ZSTD_decompressDCtx(context, out.data(), out.size(), packed.data(), packedSize); break;
        }
    }

    void report(benchmark::State& state, std::size_t input, std::size_t packed)
    {
        state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input));
        state.counters["packed"] = double(packed);
        state.counters["ratio"] = double(packed) / double(input);
    }

    void BM_Compress(benchmark::State& state, Coder coder, Picture picture, bool alpha)
    {
        const Bytes& src = blocks(picture, alpha);
        Bytes dst(bound(coder, src.size()));
        ZSTD_CCtx* context = ZSTD_createCCtx();
        std::size_t packed = 0;
        for (auto _ : state)
        {
            packed = pack(coder, alpha, src, dst, context);
            benchmark::DoNotOptimize(packed);
            benchmark::ClobberMemory();
        }
        ZSTD_freeCCtx(context);
        report(state, src.size(), packed);
    }

    void BM_Decompress(benchmark::State& state, Coder coder, Picture picture, bool alpha)
    {
        const Bytes& src = blocks(picture, alpha);
        Bytes packed(bound(coder, src.size()));
        ZSTD_CCtx* compressContext = ZSTD_createCCtx();
        const std::size_t packedSize = pack(coder, alpha, src, packed, compressContext);
        ZSTD_freeCCtx(compressContext);
        if (packedSize >= src.size() && coder == dxtr)
        {
            state.SkipWithError("stored raw: nothing to decompress");
            return;
        }
        ZSTD_DCtx* context = ZSTD_createDCtx();
        Bytes out(src.size());
        for (auto _ : state)
        {
            unpack(coder, alpha, packed, packedSize, out, context);
            benchmark::ClobberMemory();
        }
        ZSTD_freeDCtx(context);
        if (out != src)
            state.SkipWithError("round trip differs");
        report(state, src.size(), packedSize);
    }

    void BM_Memcpy(benchmark::State& state)
    {
        const Bytes& src = blocks(Picture::video, true);
        Bytes out(src.size());
        for (auto _ : state)
        {
            std::memcpy(out.data(), src.data(), src.size());
            benchmark::ClobberMemory();
        }
        report(state, src.size(), src.size());
    }
    BENCHMARK(BM_Memcpy)->Name("BM_Memcpy/DXT5_1920x1088");

    // BM_Compress/<coder>/<picture>/<DXT1 or DXT5>, likewise BM_Decompress.
    const bool registered = [] {
        const char* coderNames[] = {"DXTR", "LZ4", "LZ4HC8", "Zstd1"};
        for (Picture picture : {Picture::video, Picture::gradient, Picture::tiles, Picture::edges, Picture::noise})
            for (bool alpha : {false, true})
                for (Coder coder : {dxtr, lz4, lz4hc8, zstd1})
                {
                    const std::string suffix = std::string(coderNames[coder]) + "/" +
                                               vx::test::dxt::pictureName(picture) + (alpha ? "/DXT5" : "/DXT1");
                    benchmark::RegisterBenchmark(("BM_Compress/" + suffix).c_str(), BM_Compress, coder, picture,
                                                 alpha);
                    benchmark::RegisterBenchmark(("BM_Decompress/" + suffix).c_str(), BM_Decompress, coder, picture,
                                                 alpha);
                }
        return true;
    }();
}
