// A Video4Linux2 camera's packed 4:2:2 frames in the device texture: two
// pixels per texel, in the channel order the format-conversion pass decodes.

#include "platform/avcapture/VXCaptureBackendV4L2.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/VXTimeInfo.h"
#include "engine/devices/VXAVFCapture.h"
#include "engine/devices/VXAVFCaptureDevice.h"
#include "engine/devices/scripted/VXFakeV4L2.h"
#include "engine/gfx/VXTexture.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class CaptureBackendV4L2GLTest : public GLTest
        {
        protected:
            void TearDown() override
            {
                device.reset();
                avcapture::setBackend(nullptr);
                GLTest::TearDown();
            }

            std::shared_ptr<FakeV4L2> fake = std::make_shared<FakeV4L2>();
            std::unique_ptr<AVFCaptureDevice> device;
        };

        struct Layout
        {
            const char* name;
            uint32_t fourcc;
            uint32_t rowPadding;
        };

        class CaptureBackendV4L2LayoutGLTest : public CaptureBackendV4L2GLTest,
                                               public ::testing::WithParamInterface<Layout>
        {
        };

        TEST_P(CaptureBackendV4L2LayoutGLTest, TexelsReadY0VY1U)
        {
            FakeV4L2::NodeSpec spec;
            spec.formats = {{GetParam().fourcc, {{38, 6}}, 30}};
            spec.rowPadding = GetParam().rowPadding;
            fake->addNode(spec);
            avcapture::setBackend(std::make_shared<avcapture::CaptureBackendV4L2>(fake));
            CaptureDeviceInfo info;
            info.uniqueId = "usb-0000:00:14.0-1/Fake Camera";
            device = std::make_unique<AVFCaptureDevice>(info);
            ASSERT_TRUE(device->initDevice());
            ASSERT_TRUE(fake->waitForQueuedBuffer(spec.path));
            ASSERT_TRUE(fake->produce(spec.path, 5));
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (device->getCapture()->getWidth() == 0 && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            device->update(TimeInfo(16.0));

            EXPECT_TRUE(device->needsYUVToRGBAConversion());
            EXPECT_EQ(device->getWidth(), 38);
            Texture* texture = device->getTexture();
            ASSERT_NE(texture, nullptr);
            ASSERT_EQ(texture->getWidth(), 19);
            const std::vector<PixelRGBA8> texels = readTexture(GL_TEXTURE_2D, texture->getGLName());
            const bool yuyv = GetParam().fourcc == V4L2_PIX_FMT_YUYV;
            for (size_t y = 0; y < 6; ++y)
                for (size_t t = 0; t < 19; ++t)
                {
                    auto byte = [&](size_t i) { return FakeV4L2::packedPattern(t * 4 + i, y, 5); };
                    const PixelRGBA8 want = yuyv ? PixelRGBA8{byte(0), byte(3), byte(2), byte(1)}
                                                 : PixelRGBA8{byte(1), byte(2), byte(3), byte(0)};
                    ASSERT_EQ(texels[y * size_t(texture->getHardwareWidth()) + t], want) << "texel " << t << ", row " << y;
                }
        }

        INSTANTIATE_TEST_SUITE_P(Layouts, CaptureBackendV4L2LayoutGLTest,
                                 ::testing::Values(Layout{"YUYV", V4L2_PIX_FMT_YUYV, 0},
                                                   Layout{"UYVYPaddedRows", V4L2_PIX_FMT_UYVY, 6}),
                                 [](const auto& info) { return std::string(info.param.name); });
    }
}
