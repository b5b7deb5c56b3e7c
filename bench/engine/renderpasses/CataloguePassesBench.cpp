// Catalogue passes at 1280x720 against their own programs drawn in raw GL:
// the blur against its two 13-tap programs (across into a texture, then up
// and down into the output), add/subtract, UV map and motion blur (17
// samples) each against its fragment program in one bare pass (bind a
// framebuffer, the program and the textures, draw a quad). The baselines set
// their uniforms once and neither clear nor blend: the least GL that makes
// the same picture. Every frame ends with glFinish, so both sides pay for
// their pixels; the frame's wall time is the measure. Each pass benchmark
// also counts GL object creations per steady frame (textures, framebuffers,
// renderbuffers, buffers, shaders, programs).
// On a shared machine with Mesa's software rasteriser the threaded timings
// swing with the load; LP_NUM_THREADS=0 (rasterising on the calling thread)
// with --benchmark_enable_random_interleaving and repetitions gives medians
// a few percent apart at most.

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
#include "engine/renderpasses/catalogue/VXAddSubtract.h"
#include "engine/renderpasses/catalogue/VXBlur.h"
#include "engine/renderpasses/catalogue/VXMotionBlur.h"
#include "engine/renderpasses/catalogue/VXUVMap.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <array>
#include <memory>
#include <type_traits>
#include <vector>

namespace
{
    using vx::bench::drawTransformQuad;
    using vx::bench::endRawFrame;
    using vx::bench::RawTarget;
    using vx::bench::unitToClip;

    constexpr int width = 1280, height = 720;

    using Engine = vx::bench::BenchEngine;
    Engine& engine() { return vx::bench::benchEngine<3>(); }

    // A deterministic picture; alpha varies so the premultiplied rules work.
    std::unique_ptr<vx::Texture> makePicture()
    {
        std::vector<unsigned char> bytes(size_t(width) * size_t(height) * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                unsigned char* p = &bytes[(size_t(y) * size_t(width) + size_t(x)) * 4];
                p[3] = (unsigned char)(255 - (x * 7 + y * 3) % 64);
                p[0] = (unsigned char)std::min<int>(p[3], (x * 3) % 256);
                p[1] = (unsigned char)std::min<int>(p[3], (y * 5) % 256);
                p[2] = (unsigned char)std::min<int>(p[3], ((x ^ y) & 0xFF));
            }
        auto texture = std::make_unique<vx::Texture>();
        texture->create(bytes.data(), width, height, vx::Texture::RGBA8);
        return texture;
    }

    // Red = x, green = 1 - y, opaque: the identity map.
    std::unique_ptr<vx::Texture> makeIdentityMap()
    {
        std::vector<unsigned char> bytes(size_t(width) * size_t(height) * 4);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
            {
                unsigned char* p = &bytes[(size_t(y) * size_t(width) + size_t(x)) * 4];
                p[0] = (unsigned char)(x * 255 / (width - 1));
                p[1] = (unsigned char)(255 - y * 255 / (height - 1));
                p[2] = 0;
                p[3] = 255;
            }
        auto texture = std::make_unique<vx::Texture>();
        texture->create(bytes.data(), width, height, vx::Texture::RGBA8);
        return texture;
    }

    // The pass renders into pooled targets as a chain would have it, its
    // output given back each frame.
    void runPass(benchmark::State& state, vx::RenderPass& pass, vx::Texture& input)
    {
        Engine& e = engine();
        pass.setSize(width, height);
        pass.setInput(0, &input, 0, 0);
        pass.render(*e.renderer);
        glFinish();
        vx::bench::GLCreationCounter created;
        for (auto _ : state)
        {
            pass.render(*e.renderer);
            glFinish();
        }
        state.counters["glCreationsPerFrame"] =
            benchmark::Counter(double(created.total()), benchmark::Counter::kAvgIterations);
        pass.release();
    }

    void setTransformUniforms(const vx::ShaderProgram& program)
    {
        glUseProgram(program.getProgram());
        glUniformMatrix4fv(program.getUniformLocation("WorldViewProj"), 1, GL_FALSE, unitToClip);
        glUniform4f(program.getUniformLocation("TexScroll"), 1.0f, 1.0f, 0.0f, 0.0f);
    }

