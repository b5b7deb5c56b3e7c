#include "VXCaptureSourcesTestSupport.h"
#include "VXSourcesGLTestSupport.h"

#include "core/parameters/VXParam.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/devices/VXCaptureDevice.h"
#include "engine/devices/VXCaptureDeviceInstanceManager.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/catalogue/VXDeinterlace.h"
#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/video/sources/VXCaptureDeviceVideoSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

namespace vx::test
{
    namespace
    {
        // A device whose texture holds one straight RGBA colour, right way up.
        class RgbaDevice : public CaptureDevice
        {
        public:
            RgbaDevice() : CaptureDevice(makeInfo())
            {
                width = 8;
                height = 4;
            }
            static CaptureDeviceInfo makeInfo()
            {
                CaptureDeviceInfo info;
                info.name = info.description = info.uniqueId = "rgba";
                return info;
            }
            bool initDevice() override { return true; }
            void deInitDevice() override {}
            void updateTexture() override
            {
                if (texture.get() != nullptr)
                    return;
                std::vector<PixelRGBA8> pixels(size_t(width * height), PixelRGBA8{200, 40, 90, 255});
                auto* made = new Texture();
                made->create(pixels.data(), width, height, Texture::RGBA8);
                texture.reset(made);
            }
        };

        // 2vuy bytes: U Y0 V Y1 per pair of pixels.
        struct Pair
        {
            uint8_t u, y0, v, y1;
        };

