// Render-pass chains of 1, 4 and 16 trivial passes (each copies its input
// through a one-texture program) at 64x64 and 256x256, against the same draws
// issued as raw GL: bind a framebuffer, per pass attach the other texture,
// bind the last one, draw, flip. Every frame ends with glFinish, so both sides
// pay for their pixels; the frame's wall time is the measure (the rasteriser
// runs on threads of its own). Also: retain/steal/release churn of a pass's output
// per frame, counting GL texture, framebuffer and renderbuffer creations.

#include <benchmark/benchmark.h>

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

#include <memory>
#include <type_traits>
#include <vector>

namespace
{
    const char* const vertexSource = "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; "
                                     "gl_TexCoord[0] = gl_MultiTexCoord0; }";
    const char* const fragmentSource =
        "uniform sampler2D source; void main() { gl_FragColor = texture2D(source, gl_TexCoord[0].st); }";

    // The engine root with its offscreen primary context current for the
    // life of the process.
    struct Engine
    {
        Engine()
        {
            root = vx::Vexkit::create(3);
            if (! root->initialise(true))
                return;
            selected = root->getContextManager()->getScopedPrimaryContextLock();
            renderer = root->getPrimaryRenderer();
        }
        vx::Vexkit* root = nullptr;
        std::shared_ptr<vx::ScopedContextSelector> selected;
        vx::Renderer* renderer = nullptr;
    };

    Engine& engine()
    {
        static Engine instance;
        return instance;
    }

    // Copies input 0: the smallest pass a chain can hold. Fully covering, so
    // it does not clear first.
    class CopyPass : public vx::ShaderEffect
    {
    public:
        CopyPass() : ShaderEffect(1) { enableClear(false); }
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

    void BM_Chain(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr)
        {
            state.SkipWithError("no GL context");
            return;
        }
        const int passes = int(state.range(0)), size = int(state.range(1));
        const auto input = makeInput(size);
        vx::RenderPassChain chain;
        chain.setSize(size, size);
        chain.setInput(0, input.get(), 0, 0);
        for (int i = 0; i < passes; ++i)
            chain.addRenderPass(new CopyPass());
        chain.render(*e.renderer);
        glFinish();
        for (auto _ : state)
        {
            chain.render(*e.renderer);
            glFinish();
        }
        state.counters["passes"] = passes;
    }

    void BM_ChainBaselineRawGL(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr)
        {
            state.SkipWithError("no GL context");
            return;
        }
        const int passes = int(state.range(0)), size = int(state.range(1));
        const auto input = makeInput(size);
        vx::ShaderProgram program;
        program.loadString(vertexSource, fragmentSource);
        const GLint sampler = program.getUniformLocation("source");
        GLuint textures[2] = {};
        glGenTextures(2, textures);
        for (GLuint texture : textures)
        {
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        const float corners[8] = {-1, -1, -1, 1, 1, 1, 1, -1};
        const float coords[8] = {0, 0, 0, 1, 1, 1, 1, 0};

        for (auto _ : state)
        {
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glViewport(0, 0, size, size);
            glUseProgram(program.getProgram());
            glUniform1i(sampler, 0);
            glEnableClientState(GL_VERTEX_ARRAY);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glVertexPointer(2, GL_FLOAT, 0, corners);
            glTexCoordPointer(2, GL_FLOAT, 0, coords);
            GLuint source = input->getGLName();
            for (int i = 0; i < passes; ++i)
            {
                const GLuint target = textures[i % 2];
                glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
                glBindTexture(GL_TEXTURE_2D, source);
                glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
                source = target;
            }
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glDisableClientState(GL_VERTEX_ARRAY);
            glBindTexture(GL_TEXTURE_2D, 0);
            glUseProgram(0);
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glFinish();
        }
        state.counters["passes"] = passes;
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteTextures(2, textures);
        program.release();
    }

    void chainSizes(benchmark::internal::Benchmark* b)
    {
        for (int size : {64, 256})
            for (int passes : {1, 4, 16})
                b->Args({passes, size});
    }
    BENCHMARK(BM_Chain)->Apply(chainSizes)->UseRealTime()->Unit(benchmark::kMicrosecond);
    BENCHMARK(BM_ChainBaselineRawGL)->Apply(chainSizes)->UseRealTime()->Unit(benchmark::kMicrosecond);

    // Counts calls of one GL entry point by swapping libepoxy's dispatch pointer.
    template <auto* DispatchPointer>
    struct CallCounter
    {
        using Fn = std::remove_pointer_t<decltype(DispatchPointer)>;

        explicit CallCounter(const char* name)
        {
            saved = *DispatchPointer;
            real = reinterpret_cast<Fn>(eglGetProcAddress(name));
            calls = 0;
            *DispatchPointer = hook(real);
        }
        ~CallCounter() { *DispatchPointer = saved; }

        template <typename R, typename... Args>
        static auto hook(R (*)(Args...)) -> R (*)(Args...)
        {
            return [](Args... args) -> R
            {
                ++calls;
                return real(args...);
            };
        }

        static inline Fn real = nullptr;
        static inline long calls = 0;
        Fn saved = nullptr;
    };

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
        CallCounter<&epoxy_glGenTextures> textures("glGenTextures");
        CallCounter<&epoxy_glGenFramebuffers> framebuffers("glGenFramebuffers");
        CallCounter<&epoxy_glGenRenderbuffers> renderbuffers("glGenRenderbuffers");
        for (auto _ : state)
            frame();
        glFinish();
        state.counters["glCreationsPerFrame"] = benchmark::Counter(
            double(textures.calls + framebuffers.calls + renderbuffers.calls), benchmark::Counter::kAvgIterations);
    }
    BENCHMARK(BM_RetainStealRelease)->Arg(64)->Arg(256)->UseRealTime()->Unit(benchmark::kMicrosecond);
}
