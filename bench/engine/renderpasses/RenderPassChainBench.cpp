// Render-pass chains of 1, 4 and 16 trivial passes (each copies its input
// through a one-texture program) at 64x64 and 256x256, against the same draws
// issued as raw GL: bind a framebuffer, per pass attach the other texture,
// bind the last one, draw, flip; with the chain's clear first and the
// caller's state put back after. Every frame ends with glFinish, so both sides
// pay for their pixels; the frame's wall time is the measure (the rasteriser
// runs on threads of its own). Each also reports its GL calls, state queries
// and allocations per frame, which do not vary with the machine's load; and
// both run side by side in one loop for their ratio. Also: retain/steal/
// release churn of a pass's output per frame, counting GL object creations.

#include <benchmark/benchmark.h>

#include "../ffgl/VXBenchEngine.h"

#include "VXGLCallTrace.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXShaderEffect.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{
    const char* const vertexSource = "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
                                     "gl_TexCoord[0] = gl_MultiTexCoord0; }";
    const char* const fragmentSource =
        "uniform sampler2D source; void main() { gl_FragColor = texture2D(source, gl_TexCoord[0].st); }";

    using Engine = vx::bench::BenchEngine;
    Engine& engine() { return vx::bench::benchEngine<3>(); }

    // Copies input 0: the smallest pass a chain can hold. Fully covering, so
    // it does not clear first.
    class CopyPass : public vx::ShaderEffect
    {
    public:
        CopyPass() : ShaderEffect(1) { enableClear(false); }
        using ShaderEffect::init;
        bool init() override { return ShaderEffect::init(vertexSource, fragmentSource); }
        bool render(vx::Renderer& renderer) override
        {
            if (! begin(renderer))
                return false;
            getShader()->setSampler("source", 0);
            drawQuad(renderer, false);
            end(renderer);
            return true;
        }
    };

    std::unique_ptr<vx::Texture> makeInput(int size)
    {
        std::vector<unsigned char> bytes(size_t(size) * size_t(size) * 4, 0x80);
        auto texture = std::make_unique<vx::Texture>();
        texture->create(bytes.data(), size, size, vx::Texture::RGBA8);
        return texture;
    }

    // C++ allocations made on any thread while counting is on.
    std::atomic<long> allocations{0};
    std::atomic<bool> countAllocations{false};

    // A chain of copy passes over one input.
    struct ChainFrame
    {
        ChainFrame(vx::Renderer& r, int passes, int size) : renderer(r), input(makeInput(size))
        {
            chain.setSize(size, size);
            chain.setInput(0, input.get(), 0, 0);
            for (int i = 0; i < passes; ++i)
                chain.addRenderPass(new CopyPass());
        }
        void operator()()
        {
            chain.render(renderer);
            glFinish();
        }

        vx::Renderer& renderer;
        std::unique_ptr<vx::Texture> input;
        vx::RenderPassChain chain;
    };

    // The same draws as raw GL, doing what the chain must do besides them:
    // into textures made as the pool makes them (format, filtering and edge
    // clamping change what sampling costs), its target cleared first (a
    // chain clears by default), and what the caller sees afterwards is what
    // it left (framebuffers, program, unit 0's binding, viewport, clear
    // colour, matrices and arrays). Unlike the chain, it knows its one
    // program and touches nothing else.
    struct RawGLFrame
    {
        RawGLFrame(int numPasses, int targetSize) : passes(numPasses), size(targetSize), input(makeInput(size))
        {
            program.loadString(vertexSource, fragmentSource);
            sampler = program.getUniformLocation("source");
            for (vx::Texture& texture : textures)
                texture.create(size, size, *vx::DEFAULT_COLOR_FMT);
            glGenFramebuffers(1, &framebuffer);
        }
        ~RawGLFrame()
        {
            glDeleteFramebuffers(1, &framebuffer);
            for (vx::Texture& texture : textures)
                texture.release();
            program.release();
        }
        RawGLFrame(const RawGLFrame&) = delete;
        RawGLFrame& operator=(const RawGLFrame&) = delete;

        void operator()()
        {
            GLint drawFramebuffer = 0, readFramebuffer = 0, previousProgram = 0, activeUnit = 0, unit0Texture = 0;
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
            glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
            glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
            glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
            glActiveTexture(GL_TEXTURE0);
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit0Texture);
            glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT);
            glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
            glMatrixMode(GL_PROJECTION);
            glPushMatrix();
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glLoadIdentity();

            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures[0].getGLName(), 0);
            glViewport(0, 0, size, size);
            glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glUseProgram(program.getProgram());
            glUniform1i(sampler, 0);
            glBindBuffer(GL_ARRAY_BUFFER, 0);
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glVertexPointer(2, GL_FLOAT, 0, corners);
            glTexCoordPointer(2, GL_FLOAT, 0, coords);
            GLuint source = input->getGLName();
            for (int i = 0; i < passes; ++i)
            {
                const GLuint target = textures[i % 2].getGLName();
                if (i > 0)
                    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
                glBindTexture(GL_TEXTURE_2D, source);
                glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
                source = target;
            }

            glMatrixMode(GL_MODELVIEW);
            glPopMatrix();
            glMatrixMode(GL_PROJECTION);
            glPopMatrix();
            glPopClientAttrib();
            glBindTexture(GL_TEXTURE_2D, GLuint(unit0Texture));
            glActiveTexture(GLenum(activeUnit));
            glUseProgram(GLuint(previousProgram));
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFramebuffer));
            glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
            glPopAttrib();
            glFinish();
        }

        const int passes, size;
        std::unique_ptr<vx::Texture> input;
        vx::ShaderProgram program;
        GLint sampler = -1;
        vx::Texture textures[2];
        GLuint framebuffer = 0;
        const float corners[8] = {-1, -1, -1, 1, 1, 1, 1, -1};
        const float coords[8] = {0, 0, 0, 1, 1, 1, 1, 0};
    };

    // One more frame, untimed, with every GL call and allocation counted;
    // VX_BENCH_GL_TRACE set in the environment prints its GL calls.
    template <typename Frame>
    void countFrame(benchmark::State& state, const char* title, Frame& frame)
    {
        const bool print = std::getenv("VX_BENCH_GL_TRACE") != nullptr;
        vx::bench::GLCallTrace trace(print);
        const long allocationsBefore = allocations.load();
        countAllocations = true;
        frame();
        countAllocations = false;
        state.counters["allocations"] = double(allocations.load() - allocationsBefore);
        state.counters["glCalls"] = double(trace.total());
        state.counters["glQueries"] = double(trace.queries());
        if (print)
        {
            const std::string name =
                std::string(title) + " " + std::to_string(state.range(0)) + "/" + std::to_string(state.range(1));
            vx::bench::GLCallTrace::print(name.c_str());
        }
    }

    void BM_Chain(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr)
        {
            state.SkipWithError("no GL context");
            return;
        }
        ChainFrame frame(*e.renderer, int(state.range(0)), int(state.range(1)));
        frame();
        for (auto _ : state)
            frame();
        state.counters["passes"] = double(state.range(0));
        countFrame(state, "chain", frame);
    }

    void BM_ChainBaselineRawGL(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr)
        {
            state.SkipWithError("no GL context");
            return;
        }
        RawGLFrame frame(int(state.range(0)), int(state.range(1)));
        frame();
        for (auto _ : state)
            frame();
        state.counters["passes"] = double(state.range(0));
        countFrame(state, "raw GL", frame);
    }

    double median(std::vector<double> values)
    {
        if (values.empty())
            return 0.0;
        const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
        std::nth_element(values.begin(), middle, values.end());
        return *middle;
    }

    // A chain frame and a raw frame side by side in one loop, taking turns to
    // go first: load on a shared machine comes and goes within a run and so
    // lands on both alike. chainOverRaw is the median chain frame over the
    // median raw frame.
    void BM_ChainOverRawGL(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr)
        {
            state.SkipWithError("no GL context");
            return;
        }
        ChainFrame chain(*e.renderer, int(state.range(0)), int(state.range(1)));
        RawGLFrame raw(int(state.range(0)), int(state.range(1)));
        chain();
        raw();
        std::vector<double> chainTimes, rawTimes;
        const auto timed = [](auto& frame)
        {
            const auto start = std::chrono::steady_clock::now();
            frame();
            return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        };
        bool chainFirst = true;
        for (auto _ : state)
        {
            if (chainFirst)
            {
                chainTimes.push_back(timed(chain));
                rawTimes.push_back(timed(raw));
            }
            else
            {
                rawTimes.push_back(timed(raw));
                chainTimes.push_back(timed(chain));
            }
            chainFirst = ! chainFirst;
        }
        const double chainMedian = median(chainTimes), rawMedian = median(rawTimes);
        state.counters["chainUs"] = chainMedian;
        state.counters["rawUs"] = rawMedian;
        state.counters["chainOverRaw"] = rawMedian > 0.0 ? chainMedian / rawMedian : 0.0;
    }

    void chainSizes(benchmark::internal::Benchmark* b)
    {
        for (int size : {64, 256})
            for (int passes : {1, 4, 16})
                b->Args({passes, size});
    }
    BENCHMARK(BM_Chain)->Apply(chainSizes)->UseRealTime()->Unit(benchmark::kMicrosecond);
    BENCHMARK(BM_ChainBaselineRawGL)->Apply(chainSizes)->UseRealTime()->Unit(benchmark::kMicrosecond);
    BENCHMARK(BM_ChainOverRawGL)->Apply(chainSizes)->UseRealTime()->Unit(benchmark::kMicrosecond);

    // A pass whose output is retained, stolen and given back every frame, as a
    // source does with its chain's output.
    void BM_RetainStealRelease(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr)
        {
            state.SkipWithError("no GL context");
            return;
        }
        const int size = int(state.range(0));
        const auto input = makeInput(size);
        vx::RenderPassChain chain;
        chain.setSize(size, size);
        chain.setInput(0, input.get(), 0, 0);
        chain.addRenderPass(new CopyPass());
        const auto frame = [&]
        {
            chain.retainOutput(true);
            chain.render(*e.renderer);
            vx::TextureRef output = chain.stealOutput();
            benchmark::DoNotOptimize(output.get());
            chain.retainOutput(false);
        };
        frame();
        for (auto _ : state)
            frame();
        glFinish();
        // Steady frames after the timed ones, counted untimed.
        constexpr int countedFrames = 100;
        vx::bench::GLCallTrace trace;
        for (int i = 0; i < countedFrames; ++i)
            frame();
        glFinish();
        long creations = 0;
        for (const char* name : {"glGenTextures", "glGenFramebuffers", "glGenRenderbuffers", "glGenBuffers",
                                 "glCreateProgram", "glCreateShader"})
            creations += trace.countOf(name);
        state.counters["glCreationsPerFrame"] = double(creations) / countedFrames;
    }
    BENCHMARK(BM_RetainStealRelease)->Arg(64)->Arg(256)->UseRealTime()->Unit(benchmark::kMicrosecond);
}

// Every allocation of the binary goes through here, so a frame's can be
// counted. The standard operator delete frees what malloc gave.
// Out of line: seen inline, the compiler takes the malloc inside for a
// mismatch with the standard delete.
__attribute__((noinline)) void* operator new(std::size_t bytes)
{
    if (countAllocations.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(bytes != 0 ? bytes : 1))
        return memory;
    throw std::bad_alloc();
}
