// QMV movies at 1920x1080, warm in the page cache, each measured beside a
// baseline doing the same work bare:
//  - fetching frame k of a 300-frame DXT1 movie through the container records
//    against a pread of the same bytes, sequential and random;
//  - fetching and decoding through the reader's checks and the decompressor
//    against a pread and DXTR's own decoder (the streams per core at 60
//    frames per second are reported);
//  - the reader's frames per second with the upload (DXT1, DXT5 through the
//    pixel-unpack buffers, YCoCg6 drawn by the decompressor), reported;
//  - the writer on 1, 2 and all task threads against the same compression on
//    as many plain threads writing in order; the writer's output order is
//    checked against the baseline's frames.

#include <benchmark/benchmark.h>

#include "../../ffgl/VXBenchEngine.h"
#include "../../gfx/VXBenchGLContext.h"
#include "../../../VXScratchFolder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/VXFile.h"
#include "core/VXInputStream.h"
#include "core/VXScopedPointer.h"
#include "core/VXSystem.h"
#include "core/VXTaskManager.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXDXTR.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXVideoCodecInfoQMV.h"
#include "engine/video/codecs/VXVideoCodecSettings.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXQMVFileFormat.h"
#include "engine/video/formats/VXQMVVideoFormatReader.h"
#include "engine/video/formats/VXQMVVideoFormatWriter.h"

// After the engine: <fcntl.h> defines LOCK_READ, a texture lock flag's name.
#include <fcntl.h>
#include <unistd.h>

namespace
{
    constexpr int width = 1920, height = 1080;
    constexpr unsigned movieFrames = 300;
    constexpr unsigned distinctPictures = 12;

    // Removed with what the benchmarks wrote when the program ends.
    const std::string& folder()
    {
        static const vx::bench::ScratchFolder scratch("vx-qmv-file-bench-");
        return scratch.getPath();
    }