        // The picture the conversion shows for (y, u, v) in 8 bits.
        PixelRGBA8 rgbOf(uint8_t y8, uint8_t u8, uint8_t v8)
        {
            const double y = y8 / 255.0, u = u8 / 255.0 - 0.5, v = v8 / 255.0 - 0.5;
            const auto to8 = [](double c) { return uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255.0)); };
            return {to8(y + 1.403 * v), to8(y - 0.344 * u - 0.714 * v), to8(y + 1.770 * u), 255};
        }

        class CaptureDeviceVideoSourceGLTest : public SourcesGLTest
        {
        protected:
            void SetUp() override
            {
                SourcesGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                devices = std::make_unique<CaptureDevices>();
                ASSERT_NE(devices->sim, nullptr);
            }

            void TearDown() override
            {
                source.reset();
                devices.reset();
                EXPECT_EQ(instanceManager.getNumDevices(), 0) << "a source kept its device";
                SourcesGLTest::TearDown();
            }

            TextureRef renderFrame(unsigned long long stamp)
            {
                source->update(frame(stamp));
                return source->render(*renderer, info);
            }

            // The device's "Connection" choice among the source's settings.
            static std::shared_ptr<ParamChoice<int>> connection(VideoSource& from)
            {
                return std::dynamic_pointer_cast<ParamChoice<int>>(from.getSettings()->getParamByName("Connection"));
            }

            std::unique_ptr<CaptureDevices> devices;
            std::unique_ptr<VideoSource> source;
        };

        // A 1920 x 1080 2vuy frame from the card: the source has the picture's
        // size and every pixel takes its own luma. (Which end the frame's first
        // row lands at follows the device's orientation flag; the top and
        // bottom halves just have to stay apart.)
        TEST_F(CaptureDeviceVideoSourceGLTest, CardFrameIsShownAtFullSizeInItsColours)
        {
            devices->sim->addCard(inputCard());
            ASSERT_EQ(devices->manager->getNumInputDevices(), 1);
            source.reset(devices->manager->createSource(devices->manager->getInputDeviceInfo(0)->uniqueId));
            ASSERT_NE(source, nullptr);

            const Pair topLeft{64, 80, 192, 150}, topRight{200, 120, 60, 200}, bottom{128, 50, 128, 220};
            const long w = 1920, h = 1080, rowBytes = 3840;
            std::vector<uint8_t> bytes(size_t(rowBytes * h));
            for (long y = 0; y < h; ++y)
                for (long x = 0; x < w; x += 2)
                {
                    const Pair p = y >= h / 2 ? bottom : x < w / 2 ? topLeft : topRight;
                    uint8_t* at = &bytes[size_t(y * rowBytes + x * 2)];
                    at[0] = p.u;
                    at[1] = p.y0;
                    at[2] = p.v;
                    at[3] = p.y1;
                }
            ASSERT_TRUE(devices->sim->deliverFrame(0, w, h, rowBytes, bmdFormat8BitYUV, bytes));

            TextureRef output = renderFrame(1);
            ASSERT_NE(output.get(), nullptr);
            EXPECT_EQ(source->getWidth(), 1920);
            EXPECT_EQ(source->getHeight(), 1080);
            EXPECT_EQ(output->getWidth(), 1920);
            EXPECT_EQ(output->getHeight(), 1080);
            const Picture picture = readOutput(output);

            // Rounding of the 8-bit texels and the shader's float maths.
            const int tolerance = 3;
            struct Probe
            {
                int x, y;
                PixelRGBA8 expected;
            };
            const bool firstRowAtZero =
                isNear(picture.at(0, 0), rgbOf(topLeft.y0, topLeft.u, topLeft.v), tolerance);
            const int top = firstRowAtZero ? 0 : 1079, last = firstRowAtZero ? 1079 : 0;
            for (const Probe& probe :
                 {Probe{0, top, rgbOf(topLeft.y0, topLeft.u, topLeft.v)},
                  Probe{1, top, rgbOf(topLeft.y1, topLeft.u, topLeft.v)},
                  Probe{959, top == 0 ? 3 : 1076, rgbOf(topLeft.y1, topLeft.u, topLeft.v)},
                  Probe{960, top == 0 ? 3 : 1076, rgbOf(topRight.y0, topRight.u, topRight.v)},
                  Probe{1918, top, rgbOf(topRight.y0, topRight.u, topRight.v)},
                  Probe{1919, top, rgbOf(topRight.y1, topRight.u, topRight.v)},
                  Probe{0, last, rgbOf(bottom.y0, bottom.u, bottom.v)},
                  Probe{1919, last, rgbOf(bottom.y1, bottom.u, bottom.v)}})
                EXPECT_TRUE(isNear(picture.at(probe.x, probe.y), probe.expected, tolerance))
                    << "pixel " << probe.x << ", " << probe.y << " is " << picture.at(probe.x, probe.y)
                    << ", expected " << probe.expected;
        }

        // 2vuy bytes of a w x h frame, first row first, of one pair per
        // region: the top-left and top-right quarters and the bottom half.
        std::vector<uint8_t> quarterFrame(long w, long h, Pair topLeft, Pair topRight, Pair bottom)
        {
            std::vector<uint8_t> bytes(size_t(w * 2 * h));
            for (long y = 0; y < h; ++y)
                for (long x = 0; x < w; x += 2)
                {
                    const Pair p = y >= h / 2 ? bottom : x < w / 2 ? topLeft : topRight;
                    uint8_t* at = &bytes[size_t(y * w * 2 + x * 2)];
                    at[0] = p.u;
                    at[1] = p.y0;
                    at[2] = p.v;
                    at[3] = p.y1;
                }
            return bytes;
        }

        // The card's first row is the picture's top (the highest row of the
        // output, as for image files and movies), its first column the left;
        // every column, the last included, at widths whose packed half is no
        // multiple of 64 (the pooled texture is wider than the picture).
        TEST_F(CaptureDeviceVideoSourceGLTest, ACardPictureIsShownTopUp)
        {
            devices->sim->addCard(inputCard());
            source.reset(devices->manager->createSource(devices->manager->getInputDeviceInfo(0)->uniqueId));
            ASSERT_NE(source, nullptr);
            const Pair topLeft{64, 80, 192, 80}, topRight{200, 120, 60, 120}, bottom{128, 50, 128, 50};
            unsigned long long stamp = 1;
            for (const long w : {64L, 102L, 854L})
            {
                SCOPED_TRACE("width " + std::to_string(w));
                const long h = 16;
                ASSERT_TRUE(devices->sim->deliverFrame(0, w, h, w * 2, bmdFormat8BitYUV,
                                                       quarterFrame(w, h, topLeft, topRight, bottom)));
                TextureRef output = renderFrame(stamp++);
                ASSERT_NE(output.get(), nullptr);
                ASSERT_EQ(source->getWidth(), int(w));
                const Picture picture = readOutput(output);
                const int tolerance = 3;
                int wrong = 0;
                for (int x = 0; x < int(w); ++x)
                {
                    // A pair starting left of the middle is the left quarter's.
                    const Pair top = x - x % 2 < int(w) / 2 ? topLeft : topRight;
                    for (const auto& [y, expected] : {std::pair{15, top}, {12, top}, {0, bottom}, {3, bottom}})
                        if (! isNear(picture.at(x, y), rgbOf(expected.y0, expected.u, expected.v), tolerance) &&
                            ++wrong <= 4)
                            ADD_FAILURE() << "x " << x << ", y " << y << ": " << picture.at(x, y);
                }
                EXPECT_EQ(wrong, 0);
            }
        }

        // A card unplugged while a source shows it and plugged in again: the
        // dead device is never handed out by its id, and the source drops it
        // and takes the new one, which gets the card's frames.
        TEST_F(CaptureDeviceVideoSourceGLTest, AReplugedCardFeedsTheSourceOfItsId)
        {
            devices->sim->addCard(inputCard());
            const std::string id = devices->manager->getInputDeviceInfo(0)->uniqueId;
            source.reset(devices->manager->createSource(id));
            ASSERT_NE(source, nullptr);
            auto* capture = dynamic_cast<CaptureDeviceVideoSource*>(source.get());
            CaptureDevice* dead = capture->getDevice();
            ASSERT_NE(dead, nullptr);

            devices->sim->reset();
            devices->usbChanged();
            ASSERT_EQ(devices->manager->getNumInputDevices(), 0);
            devices->sim->addCard(inputCard());
            devices->usbChanged();
            ASSERT_EQ(devices->manager->getNumInputDevices(), 1);
            CaptureDevice* early = devices->manager->getInputDevice(id);
            EXPECT_NE(early, dead) << "a device that went away is not handed out again";
            devices->manager->releaseDevice(early);

            const Pair grey{128, 120, 128, 120};
            const long w = 64, h = 8;
            renderFrame(1);
            ASSERT_NE(capture->getDevice(), nullptr);
            ASSERT_TRUE(devices->sim->deliverFrame(0, w, h, w * 2, bmdFormat8BitYUV,
                                                   quarterFrame(w, h, grey, grey, grey)))
                << "the card has the new device's callback";
            TextureRef output = renderFrame(2);
            ASSERT_NE(output.get(), nullptr);
            expectUniform(readOutput(output), int(w), int(h), rgbOf(grey.y0, grey.u, grey.v), 3);

            std::unique_ptr<VideoSource> second(devices->manager->createSource(id));
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(dynamic_cast<CaptureDeviceVideoSource*>(second.get())->getDevice(), capture->getDevice());
            EXPECT_EQ(instanceManager.getNumDevices(), 1);
        }

        // The driver switches between YUV and RGB and delivers frames while
        // the render thread shows the source: the source reads the device's
        // size and flags as one, under the locks the driver writes them with.
        TEST_F(CaptureDeviceVideoSourceGLTest, FormatChangesOnTheDriverThreadWhileRendering)
        {
            devices->sim->addCard(inputCard());
            source.reset(devices->manager->createSource(devices->manager->getInputDeviceInfo(0)->uniqueId));
            ASSERT_NE(source, nullptr);
            std::atomic<bool> done{false};
            std::thread driver([&] {
                const std::vector<uint8_t> yuv(64 * 2 * 8, 100), rgb(64 * 4 * 8, 200);
                for (int i = 0; i < 30; ++i)
                {
                    const bool toRgb = i % 2 == 1;
                    devices->sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                               toRgb ? bmdDetectedVideoInputRGB444 : bmdDetectedVideoInputYCbCr422);
                    devices->sim->deliverFrame(0, toRgb ? 32 : 64, 8, toRgb ? 32 * 4 : 64 * 2,
                                               toRgb ? bmdFormat8BitARGB : bmdFormat8BitYUV, toRgb ? rgb : yuv);
                }
                done = true;
            });
            unsigned long long stamp = 1;
            while (! done || stamp < 3)
                renderFrame(stamp++);
            driver.join();
            EXPECT_NE(renderFrame(stamp).get(), nullptr);
        }

        TEST_F(CaptureDeviceVideoSourceGLTest, StraightFramesPassWithoutConversionAndDeinterlaceFollowsItsSwitch)
        {
            auto* device = new RgbaDevice();
            instanceManager.addDevice("rgba", device);
            auto* capture = new CaptureDeviceVideoSource(device);
            source.reset(capture);
            EXPECT_EQ(capture->getDescription(), "rgba");
            EXPECT_FALSE(source->isResizable());

            TextureRef output = renderFrame(1);
            ASSERT_NE(output.get(), nullptr);
            EXPECT_EQ(capture->getFormatConversion(), nullptr);
            EXPECT_EQ(source->getRenderPassChain()->getNumPasses(), 0);
            expectUniform(readOutput(output), 8, 4, PixelRGBA8{200, 40, 90, 255}, 1);

            capture->getDeinterlaceParam()->setValue(true, ValueChangeInfo());
            output = renderFrame(2);
            ASSERT_NE(capture->getDeinterlace(), nullptr);
            EXPECT_EQ(source->getRenderPassChain()->getNumPasses(), 1);
            output = renderFrame(3);
            EXPECT_EQ(source->getRenderPassChain()->getNumPasses(), 1) << "one pass, however many frames";

            capture->getDeinterlaceParam()->setValue(false, ValueChangeInfo());
            output = renderFrame(4);
            EXPECT_EQ(capture->getDeinterlace(), nullptr);
            EXPECT_EQ(source->getRenderPassChain()->getNumPasses(), 0);
        }

        TEST_F(CaptureDeviceVideoSourceGLTest, WithoutDeviceNothingIsShown)
        {
            auto* capture = new CaptureDeviceVideoSource();
            source.reset(capture);
            EXPECT_EQ(capture->getDescription(), "Live Feed");
            EXPECT_EQ(capture->getSettings(), nullptr);
            EXPECT_EQ(renderFrame(1).get(), nullptr);
        }

        // Stored with its device's parameters; made again from the element
        // while the device is closed, it opens the device and restores them.
        TEST_F(CaptureDeviceVideoSourceGLTest, SavedSourceComesBackWithItsDeviceAndCaptureParams)
        {
            devices->cameras->addDevice(cameraSpec("Cam", "cam"));
            source.reset(devices->manager->createSource("cam"));
            ASSERT_NE(source, nullptr);
            auto connection = std::dynamic_pointer_cast<ParamChoice<int>>(
                source->getSettings()->getParamByName("Connection"));
            ASSERT_NE(connection, nullptr);
            connection->setValue(1, ValueChangeInfo());

            XmlDocument document;
            XmlNode* element = source->writeState(document, true);
            ASSERT_NE(element, nullptr);
            EXPECT_NE(element->first_node("CaptureDevice"), nullptr);
            source.reset();
            ASSERT_EQ(instanceManager.getNumDevices(), 0);

            source.reset(dynamic_cast<VideoSource*>(devices->manager->createSourceFromXML(*element)));
            ASSERT_NE(source, nullptr);
            auto* capture = dynamic_cast<CaptureDeviceVideoSource*>(source.get());
            ASSERT_NE(capture, nullptr);
            ASSERT_NE(capture->getDevice(), nullptr);
            EXPECT_EQ(capture->getDevice()->getUniqueId(), "cam");
            auto restored = std::dynamic_pointer_cast<ParamChoice<int>>(
                source->getSettings()->getParamByName("Connection"));
            EXPECT_EQ(restored->getValue(), 1);
        }

        TEST_F(CaptureDeviceVideoSourceGLTest, ADevicePluggedAfterARestoreIsTakenAtTheNextUpdate)
        {
            const std::string stored = "<VideoSource name=\"VideoSource\" width=\"0\" height=\"0\" "
                                       "type=\"CaptureDeviceVideoSource\"><CaptureInfo deviceId=\"cam\"/></VideoSource>";
            text = stored;
            document.parse<0>(text.data());
            source.reset(dynamic_cast<VideoSource*>(devices->manager->createSourceFromXML(*document.first_node())));
            ASSERT_NE(source, nullptr);
            auto* capture = dynamic_cast<CaptureDeviceVideoSource*>(source.get());
            EXPECT_EQ(capture->getDevice(), nullptr);
            EXPECT_EQ(capture->getDeviceId(), "cam");
            source->update(frame(1));
            EXPECT_EQ(capture->getDevice(), nullptr);

            devices->cameras->addDevice(cameraSpec("Cam", "cam"));
            devices->usbChanged();
            source->update(frame(2));
            ASSERT_NE(capture->getDevice(), nullptr);
            EXPECT_EQ(capture->getDescription(), "Cam");
        }

        // A camera or a card with two inputs, its source saved, opened while
        // the device is away and saved again, then opened with the device
        // back: the source, its chain, its opacity and the device's settings
        // all come back. The source opened without its device also gives
        // the settings to the device it takes once plugged.
        TEST_F(CaptureDeviceVideoSourceGLTest, ASourceOpenedWithoutItsDeviceSavesItAsItWasRead)
        {
            root->getRenderPassManager()->registerRenderPass<AddConstantPass>(RenderPassCategoryEffect, 1, false,
                                                                             false);
            const auto opacity = [](VideoSource& from) {
                return std::dynamic_pointer_cast<ParamRange>(from.getParams()->getParamByName("Opacity"));
            };
            const auto reopen = [&](const XmlNode& element) {
                source.reset(dynamic_cast<VideoSource*>(devices->manager->createSourceFromXML(element)));
                return dynamic_cast<CaptureDeviceVideoSource*>(source.get());
            };
            DeckLinkSimCard card = inputCard();
            card.inputConnections = 3;
            struct Kind
            {
                const char* name;
                std::function<void()> plug, unplug;
            };
            const Kind kinds[] = {
                {"camera", [&] { devices->cameras->addDevice(cameraSpec("Cam", "cam")); },
                 [&] { devices->cameras->removeDevice("cam"); }},
                {"card", [&] { devices->sim->addCard(card); }, [&] { devices->sim->reset(); }},
            };
            for (const Kind& kind : kinds)
            {
                SCOPED_TRACE(kind.name);
                kind.plug();
                devices->usbChanged();
                ASSERT_EQ(devices->manager->getNumInputDevices(), 1);
                const std::string id = devices->manager->getInputDeviceInfo(0)->uniqueId;
                source.reset(devices->manager->createSource(id));
                ASSERT_NE(source, nullptr);
                ASSERT_GE(connection(*source)->getNumChoices(), 2u);
                connection(*source)->setValue(1, ValueChangeInfo());
                opacity(*source)->setValue(0.4, ValueChangeInfo());
                auto* pass = new AddConstantPass(0.3);
                pass->setStorage(XmlCapable::storageCreatable);
                source->getRenderPassChain()->addRenderPass(pass);
                XmlDocument withDevice;
                const XmlNode* saved = source->writeState(withDevice, true);
                source.reset();

                kind.unplug();
                devices->usbChanged();
                ASSERT_EQ(devices->manager->getNumInputDevices(), 0);
                CaptureDeviceVideoSource* capture = reopen(*saved);
                ASSERT_NE(capture, nullptr);
                EXPECT_EQ(capture->getDevice(), nullptr);
                XmlDocument withoutDevice;
                const XmlNode* resaved = source->writeState(withoutDevice, true);
                ASSERT_NE(resaved->first_node("CaptureInfo"), nullptr) << "the source still names its device";
                EXPECT_EQ(readAttribute(resaved->first_node("CaptureInfo")->first_attribute("deviceId"), std::string()),
                          id);
                EXPECT_NE(resaved->first_node("CaptureDevice"), nullptr) << "and keeps its settings";

                kind.plug();
                devices->usbChanged();
                source->update(frame(1));
                ASSERT_NE(capture->getDevice(), nullptr);
                EXPECT_EQ(connection(*source)->getValue(), 1) << "the device taken later reads the settings";
                source.reset();

                capture = reopen(*resaved);
                ASSERT_NE(capture, nullptr);
                ASSERT_NE(capture->getDevice(), nullptr);
                EXPECT_EQ(capture->getDevice()->getUniqueId(), id);
                EXPECT_EQ(connection(*source)->getValue(), 1);
                EXPECT_DOUBLE_EQ(opacity(*source)->getValue(), 0.4);
                ASSERT_EQ(source->getRenderPassChain()->getNumPasses(), 1);
                auto restored =
                    std::dynamic_pointer_cast<AddConstantPass>(source->getRenderPassChain()->getRenderPass(0));
                ASSERT_NE(restored, nullptr);
                EXPECT_DOUBLE_EQ(restored->amount->getValue(), 0.3);
                source.reset();
                kind.unplug();
                devices->usbChanged();
            }
        }

        // A camera unplugged while its source shows it: the source saves the
        // camera's settings meanwhile and gives them to the camera plugged in
        // again.
        TEST_F(CaptureDeviceVideoSourceGLTest, ADeviceThatLeavesKeepsItsSettingsForItsReturn)
        {
            devices->cameras->addDevice(cameraSpec("Cam", "cam"));
            source.reset(devices->manager->createSource("cam"));
            ASSERT_NE(source, nullptr);
            auto* capture = dynamic_cast<CaptureDeviceVideoSource*>(source.get());
            connection(*source)->setValue(1, ValueChangeInfo());

            devices->cameras->removeDevice("cam");
            devices->usbChanged();
            source->update(frame(1));
            ASSERT_EQ(capture->getDevice(), nullptr);
            XmlDocument away;
            const XmlNode* saved = source->writeState(away, true);
            ASSERT_NE(saved->first_node("CaptureDevice"), nullptr);

            devices->cameras->addDevice(cameraSpec("Cam", "cam"));
            devices->usbChanged();
            source->update(frame(2));
            ASSERT_NE(capture->getDevice(), nullptr);
            EXPECT_EQ(connection(*source)->getValue(), 1);
        }
    }
}
