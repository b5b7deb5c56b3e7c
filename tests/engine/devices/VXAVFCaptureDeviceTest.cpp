#include "engine/devices/VXAVFCaptureDevice.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/devices/VXAVFCapture.h"
#include "engine/devices/scripted/VXManualTime.h"
#include "engine/devices/scripted/VXScriptedAVCapture.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixels.h"
#include "platform/dispatch/VXDispatchQueue.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        ScriptedAVCapture::DeviceSpec camera(const std::string& id = "cam-1")
        {
            ScriptedAVCapture::DeviceSpec spec;
            spec.name = "FaceTime Camera";
            spec.uniqueId = id;
            spec.inputs = {{"in-a", "Front"}, {"in-b", "Back"}};
            spec.activeInput = 1;
            spec.formats = {{640, 480}, {1280, 720}, {1920, 1080}};
            spec.presets = {"AVCaptureSessionPreset640x480", "AVCaptureSessionPreset320x240",
                            "AVCaptureSessionPreset1280x720"};
            return spec;
        }

        CaptureDeviceInfo infoFor(const ScriptedAVCapture::DeviceSpec& spec)
        {
            CaptureDeviceInfo info;
            info.name = info.description = spec.name;
            info.uniqueId = spec.uniqueId;
            info.category = "OSX";
            return info;
        }

        std::vector<std::string> choiceNames(const ParamChoice<int>& choice)
        {
            std::vector<std::string> names;
            for (unsigned i = 0; i < choice.getNumChoices(); ++i)
                names.push_back(choice.getNameOfChoice(i));
            return names;
        }

        class AVFCaptureDeviceTest : public ::testing::Test
        {
        protected:
            void SetUp() override { backend = ScriptedAVCapture::install(); }

            void TearDown() override
            {
                device.reset();
                EXPECT_EQ(backend->getLiveSessions(), 0) << "a session outlived its device";
                EXPECT_EQ(backend->getUnbalancedLocks(), 0) << "a configuration lock was never given back";
                ScriptedAVCapture::uninstall();
                AVFCapture::lockRetryTimeoutMs = 3000;
            }

            void open(const ScriptedAVCapture::DeviceSpec& spec)
            {
                backend->addDevice(spec);
                device = std::make_unique<AVFCaptureDevice>(infoFor(spec));
                ASSERT_TRUE(device->initDevice());
                settle();
            }

            // Everything queued on the device's queue so far has run.
            void settle()
            {
                if (device != nullptr && device->getCapture() != nullptr)
                    device->getCapture()->getQueue()->sync([] {});
            }

            ManualTime time;
            std::shared_ptr<ScriptedAVCapture> backend;
            std::unique_ptr<AVFCaptureDevice> device;
        };

        TEST_F(AVFCaptureDeviceTest, ListsVideoDevicesWithTheirSupportedPresetsInPresetOrder)
        {
            backend->addDevice(camera());
            ScriptedAVCapture::DeviceSpec microphone = camera("mic-1");
            microphone.video = false;
            backend->addDevice(microphone);
            std::vector<CaptureDeviceInfo*> infos;
            AVFCaptureDevice::getAvailableDevices(infos);
            ASSERT_EQ(infos.size(), 1u);
            EXPECT_EQ(infos[0]->name, "FaceTime Camera");
            EXPECT_EQ(infos[0]->description, "FaceTime Camera");
            EXPECT_EQ(infos[0]->uniqueId, "cam-1");
            EXPECT_EQ(infos[0]->category, "OSX");
            ASSERT_EQ(infos[0]->resolutions.size(), 3u);
            EXPECT_EQ(infos[0]->resolutions[0].width, 320);
            EXPECT_EQ(infos[0]->resolutions[1].width, 640);
            EXPECT_EQ(infos[0]->resolutions[2].height, 720);
            for (CaptureDeviceInfo* info : infos)
                delete info;
        }

        TEST_F(AVFCaptureDeviceTest, OpeningBuildsTheSessionAndOffersInputsAndFormats)
        {
            open(camera());
            EXPECT_EQ(backend->getCalls(),
                      (std::vector<std::string>{"setAlwaysDiscardsLateVideoFrames YES", "lockForConfiguration",
                                                "setActiveFormat 0", "setVideoSettings 640 x 480 BGRA",
                                                "unlockForConfiguration", "startRunning"}));
            EXPECT_EQ(choiceNames(*device->getFormatParam()),
                      (std::vector<std::string>{"640 x 480", "1280 x 720", "1920 x 1080"}));
            EXPECT_EQ(choiceNames(*device->getConnectionParam()), (std::vector<std::string>{"Front", "Back"}));
            EXPECT_EQ(device->getConnectionParam()->getValue(), 1) << "the active input is selected";
            EXPECT_EQ(device->getFormatParam()->getValue(), 0);
            EXPECT_EQ(device->getResolutionParam()->getNumChoices(), 0u);
            EXPECT_EQ(device->getTextureFormat(), Texture::BGRA8);
            EXPECT_EQ(device->getOrientation(), 1);
            const ParamView* view = device->getParams()->getViewForParam(*device->getConnectionParam());
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->getVisibility(), ParamView::visibilityShown);
        }

        TEST_F(AVFCaptureDeviceTest, ChoosingAFormatStopsReconfiguresAndRestartsTheSession)
        {
            open(camera());
            backend->clearCalls();
            device->getFormatParam()->setValueByIndex(1, ValueChangeInfo());
            EXPECT_TRUE(backend->getCalls().empty()) << "the device listens asynchronously";
            time.advance(0.0);
            settle();
            EXPECT_EQ(backend->getCalls(),
                      (std::vector<std::string>{"stopRunning", "lockForConfiguration", "setActiveFormat 1",
                                                "setVideoSettings 1280 x 720 BGRA", "unlockForConfiguration",
                                                "startRunning"}));
            EXPECT_EQ(device->getCapture()->getActiveFormat(), 1);
        }

        TEST_F(AVFCaptureDeviceTest, ChoosingAConnectionSelectsItsInputSourceUnderTheLock)
        {
            open(camera());
            backend->clearCalls();
            device->getConnectionParam()->setValueByIndex(0, ValueChangeInfo());
            time.advance(0.0);
            settle();
            EXPECT_EQ(backend->getCalls(),
                      (std::vector<std::string>{"stopRunning", "lockForConfiguration", "setActiveInputSource in-a",
                                                "unlockForConfiguration", "startRunning"}));
            EXPECT_EQ(device->getCapture()->getActiveInput(), 0);
        }

        TEST_F(AVFCaptureDeviceTest, ADeviceWithoutInputsHidesConnectionAndRefusesEveryIndex)
        {
            ScriptedAVCapture::DeviceSpec spec = camera();
            spec.inputs.clear();
            spec.activeInput = -1;
            open(spec);
            EXPECT_EQ(device->getConnectionParam()->getNumChoices(), 0u);
            EXPECT_EQ(device->getParams()->getViewForParam(*device->getConnectionParam())->getVisibility(),
                      ParamView::visibilityHidden);
            for (int index : {-1, 0, 1, 5})
                EXPECT_FALSE(device->getCapture()->setInput(index)) << index;
            EXPECT_EQ(device->getCapture()->getActiveInput(), -1);
        }

        TEST_F(AVFCaptureDeviceTest, AnInputSourceThatRaisesAnswersFalseAndGivesTheLockBack)
        {
            ScriptedAVCapture::DeviceSpec spec = camera();
            spec.inputRaises = true;
            open(spec);
            LogRecorder log;
            EXPECT_FALSE(device->getCapture()->setInput(0));
            EXPECT_TRUE(log.contains("input source refused")) << log.dump();
            EXPECT_EQ(backend->getUnbalancedLocks(), 0);
            EXPECT_FALSE(device->getCapture()->setInput(2)) << "out of range";
        }

        TEST_F(AVFCaptureDeviceTest, TheFormatLockIsRetriedThenGivenUpWithoutBlockingTheQueue)
        {
            ScriptedAVCapture::DeviceSpec spec = camera();
            spec.lockFailures = 2;
            LogRecorder log;
            open(spec);
            EXPECT_EQ(log.count(logError), 2u) << log.dump();
            EXPECT_TRUE(log.contains("Error: device in use by another application"));
            EXPECT_EQ(device->getCapture()->getActiveFormat(), 0) << "granted on the third try";

            AVFCapture::lockRetryTimeoutMs = 30;
            ScriptedAVCapture::DeviceSpec stuck = camera("cam-2");
            stuck.lockFailures = -1;
            log.clear();
            device.reset();
            open(stuck);
            EXPECT_TRUE(log.contains("Could not lock 'cam-2' for configuration; format 0 not set.")) << log.dump();
            EXPECT_EQ(device->getCapture()->getActiveFormat(), -1);
            EXPECT_TRUE(backend->deliverFrame("cam-2", 4, 2, 16, bgraFrame(4, 2, 16, 1)))
                << "the session still started";
            settle();
            std::shared_ptr<Pixels> pixels;
            EXPECT_TRUE(device->uploadToPixels(pixels)) << "frames still flow after the give-up";
        }

        TEST_F(AVFCaptureDeviceTest, ADeviceThatCannotBeOpenedStillOpensAndNeverDelivers)
        {
            ScriptedAVCapture::DeviceSpec spec = camera();
            spec.opens = false;
            LogRecorder log;
            open(spec);
            EXPECT_TRUE(log.contains("Error: Cannot use FaceTime Camera")) << log.dump();
            EXPECT_FALSE(device->getCapture()->hasSession());
            EXPECT_EQ(device->getFormatParam()->getNumChoices(), 3u);
            EXPECT_FALSE(backend->deliverFrame("cam-1", 4, 4, 16, bgraFrame(4, 4, 16, 0)));
            std::shared_ptr<Pixels> pixels;
            EXPECT_FALSE(device->uploadToPixels(pixels));
            device->updateTexture();
            EXPECT_EQ(device->getTexture(), nullptr);
        }

        TEST_F(AVFCaptureDeviceTest, PixelsTakeTheFrameSizeAndSkipRowPadding)
        {
            open(camera());
            auto pixels = std::make_shared<Pixels>(2, 2, 4, nullptr);
            const std::vector<uint8_t> frame = bgraFrame(5, 3, 32, 7);
            ASSERT_TRUE(backend->deliverFrame("cam-1", 5, 3, 32, frame));
            settle();
            ASSERT_TRUE(device->uploadToPixels(pixels));
            EXPECT_EQ(pixels->width, 5);
            EXPECT_EQ(pixels->height, 3);
            EXPECT_EQ(pixels->format, Texture::BGRA8);
            ASSERT_EQ(pixels->stride, 20);
            for (int y = 0; y < 3; ++y)
                EXPECT_EQ(0, std::memcmp(pixels->data + y * 20, frame.data() + y * 32, 20)) << "row " << y;
            EXPECT_FALSE(device->uploadToPixels(pixels)) << "no new frame since";

            std::shared_ptr<Pixels> fresh;
            ASSERT_TRUE(backend->deliverFrame("cam-1", 5, 3, 32, frame));
            settle();
            ASSERT_TRUE(device->uploadToPixels(fresh));
            ASSERT_NE(fresh, nullptr);
            EXPECT_EQ(fresh->width, 5);
            EXPECT_EQ(0, std::memcmp(fresh->data + 40, frame.data() + 64, 20));
            EXPECT_EQ(device->getTextureWidth(), 5);
            EXPECT_EQ(device->getTextureHeight(), 3);
        }

        TEST_F(AVFCaptureDeviceTest, DeInitStopsTheSessionAndDropsIt)
        {
            open(camera());
            EXPECT_EQ(backend->getLiveSessions(), 1);
            backend->clearCalls();
            device->deInitDevice();
            EXPECT_EQ(device->getCapture(), nullptr);
            EXPECT_EQ(backend->getLiveSessions(), 0);
            EXPECT_EQ(backend->getCalls(), std::vector<std::string>{"stopRunning"});
            EXPECT_FALSE(backend->deliverFrame("cam-1", 4, 4, 16, bgraFrame(4, 4, 16, 0)));
        }
    }
}
