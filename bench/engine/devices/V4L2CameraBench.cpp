// A Video4Linux2 camera at 1920x1080, each beside its baseline in one loop
// (taking turns to go first), reported as the ratio of median frame times:
// - YUYV frame: the driver marking an mmap buffer filled (an in-process
//   device behind the backend's system calls), the camera's queue waking
//   to take it, the engine's copy and its upload of the 960x1080 texels,
//   against memcpy of the same bytes plus glTexSubImage2D of the same
//   layout; every frame ends with glFinish;
// - Motion-JPEG frame: the backend's decoder against bare libavcodec
//   decoding the same 4:2:2 JPEG (the planes stay as decoded: the engine
//   packs them in the copy it makes of every frame anyway).

#include <benchmark/benchmark.h>

#include "DeviceBenchSupport.h"
#include "engine/devices/VXAVFCapture.h"
#include "engine/devices/VXAVFCaptureDevice.h"
#include "engine/devices/scripted/VXFakeV4L2.h"
#include "engine/gfx/VXTextureRef.h"
#include "platform/avcapture/VXCaptureBackendV4L2.h"
#include "platform/avcapture/VXMJPEGDecoderFFmpeg.h"

extern "C"
{
#include <libavcodec/avcodec.h>
}

#include <epoxy/gl.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
    using vx::bench::UploadBaseline;

    constexpr int width = 1920;
    constexpr int height = 1080;

    struct CameraFrame
    {
        CameraFrame() : fake(std::make_shared<vx::test::FakeV4L2>())
        {
            vx::test::FakeV4L2::NodeSpec spec;
            spec.formats = {{V4L2_PIX_FMT_YUYV, {{width, height}}, 30}};
            fake->addNode(spec);
            vx::avcapture::setBackend(std::make_shared<vx::avcapture::CaptureBackendV4L2>(fake));
            vx::CaptureDeviceInfo info;
            info.uniqueId = "usb-0000:00:14.0-1/Fake Camera";
            device = std::make_unique<vx::AVFCaptureDevice>(info);
            device->initDevice();
            streaming = fake->waitForQueuedBuffer(spec.path);
        }
        ~CameraFrame()
        {
            texture.reset();
            device.reset();
            vx::avcapture::setBackend(nullptr);
        }
        void operator()()
        {
            // The buffer comes back to the driver once the engine has copied the frame.
            const int queued = fake->getBuffersQueued();
            fake->produce(path, 0, {}, false, true);
            while (fake->getBuffersQueued() == queued)
            {
            }
            device->getCapture()->uploadToTexture(texture);
            glFinish();
        }
        std::shared_ptr<vx::test::FakeV4L2> fake;
        std::unique_ptr<vx::AVFCaptureDevice> device;
        vx::TextureRef texture;
        const std::string path = "/dev/video0";
        bool streaming = false;
    };

    void BM_V4L2YUYVFrameOverMemcpyUpload(benchmark::State& state)
    {
        if (vx::bench::benchEngine().renderer == nullptr)
            return state.SkipWithError("no GL context");
        CameraFrame frame;
        if (! frame.streaming)
            return state.SkipWithError("the camera did not stream");
        UploadBaseline baseline(width / 2, height, width * 2, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8);
        frame();
        baseline();
        vx::bench::timeAlternately(state, frame, baseline, [] {}, "cameraUs", "memcpyUploadUs", "cameraOverBaseline");
    }
    BENCHMARK(BM_V4L2YUYVFrameOverMemcpyUpload)->Name("BM_V4L2YUYVFrameOverMemcpyUpload/1920x1080")->Iterations(300);

    // A camera-like 4:2:2 JPEG: gradients with fine detail, at quality 3.
    std::vector<uint8_t> cameraJPEG()
    {
        std::vector<uint8_t> jpeg;
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
        AVCodecContext* context = encoder != nullptr ? avcodec_alloc_context3(encoder) : nullptr;
        AVFrame* picture = av_frame_alloc();
        AVPacket* packet = av_packet_alloc();
        if (context != nullptr && picture != nullptr && packet != nullptr)
        {
            context->width = width;
            context->height = height;
            context->pix_fmt = AV_PIX_FMT_YUVJ422P;
            context->time_base = {1, 30};
            context->flags |= AV_CODEC_FLAG_QSCALE;
            context->global_quality = FF_QP2LAMBDA * 3;
            picture->width = width;
            picture->height = height;
            picture->format = AV_PIX_FMT_YUVJ422P;
            picture->quality = context->global_quality;
            if (avcodec_open2(context, encoder, nullptr) == 0 && av_frame_get_buffer(picture, 0) == 0)
            {
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                    {
                        picture->data[0][y * picture->linesize[0] + x] = uint8_t((x + y) / 12 + ((x * 7 + y * 13) % 23));
                        if (x < width / 2)
                        {
                            picture->data[1][y * picture->linesize[1] + x] = uint8_t(96 + x / 16 + (y % 9));
                            picture->data[2][y * picture->linesize[2] + x] = uint8_t(160 - y / 12 + (x % 7));
                        }
                    }
                if (avcodec_send_frame(context, picture) == 0 && avcodec_receive_packet(context, packet) == 0)
                    jpeg.assign(packet->data, packet->data + packet->size);
            }
        }
        av_packet_free(&packet);
        av_frame_free(&picture);
        avcodec_free_context(&context);
        return jpeg;
    }

    struct BareDecode
    {
        explicit BareDecode(const std::vector<uint8_t>& jpeg) : input(jpeg)
        {
            input.resize(jpeg.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
            context = avcodec_alloc_context3(decoder);
            avcodec_open2(context, decoder, nullptr);
            packet = av_packet_alloc();
            frame = av_frame_alloc();
            size = int(jpeg.size());
        }
        ~BareDecode()
        {
            av_frame_free(&frame);
            av_packet_free(&packet);
            avcodec_free_context(&context);
        }
        void operator()()
        {
            packet->data = input.data();
            packet->size = size;
            if (avcodec_send_packet(context, packet) == 0 && avcodec_receive_frame(context, frame) == 0)
                benchmark::DoNotOptimize(frame->data[0][0]);
            av_frame_unref(frame);
        }
        std::vector<uint8_t> input;
        int size = 0;
        AVCodecContext* context = nullptr;
        AVPacket* packet = nullptr;
        AVFrame* frame = nullptr;
    };

    void BM_MJPEGDecodeOverLibavcodec(benchmark::State& state)
    {
        const std::vector<uint8_t> jpeg = cameraJPEG();
        if (jpeg.empty())
            return state.SkipWithError("no Motion-JPEG encoder to make the frame");
        vx::MJPEGDecoderFFmpeg decoder;
        std::string error;
        auto ours = [&]
        {
            decoder.decode(jpeg.data(), jpeg.size(), error);
            benchmark::DoNotOptimize(decoder.getPlane(0));
        };
        BareDecode bare(jpeg);
        ours();
        bare();
        if (decoder.getWidth() != width)
            return state.SkipWithError(("the frame did not decode: " + error).c_str());
        vx::bench::timeAlternately(state, ours, bare, [] {}, "decodeUs", "libavcodecUs", "decodeOverLibavcodec");
        state.counters["jpegBytes"] = double(jpeg.size());
    }
    BENCHMARK(BM_MJPEGDecodeOverLibavcodec)->Name("BM_MJPEGDecodeOverLibavcodec/1920x1080/422")->Iterations(200);
}
