#include "engine/devices/VXAVFCaptureDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/devices/VXAVFCapture.h"
#include "engine/devices/scripted/VXManualTime.h"
#include "engine/devices/scripted/VXScriptedAVCapture.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureRef.h"
#include "platform/dispatch/VXDispatchQueue.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class AVFCaptureDeviceGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                backend = ScriptedAVCapture::install();
                ScriptedAVCapture::DeviceSpec spec;
                spec.name = "Camera";
                spec.uniqueId = "cam-gl";
                spec.formats = {{640, 480}, {1280, 720}};
                backend->addDevice(spec);
                CaptureDeviceInfo info;
                info.name = info.description = "Camera";
                info.uniqueId = "cam-gl";
                device = std::make_unique<AVFCaptureDevice>(info);
                ASSERT_TRUE(device->initDevice());
                settle();
            }

            void TearDown() override
            {
                device.reset();
                ScriptedAVCapture::uninstall();
                GLTest::TearDown();
            }

            void settle()
            {
                device->getCapture()->getQueue()->sync([] {});
            }

            void deliver(int width, int height, int bytesPerRow, uint8_t seed)
            {
                frame = bgraFrame(width, height, bytesPerRow, seed);
                ASSERT_TRUE(backend->deliverFrame("cam-gl", width, height, bytesPerRow, frame));
                settle();
            }

            void nextFrame()
            {
                timeInfo.increment(16.0);
                device->update(timeInfo);
            }

            // The texture holds the delivered frame: BGRA bytes read back as RGBA.
            void expectTextureHoldsFrame(int width, int height, int bytesPerRow)
            {
                Texture* texture = device->getTexture();
                ASSERT_NE(texture, nullptr);
                ASSERT_EQ(texture->getWidth(), width);
                ASSERT_EQ(texture->getHeight(), height);
                const std::vector<PixelRGBA8> texels = readTexture(GL_TEXTURE_2D, texture->getGLName());
                const int stride = texture->getHardwareWidth();
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                    {
                        const uint8_t* p = frame.data() + size_t(y) * size_t(bytesPerRow) + size_t(x) * 4;
                        ASSERT_EQ(texels[size_t(y * stride + x)], (PixelRGBA8{p[2], p[1], p[0], p[3]}))
                            << "texel " << x << ", row " << y;
                    }
            }

            ManualTime time;
            std::shared_ptr<ScriptedAVCapture> backend;
            std::unique_ptr<AVFCaptureDevice> device;
            std::vector<uint8_t> frame;
            TimeInfo timeInfo{0.0};
        };

        TEST_F(AVFCaptureDeviceGLTest, AFormatSwitchBringsFramesOfTheNewSizeIntoANewTexture)
        {
            deliver(64, 48, 256, 1);
            nextFrame();
            expectTextureHoldsFrame(64, 48, 256);
            EXPECT_EQ(device->getWidth(), 64);

            device->getFormatParam()->setValueByIndex(1, ValueChangeInfo());
            time.advance(0.0);
            settle();
            deliver(1280, 720, 1280 * 4, 2);
            nextFrame();
            expectTextureHoldsFrame(1280, 720, 1280 * 4);
            EXPECT_EQ(device->getWidth(), 1280);
            EXPECT_EQ(device->getHeight(), 720);
        }

        TEST_F(AVFCaptureDeviceGLTest, ANewFrameUploadsOnceAndTheTextureIsReusedWhileTheSizeHolds)
        {
            deliver(32, 8, 128, 3);
            nextFrame();
            Texture* first = device->getTexture();
            ASSERT_NE(first, nullptr);
            const unsigned int name = first->getGLName();

            TextureRef scratch;
            EXPECT_FALSE(device->getCapture()->uploadToTexture(scratch)) << "the frame went up already";
            EXPECT_EQ(scratch.get(), nullptr);

            deliver(32, 8, 160, 4);
            nextFrame();
            EXPECT_EQ(device->getTexture(), first);
            EXPECT_EQ(device->getTexture()->getGLName(), name);
            expectTextureHoldsFrame(32, 8, 160);
        }

        struct Rows
        {
            const char* name;
            int width;
            int bytesPerRow;
        };

        class AVFCaptureRowsGLTest : public AVFCaptureDeviceGLTest, public ::testing::WithParamInterface<Rows>
        {
        };

        TEST_P(AVFCaptureRowsGLTest, PaddedRowsAreNotSkewed)
        {
            const Rows& r = GetParam();
            deliver(r.width, 5, r.bytesPerRow, 9);
            nextFrame();
            expectTextureHoldsFrame(r.width, 5, r.bytesPerRow);
        }

        INSTANTIATE_TEST_SUITE_P(Frames, AVFCaptureRowsGLTest,
                                 ::testing::Values(Rows{"Tight", 37, 148}, Rows{"PaddedTo64", 37, 192},
                                                   Rows{"PaddedOddBytes", 37, 150}, Rows{"OnePixel", 1, 4}),
                                 [](const auto& info) { return std::string(info.param.name); });

        // Frames of changing size and padding arrive on the queue while the
        // render thread uploads: the buffer is never reallocated under an
        // upload, and the last upload holds the last frame whole.
        TEST_F(AVFCaptureDeviceGLTest, FramesOnTheQueueRaceUploadsOnTheRenderThread)
        {
            std::atomic<bool> done{false};
            std::thread producer(
                [&]
                {
                    for (int i = 0; i < 120; ++i)
                    {
                        const int width = i % 2 == 0 ? 24 : 40;
                        const int rowBytes = width * 4 + (i % 3) * 8;
                        backend->deliverFrame("cam-gl", width, 6, rowBytes, bgraFrame(width, 6, rowBytes, uint8_t(i)));
                    }
                    done = true;
                });
            int uploads = 0;
            while (! done.load() || uploads == 0)
            {
                nextFrame();
                ++uploads;
            }
            producer.join();
            const int rowBytes = 40 * 4 + (119 % 3) * 8;
            deliver(40, 6, rowBytes, 119);
            nextFrame();
            expectTextureHoldsFrame(40, 6, rowBytes);
        }
    }
}
