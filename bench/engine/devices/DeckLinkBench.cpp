// The card paths at 1920x1080 over the simulated driver, each beside its
// baseline in one loop (taking turns to go first, so load on a shared machine
// lands on both alike), reported as the ratio of median frame times:
// - capture: the preview callback's copy of a 4.1 MB frame plus the upload
//   (DrawFrame, then the device's update) against memcpy of the same bytes
//   plus glTexSubImage2D into a texture of the same layout;
// - output: end (conversion draw, read-back of 960 x 1080 x 4, copy into the
//   card's frame, scheduling) against the same program drawn as raw GL plus
//   glReadPixels and memcpy.
// Every frame ends with glFinish. Each also reports the allocations and the
// pooled textures and render targets made in a steady frame, which must be 0.

#include <benchmark/benchmark.h>

#include "DeviceBenchSupport.h"

#include "engine/devices/VXCaptureDeviceDeckLink.h"
#include "engine/devices/VXOutputDeviceDeckLink.h"
#include "engine/devices/simdriver/VXDeckLinkSimControl.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderTarget.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXShaderProgram.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "core/VXTimeInfo.h"

#include <dlfcn.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace
{
    using vx::bench::allocations;
    using vx::bench::countAllocations;
    using vx::bench::median;
    using vx::bench::timed;

    constexpr int width = 1920;
    constexpr int height = 1080;

    struct Engine
    {
        Engine()
        {
            vx::setDeckLinkDriverPath(VX_DECKLINK_SIM_PATH);
            if (void* module = dlopen(VX_DECKLINK_SIM_PATH, RTLD_NOW | RTLD_LOCAL))
                if (auto find = reinterpret_cast<vx::DeckLinkSimControl* (*)()>(dlsym(module, "vxDeckLinkSimControl")))
                    sim = find();
            vx::bench::BenchEngine& shared = vx::bench::benchEngine();
            root = shared.root;
            renderer = shared.renderer;
        }
        vx::DeckLinkSimControl* sim = nullptr;
        vx::Vexkit* root = nullptr;
        vx::Renderer* renderer = nullptr;
    };

    Engine& engine()
    {
        static Engine instance;
        return instance;
    }

    std::vector<uint8_t> pattern(size_t size)
    {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i * 7 + i / 3840);
        return bytes;
    }

    vx::DeckLinkSimCard benchCard(uint32_t inputs, uint32_t outputs)
    {
        vx::DeckLinkSimCard card;
        card.model = inputs != 0 ? "BenchIn" : "BenchOut";
        card.inputConnections = inputs;
        card.outputConnections = outputs;
        card.modes = {{bmdModeHD1080p30, "1080p30", width, height, 1000, 30000}};
        return card;
    }

    struct CaptureFrame
    {
        CaptureFrame(vx::DeckLinkSimControl& simulator) : sim(simulator)
        {
            vx::CaptureDeviceInfo info;
            info.name = info.description = info.uniqueId = "BenchIn 1";
            device = std::make_unique<vx::CaptureDeviceDeckLink>(info);
            ok = device->initDevice();
            device->startDevice();
            sim.prepareFrame(0, width, height, width * 2, bmdFormat8BitYUV, pattern(size_t(width) * 2 * height));
        }
        void operator()()
        {
            sim.drawPreparedFrame(0);
            time.increment(16.0);
            device->update(time);
            glFinish();
        }
        vx::DeckLinkSimControl& sim;
        std::unique_ptr<vx::CaptureDeviceDeckLink> device;
        vx::TimeInfo time{0.0};
        bool ok = false;
    };

    struct CaptureBaseline
    {
        CaptureBaseline() : source(pattern(size_t(width) * 2 * height)), buffer(source.size())
        {
            glGenTextures(1, &texture);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width / 2, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8, nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
        }
        ~CaptureBaseline() { glDeleteTextures(1, &texture); }
        void operator()()
        {
            std::memcpy(buffer.data(), source.data(), source.size());
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width / 2, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8,
                            buffer.data());
            glBindTexture(GL_TEXTURE_2D, 0);
            glFinish();
        }
        std::vector<uint8_t> source;
        std::vector<uint8_t> buffer;
        GLuint texture = 0;
    };

    struct OutputFrame
    {
        OutputFrame(vx::DeckLinkSimControl& simulator) : sim(simulator)
        {
            device = std::make_unique<vx::OutputDeviceDeckLink>("BenchOut 1");
            ok = device->initialize();
        }
        // The card's completion comes first, untimed: it is the driver's thread.
        void complete() { sim.completeFrames(0, 1); }
        void operator()()
        {
            if (! device->begin())
                return;
            glClearColor(0.2f, 0.5f, 0.8f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            device->end();
            glFinish();
        }
        vx::DeckLinkSimControl& sim;
        std::unique_ptr<vx::OutputDeviceDeckLink> device;
        bool ok = false;
    };

    struct OutputBaseline
    {
        OutputBaseline() : pixels(size_t(width) * 2 * height), frame(pixels.size())
        {
            program.loadString(vx::OutputDeviceDeckLink::vsRGBAToYUV, vx::OutputDeviceDeckLink::psRGBAToYUV);
            glGenTextures(2, textures);
            glBindTexture(GL_TEXTURE_2D, textures[0]);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glBindTexture(GL_TEXTURE_2D, textures[1]);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width / 2, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            glBindTexture(GL_TEXTURE_2D, 0);
            glGenFramebuffers(1, &framebuffer);
        }
        ~OutputBaseline()
        {
            glDeleteFramebuffers(1, &framebuffer);
            glDeleteTextures(2, textures);
        }
        void operator()()
        {
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures[0], 0);
            glViewport(0, 0, width, height);
            glClearColor(0.2f, 0.5f, 0.8f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures[1], 0);
            glViewport(0, 0, width / 2, height);
            program.bind();
            program.setSampler("rgbaTexture", 0);
            program.setFloat("xstep", 1.0f / float(width));
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, textures[0]);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0);
            glVertex2f(-1, -1);
            glTexCoord2f(1, 0);
            glVertex2f(1, -1);
            glTexCoord2f(1, 1);
            glVertex2f(1, 1);
            glTexCoord2f(0, 1);
            glVertex2f(-1, 1);
            glEnd();
            program.unbind();
            glBindTexture(GL_TEXTURE_2D, 0);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, width / 2, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            std::memcpy(frame.data(), pixels.data(), pixels.size());
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glFinish();
        }
        vx::ShaderProgram program;
        std::vector<uint8_t> pixels;
        std::vector<uint8_t> frame;
        GLuint textures[2] = {0, 0};
        GLuint framebuffer = 0;
    };

    // Allocations and pooled GL objects made by one more, untimed, frame.
    template <typename Frame>
    void countSteadyFrame(benchmark::State& state, Frame& frame)
    {
        vx::Vexkit* root = engine().root;
        const auto textures = root->getTextureManager()->getTotalTextureCount();
        const auto targets = root->getRenderTargetManager()->getTotalRTCount();
        const long before = allocations.load();
        countAllocations = true;
        frame();
        countAllocations = false;
        state.counters["allocations"] = double(allocations.load() - before);
        state.counters["newTextures"] = double(root->getTextureManager()->getTotalTextureCount()) - double(textures);
        state.counters["newTargets"] = double(root->getRenderTargetManager()->getTotalRTCount()) - double(targets);
    }

    void BM_CaptureOverMemcpyUpload(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr || e.sim == nullptr)
            return state.SkipWithError("no GL context or simulated driver");
        e.sim->reset();
        e.sim->addCard(benchCard(2, 0));
        e.sim->setQuiet(true);
        {
            CaptureFrame capture(*e.sim);
            if (! capture.ok)
                return state.SkipWithError("the card did not open");
            CaptureBaseline baseline;
            capture();
            baseline();
            vx::bench::timeAlternately(state, capture, baseline, [] {}, "captureUs", "memcpyUploadUs",
                                       "captureOverBaseline");
            countSteadyFrame(state, capture);
        }
        e.sim->reset();
    }
    BENCHMARK(BM_CaptureOverMemcpyUpload)->Name("BM_CaptureOverMemcpyUpload/1920x1080")->Iterations(300);

    void BM_OutputEndOverRawGL(benchmark::State& state)
    {
        Engine& e = engine();
        if (e.renderer == nullptr || e.sim == nullptr)
            return state.SkipWithError("no GL context or simulated driver");
        e.sim->reset();
        e.sim->addCard(benchCard(0, 2));
        e.sim->setQuiet(true);
        {
            OutputFrame output(*e.sim);
            if (! output.ok)
                return state.SkipWithError("the card did not open");
            OutputBaseline baseline;
            output.complete();
            output();
            baseline();
            vx::bench::timeAlternately(state, output, baseline, [&output] { output.complete(); }, "endUs", "rawGLUs",
                                       "endOverRawGL");
            output.complete();
            countSteadyFrame(state, output);
        }
        e.sim->reset();
    }
    BENCHMARK(BM_OutputEndOverRawGL)->Name("BM_OutputEndOverRawGL/1920x1080")->Iterations(200);
}