    // A gradient with seeded noise and a moving block: compressible like
    // video, not trivially.
    std::shared_ptr<vx::Pixels> picture(unsigned seed)
    {
        auto pixels = std::make_shared<vx::Pixels>(width, height, 4, nullptr);
        std::mt19937 rng(seed);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                unsigned char* p = pixels->data + (std::size_t(y) * width + x) * 4;
                const bool block = std::abs(x - int(seed) * 150) < 120 && std::abs(y - 540) < 120;
                const int noise = int(rng() % 9) - 4;
                p[0] = (unsigned char)std::clamp(x * 255 / width + noise, 0, 255);
                p[1] = (unsigned char)(block ? 250 : std::clamp(y * 255 / height + noise, 0, 255));
                p[2] = (unsigned char)((x + y + int(seed) * 7) & 0xFF);
                p[3] = 255;
            }
        return pixels;
    }

    const std::vector<std::shared_ptr<vx::Pixels>>& pictures()
    {
        static const std::vector<std::shared_ptr<vx::Pixels>> all = [] {
            std::vector<std::shared_ptr<vx::Pixels>> made;
            for (unsigned i = 0; i < distinctPictures; ++i)
                made.push_back(picture(i));
            return made;
        }();
        return all;
    }

    struct Codec
    {
        explicit Codec(int type)
        {
            info.getFormatType()->setValue(type, vx::ValueChangeInfo());
            settings = vx::VideoCodecSettings(width, height, 60.0, &info);
        }
        vx::VideoCodecInfoQMV info;
        vx::VideoCodecSettings settings;
    };

    struct ScopedTasks
    {
        explicit ScopedTasks(int threads) : manager(std::uint8_t(threads)) { vx::TaskManager::setCurrent(&manager); }
        ~ScopedTasks() { vx::TaskManager::setCurrent(nullptr); }
        vx::TaskManager manager;
    };

    int allThreads() { return std::max(1, int(vx::System::getNumParallelThreads())); }

    bool record(const std::string& path, int type, unsigned frames, int threads)
    {
        ScopedTasks tasks(threads);
        Codec codec(type);
        vx::File file(path);
        vx::QMVVideoFormatWriter writer(file, 60.0f, 4, width, height, codec.settings, 0);
        for (unsigned i = 0; i < frames; ++i)
            if (! writer.write(pictures()[i % distinctPictures]))
                return false;
        return writer.endRecording();
    }

    // The movie of a type, recorded once per process.
    const std::string& movie(int type, unsigned frames)
    {
        static std::string paths[4];
        std::string& path = paths[type];
        if (path.empty())
        {
            path = folder() + "/movie-" + std::to_string(type) + ".qmv";
            if (! record(path, type, frames, allThreads()))
                std::fprintf(stderr, "benchmark: cannot record %s\n", path.c_str());
        }
        return path;
    }

    const vx::QMVFileFormat& table(const std::string& path)
    {
        static vx::QMVFileFormat record;
        static std::string read;
        if (read != path)
        {
            vx::ScopedPointer<vx::InputStream> in(vx::File(path).createInputStream(true));
            record.read(*in);
            read = path;
        }
        return record;
    }

    // Frame indices: in order, or a fixed shuffle.
    std::vector<unsigned> order(bool random)
    {
        std::vector<unsigned> indices(movieFrames);
        for (unsigned i = 0; i < movieFrames; ++i)
            indices[i] = i;
        if (random)
            std::shuffle(indices.begin(), indices.end(), std::mt19937(7));
        return indices;
    }

    void warm(const std::string& path)
    {
        std::vector<char> chunk(1 << 20);
        FILE* f = std::fopen(path.c_str(), "rb");
        while (f != nullptr && std::fread(chunk.data(), 1, chunk.size(), f) > 0)
        {
        }
        if (f != nullptr)
            std::fclose(f);
    }

    void BM_QMVFetchFrame(benchmark::State& state)
    {
        const std::string& path = movie(qmv::typeDXT1, movieFrames);
        warm(path);
        const vx::QMVFileFormat& record = table(path);
        vx::ScopedPointer<vx::InputStream> in(vx::File(path).createInputStream(true));
        std::vector<unsigned char> buffer(record.getMaxFrameSize());
        const std::vector<unsigned> indices = order(state.range(0) != 0);
        std::size_t i = 0, bytes = 0;
        for (auto _ : state)
        {
            const unsigned k = indices[i++ % indices.size()];
            if (! record.readFrame(*in, k, buffer.data(), buffer.size()))
                state.SkipWithError("readFrame failed");
            bytes += record.frameTable.entries[k].size;
            benchmark::DoNotOptimize(buffer.data());
        }
        state.SetBytesProcessed(long(bytes));
    }
    BENCHMARK(BM_QMVFetchFrame)->Arg(0)->Arg(1)->ArgName("random")->Name("BM_QMVFetchFrame/1920x1080")->Unit(benchmark::kMicrosecond);

    void BM_PreadFrame(benchmark::State& state)
    {
        const std::string& path = movie(qmv::typeDXT1, movieFrames);
        warm(path);
        const vx::QMVFileFormat& record = table(path);
        const int fd = open(path.c_str(), O_RDONLY);
        std::vector<unsigned char> buffer(record.getMaxFrameSize());
        const std::vector<unsigned> indices = order(state.range(0) != 0);
        std::size_t i = 0, bytes = 0;
        for (auto _ : state)
        {
            const vx::QMVFrameTableEntry& entry = record.frameTable.entries[indices[i++ % indices.size()]];
            if (pread(fd, buffer.data(), entry.size, off_t(entry.offset)) != ssize_t(entry.size))
                state.SkipWithError("pread failed");
            bytes += entry.size;
            benchmark::DoNotOptimize(buffer.data());
        }
        close(fd);
        state.SetBytesProcessed(long(bytes));
    }
    BENCHMARK(BM_PreadFrame)->Arg(0)->Arg(1)->ArgName("random")->Name("BM_PreadFrame/1920x1080")->Unit(benchmark::kMicrosecond);

    void reportStreams(benchmark::State& state)
    {
        // Frames per second of one core over the 60 one stream needs.
        state.counters["streams1080p60"] =
            benchmark::Counter(1.0 / 60.0, benchmark::Counter::kIsIterationInvariantRate);
    }

    void BM_QMVFetchDecode(benchmark::State& state)
    {
        const std::string& path = movie(qmv::typeDXT1, movieFrames);
        warm(path);
        vx::QMVVideoFormatReader reader{vx::File(path)};
        const std::vector<unsigned> indices = order(state.range(0) != 0);
        std::size_t i = 0;
        for (auto _ : state)
        {
            if (! reader.decodeFrame(indices[i++ % indices.size()]))
                state.SkipWithError("decodeFrame failed");
            benchmark::DoNotOptimize(reader.getDecodedFrame());
        }
        reportStreams(state);
    }
    BENCHMARK(BM_QMVFetchDecode)->Arg(0)->Arg(1)->ArgName("random")->Name("BM_QMVFetchDecode/1920x1080")->Unit(benchmark::kMicrosecond);

    void BM_PreadDXTRDecode(benchmark::State& state)
    {
        const std::string& path = movie(qmv::typeDXT1, movieFrames);
        warm(path);
        const vx::QMVFileFormat& record = table(path);
        const int fd = open(path.c_str(), O_RDONLY);
        std::vector<unsigned char> buffer(record.getMaxFrameSize());
        std::vector<unsigned char> blocks(std::size_t(qmv::getCompressedSize(width, height, qmv::typeDXT1)));
        const std::vector<unsigned> indices = order(state.range(0) != 0);
        std::size_t i = 0;
        for (auto _ : state)
        {
            const vx::QMVFrameTableEntry& entry = record.frameTable.entries[indices[i++ % indices.size()]];
            if (pread(fd, buffer.data(), entry.size, off_t(entry.offset)) != ssize_t(entry.size) ||
                DXTR_uncompressDXT1(buffer.data() + qmv::headerSize, entry.size - qmv::headerSize, blocks.data(),
                                    int(blocks.size())) == 0)
                state.SkipWithError("pread or DXTR failed");
            benchmark::DoNotOptimize(blocks.data());
        }
        close(fd);
        reportStreams(state);
    }
    BENCHMARK(BM_PreadDXTRDecode)->Arg(0)->Arg(1)->ArgName("random")->Name("BM_PreadDXTRDecode/1920x1080")->Unit(benchmark::kMicrosecond);

    using Engine = vx::bench::BenchEngine;
    Engine& engine() { return vx::bench::benchEngine<3>(); }

    void BM_QMVReaderPlay(benchmark::State& state)
    {
        const int type = int(state.range(0));
        Engine& gl = engine();
        if (gl.renderer == nullptr)
        {
            state.SkipWithError("no GL context");
            return;
        }
        ScopedTasks tasks(allThreads());
        const std::string& path = movie(type, 30);
        warm(path);
        vx::QMVVideoFormatReader reader{vx::File(path)};
        if (! reader.init(0, 0))
        {
            state.SkipWithError("init failed");
            return;
        }
        vx::Texture texture;
        GLuint framebuffer = 0;
        if (reader.needsShader())
        {
            texture.create(width, height, vx::Texture::RGBA8);
            glGenFramebuffers(1, &framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture.getGLName(), 0);
        }
        else
            texture.create(reader.getTextureWidth(), reader.getTextureHeight(), *reader.getTextureFormat());
        unsigned frame = 0;
        for (auto _ : state)
        {
            const double at = (frame++ % reader.getTotalFrames()) * reader.getMsecPerFrame() + 0.5;
            const bool shown = reader.read(at) &&
                               (reader.needsShader() ? reader.renderInternal(*gl.renderer) : reader.updateTexture(&texture));
            if (! shown)
                state.SkipWithError("frame not shown");
            glFinish();
        }
        if (framebuffer != 0)
        {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &framebuffer);
        }
        reader.release();
        state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    }
    BENCHMARK(BM_QMVReaderPlay)
        ->Arg(qmv::typeDXT1)
        ->Arg(qmv::typeDXT5)
        ->Arg(qmv::typeYCoCg6)
        ->ArgName("type")
        ->Name("BM_QMVReaderPlay/1920x1080")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();

    constexpr unsigned writtenFrames = 24;

    // The frames the codec makes of the pictures, in order (the baseline's
    // output, and the check of the writer's).
    std::vector<std::vector<unsigned char>> compressAll(int threads)
    {
        std::vector<std::vector<unsigned char>> frames(writtenFrames);
        std::atomic<unsigned> next{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&] {
                for (unsigned i = next++; i < writtenFrames; i = next++)
                {
                    const vx::Pixels& p = *pictures()[i % distinctPictures];
                    std::vector<unsigned char>& out = frames[i];
                    out.resize(std::size_t(qmv::getCompressedSize(width, height, qmv::typeDXT1) + qmv::headerSize));
                    out.resize(std::size_t(qmv::compressFrame(out.data(), p.data, std::size_t(p.stride), width,
                                                              height, qmv::typeDXT1, 1, -1, false, nullptr)));
                }
            });
        for (std::thread& worker : workers)
            worker.join();
        return frames;
    }

    int threadsOf(const benchmark::State& state)
    {
        return state.range(0) == 0 ? allThreads() : int(state.range(0));
    }

    void BM_QMVWriter(benchmark::State& state)
    {
        const int threads = threadsOf(state);
        const std::string path = folder() + "/written.qmv";
        pictures();
        for (auto _ : state)
            if (! record(path, qmv::typeDXT1, writtenFrames, threads))
                state.SkipWithError("recording failed");
        // The frames stored in order: each is the baseline's frame of its index.
        const std::vector<std::vector<unsigned char>> expected = compressAll(allThreads());
        vx::ScopedPointer<vx::InputStream> in(vx::File(path).createInputStream(true));
        vx::QMVFileFormat written;
        if (! written.read(*in) || written.frameTable.count != writtenFrames)
        {
            state.SkipWithError("the recording does not read back");
            return;
        }
        std::vector<unsigned char> frame(written.getMaxFrameSize());
        for (unsigned i = 0; i < writtenFrames; ++i)
            if (! written.readFrame(*in, i, frame.data(), frame.size()) ||
                ! std::equal(expected[i].begin(), expected[i].end(), frame.begin()) ||
                written.frameTable.entries[i].size != expected[i].size())
                state.SkipWithError("frames out of order");
        state.counters["threads"] = threads;
        state.counters["fps"] = benchmark::Counter(double(writtenFrames), benchmark::Counter::kIsIterationInvariantRate);
    }
    BENCHMARK(BM_QMVWriter)->Arg(1)->Arg(2)->Arg(0)->ArgName("threads")->Name("BM_QMVWriter/1920x1080x24")->Unit(benchmark::kMillisecond)->UseRealTime();

    void BM_PlainThreadsCompressAndWrite(benchmark::State& state)
    {
        const int threads = threadsOf(state);
        const std::string path = folder() + "/plain.bin";
        pictures();
        for (auto _ : state)
        {
            const std::vector<std::vector<unsigned char>> frames = compressAll(threads);
            FILE* out = std::fopen(path.c_str(), "wb");
            for (const std::vector<unsigned char>& frame : frames)
                std::fwrite(frame.data(), 1, frame.size(), out);
            std::fclose(out);
        }
        state.counters["threads"] = threads;
        state.counters["fps"] = benchmark::Counter(double(writtenFrames), benchmark::Counter::kIsIterationInvariantRate);
    }
    BENCHMARK(BM_PlainThreadsCompressAndWrite)->Arg(1)->Arg(2)->Arg(0)->ArgName("threads")->Name("BM_PlainThreadsCompressAndWrite/1920x1080x24")->Unit(benchmark::kMillisecond)->UseRealTime();
}
