// ShaderToy passes: the toy's render with nothing dirty (the effect's default
// script over a 256x256 input into a 256x256 framebuffer) against the same
// program drawn as raw GL with its uniform locations looked up once; every
// frame ends with glFinish, so both pay for their pixels. And the audio
// channel's per-frame upload of a 512-bin spectrum (R32F, 512x1) against a
// bare glTexSubImage2D of the same values into a texture bound once (both
// steady to a fraction of a percent, so they run apart). The render's
// VsRaw entry runs both in one loop and reports the ratio.

#include <benchmark/benchmark.h>

#include "../../VXSideBySide.h"
#include "../ffgl/VXBenchEngine.h"

#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamVector.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderContext.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXAudioSpectrumLink.h"
#include "engine/renderpasses/VXShaderToyEffect.h"

#include <epoxy/gl.h>

#include <chrono>
#include <memory>
#include <vector>

namespace
{
    constexpr int frameSize = 256;
    constexpr int bins = 512;

    using Engine = vx::bench::BenchEngine;
    Engine& engine() { return vx::bench::benchEngine<3>(); }

    // A framebuffer over a texture of its own, bound while the scene lives,
    // with an input texture and a default effect built and drawn once.
    struct Scene
    {
        Scene()
        {
            if (engine().renderer == nullptr)
                return;
            std::vector<unsigned char> bytes(size_t(frameSize) * frameSize * 4, 0x80);
            input.create(bytes.data(), frameSize, frameSize, vx::Texture::RGBA8);
            glGenTextures(1, &target);
            glBindTexture(GL_TEXTURE_2D, target);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, frameSize, frameSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
            glGenFramebuffers(1, &framebuffer);

            effect.setSize(frameSize, frameSize);
            effect.setInput(0, &input, 0, 0);
            ready = effect.render(*engine().renderer);

            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
            glViewport(0, 0, frameSize, frameSize);
        }
        ~Scene()
        {
            if (engine().renderer == nullptr)
                return;
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteTextures(1, &target);
            effect.release();
        }

        Engine& started = engine();
        vx::Texture input;
        vx::ShaderToyEffect effect;
        GLuint target = 0, framebuffer = 0;
        bool ready = false;
    };

    // The program drawn by hand: the uniforms the default script reads, the
    // input on unit 0, a full-screen fan from client arrays.
    struct RawDraw
    {
        explicit RawDraw(Scene& sceneToUse) : scene(sceneToUse)
        {
            program = scene.effect.getToy().getShader().getProgram();
            resolution = glGetUniformLocation(program, "iResolution");
            channel0 = glGetUniformLocation(program, "iChannel0");
        }
        void operator()()
        {
            static const float positions[8] = {-1, -1, -1, 1, 1, 1, 1, -1};
            static const float coords[8] = {0, 0, 0, 1, 1, 1, 1, 0};
            glUseProgram(program);
            glUniform3f(resolution, float(frameSize), float(frameSize), 1.0f);
            glUniform1i(channel0, 0);
            glBindTexture(GL_TEXTURE_2D, scene.input.getGLName());
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, coords);
            glEnableClientState(GL_VERTEX_ARRAY);
            glVertexPointer(2, GL_FLOAT, 0, positions);
            glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glBindTexture(GL_TEXTURE_2D, 0);
            glUseProgram(0);
            glFinish();
        }
        Scene& scene;
        GLuint program = 0;
        GLint resolution = -1, channel0 = -1;
    };

    void toyRender(Scene& scene)
    {
        scene.effect.getToy().render(*engine().renderer);
        glFinish();
    }

    void BM_ShaderToyRender(benchmark::State& state)
    {
        Scene scene;
        if (! scene.ready)
            return state.SkipWithError("no GL");
        for (auto _ : state)
            toyRender(scene);
    }
    BENCHMARK(BM_ShaderToyRender)->Name("BM_ShaderToyRender/256x256");

    void BM_RawProgramDraw(benchmark::State& state)
    {
        Scene scene;
        if (! scene.ready)
            return state.SkipWithError("no GL");
        RawDraw raw(scene);
        for (auto _ : state)
            raw();
    }
    BENCHMARK(BM_RawProgramDraw)->Name("BM_RawProgramDraw/256x256");

    using vx::bench::sideBySide;

    void BM_ShaderToyRenderSideBySide(benchmark::State& state)
    {
        Scene scene;
        if (! scene.ready)
            return state.SkipWithError("no GL");
        RawDraw raw(scene);
        sideBySide(
            state, [&] { toyRender(scene); }, raw);
    }
    BENCHMARK(BM_ShaderToyRenderSideBySide)->Name("BM_ShaderToyRenderVsRaw/256x256");

    // A toy whose audio link holds one 512-bin spectrum.
    struct AudioScene
    {
        AudioScene()
        {
            if (engine().renderer == nullptr)
                return;
            spectrum->setPath("/audioengine/compositionfft");
            if (auto* registry = vx::ParamCollection::getCurrent())
                registry->addParam(spectrum);
            effect.setSize(4, 4);
            effect.render(*engine().renderer); // links
            spectrum->getValue().resize(bins);
            for (int i = 0; i < bins; ++i)
                spectrum->getValue()[size_t(i)] = float(i) / bins;
            spectrum->stateChanged(vx::ChangeInfo(vx::StateChange_Value, 1000.0));
            ready = effect.getToy().updateAudioChannel(*engine().renderer);
            vx::RenderContext& cache = engine().renderer->getRenderContext();
            cache.unbind2DTextures();
            cache.ensureSamplerActive(0);

            raw.create(bins, 1, vx::Texture::R32F);
            values = spectrum->getValue();
        }
        ~AudioScene()
        {
            if (auto* registry = vx::ParamCollection::getCurrent())
                registry->removeParam(spectrum);
            effect.release();
        }
        void bare() { glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, bins, 1, GL_LUMINANCE, GL_FLOAT, values.data()); }

        // The root first: the toy takes its audio link from it when made.
        Engine& started = engine();
        std::shared_ptr<vx::ParamVector<float>> spectrum = std::make_shared<vx::ParamVector<float>>("compositionfft");
        vx::ShaderToyEffect effect;
        vx::Texture raw;
        std::vector<float> values;
        bool ready = false;
    };

    void BM_AudioUpload(benchmark::State& state)
    {
        AudioScene scene;
        if (! scene.ready)
            return state.SkipWithError("no audio channel");
        for (auto _ : state)
            benchmark::DoNotOptimize(scene.effect.getToy().updateAudioChannel(*engine().renderer));
        engine().renderer->getRenderContext().unbind2DTextures();
    }
    BENCHMARK(BM_AudioUpload)->Name("BM_ShaderToyAudioUpload/512");

    void BM_BareTexSubImage(benchmark::State& state)
    {
        AudioScene scene;
        if (! scene.ready)
            return state.SkipWithError("no audio channel");
        glBindTexture(GL_TEXTURE_2D, scene.raw.getGLName());
        for (auto _ : state)
            scene.bare();
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    BENCHMARK(BM_BareTexSubImage)->Name("BM_BareTexSubImage2D/512");
}
