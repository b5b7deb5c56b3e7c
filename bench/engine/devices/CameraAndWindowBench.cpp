// Camera and window capture at 1920x1080, each beside its baseline in one
// loop (taking turns to go first), reported as the ratio of median frame
// times:
// - camera: the capture delegate's copy of a BGRA frame plus the device's
//   update (uploadToTexture) against memcpy of the same bytes plus
//   glTexSubImage2D, with tight rows and with rows padded to 8192 bytes (the
//   baseline then uploads with GL_UNPACK_ROW_LENGTH);
// - window: a grab of a window image (premultiplied BGRA, as the window
//   server gives) against memcpy plus glTexSubImage2D.
// Every frame ends with glFinish. Each reports the allocations, pooled
// textures and GL textures made by one more, steady, frame: all must be 0.

#include <benchmark/benchmark.h>

#include "../gfx/VXBenchGLContext.h"
#include "DeviceBenchSupport.h"
#include "core/VXTime.h"
#include "core/VXTimeInfo.h"
#include "engine/devices/VXAVFCapture.h"
#include "engine/devices/VXAVFCaptureDevice.h"
#include "engine/devices/VXScreenCaptureWrapper.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "platform/avcapture/VXAVCapture.h"

#include <epoxy/gl.h>

#include <cstring>
#include <memory>
#include <vector>

namespace
{
    using vx::bench::allocations;
    using vx::bench::countAllocations;
    using vx::bench::median;
    using vx::bench::timed;

    constexpr int width = 1920;
    constexpr int height = 1080;

    using vx::bench::pattern;
    using vx::bench::UploadBaseline;

    // A delivered camera frame, as the capture framework hands it over.
    class BenchSample : public vx::avcapture::PixelBuffer, public vx::avcapture::SampleBuffer
    {
    public:
        BenchSample(int rowBytes) : bytesPerRow(size_t(rowBytes)), bytes(pattern(bytesPerRow * height)) {}
        bool lockBaseAddress(uint32_t) override { return true; }
        void unlockBaseAddress(uint32_t) override {}
        const uint8_t* getBaseAddress() const override { return bytes.data(); }
        size_t getBytesPerRow() const override { return bytesPerRow; }
        size_t getWidth() const override { return width; }
        size_t getHeight() const override { return height; }
        vx::avcapture::PixelBuffer* getImageBuffer() override { return this; }

        size_t bytesPerRow;
        std::vector<uint8_t> bytes;
    };

    struct CameraFrame
    {
        explicit CameraFrame(int rowBytes) : sample(rowBytes)
        {
            vx::CaptureDeviceInfo info;
            info.uniqueId = "bench-camera";
            device = std::make_unique<vx::AVFCaptureDevice>(info);
            device->initDevice(); // no session on this platform: frames are handed in below
        }
        void operator()()
        {
            device->getCapture()->captureOutputDidOutputSampleBuffer(sample);
            time.increment(16.0);
            device->update(time);
            glFinish();
        }
        BenchSample sample;
        std::unique_ptr<vx::AVFCaptureDevice> device;
        vx::TimeInfo time{0.0};
    };

    struct WindowFrame
    {
        WindowFrame()
        {
            graphics = vx::test::ScriptedCoreGraphics::install();
            graphics->setWindows({vx::test::windowEntry(7, "Bench", "window", 1)});
            auto image = std::make_shared<vx::cg::Image>();
            image->width = width;
            image->height = height;
            image->bytesPerRow = width * 4;
            image->layout = vx::cg::ImageLayout::premultipliedBGRA;
            image->bytes = pattern(size_t(width) * 4 * height);
            graphics->setWindowImage(7, image);
            wrapper.setWindowId(7);
        }
        ~WindowFrame()
        {
            texture.release();
            vx::test::ScriptedCoreGraphics::uninstall();
        }
        void operator()()
        {
            clock += 40.0;
            vx::updateTime(clock);
            wrapper.grab(&texture);
            glFinish();
        }
        std::shared_ptr<vx::test::ScriptedCoreGraphics> graphics;
        vx::ScreenCaptureWrapper wrapper;
        vx::Texture texture;
        double clock = 1000.0;
    };

    // Allocations and textures made by one more, untimed, frame.
    template <typename Frame>
    void countSteadyFrame(benchmark::State& state, Frame& frame)
    {
        vx::Vexkit* root = vx::bench::benchEngine().root;
        const auto pooled = root->getTextureManager()->getTotalTextureCount();
        const long allocated = allocations.load();
        long made = 0;
        {
            vx::bench::CallCounter<&epoxy_glGenTextures> textures("glGenTextures");
            countAllocations = true;
            frame();
            countAllocations = false;
            made = textures.calls;
        }
        state.counters["allocations"] = double(allocations.load() - allocated);
        state.counters["newTextures"] = double(root->getTextureManager()->getTotalTextureCount()) - double(pooled);
        state.counters["newGLTextures"] = double(made);
    }

    template <typename Frame, typename Baseline>
    void alternate(benchmark::State& state, Frame& frame, Baseline& baseline, const char* frameName,
                   const char* baselineName, const char* ratioName)
    {
        frame();
        baseline();
        vx::bench::timeAlternately(state, frame, baseline, [] {}, frameName, baselineName, ratioName);
        countSteadyFrame(state, frame);
    }

    void BM_CameraFrameOverMemcpyUpload(benchmark::State& state)
    {
        if (vx::bench::benchEngine().renderer == nullptr)
            return state.SkipWithError("no GL context");
        const int rowBytes = int(state.range(0));
        CameraFrame frame(rowBytes);
        UploadBaseline baseline(width, height, rowBytes, GL_BGRA);
        alternate(state, frame, baseline, "cameraUs", "memcpyUploadUs", "cameraOverBaseline");
    }
    BENCHMARK(BM_CameraFrameOverMemcpyUpload)
        ->Name("BM_CameraFrameOverMemcpyUpload/1920x1080/tight")
        ->Arg(width * 4)
        ->Iterations(300);
    BENCHMARK(BM_CameraFrameOverMemcpyUpload)
        ->Name("BM_CameraPaddedRowsOverRowLengthUpload/1920x1080/8192")
        ->Arg(8192)
        ->Iterations(300);

    void BM_WindowGrabOverMemcpyUpload(benchmark::State& state)
    {
        if (vx::bench::benchEngine().renderer == nullptr)
            return state.SkipWithError("no GL context");
        WindowFrame frame;
        UploadBaseline baseline(width, height, width * 4, GL_RGBA);
        alternate(state, frame, baseline, "grabUs", "memcpyUploadUs", "grabOverBaseline");
    }
    BENCHMARK(BM_WindowGrabOverMemcpyUpload)->Name("BM_WindowGrabOverMemcpyUpload/1920x1080")->Iterations(300);
}
