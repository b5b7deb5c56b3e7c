// The flake effect: one simulation update with 10,000 flakes, rebuilding the
// edge buckets from a 640x360 read-back with smart edges on and off, drawing
// 10,000 flakes beside drawing them one glColor and pointer set at a time,
// and a whole ProcessOpenGL at 1920x1080 beside a pass-through frame (the
// host drawing its input into its framebuffer), all waited for with glFinish.
// The ProcessOpenGL frames are replayed on a clock of their own, so every run
// draws the same flakes.

#include <benchmark/benchmark.h>

#include "../engine/gfx/VXBenchGLContext.h"
#include "plugin/FFGLPlugin.h"
#include "plugin/FlakeSimulation.h"

#include "engine/ffgl/FFGLPlugMain.h"
#include "engine/ffgl/VXFFGLPlugin.h"
#include "engine/gfx/VXTexture.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <vector>

namespace
{
    using kelvo::FlakeSimulation;

    // An edge picture like the Sobel pass leaves: roof lines, walls and a
    // sprinkle of single pixels. Row 0 = bottom.
    std::vector<unsigned char> makeEdgeReadback(int width, int height)
    {
        std::vector<unsigned char> bytes(static_cast<std::size_t>(width * height), 0);
        std::srand(7);
        for (int column = 0; column < width; ++column)
        {
            const int roof = height / 3 + (column / 40 * 37) % (height / 3);
            bytes[static_cast<std::size_t>(roof * width + column)] = 200;
            bytes[static_cast<std::size_t>((roof - 1) * width + column)] = 120;
            if (column % 40 == 0)
                for (int row = 0; row < roof; ++row)
                    bytes[static_cast<std::size_t>(row * width + column)] = 180;
        }
        for (int i = 0; i < width * height / 50; ++i)
            bytes[static_cast<std::size_t>(std::rand() % (width * height))] = 90;
        return bytes;
    }

