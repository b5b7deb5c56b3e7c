// The blend mixers and generators of the catalogue at 1920x1080.
// Each mixer against its own fragment program over vx::vsTransformMixer drawn
// by a bare raw-GL two-texture pass (bind a framebuffer, the program and both
// textures, draw a quad; uniforms set once, no clear, no blend): the least GL
// that makes the same picture. A chain of 8 catalogue effects (add/subtract
// and brightness/contrast in turn) against the same 8 programs drawn raw,
// ping-ponging between two textures. Every frame ends with glFinish, so both
// sides pay for their pixels; the frame's wall time is the measure. The
// generators report their GL object creations per steady frame (textures,
// framebuffers, renderbuffers, buffers, shaders, programs), which must be 0.
// On a shared machine with Mesa's software rasteriser the threaded timings
// swing with the load; LP_NUM_THREADS=0 with
// --benchmark_enable_random_interleaving and repetitions steadies them.

#include <benchmark/benchmark.h>

#include "../ffgl/VXBenchEngine.h"
#include "../gfx/VXBenchGLContext.h"
#include "VXRawGLPass.h"

#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXShaders.h"
#include "engine/gfx/VXTexture.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/catalogue/VXAdd.h"
#include "engine/renderpasses/catalogue/VXAdd50.h"
#include "engine/renderpasses/catalogue/VXAddSubtract.h"
#include "engine/renderpasses/catalogue/VXBlank.h"
#include "engine/renderpasses/catalogue/VXBrightnessContrast.h"
#include "engine/renderpasses/catalogue/VXBurn.h"
#include "engine/renderpasses/catalogue/VXCheckerBoard.h"
#include "engine/renderpasses/catalogue/VXDarken.h"
#include "engine/renderpasses/catalogue/VXDifference.h"
#include "engine/renderpasses/catalogue/VXDifferenceI.h"
#include "engine/renderpasses/catalogue/VXDodge.h"
#include "engine/renderpasses/catalogue/VXGradient.h"
#include "engine/renderpasses/catalogue/VXLighten.h"
#include "engine/renderpasses/catalogue/VXMovingBar.h"
#include "engine/renderpasses/catalogue/VXMultiply.h"
#include "engine/renderpasses/catalogue/VXSoftLight.h"
#include "engine/renderpasses/catalogue/VXSolidColor.h"
#include "engine/renderpasses/catalogue/VXTestScreen.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
    using vx::bench::drawTransformQuad;
    using vx::bench::endRawFrame;
    using vx::bench::RawTarget;
    using vx::bench::unitToClip;

    constexpr int width = 1920, height = 1080;

    using Engine = vx::bench::BenchEngine;
    Engine& engine() { return vx::bench::benchEngine<3>(); }

    bool ready(benchmark::State& state)
    {
        if (engine().renderer != nullptr)
            return true;
        state.SkipWithError("no GL context");
        return false;
    }

    // Deterministic premultiplied pictures; alpha varies so every branch of
    // the blends runs.
    std::unique_ptr<vx::Texture> makePicture(int seed)
    {
        std::vector<unsigned char> bytes(size_t(width) * size_t(height) * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                unsigned char* p = &bytes[(size_t(y) * size_t(width) + size_t(x)) * 4];
                p[3] = (unsigned char)(255 - (x * 7 + y * 3 + seed * 11) % 96);
                p[0] = (unsigned char)std::min<int>(p[3], (x * 3 + seed) % 256);
                p[1] = (unsigned char)std::min<int>(p[3], (y * 5 + seed * 3) % 256);
                p[2] = (unsigned char)std::min<int>(p[3], ((x ^ y) + seed) & 0xFF);
            }
        auto texture = std::make_unique<vx::Texture>();
        texture->create(bytes.data(), width, height, vx::Texture::RGBA8);
        return texture;
    }

    //==============================================================================
    struct MixerKind
    {
        const char* name;
        std::function<vx::Mixer*()> make;
        const std::string* fragmentSource;
        const char* amountUniform;
    };

    const std::vector<MixerKind>& mixerKinds()
    {
        static const std::vector<MixerKind> kinds = {
            {"Add", [] { return new vx::Add(); }, &vx::Add::fsAdd, "add"},
            {"Add50", [] { return new vx::Add50(); }, &vx::Add50::fsAdd50, "add"},
            {"Burn", [] { return new vx::Burn(); }, &vx::Burn::fsBurn, "Burn"},
            {"Darken", [] { return new vx::Darken(); }, &vx::Darken::fsDarken, "Darken"},
            {"Difference", [] { return new vx::Difference(); }, &vx::Difference::fsDifference, "Difference"},
            {"DifferenceI", [] { return new vx::DifferenceI(); }, &vx::DifferenceI::fsDifferenceI, "DifferenceInverse"},
            {"Dodge", [] { return new vx::Dodge(); }, &vx::Dodge::fsDodge, "Dodge"},
            {"Lighten", [] { return new vx::Lighten(); }, &vx::Lighten::fsLighten, "Lighten"},
            {"Multiply", [] { return new vx::Multiply(); }, &vx::Multiply::fsMultiply, "Multiply"},
            {"SoftLight", [] { return new vx::SoftLight(); }, &vx::SoftLight::fsSoftLight, "SoftLight"},
        };
        return kinds;
    }

    // The mixer renders into pooled targets as a chain would have it, its
    // output given back each frame.
    void runMixer(benchmark::State& state, const MixerKind& kind)
    {
        if (! ready(state))
            return;
        const auto destination = makePicture(1), source = makePicture(2);
        std::unique_ptr<vx::Mixer> mixer(kind.make());
        mixer->getOpacity().setValue(0.5, vx::ValueChangeInfo());
        mixer->setSize(width, height);
        mixer->setInput(0, destination.get(), 0, 0);
        mixer->setInput(1, source.get(), 0, 0);
        vx::Renderer& renderer = *engine().renderer;
        mixer->render(renderer);
        glFinish();
        vx::bench::GLCreationCounter created;
        for (auto _ : state)
        {
            mixer->render(renderer);
            glFinish();
        }
        state.counters["glCreationsPerFrame"] =
            benchmark::Counter(double(created.total()), benchmark::Counter::kAvgIterations);
        mixer->release();
    }

    void runMixerBaseline(benchmark::State& state, const MixerKind& kind)
    {
        if (! ready(state))
            return;
        const auto destination = makePicture(1), source = makePicture(2);
        vx::ShaderProgram program;
        if (! program.loadString(vx::vsTransformMixer, *kind.fragmentSource))
        {
            state.SkipWithError("the program does not build");
            return;
        }
        glUseProgram(program.getProgram());
        glUniformMatrix4fv(program.getUniformLocation("WorldViewProj"), 1, GL_FALSE, unitToClip);
        glUniform4f(program.getUniformLocation("TexScroll1"), 1.0f, 1.0f, 0.0f, 0.0f);
        glUniform4f(program.getUniformLocation("TexScroll2"), 1.0f, 1.0f, 0.0f, 0.0f);
        glUniform1i(program.getUniformLocation("Texture1"), 0);
        glUniform1i(program.getUniformLocation("Texture2"), 1);
        glUniform1f(program.getUniformLocation(kind.amountUniform), 0.5f);
        glUseProgram(0);
        const RawTarget output(width, height);
        for (auto _ : state)
        {
            output.bind();
            glUseProgram(program.getProgram());
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, destination->getGLName());
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, source->getGLName());
            glActiveTexture(GL_TEXTURE0);
            drawTransformQuad();
            endRawFrame();
        }
        program.release();
    }

    const bool mixersRegistered = []
    {
        for (const MixerKind& kind : mixerKinds())
        {
            benchmark::RegisterBenchmark((std::string("BM_Mixer/") + kind.name + "/1920x1080").c_str(),
                                         [&kind](benchmark::State& state) { runMixer(state, kind); })
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((std::string("BM_MixerBaselineRawGL/") + kind.name + "/1920x1080").c_str(),
                                         [&kind](benchmark::State& state) { runMixerBaseline(state, kind); })
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
        return true;
    }();

    //==============================================================================
    constexpr int chainLength = 8;

    void BM_CatalogueChain(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture(3);
        vx::RenderPassChain chain;
        chain.setSize(width, height);
        chain.setInput(0, input.get(), 0, 0);
        for (int i = 0; i < chainLength; ++i)
        {
            vx::RenderPass* pass = i % 2 == 0 ? static_cast<vx::RenderPass*>(new vx::AddSubtract())
                                              : static_cast<vx::RenderPass*>(new vx::BrightnessContrast());
            chain.addRenderPass(pass);
        }
        vx::Renderer& renderer = *engine().renderer;
        chain.render(renderer);
        glFinish();
        vx::bench::GLCreationCounter created;
        for (auto _ : state)
        {
            chain.render(renderer);
            glFinish();
        }
        state.counters["glCreationsPerFrame"] =
            benchmark::Counter(double(created.total()), benchmark::Counter::kAvgIterations);
        chain.release();
    }
    BENCHMARK(BM_CatalogueChain)->Name("BM_CatalogueChain/8/1920x1080")->UseRealTime()->Unit(benchmark::kMillisecond);

    // The same 8 programs with the passes' default uniforms, ping-ponging.
    void BM_CatalogueChainBaselineRawGL(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture(3);
        vx::ShaderProgram addSubtract, brightnessContrast;
        addSubtract.loadString(vx::vsTransform, vx::AddSubtract::fsAddSubtract);
        brightnessContrast.loadString(vx::vsTransform, vx::BrightnessContrast::fsBrightnessContrast);
        for (vx::ShaderProgram* program : {&addSubtract, &brightnessContrast})
        {
            glUseProgram(program->getProgram());
            glUniformMatrix4fv(program->getUniformLocation("WorldViewProj"), 1, GL_FALSE, unitToClip);
            glUniform4f(program->getUniformLocation("TexScroll"), 1.0f, 1.0f, 0.0f, 0.0f);
            glUniform1i(program->getUniformLocation("Texture"), 0);
        }
        glUseProgram(addSubtract.getProgram());
        glUniform3f(addSubtract.getUniformLocation("brightness"), 0.0f, 0.0f, 0.0f);
        glUseProgram(brightnessContrast.getProgram());
        glUniform1f(brightnessContrast.getUniformLocation("brightness"), 0.0f);
        glUniform1f(brightnessContrast.getUniformLocation("contrast"), 1.0f);
        glUseProgram(0);
        const RawTarget targets[2] = {{width, height}, {width, height}};
        for (auto _ : state)
        {
            GLuint from = input->getGLName();
            for (int i = 0; i < chainLength; ++i)
            {
                const RawTarget& to = targets[i % 2];
                to.bind();
                glUseProgram(i % 2 == 0 ? addSubtract.getProgram() : brightnessContrast.getProgram());
                glBindTexture(GL_TEXTURE_2D, from);
                drawTransformQuad();
                from = to.texture;
            }
            endRawFrame();
        }
        addSubtract.release();
        brightnessContrast.release();
    }
    BENCHMARK(BM_CatalogueChainBaselineRawGL)
        ->Name("BM_CatalogueChainBaselineRawGL/8/1920x1080")
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);

    //==============================================================================
    // Steady frames of a generator: after the first (which makes what it
    // keeps), no GL object is made.
    template <typename T>
    void BM_Generator(benchmark::State& state)
    {
        if (! ready(state))
            return;
        T pass;
        pass.setSize(width, height);
        vx::Renderer& renderer = *engine().renderer;
        pass.render(renderer);
        glFinish();
        vx::bench::GLCreationCounter created;
        for (auto _ : state)
        {
            pass.render(renderer);
            glFinish();
        }
        state.counters["glCreationsPerFrame"] =
            benchmark::Counter(double(created.total()), benchmark::Counter::kAvgIterations);
        if (created.total() != 0)
            state.SkipWithError("GL objects made in steady frames");
        pass.release();
    }
    BENCHMARK_TEMPLATE(BM_Generator, vx::Blank)->Name("BM_Generator/Blank/1920x1080")->UseRealTime();
    BENCHMARK_TEMPLATE(BM_Generator, vx::SolidColor)->Name("BM_Generator/SolidColor/1920x1080")->UseRealTime();
    BENCHMARK_TEMPLATE(BM_Generator, vx::Gradient)->Name("BM_Generator/Gradient/1920x1080")->UseRealTime();
    BENCHMARK_TEMPLATE(BM_Generator, vx::CheckerBoard)->Name("BM_Generator/CheckerBoard/1920x1080")->UseRealTime();
    BENCHMARK_TEMPLATE(BM_Generator, vx::MovingBar)->Name("BM_Generator/MovingBar/1920x1080")->UseRealTime();
    BENCHMARK_TEMPLATE(BM_Generator, vx::TestScreen)->Name("BM_Generator/TestScreen/1920x1080")->UseRealTime();
}
