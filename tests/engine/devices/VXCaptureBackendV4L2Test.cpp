// The Video4Linux2 camera backend under the engine's camera device, with an
// in-process device behind its system calls.

#include "platform/avcapture/VXCaptureBackendV4L2.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/devices/VXAVFCapture.h"
#include "engine/devices/VXAVFCaptureDevice.h"
#include "engine/devices/scripted/VXFakeV4L2.h"
#include "engine/video/formats/VXPixels.h"
#include "platform/avcapture/VXMJPEGDecoderFFmpeg.h"
#include "platform/avcapture/VXPackedYUV.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        using Clock = std::chrono::steady_clock;

        const std::string cameraId = "usb-0000:00:14.0-1/Fake Camera";

        FakeV4L2::NodeSpec camera(const std::string& path = "/dev/video0")
        {
            FakeV4L2::NodeSpec spec;
            spec.path = path;
            spec.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}, {1920, 1080}}, 30},
                            {V4L2_PIX_FMT_MJPEG, {{1920, 1080}, {320, 240}}, 30}};
            return spec;
        }

        class CaptureBackendV4L2Test : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                fake = std::make_shared<FakeV4L2>();
                avcapture::setBackend(std::make_shared<avcapture::CaptureBackendV4L2>(fake));
            }

            void TearDown() override
            {
                device.reset();
                EXPECT_EQ(fake->getMappedBuffers(), 0);
                EXPECT_EQ(fake->getOpenHandles(), 0);
                avcapture::setBackend(nullptr);
            }

            std::vector<CaptureDeviceInfo> list()
            {
                std::vector<CaptureDeviceInfo*> infos;
                AVFCaptureDevice::getAvailableDevices(infos);
                std::vector<CaptureDeviceInfo> copies;
                for (CaptureDeviceInfo* info : infos)
                {
                    copies.push_back(*info);
                    delete info;
                }
                return copies;
            }

            // Opens the device and waits until it streams.
            void open(const std::string& path = "/dev/video0", const std::string& id = cameraId)
            {
                CaptureDeviceInfo info;
                info.uniqueId = id;
                device = std::make_unique<AVFCaptureDevice>(info);
                ASSERT_TRUE(device->initDevice());
                ASSERT_TRUE(fake->waitForQueuedBuffer(path));
            }

            // The next frame the device took, as the engine keeps it.
            std::shared_ptr<Pixels> nextFrame()
            {
                std::shared_ptr<Pixels> pixels;
                const auto end = Clock::now() + std::chrono::seconds(30);
                while (! device->uploadToPixels(pixels) && Clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                return device->getCapture()->getWidth() > 0 ? pixels : nullptr;
            }

            std::shared_ptr<FakeV4L2> fake;
            std::unique_ptr<AVFCaptureDevice> device;
        };

        TEST_F(CaptureBackendV4L2Test, ListsOnlyUsableCaptureNodesWithStableIdsAndTheirSizes)
        {
            fake->addNode(camera());
            FakeV4L2::NodeSpec metadata = camera("/dev/video1");
            metadata.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
            FakeV4L2::NodeSpec output = camera("/dev/video2");
            output.deviceCaps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
            FakeV4L2::NodeSpec notV4L2 = camera("/dev/video3");
            notV4L2.answersQueryCap = false;
            FakeV4L2::NodeSpec locked = camera("/dev/video4");
            locked.opens = false;
            FakeV4L2::NodeSpec planar = camera("/dev/video5");
            planar.card = "Planar Camera";
            planar.formats = {{V4L2_PIX_FMT_NV12, {{640, 480}}, 30}};
            FakeV4L2::NodeSpec infrared = camera("/dev/video6"); // a second capture node of the same camera
            infrared.formats = {{V4L2_PIX_FMT_UYVY, {{340, 340}}, 15}};
            for (const auto& spec : {metadata, output, notV4L2, locked, planar, infrared})
                fake->addNode(spec);

            LogRecorder log;
            const std::vector<CaptureDeviceInfo> infos = list();
            ASSERT_EQ(infos.size(), 2u);
            EXPECT_EQ(infos[0].name, "Fake Camera");
            EXPECT_EQ(infos[0].uniqueId, cameraId);
            EXPECT_EQ(infos[1].uniqueId, cameraId + "/2");
            ASSERT_EQ(infos[0].resolutions.size(), 2u) << "the presets the device has a size for";
            EXPECT_EQ(infos[0].resolutions[0].width, 320);
            EXPECT_EQ(infos[0].resolutions[1].width, 640);
            EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
            EXPECT_TRUE(log.contains("Planar Camera (/dev/video5) offers no YUYV, UYVY or Motion-JPEG format"));
            list();
            EXPECT_EQ(log.count(logWarning), 1u) << "an unusable node is reported once";
            EXPECT_EQ(fake->getOpenHandles(), 0) << "listing leaves no node open";

            // One format per size, in the device's order: 1920 x 1080 streams
            // as Motion-JPEG (30 frames per second beats YUYV's 5).
            FakeV4L2::NodeSpec slowYUYV = camera("/dev/video7");
            slowYUYV.busInfo = "usb-2";
            slowYUYV.formats[0].framesPerSecond = 5;
            fake->addNode(slowYUYV);
            open("/dev/video7", "usb-2/Fake Camera");
            EXPECT_EQ(device->getCapture()->getFormats(),
                      (std::vector<std::string>{"640 x 480", "1920 x 1080", "320 x 240"}));
            EXPECT_EQ(device->getCapture()->getInputs(), std::vector<std::string>{"Camera 1"});
            EXPECT_EQ(fake->getState("/dev/video7").format.pixelformat, uint32_t(V4L2_PIX_FMT_YUYV));
            device->getCapture()->setFormat(1);
            const auto end = Clock::now() + std::chrono::seconds(30);
            while (fake->getState("/dev/video7").format.pixelformat != V4L2_PIX_FMT_MJPEG && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_EQ(fake->getState("/dev/video7").format.pixelformat, uint32_t(V4L2_PIX_FMT_MJPEG));
        }

        // Rows of 640 x 2 + 2 bytes: the driver's stride, not a multiple of
        // four, reaches the engine, which keeps the pairs as U Y0 V Y1.
        TEST_F(CaptureBackendV4L2Test, PassesPackedFramesThroughWithTheDriversStride)
        {
            FakeV4L2::NodeSpec spec = camera();
            spec.rowPadding = 2;
            fake->addNode(spec);
            open();
            ASSERT_TRUE(fake->produce("/dev/video0", 9));
            std::shared_ptr<Pixels> pixels = nextFrame();
            ASSERT_NE(pixels, nullptr);
            AVFCapture& capture = *device->getCapture();
            EXPECT_TRUE(capture.isPackedYUV());
            EXPECT_EQ(capture.getWidth(), 640u);
            EXPECT_EQ(device->getTextureWidth(), 320);
            ASSERT_EQ(pixels->width, 320);
            ASSERT_EQ(pixels->height, 480);
            EXPECT_EQ(pixels->format, CaptureDevice::packedYUVTextureFormat);
            for (int y : {0, 1, 479})
                for (int texel : {0, 1, 319})
                {
                    const uint8_t* got = pixels->data + size_t(y) * size_t(pixels->stride) + size_t(texel) * 4;
                    const size_t x = size_t(texel) * 4;
                    const uint8_t want[4] = {FakeV4L2::packedPattern(x + 1, size_t(y), 9),
                                             FakeV4L2::packedPattern(x, size_t(y), 9),
                                             FakeV4L2::packedPattern(x + 3, size_t(y), 9),
                                             FakeV4L2::packedPattern(x + 2, size_t(y), 9)};
                    for (int c = 0; c < 4; ++c)
                        ASSERT_EQ(got[c], want[c]) << "row " << y << " texel " << texel << " byte " << c;
                }
        }

        // Every length and alignment ends up in the right vector or scalar
        // step, and nothing past the end is written.
        TEST(PackedYUVTest, SwapsTheBytesOfEveryPairAtAnyLengthAndAlignment)
        {
            std::vector<uint8_t> in(300), out(in.size() + 8);
            for (size_t i = 0; i < in.size(); ++i)
                in[i] = uint8_t(i * 7 + 1);
            for (size_t offset : {0, 1, 3})
                for (size_t bytes = 0; bytes + offset <= 290; bytes += 2)
                {
                    std::fill(out.begin(), out.end(), uint8_t(0xEE));
                    packedyuv::copySwappingPairs(out.data() + offset, in.data() + offset, bytes);
                    for (size_t i = 0; i < bytes; ++i)
                        ASSERT_EQ(out[offset + i], in[offset + (i ^ 1)]) << bytes << " bytes, byte " << i;
                    ASSERT_EQ(out[offset + bytes], 0xEE) << bytes << " bytes";
                }
        }

        // A corrupt progressive header claiming a 3584x64791 picture (which
        // would take gigabytes of coefficients) is refused before the decoder
        // allocates for it.
        TEST(MJPEGDecoderTest, RefusesAHugeClaimedPictureWithoutAllocatingIt)
        {
            const uint8_t frame[] = {0xff, 0xd8, 0xff, 0xc2, 0x00, 0x11, 0x08, 0xfd, 0x17, 0x0e, 0x00, 0x03,
                                     0x01, 0x22, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00, 0xff, 0xda, 0x00,
                                     0x0c, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x3f, 0x00, 0xff,
                                     0xd9};
            rusage before{}, after{};
            getrusage(RUSAGE_SELF, &before);
            MJPEGDecoderFFmpeg decoder;
            std::string error;
            EXPECT_FALSE(decoder.decode(frame, sizeof(frame), error));
            EXPECT_FALSE(error.empty());
            getrusage(RUSAGE_SELF, &after);
            EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes more at the peak";
        }

        // The format chosen while streaming restarts the stream in it; a
        // Motion-JPEG frame arrives decoded, a corrupt one is skipped with one
        // warning.
        TEST_F(CaptureBackendV4L2Test, SwitchesFormatMidStreamAndDecodesMotionJPEG)
        {
            fake->addNode(camera());
            open();
            ASSERT_TRUE(fake->produce("/dev/video0", 1));
            ASSERT_NE(nextFrame(), nullptr);

            LogRecorder log;
            device->getCapture()->setFormat(2);
            const auto end = Clock::now() + std::chrono::seconds(30);
            while ((fake->getState("/dev/video0").format.pixelformat != V4L2_PIX_FMT_MJPEG ||
                    ! fake->getState("/dev/video0").streaming) &&
                   Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_TRUE(fake->waitForQueuedBuffer("/dev/video0"));
            EXPECT_EQ(fake->getState("/dev/video0").streamOns, 2);

            std::vector<uint8_t> corrupt = solidJPEG(320, 240, 0, 0, 0);
            corrupt.resize(40);
            ASSERT_TRUE(fake->produce("/dev/video0", 0, corrupt));
            // Taken alone before a good frame follows: were both waiting at
            // once, the corrupt one would be dropped as late, undecoded.
            const auto warned = Clock::now() + std::chrono::seconds(30);
            while (log.count(logWarning) == 0 && Clock::now() < warned)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_TRUE(log.contains("such frames are skipped")) << log.dump();
            // 4:2:0 (planar, packed by the engine's copy), then 4:4:4 (packed by the decoder).
            for (int quality : {90, 95})
            {
                SCOPED_TRACE(quality);
                ASSERT_TRUE(fake->waitForQueuedBuffer("/dev/video0"));
                ASSERT_TRUE(fake->produce("/dev/video0", 0, solidJPEG(320, 240, 200, 100, 50, quality)));
                std::shared_ptr<Pixels> pixels = nextFrame();
                ASSERT_NE(pixels, nullptr);
                EXPECT_EQ(device->getCapture()->getWidth(), 320u);
                ASSERT_EQ(pixels->width, 160);
                ASSERT_EQ(pixels->height, 240);
                // Full-range BT.601 of (200, 100, 50); JPEG's rounding stays within 3.
                for (int y : {0, 120, 239})
                {
                    const uint8_t* texel = pixels->data + size_t(y) * size_t(pixels->stride) + 80 * 4;
                    EXPECT_NEAR(texel[1], 124, 3) << "Y0";
                    EXPECT_NEAR(texel[3], 124, 3) << "Y1";
                    EXPECT_NEAR(texel[0], 86, 3) << "U";
                    EXPECT_NEAR(texel[2], 182, 3) << "V";
                }
            }
            EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
        }

        // Nothing for three poll intervals keeps the session; a frame the
        // driver marks bad (cut off mid-transfer) never reaches the engine.
        TEST_F(CaptureBackendV4L2Test, WaitsForASlowDeviceAndDropsCutOffFrames)
        {
            fake->addNode(camera());
            open();
            std::this_thread::sleep_for(std::chrono::milliseconds(3 * avcapture::CaptureBackendV4L2::pollIntervalMs));
            EXPECT_TRUE(fake->getState("/dev/video0").streaming);
            ASSERT_TRUE(fake->produce("/dev/video0", 3, {}, true));
            ASSERT_TRUE(fake->produce("/dev/video0", 4));
            std::shared_ptr<Pixels> pixels = nextFrame();
            ASSERT_NE(pixels, nullptr);
            EXPECT_EQ(pixels->data[1], FakeV4L2::packedPattern(0, 0, 4)) << "the first frame seen is the whole one";
        }

        TEST_F(CaptureBackendV4L2Test, AVanishingDeviceEndsItsSessionAndIsNoLongerListed)
        {
            fake->addNode(camera());
            open();
            ASSERT_TRUE(fake->produce("/dev/video0", 1));
            ASSERT_NE(nextFrame(), nullptr);
            {
                LogRecorder log;
                fake->vanish("/dev/video0");
                const auto end = Clock::now() + std::chrono::seconds(30);
                while (! log.contains("Fake Camera is gone") && Clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                EXPECT_TRUE(log.contains("Fake Camera is gone (No such device); its capture session ended."))
                    << log.dump();
            }
            EXPECT_TRUE(list().empty());
            device->deInitDevice(); // returns: the session reports stopped
            EXPECT_EQ(fake->getMappedBuffers(), 0);
        }

        // A driver that grants no buffers (out of memory) fails no call:
        // the line says so with no error number left from an earlier call.
        TEST_F(CaptureBackendV4L2Test, ADeviceGrantingNoBuffersIsReportedAndNothingStreams)
        {
            FakeV4L2::NodeSpec spec = camera();
            spec.maxBuffers = 0;
            fake->addNode(spec);
            LogRecorder log;
            CaptureDeviceInfo info;
            info.uniqueId = cameraId;
            device = std::make_unique<AVFCaptureDevice>(info);
            ASSERT_TRUE(device->initDevice());
            const auto end = Clock::now() + std::chrono::seconds(30);
            while (! log.contains("streaming buffers") && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const std::vector<LogRecorder::Line> lines = log.lines();
            ASSERT_EQ(lines.size(), 1u) << log.dump();
            EXPECT_EQ(lines[0].type, int(logError));
            EXPECT_EQ(lines[0].message, "Camera: Fake Camera gave no streaming buffers");
            EXPECT_FALSE(fake->getState("/dev/video0").streaming);
        }

        TEST_F(CaptureBackendV4L2Test, AFormatTheDeviceRefusesIsReportedAndNothingStreams)
        {
            FakeV4L2::NodeSpec spec = camera();
            spec.refused = {V4L2_PIX_FMT_YUYV};
            fake->addNode(spec);
            LogRecorder log;
            CaptureDeviceInfo info;
            info.uniqueId = cameraId;
            device = std::make_unique<AVFCaptureDevice>(info);
            ASSERT_TRUE(device->initDevice());
            const auto end = Clock::now() + std::chrono::seconds(30);
            while (! log.contains("refused") && Clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            EXPECT_TRUE(log.contains("Fake Camera refused the format YUYV 640 x 480 and offered NV12 640 x 480"))
                << log.dump();
            EXPECT_FALSE(fake->getState("/dev/video0").streaming);
            EXPECT_EQ(fake->getMappedBuffers(), 0);
            std::shared_ptr<Pixels> pixels;
            EXPECT_FALSE(device->uploadToPixels(pixels));
        }
    }
}
