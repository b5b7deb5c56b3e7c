// Video sources. A 1080p RGBA file source with straight alpha (so the shared
// format conversion premultiplies): its render with a new frame every
// iteration (upload, conversion, chain) against a bare glTexSubImage2D of the
// same frame plus one raw-GL draw of the conversion program into a 1080p
// framebuffer; both end with glFinish and run side by side (goal: ratio at
// most 1.15). A 1080p H.264 movie played through a file source against bare
// libavcodec, libswscale and glTexSubImage2D of the same frames, side by
// side (goal: ratio at most 1.15). The GL objects the source creates per steady frame are counted
// (goal: 0). And one DataDriver pass over 100 registered sources against a
// bare loop of the same calls under a std::recursive_mutex (goal: ratio at
// most 1.2).

#include <benchmark/benchmark.h>

#include "../../../VXSideBySide.h"
#include "../../ffgl/VXBenchEngine.h"
#include "../../gfx/VXBenchGLContext.h"
#include "../VXMovieBenchSupport.h"
#include "core/VXFile.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "engine/video/formats/VXVideoFormatReader.h"
#include "engine/video/sources/VXVideoFormatReaderSource.h"
#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
    constexpr int frameWidth = 1920;
    constexpr int frameHeight = 1080;

    using Engine = vx::bench::BenchEngine;
    Engine& engine() { return vx::bench::benchEngine<0x1 | 0x4 | 0x80 | 0x200>(); }

    // A new frame at every read: the two prepared pictures in turn.
    class FrameReader : public vx::VideoFormatReader
    {
    public:
        FrameReader() : VideoFormatReader(vx::File("/bench/clip.raw"), "Bench")
        {
            textureWidth = frameWidth;
            textureHeight = frameHeight;
            fps = 25.0;
            length = 1000.0;
            bitDepth = 4;
            textureFormat = &vx::Texture::RGBA8;
            resizable = false;
            alphaType->setValue(1, vx::ValueChangeInfo());
            opened = true;
            for (int i = 0; i < 2; ++i)
                frames[i].assign(size_t(frameWidth) * frameHeight * 4, static_cast<unsigned char>(60 + 100 * i));
        }
        unsigned getTotalFrames() override { return 25; }
        bool readFrame(double) override
        {
            turn = 1 - turn;
            return true;
        }
        bool updateTextureInternal(vx::Texture* texture) override
        {
            return uploadFrame(*texture, frames[turn].data(), frameWidth, frameHeight, 4);
        }
        std::vector<unsigned char> frames[2];
        int turn = 0;
    };

    // A driver whose thread is stopped: passes run on the caller.
    struct QuietDriver
    {
        QuietDriver()
        {
            driver.requestThreadStop();
            while (driver.isThreadRunning())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        vx::VideoSourceDataDriver driver;
    };

    struct Scene
    {
        Scene()
        {
            if (engine().renderer == nullptr)
                return;
            source = std::make_unique<vx::VideoFormatReaderSource>(quiet.driver, new FrameReader());
            ready = frame().get() != nullptr && source->getFormatConversion() != nullptr;
            if (! ready)
                return;

            // The raw path: its own frame texture and framebuffer, the
            // conversion's program with its uniforms looked up once.
            rawInput.create(frameWidth, frameHeight, vx::Texture::RGBA8);
            rawOutput.create(frameWidth, frameHeight, vx::Texture::RGBA8);
            glGenFramebuffers(1, &framebuffer);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, rawOutput.getGLName(), 0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            program = source->getFormatConversion()->getShader()->getProgram();
            const float quad[16] = {0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 1, 1, 0, 1, 0, 1};
            glGenBuffers(1, &quadBuffer);
            glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
            glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            world = rawInput.buildMatrix(-1.0f, -1.0f, 2.0f, 2.0f, false);
        }
        ~Scene()
        {
            if (framebuffer != 0)
                glDeleteFramebuffers(1, &framebuffer);
            if (quadBuffer != 0)
                glDeleteBuffers(1, &quadBuffer);
            if (source != nullptr)
                source->release();
            source.reset();
            if (engine().root != nullptr)
                if (auto* objects = engine().root->getGfxObjectManager())
                    objects->cleanAll();
        }

        vx::TextureRef frame()
        {
            source->updateVideo();
            vx::TextureRef output = source->render(*engine().renderer, info);
            glFinish();
            return output;
        }

        void raw()
        {
            glBindTexture(GL_TEXTURE_2D, rawInput.getGLName());
            FrameReader& frames = reader();
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frameWidth, frameHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                            frames.frames[frames.turn].data());
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glViewport(0, 0, frameWidth, frameHeight);
            glUseProgram(program);
            glUniformMatrix4fv(glGetUniformLocation(program, "WorldViewProj"), 1, GL_FALSE, world.m);
            glUniform4f(glGetUniformLocation(program, "TexScroll"), 1.0f, 1.0f, 0.0f, 0.0f);
            glUniform1i(glGetUniformLocation(program, "premultiply"), 1);
            glUniform2f(glGetUniformLocation(program, "maxCoords"), 1.0f, 1.0f);
            glUniform1f(glGetUniformLocation(program, "width"), float(frameWidth));
            glUniform1f(glGetUniformLocation(program, "height"), float(frameHeight));
            glUniform1i(glGetUniformLocation(program, "inputTexture"), 0);
            glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
            glEnableVertexAttribArray(0);
            glEnableVertexAttribArray(2);
            glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
            glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float),
                                  reinterpret_cast<const void*>(2 * sizeof(float)));
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            glDisableVertexAttribArray(0);
            glDisableVertexAttribArray(2);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glUseProgram(0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glBindTexture(GL_TEXTURE_2D, 0);
            frames.turn = 1 - frames.turn;
            glFinish();
        }

        FrameReader& reader() { return *static_cast<FrameReader*>(source->getVideoFormatReader()); }

        Engine& started = engine();
        QuietDriver quiet;
        std::unique_ptr<vx::VideoFormatReaderSource> source;
        vx::RenderInfo info;
        vx::Texture rawInput, rawOutput;
        vx::Matrix4x4 world;
        GLuint framebuffer = 0, quadBuffer = 0, program = 0;
        bool ready = false;
    };

    using vx::bench::sideBySide;

    void BM_FileSourceRender(benchmark::State& state)
    {
        Scene scene;
        if (! scene.ready)
            return state.SkipWithError("no GL or no conversion");
        for (auto _ : state)
            benchmark::DoNotOptimize(scene.frame());
    }
    BENCHMARK(BM_FileSourceRender)->Name("BM_FileSourceRender/1080p")->Unit(benchmark::kMillisecond);

    void BM_RawUploadAndConversion(benchmark::State& state)
    {
        Scene scene;
        if (! scene.ready)
            return state.SkipWithError("no GL or no conversion");
        for (auto _ : state)
            scene.raw();
    }
    BENCHMARK(BM_RawUploadAndConversion)->Name("BM_RawUploadAndConversion/1080p")->Unit(benchmark::kMillisecond);

    void BM_FileSourceRenderVsRaw(benchmark::State& state)
    {
        Scene scene;
        if (! scene.ready)
            return state.SkipWithError("no GL or no conversion");
        sideBySide(
            state, [&] { benchmark::DoNotOptimize(scene.frame()); }, [&] { scene.raw(); });
    }
    BENCHMARK(BM_FileSourceRenderVsRaw)->Name("BM_FileSourceRenderVsRaw/1080p")->Unit(benchmark::kMillisecond);

    // A silent movie goes to the self-timed reader, its clock stepped one
    // frame (40 ms) per iteration. The decoder runs ahead on its own thread:
    // the source renders once the frame is decoded, as a host rendering at
    // the movie's rate would find it.
    void BM_MovieFileSourceVsBare(benchmark::State& state)
    {
        if (engine().renderer == nullptr || engine().root->getVideoFormatManager() == nullptr)
            return state.SkipWithError("no GL or no formats");
        vx::bench::ManualClock clock;
        vx::av::HostClock::setCurrent(&clock);
        bool shown = true;
        {
            vx::bench::ObservedBackend backend;
            QuietDriver quiet;
            vx::VideoFormatReader* reader = engine().root->getVideoFormatManager()->createReaderFor(
                vx::File(vx::bench::playClip()), false, vx::VideoFormatReader::purposePlayback);
            if (reader == nullptr)
                return state.SkipWithError("no reader");
            auto source = std::make_unique<vx::VideoFormatReaderSource>(quiet.driver, reader);
            vx::bench::BareDecoder bare(vx::bench::playClip());
            vx::RenderInfo info;
            auto show = [&](long k)
            {
                source->getPositionParam()->setValue(k * 40.0 + 20.0, vx::ValueChangeInfo());
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                for (vx::bench::ObservedSession* session = vx::bench::newestSession.load();
                     k > 0 && session != nullptr && ! session->has(k * 0.04, k) &&
                     std::chrono::steady_clock::now() < giveUp;)
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                source->updateVideo();
                benchmark::DoNotOptimize(source->render(*engine().renderer, info));
                glFinish();
                return vx::bench::lastHandedOut.load() == k;
            };
            // The first render makes the reader's player: the play head's
            // first frame then starts it.
            benchmark::DoNotOptimize(source->render(*engine().renderer, info));
            show(0);
            long k = 0;
            sideBySide(
                state,
                [&]
                {
                    ++k;
                    clock.seconds += 0.04;
                    shown = show(k) && shown;
                },
                [&]
                {
                    bare.next();
                    bare.upload();
                });
            source->release();
            source.reset();
            if (auto* objects = engine().root->getGfxObjectManager())
                objects->cleanAll();
        }
        vx::av::HostClock::setCurrent(nullptr);
        if (! shown)
            state.SkipWithError("a frame was not shown");
    }
    BENCHMARK(BM_MovieFileSourceVsBare)
        ->Name("BM_MovieFileSourceVsBare/1920x1080")
        ->Iterations(200)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->Unit(benchmark::kMillisecond);

    // GL objects made per frame once the source runs steadily.
    void BM_FileSourceSteadyFrameObjects(benchmark::State& state)
    {
        Scene scene;
        if (! scene.ready)
            return state.SkipWithError("no GL or no conversion");
        for (int i = 0; i < 3; ++i)
            scene.frame();
        vx::bench::CallCounter<&epoxy_glGenTextures> textures("glGenTextures");
        vx::bench::CallCounter<&epoxy_glGenFramebuffers> framebuffers("glGenFramebuffers");
        vx::bench::CallCounter<&epoxy_glGenRenderbuffers> renderbuffers("glGenRenderbuffers");
        vx::bench::CallCounter<&epoxy_glGenBuffers> buffers("glGenBuffers");
        vx::bench::CallCounter<&epoxy_glCreateProgram> programs("glCreateProgram");
        vx::bench::CallCounter<&epoxy_glCreateShader> shaders("glCreateShader");
        long frames = 0;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(scene.frame());
            ++frames;
        }
        const long made = textures.calls + framebuffers.calls + renderbuffers.calls + buffers.calls +
                          programs.calls + shaders.calls;
        state.counters["glObjectsPerFrame"] = frames > 0 ? double(made) / double(frames) : 0.0;
    }
    BENCHMARK(BM_FileSourceSteadyFrameObjects)
        ->Name("BM_FileSourceSteadyFrameObjects/1080p")
        ->Unit(benchmark::kMillisecond);

    // A source that only counts its DataDriver calls.
    class CountingSource : public vx::PositionableVideoSource
    {
    public:
        CountingSource() : PositionableVideoSource("Counting") {}
        vx::TextureRef render(vx::Renderer&, const vx::RenderInfo&) override { return {}; }
        void updateVideo() override { benchmark::DoNotOptimize(++calls); }
        long calls = 0;
    };

    struct Sources
    {
        Sources()
        {
            for (int i = 0; i < 100; ++i)
            {
                owned.push_back(std::make_unique<CountingSource>());
                quiet.driver.addSource(owned.back().get());
                raw.push_back(owned.back().get());
            }
        }
        ~Sources()
        {
            for (auto& source : owned)
                quiet.driver.removeSource(source.get());
        }
        void bare()
        {
            std::lock_guard<std::recursive_mutex> hold(lock);
            for (vx::VideoSource* source : raw)
                source->updateVideo();
        }
        QuietDriver quiet;
        std::vector<std::unique_ptr<CountingSource>> owned;
        std::vector<vx::VideoSource*> raw;
        std::recursive_mutex lock;
    };

    void BM_DataDriverPass(benchmark::State& state)
    {
        Sources sources;
        for (auto _ : state)
            benchmark::DoNotOptimize(sources.quiet.driver.updateVideo());
    }
    BENCHMARK(BM_DataDriverPass)->Name("BM_DataDriverPass/100");

    void BM_BareLoopUnderRecursiveMutex(benchmark::State& state)
    {
        Sources sources;
        for (auto _ : state)
            sources.bare();
    }
    BENCHMARK(BM_BareLoopUnderRecursiveMutex)->Name("BM_BareLoopUnderRecursiveMutex/100");

    void BM_DataDriverPassVsBare(benchmark::State& state)
    {
        Sources sources;
        sideBySide(
            state, [&] { benchmark::DoNotOptimize(sources.quiet.driver.updateVideo()); }, [&] { sources.bare(); });
    }
    BENCHMARK(BM_DataDriverPassVsBare)->Name("BM_DataDriverPassVsBare/100");
}
