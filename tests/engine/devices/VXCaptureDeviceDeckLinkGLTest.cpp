#include "engine/devices/VXCaptureDeviceDeckLink.h"

#include <gtest/gtest.h>

#include <thread>

#include "VXDeckLinkSimFixture.h"
#include "core/VXTimeInfo.h"
#include "engine/gfx/VXTexture.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        CaptureDeviceInfo cardInfo()
        {
            CaptureDeviceInfo info;
            info.name = info.description = info.uniqueId = "M 1";
            info.category = CaptureDeviceDeckLink::deviceCategory;
            return info;
        }

        std::vector<uint8_t> patternFrame(long rowBytes, long height, uint8_t seed)
        {
            std::vector<uint8_t> bytes(size_t(rowBytes * height));
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = uint8_t(i * 7 + seed + i / size_t(rowBytes) * 13);
            return bytes;
        }

        class CaptureDeviceDeckLinkGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                sim = deckLinkSimulator();
                ASSERT_NE(sim, nullptr);
                sim->reset();
                sim->addCard(simCard(2, 0, true));
                device = std::make_unique<CaptureDeviceDeckLink>(cardInfo());
                ASSERT_TRUE(device->initDevice());
                device->startDevice();
            }

            void TearDown() override
            {
                device.reset();
                sim->reset();
                GLTest::TearDown();
            }

            void nextFrame()
            {
                time.increment(16.0);
                device->update(time);
            }

            // The texture's rows as bytes, texels (r, g, b, a).
            std::vector<PixelRGBA8> textureTexels()
            {
                Texture* texture = device->getTexture();
                EXPECT_NE(texture, nullptr);
                return texture != nullptr ? readTexture(GL_TEXTURE_2D, texture->getGLName()) : std::vector<PixelRGBA8>();
            }

            DeckLinkSimControl* sim = nullptr;
            ScopedTestScheduler scheduler;
            std::unique_ptr<CaptureDeviceDeckLink> device;
            TimeInfo time{0.0};
        };

        struct Geometry
        {
            const char* name;
            long width;
            long rowBytes;
            bool rgb;
            int textureWidth;
        };

        class CaptureUploadGLTest : public CaptureDeviceDeckLinkGLTest, public ::testing::WithParamInterface<Geometry>
        {
        };

        TEST_P(CaptureUploadGLTest, TexelsHoldTheDeliveredBytesInDecodeOrder)
        {
            const Geometry g = GetParam();
            const long height = 6;
            if (g.rgb)
            {
                ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                              bmdDetectedVideoInputRGB444));
            }
            const std::vector<uint8_t> bytes = patternFrame(g.rowBytes, height, 3);
            ASSERT_TRUE(sim->deliverFrame(0, g.width, height, g.rowBytes, g.rgb ? bmdFormat8BitARGB : bmdFormat8BitYUV,
                                          bytes));
            nextFrame();
            ASSERT_NE(device->getTexture(), nullptr);
            EXPECT_EQ(device->getWidth(), g.width) << "the device keeps the picture's size";
            EXPECT_EQ(device->getTexture()->getWidth(), g.textureWidth);
            EXPECT_EQ(device->getTexture()->getHeight(), height);

            const std::vector<PixelRGBA8> texels = textureTexels();
            const int stride = device->getTexture()->getHardwareWidth();
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < g.textureWidth; ++x)
                {
                    uint8_t b[4] = {0, 0, 0, 0};
                    for (int i = 0; i < 4; ++i)
                        if (4 * x + i < g.rowBytes)
                            b[i] = bytes[size_t(y * g.rowBytes + 4 * x + i)];
                    const PixelRGBA8 expected = g.rgb ? PixelRGBA8{b[0], b[1], b[2], b[3]}
                                                      : PixelRGBA8{b[1], b[2], b[3], b[0]};
                    ASSERT_EQ(texels[size_t(y * stride + x)], expected) << "texel " << x << ", row " << y;
                }
        }

        INSTANTIATE_TEST_SUITE_P(
            Frames, CaptureUploadGLTest,
            ::testing::Values(Geometry{"Yuv1920", 1920, 3840, false, 960}, Geometry{"Yuv1921", 1921, 3844, false, 961},
                              Geometry{"Yuv1921TightRows", 1921, 3842, false, 961},
                              Geometry{"YuvPaddedRows", 1920, 4096, false, 960},
                              Geometry{"Rgb1920", 1920, 7680, true, 1920}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST_F(CaptureDeviceDeckLinkGLTest, OneFrameUploadsOnceAndNewRowBytesResizeFirst)
        {
            const std::vector<uint8_t> first = patternFrame(3840, 4, 1);
            ASSERT_TRUE(sim->deliverFrame(0, 1920, 4, 3840, bmdFormat8BitYUV, first));
            nextFrame();
            const std::vector<PixelRGBA8> uploaded = textureTexels();
            ASSERT_FALSE(uploaded.empty());
            EXPECT_EQ(uploaded[0], (PixelRGBA8{first[1], first[2], first[3], first[0]}));

            // Overwrite the texture behind the device's back: only a new
            // upload would restore the frame.
            const std::vector<uint8_t> zeros(960 * 4 * 4, 0);
            ASSERT_TRUE(device->getTexture()->update(zeros.data(), 960, 4));
            device->update(time);
            nextFrame();
            EXPECT_EQ(textureTexels()[0], PixelRGBA8{}) << "one delivered frame is uploaded once";

            // Wider rows than before: the buffer grows before the copy.
            const std::vector<uint8_t> padded = patternFrame(8192, 4, 9);
            ASSERT_TRUE(sim->deliverFrame(0, 1920, 4, 8192, bmdFormat8BitYUV, padded));
            nextFrame();
            const std::vector<PixelRGBA8> texels = textureTexels();
            const int stride = device->getTexture()->getHardwareWidth();
            EXPECT_EQ(texels[size_t(3 * stride + 959)],
                      (PixelRGBA8{padded[3 * 8192 + 3837], padded[3 * 8192 + 3838], padded[3 * 8192 + 3839],
                                  padded[3 * 8192 + 3836]}));
        }

        TEST_F(CaptureDeviceDeckLinkGLTest, UnreadableFrameBytesAreSkipped)
        {
            sim->failCall("GetBytes", 0);
            ASSERT_TRUE(sim->deliverFrame(0, 1920, 4, 3840, bmdFormat8BitYUV, patternFrame(3840, 4, 1)));
            nextFrame();
            ASSERT_NE(device->getTexture(), nullptr);
            EXPECT_EQ(textureTexels()[0], PixelRGBA8{}) << "nothing was copied, nothing uploaded";
        }

        // Driver threads against the render thread: frames and format changes
        // (which restart the input under the device lock) while the render
        // thread uploads, taking the device lock, then the frame lock.
        TEST_F(CaptureDeviceDeckLinkGLTest, DriverThreadsAgainstTheRenderThread)
        {
            std::atomic<bool> done{false};
            std::thread driver([&] {
                const std::vector<uint8_t> yuv = patternFrame(3840, 8, 5);
                const std::vector<uint8_t> rgb = patternFrame(7680, 8, 6);
                for (int i = 0; i < 40; ++i)
                {
                    const bool toRgb = i % 8 == 4;
                    const bool toYuv = i % 8 == 0;
                    if (toRgb || toYuv)
                        sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                          toRgb ? bmdDetectedVideoInputRGB444 : bmdDetectedVideoInputYCbCr422);
                    const bool rgbNow = i % 8 >= 4;
                    sim->deliverFrame(0, 1920, 8, rgbNow ? 7680 : 3840,
                                      rgbNow ? bmdFormat8BitARGB : bmdFormat8BitYUV, rgbNow ? rgb : yuv);
                }
                done = true;
            });
            int frames = 0;
            while (! done || frames < 2)
            {
                nextFrame();
                ++frames;
            }
            driver.join();
            nextFrame();
            ASSERT_NE(device->getTexture(), nullptr);
            EXPECT_EQ(device->getTexture()->getWidth(), device->getTextureWidth());
        }
    }
}