    // 10,000 flakes over the edge picture, a third of them settled.
    FlakeSimulation makeBusySimulation()
    {
        FlakeSimulation simulation;
        const auto edges = makeEdgeReadback(640, 360);
        simulation.findEdgePoints(edges.data(), 640, 360, true);
        std::srand(11);
        for (int i = 0; i < 10000; ++i)
        {
            kelvo::Particle p;
            p.x = static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX) * 2.0f - 1.0f;
            p.y = static_cast<float>(std::rand()) / static_cast<float>(RAND_MAX) * 2.0f - 1.0f;
            p.velocityX = 0.0001f;
            p.velocityY = 0.001f + static_cast<float>(std::rand() % 50) * 0.0001f;
            p.width = p.height = 0.02f;
            // Near white with a little blue, each its own, as spawned.
            const float grey = 0.9f + static_cast<float>(std::rand() % 100) * 0.001f;
            p.color = vx::Color(grey, grey, 1.0f, 1.0f);
            simulation.addParticle(p);
        }
        FlakeSimulation::Settings settings;
        simulation.setLastSpawnTime(1e12);
        for (int i = 0; i < 40; ++i)
            simulation.update(0.0, 16.0, settings);
        return simulation;
    }

    void BM_FlakeUpdate(benchmark::State& state)
    {
        FlakeSimulation::Settings settings;
        FlakeSimulation simulation = makeBusySimulation();
        int settled = 0;
        for (const auto& p : simulation.getParticles())
            settled += p.falling ? 0 : 1;
        for (auto _ : state)
        {
            simulation.update(0.0, 16.0, settings); // no spawn: the last one lies ahead
            if (simulation.getParticles().size() < 9000)
            {
                state.PauseTiming();
                simulation = makeBusySimulation();
                state.ResumeTiming();
            }
        }
        state.counters["settled at start"] = settled;
        state.SetItemsProcessed(state.iterations() * 10000);
    }
    BENCHMARK(BM_FlakeUpdate)->Name("BM_FlakeUpdate/10000");

    void BM_FindEdgePoints(benchmark::State& state, bool smartEdges)
    {
        const auto edges = makeEdgeReadback(640, 360);
        FlakeSimulation simulation;
        for (auto _ : state)
        {
            simulation.findEdgePoints(edges.data(), 640, 360, smartEdges);
            benchmark::DoNotOptimize(simulation.getBucket(0).data());
        }
        state.counters["points"] = static_cast<double>(simulation.getNumEdgePoints());
        state.SetBytesProcessed(state.iterations() * 640 * 360);
    }
    BENCHMARK_CAPTURE(BM_FindEdgePoints, 640x360 / SmartEdgesOff, false);
    BENCHMARK_CAPTURE(BM_FindEdgePoints, 640x360 / SmartEdgesOn, true);

    // ---- Whole frames on GL.

    // CPU time of every thread of the process, the rasteriser's included: on
    // a shared machine it varies less than the wall time of a frame.
    double processCpuMs()
    {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
    }

    void reportProcessCpu(benchmark::State& state, double startMs)
    {
        if (state.iterations() > 0)
            state.counters["process CPU ms"] = (processCpuMs() - startMs) / static_cast<double>(state.iterations());
    }

    constexpr int frameWidth = 1920;
    constexpr int frameHeight = 1080;

    // The host's side: an input with edges and a framebuffer to draw into.
    struct HostFrame
    {
        HostFrame()
        {
            std::vector<unsigned char> pixels(static_cast<std::size_t>(frameWidth * frameHeight * 4), 0);
            for (int row = 0; row < frameHeight; ++row)
                for (int column = 0; column < frameWidth; ++column)
                {
                    unsigned char* p = &pixels[static_cast<std::size_t>((row * frameWidth + column) * 4)];
                    const bool building = row < 300 + (column / 160 * 97) % 400;
                    p[0] = p[1] = building ? 110 : 20;
                    p[2] = building ? 140 : 60;
                    p[3] = 255;
                }
            input = makeTexture(pixels.data());
            output = makeTexture(nullptr);
            glGenFramebuffers(1, &framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, output, 0);
            glViewport(0, 0, frameWidth, frameHeight);
            const auto w = static_cast<std::uint32_t>(frameWidth);
            const auto h = static_cast<std::uint32_t>(frameHeight);
            texture = {w, h, w, h, input};
            record = {1, textures, framebuffer};
            viewport = {0, 0, w, h};
        }
        ~HostFrame()
        {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteTextures(1, &output);
            glDeleteTextures(1, &input);
        }

        static GLuint makeTexture(const unsigned char* pixels)
        {
            GLuint name = 0;
            glGenTextures(1, &name);
            glBindTexture(GL_TEXTURE_2D, name);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frameWidth, frameHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
            glBindTexture(GL_TEXTURE_2D, 0);
            return name;
        }

        GLuint input = 0, output = 0, framebuffer = 0;
        FFGLTextureStruct texture{};
        FFGLTextureStruct* textures[1] = {&texture};
        ProcessOpenGLStructTag record{};
        FFGLViewportStructTag viewport{};
    };

    // 10,000 flakes over a 1920x1080 framebuffer with the effect's projection
    // and blending, the sprite a 64x64 texture fading out from its centre.
    class FlakeCanvas
    {
    public:
        FlakeCanvas() : simulation(makeBusySimulation())
        {
            std::vector<unsigned char> pixels(64 * 64 * 4);
            for (int row = 0; row < 64; ++row)
                for (int column = 0; column < 64; ++column)
                {
                    const int dx = column - 32, dy = row - 32;
                    unsigned char* p = &pixels[static_cast<std::size_t>((row * 64 + column) * 4)];
                    p[0] = p[1] = p[2] = 255;
                    p[3] = static_cast<unsigned char>(std::max(0, 255 - (dx * dx + dy * dy) / 4));
                }
            glGenTextures(1, &sprite);
            glBindTexture(GL_TEXTURE_2D, sprite);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            spriteTexture.setGLData(64, 64, 64, 64, GL_TEXTURE_2D, sprite, GL_RGBA8, GL_LINEAR, GL_LINEAR, true);
            glEnable(GL_TEXTURE_2D);
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(-1.0, 1.0, 1.0, -1.0, -1.0, 1.0);
            glMatrixMode(GL_MODELVIEW);
        }
        ~FlakeCanvas()
        {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glDisable(GL_BLEND);
            glDisable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, 0);
            glDeleteTextures(1, &sprite);
        }

        HostFrame frame;
        FlakeSimulation simulation;
        GLuint sprite = 0;
        vx::Texture spriteTexture;
    };

    void BM_FlakeDraw(benchmark::State& state)
    {
        if (! vx::bench::makeBenchGLContextCurrent())
        {
            state.SkipWithError("no GL context");
            return;
        }
        FlakeCanvas canvas;
        for (auto _ : state)
        {
            canvas.simulation.drawParticles(canvas.spriteTexture);
            glFinish();
        }
        state.SetItemsProcessed(state.iterations() *
                                static_cast<std::int64_t>(canvas.simulation.getParticles().size()));
    }
    BENCHMARK(BM_FlakeDraw)->Name("BM_FlakeDraw/10000")->Unit(benchmark::kMillisecond)->UseRealTime();

    // The same flakes as a colour and a pointer set per flake before its draw.
    void BM_FlakeDrawOneByOne(benchmark::State& state)
    {
        if (! vx::bench::makeBenchGLContextCurrent())
        {
            state.SkipWithError("no GL context");
            return;
        }
        FlakeCanvas canvas;
        const float texCoords[8] = {0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.0f};
        float corners[8] = {};
        for (auto _ : state)
        {
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
            glEnableClientState(GL_VERTEX_ARRAY);
            glVertexPointer(2, GL_FLOAT, 0, corners);
            for (const kelvo::Particle& p : canvas.simulation.getParticles())
            {
                const float left = p.x - p.width * 0.5f;
                const float top = p.y - p.height * 0.5f;
                if (left + p.width < -1.0f || left - p.width > 1.0f)
                    continue;
                glColor4f(p.color.r, p.color.g, p.color.b, p.color.a);
                const float quad[8] = {left,           top, left, top + p.height, left + p.width, top + p.height,
                                       left + p.width, top};
                std::copy(std::begin(quad), std::end(quad), corners);
                glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            }
            glDisableClientState(GL_VERTEX_ARRAY);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glFinish();
        }
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        state.SetItemsProcessed(state.iterations() *
                                static_cast<std::int64_t>(canvas.simulation.getParticles().size()));
    }
    BENCHMARK(BM_FlakeDrawOneByOne)->Name("BM_FlakeDrawOneByOne/10000")->Unit(benchmark::kMillisecond)->UseRealTime();

    // The host drawing its input into its framebuffer, nothing else.
    void drawPassThroughFrame(const HostFrame& frame)
    {
        static const float corners[8] = {-1, -1, 1, -1, 1, 1, -1, 1};
        static const float uvs[8] = {0, 0, 1, 0, 1, 1, 0, 1};
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, frame.input);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, corners);
        glTexCoordPointer(2, GL_FLOAT, 0, uvs);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisableClientState(GL_VERTEX_ARRAY);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
        glFinish();
    }

    void BM_PassThroughFrame(benchmark::State& state)
    {
        if (! vx::bench::makeBenchGLContextCurrent())
        {
            state.SkipWithError("no GL context");
            return;
        }
        HostFrame frame;
        const double cpuStart = processCpuMs();
        for (auto _ : state)
            drawPassThroughFrame(frame);
        reportProcessCpu(state, cpuStart);
    }
    BENCHMARK(BM_PassThroughFrame)->Name("BM_PassThroughFrame/1920x1080")->Unit(benchmark::kMillisecond)->UseRealTime();

    // Kelvo's frames replayed the same in every run: rand seeded, the
    // effect's clock stepping a 60 Hz frame at a time from a fixed start, two
    // seconds of frames to fill the picture and settle, then a fixed number
    // of measured frames. Each measured frame is followed by a pass-through
    // frame timed apart, so "ratio" (wall) and "CPU ratio" (every thread's
    // CPU time) compare the two under the same load; the reported time is
    // Kelvo's frame alone. "flakes" counts the flakes drawn over the measured
    // frames and the label holds a checksum of the last frame's flakes: both
    // read the same in every run.
    constexpr int kelvoWarmUpFrames = 120;
    constexpr int kelvoMeasuredFrames = 240;
    constexpr double kelvoFrameMs = 1000.0 / 60.0;
    constexpr unsigned int kelvoSeed = 2026;

    // FNV-1a over the flakes' positions, lives and states.
    std::uint32_t flakeChecksum(const std::vector<kelvo::Particle>& particles)
    {
        std::uint32_t hash = 2166136261u;
        const auto mix = [&hash](const void* data, std::size_t size)
        {
            const auto* bytes = static_cast<const unsigned char*>(data);
            for (std::size_t i = 0; i < size; ++i)
                hash = (hash ^ bytes[i]) * 16777619u;
        };
        for (const kelvo::Particle& p : particles)
        {
            mix(&p.x, sizeof p.x);
            mix(&p.y, sizeof p.y);
            mix(&p.life, sizeof p.life);
            mix(&p.falling, sizeof p.falling);
        }
        return hash;
    }

    void BM_KelvoProcessOpenGL(benchmark::State& state)
    {
        if (! vx::bench::makeBenchGLContextCurrent())
        {
            state.SkipWithError("no GL context");
            return;
        }
        HostFrame frame;
        std::srand(kelvoSeed);
        const FFGL::Word instance = plugMain(FFGL::instantiateGL, FFGL::fromPointer(&frame.viewport), 0);
        if (instance == 0 || FFGL::isFail(instance))
        {
            state.SkipWithError("instantiateGL failed");
            return;
        }
        auto* plugin = dynamic_cast<VXFFGLPlugin*>(FFGL::toPointer<CFreeFrameGLPlugin>(instance));
        auto* effect = plugin != nullptr ? dynamic_cast<Plugin*>(plugin->getApp()) : nullptr;
        if (effect == nullptr)
        {
            plugMain(FFGL::deInstantiateGL, 0, instance);
            state.SkipWithError("not a Kelvo instance");
            return;
        }
        int frameIndex = 0;
        effect->setClock([&frameIndex] { return 1000.0 + frameIndex * kelvoFrameMs; });
        const auto renderFrame = [&]
        {
            ++frameIndex;
            const bool done = plugMain(FFGL::processOpenGL, FFGL::fromPointer(&frame.record), instance) ==
                              FFGL::success;
            glFinish();
            return done;
        };

        bool failed = false;
        for (int i = 0; i < kelvoWarmUpFrames && ! failed; ++i)
            failed = ! renderFrame();

        using Clock = std::chrono::steady_clock;
        Clock::duration kelvoTime{}, passThroughTime{};
        double kelvoCpuMs = 0.0, passThroughCpuMs = 0.0;
        std::int64_t flakesDrawn = 0, edgePasses = 0;
        for (auto _ : state)
        {
            if (failed)
                break;
            const double lastEdgePass = effect->getLastEdgePassTime();
            const double cpu0 = processCpuMs();
            const auto t0 = Clock::now();
            failed = ! renderFrame();
            const auto t1 = Clock::now();
            const double cpu1 = processCpuMs();
            drawPassThroughFrame(frame);
            passThroughTime += Clock::now() - t1;
            passThroughCpuMs += processCpuMs() - cpu1;
            kelvoCpuMs += cpu1 - cpu0;
            kelvoTime += t1 - t0;
            state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
            flakesDrawn += static_cast<std::int64_t>(effect->getSimulation().getNumDrawn());
            edgePasses += effect->getLastEdgePassTime() != lastEdgePass ? 1 : 0;
        }
        if (failed)
            state.SkipWithError("processOpenGL failed");
        else if (state.iterations() > 0)
        {
            const double passThroughSeconds = std::chrono::duration<double>(passThroughTime).count();
            const auto frames = static_cast<double>(state.iterations());
            const double kelvoSeconds = std::chrono::duration<double>(kelvoTime).count();
            state.counters["ratio"] = passThroughSeconds > 0.0 ? kelvoSeconds / passThroughSeconds : 0.0;
            state.counters["pass-through ms"] = passThroughSeconds * 1e3 / frames;
            state.counters["process CPU ms"] = kelvoCpuMs / frames;
            state.counters["CPU ratio"] = passThroughCpuMs > 0.0 ? kelvoCpuMs / passThroughCpuMs : 0.0;
            state.counters["flakes"] = static_cast<double>(flakesDrawn);
            state.counters["edge passes"] = static_cast<double>(edgePasses);
            char label[96];
            std::snprintf(label, sizeof label, "flakes drawn %lld, flake state %08x",
                          static_cast<long long>(flakesDrawn),
                          static_cast<unsigned int>(flakeChecksum(effect->getSimulation().getParticles())));
            state.SetLabel(label);
        }
        effect->setClock({});
        plugMain(FFGL::deInstantiateGL, 0, instance);
        plugMain(FFGL::deInitialise, 0, 0);
    }
    BENCHMARK(BM_KelvoProcessOpenGL)
        ->Name("BM_KelvoProcessOpenGL/1920x1080")
        ->Iterations(kelvoMeasuredFrames)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
}