    // A clip-space quad with one or two coordinate sets from 0 to 1 on the
    // fixed-function attributes.
    void drawClipQuad(int sets)
    {
        static const float corners[8] = {-1, -1, -1, 1, 1, 1, 1, -1};
        static const float coords[8] = {0, 0, 0, 1, 1, 1, 1, 0};
        for (int i = 0; i < sets; ++i)
        {
            glClientActiveTexture(GL_TEXTURE0 + GLenum(i));
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, 0, coords);
        }
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, corners);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glDisableClientState(GL_VERTEX_ARRAY);
        for (int i = 0; i < sets; ++i)
        {
            glClientActiveTexture(GL_TEXTURE0 + GLenum(i));
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        glClientActiveTexture(GL_TEXTURE0);
    }

    bool ready(benchmark::State& state)
    {
        if (engine().renderer != nullptr)
            return true;
        state.SkipWithError("no GL context");
        return false;
    }

    //==============================================================================
    void BM_Blur(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        vx::Blur pass;
        runPass(state, pass, *input);
    }
    BENCHMARK(BM_Blur)->Name("BM_Blur/1280x720")->UseRealTime()->Unit(benchmark::kMillisecond);

    void BM_BlurBaselineRawGL(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        vx::ShaderProgram across, upDown;
        across.loadString(vx::vsTransform, vx::Blur::psBlurH);
        upDown.loadString(vx::vsTransform, vx::Blur::psBlurV);
        const std::array<float, 7> weights = vx::Blur::computeWeights(3.15);
        for (vx::ShaderProgram* program : {&across, &upDown})
        {
            setTransformUniforms(*program);
            glUniform1i(program->getUniformLocation("inTex"), 0);
            glUniform1f(program->getUniformLocation("blurSize"), 0.005f);
            glUniform1f(program->getUniformLocation("strength"), 1.0f);
            glUniform1fv(program->getUniformLocation("weight"), 7, weights.data());
        }
        glUseProgram(0);
        const RawTarget between(width, height), output(width, height);
        for (auto _ : state)
        {
            between.bind();
            glUseProgram(across.getProgram());
            glBindTexture(GL_TEXTURE_2D, input->getGLName());
            drawTransformQuad();
            output.bind();
            glUseProgram(upDown.getProgram());
            glBindTexture(GL_TEXTURE_2D, between.texture);
            drawTransformQuad();
            endRawFrame();
        }
        across.release();
        upDown.release();
    }
    BENCHMARK(BM_BlurBaselineRawGL)
        ->Name("BM_BlurBaselineRawGL/1280x720")
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);

    //==============================================================================
    void BM_AddSubtract(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        vx::AddSubtract pass;
        std::dynamic_pointer_cast<vx::ParamRange>(pass.getParams().getParamByName("R"))
            ->setValue(0.7, vx::ValueChangeInfo());
        runPass(state, pass, *input);
    }
    BENCHMARK(BM_AddSubtract)->Name("BM_AddSubtract/1280x720")->UseRealTime()->Unit(benchmark::kMillisecond);

    void BM_AddSubtractBaselineRawGL(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        vx::ShaderProgram program;
        program.loadString(vx::vsTransform, vx::AddSubtract::fsAddSubtract);
        setTransformUniforms(program);
        glUniform1i(program.getUniformLocation("Texture"), 0);
        glUniform3f(program.getUniformLocation("brightness"), 0.4f, 0.0f, 0.0f);
        glUseProgram(0);
        const RawTarget output(width, height);
        for (auto _ : state)
        {
            output.bind();
            glUseProgram(program.getProgram());
            glBindTexture(GL_TEXTURE_2D, input->getGLName());
            drawTransformQuad();
            endRawFrame();
        }
        program.release();
    }
    BENCHMARK(BM_AddSubtractBaselineRawGL)
        ->Name("BM_AddSubtractBaselineRawGL/1280x720")
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);

    //==============================================================================
    void BM_UVMap(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        const auto map = makeIdentityMap();
        vx::UVMap pass;
        pass.setUVTexture(map.get());
        runPass(state, pass, *input);
    }
    BENCHMARK(BM_UVMap)->Name("BM_UVMap/1280x720")->UseRealTime()->Unit(benchmark::kMillisecond);

    // The pass's own program (its default parameters: edge filter on),
    // bound and drawn by hand.
    void BM_UVMapBaselineRawGL(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        const auto map = makeIdentityMap();
        vx::UVMap pass;
        pass.setUVTexture(map.get());
        pass.setSize(width, height);
        pass.setInput(0, input.get(), 0, 0);
        pass.render(*engine().renderer);
        const GLuint program = pass.getShader()->getProgram();
        const vx::ShaderProgram& uniforms = *pass.getShader();
        glUseProgram(program);
        glUniform1i(uniforms.getUniformLocation("textureUV"), 0);
        glUniform1i(uniforms.getUniformLocation("textureSrc"), 1);
        glUniform1i(uniforms.getUniformLocation("uFlip"), 0);
        glUniform1i(uniforms.getUniformLocation("vFlip"), 0);
        glUniform1f(uniforms.getUniformLocation("uvTexWidth"), float(width));
        glUniform1f(uniforms.getUniformLocation("uvTexHeight"), float(height));
        glUniform1f(uniforms.getUniformLocation("edgeFilter"), 0.25f);
        glUniform4f(uniforms.getUniformLocation("edgeColor"), 0.0f, 0.0f, 0.0f, 0.0f);
        glUniform2f(uniforms.getUniformLocation("uvOffset"), 0.0f, 0.0f);
        glUniform2f(uniforms.getUniformLocation("uvMaxCoords"), 1.0f, 1.0f);
        glUniform2f(uniforms.getUniformLocation("srcMaxCoords"), 1.0f, 1.0f);
        glUseProgram(0);
        const RawTarget output(width, height);
        for (auto _ : state)
        {
            output.bind();
            glUseProgram(program);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, map->getGLName());
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, input->getGLName());
            glActiveTexture(GL_TEXTURE0);
            drawClipQuad(2);
            endRawFrame();
        }
        pass.release();
    }
    BENCHMARK(BM_UVMapBaselineRawGL)
        ->Name("BM_UVMapBaselineRawGL/1280x720")
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);

    //==============================================================================
    void BM_MotionBlur(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        vx::MotionBlur pass; // Quality 0.5: 17 samples
        runPass(state, pass, *input);
    }
    BENCHMARK(BM_MotionBlur)->Name("BM_MotionBlur/1280x720/17")->UseRealTime()->Unit(benchmark::kMillisecond);

    void BM_MotionBlurBaselineRawGL(benchmark::State& state)
    {
        if (! ready(state))
            return;
        const auto input = makePicture();
        vx::MotionBlur pass;
        pass.setSize(width, height);
        pass.setInput(0, input.get(), 0, 0);
        pass.render(*engine().renderer);
        const GLuint program = pass.getShader()->getProgram();
        const vx::ShaderProgram& uniforms = *pass.getShader();
        glUseProgram(program);
        glUniform1i(uniforms.getUniformLocation("textureSrc"), 0);
        glUniform2f(uniforms.getUniformLocation("maxSrcCoords"), 1.0f, 1.0f);
        glUniform2f(uniforms.getUniformLocation("blur"), 0.125f, 0.125f);
        glUniform1i(uniforms.getUniformLocation("useTexture"), 0);
        glUniform1i(uniforms.getUniformLocation("numSamples"), 17);
        glUseProgram(0);
        const RawTarget output(width, height);
        for (auto _ : state)
        {
            output.bind();
            glUseProgram(program);
            glBindTexture(GL_TEXTURE_2D, input->getGLName());
            drawClipQuad(1);
            endRawFrame();
        }
        pass.release();
    }
    BENCHMARK(BM_MotionBlurBaselineRawGL)
        ->Name("BM_MotionBlurBaselineRawGL/1280x720/17")
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}
