#include "engine/devices/VXCaptureDeviceManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "VXDeckLinkSimFixture.h"
#include "engine/devices/VXCaptureDevice.h"
#include "engine/devices/VXCaptureDeviceDeckLink.h"
#include "engine/devices/VXCaptureDeviceExtension.h"
#include "engine/devices/VXCaptureDeviceInstanceManager.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/scripted/VXManualTime.h"
#include "engine/devices/scripted/VXScriptedAVCapture.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "engine/devices/scripted/VXScriptedIOKit.h"
#include "platform/runloop/VXRunLoop.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/video/sources/VXVideoSource.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        ScriptedAVCapture::DeviceSpec camera(const std::string& name, const std::string& id)
        {
            ScriptedAVCapture::DeviceSpec spec;
            spec.name = name;
            spec.uniqueId = id;
            spec.formats = {{640, 480}};
            spec.presets = {"AVCaptureSessionPreset640x480"};
            return spec;
        }

        struct DeleteSource
        {
            void operator()(VideoSource* source) const { delete source; }
        };
        using SourcePtr = std::unique_ptr<VideoSource, DeleteSource>;

        class CaptureDeviceManagerTest : public DeckLinkSimTest
        {
        protected:
            void SetUp() override
            {
                DeckLinkSimTest::SetUp();
                backend = ScriptedAVCapture::install();
                manager = std::make_unique<CaptureDeviceManager>(detector);
                CaptureDeviceManager::setCurrent(manager.get());
            }

            void TearDown() override
            {
                CaptureDeviceManager::clearCurrent(manager.get());
                manager.reset();
                EXPECT_EQ(instanceManager.getNumDevices(), 0) << "an opened device was never released";
                EXPECT_EQ(backend->getLiveSessions(), 0);
                ScriptedAVCapture::uninstall();
                DeckLinkSimTest::TearDown();
            }

            std::vector<std::string> listedIds()
            {
                std::vector<std::string> ids;
                for (int i = 0; i < manager->getNumInputDevices(); ++i)
                    ids.push_back(manager->getInputDeviceInfo(i)->uniqueId);
                return ids;
            }

            std::vector<std::string> extensionIds()
            {
                std::vector<std::string> ids;
                for (int i = 0; auto extension = manager->getDeviceExtension(i); ++i)
                    ids.push_back(extension->getExtensionUniqueId());
                return ids;
            }

            void usbEvent(bool connected)
            {
                detector.callListeners(connected ? &DeviceChangeListener::DeviceGotConnected
                                                 : &DeviceChangeListener::DeviceGotDisconnected,
                                       DeviceCategoryUSB, CallType::standard);
            }

            std::shared_ptr<ScriptedAVCapture> backend;
            DeviceChangeDetector detector;
            std::unique_ptr<CaptureDeviceManager> manager;
        };

        struct CardName
        {
            const char* name;
            const char* deviceName;
        };

        class BlackmagicNameTest : public CaptureDeviceManagerTest, public ::testing::WithParamInterface<CardName>
        {
        };

        // Cards appear as cameras too; only the card side lists them.
        TEST_P(BlackmagicNameTest, CameraNamedAfterTheCardMakerIsDropped)
        {
            backend->addDevice(camera("Cam", "cam"));
            backend->addDevice(camera(GetParam().deviceName, "card-as-camera"));
            EXPECT_EQ(listedIds(), (std::vector<std::string>{"cam"}));
        }

        INSTANTIATE_TEST_SUITE_P(Names, BlackmagicNameTest,
                                 ::testing::Values(CardName{"Lower", "blackmagic"}, CardName{"Upper", "BLACKMAGIC"},
                                                   CardName{"Mixed", "UltraStudio BlackMagic Design"},
                                                   CardName{"Odd", "bLaCkMaGiC 4K"}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(CaptureDeviceManagerTest, CamerasThenCardsWithTheirExtensionsListedLazily)
        {
            backend->addDevice(camera("Cam A", "a"));
            sim->addCard(simCard(1, 0));
            sim->addCard(simCard(0, 1)); // output only
            LogRecorder log;
            EXPECT_EQ(manager->getDeviceExtension(0), nullptr) << "the extension getter lists nothing";
            EXPECT_EQ(log.count(), 0u);

            ASSERT_EQ(manager->getNumInputDevices(), 3);
            EXPECT_TRUE(log.contains("Enumerating capture devices."));
            EXPECT_TRUE(log.contains("-Cam A"));
            const CaptureDeviceInfo* card = manager->getInputDeviceInfo(1);
            ASSERT_NE(card, nullptr);
            EXPECT_EQ(card->category, CaptureDeviceDeckLink::deviceCategory);
            EXPECT_FALSE(manager->getInputDeviceInfo(2)->hasInput);
            CaptureDeviceInfo copy;
            ASSERT_TRUE(manager->getInputDeviceInfo(2, copy));
            EXPECT_EQ(copy.uniqueId, manager->getInputDeviceInfo(2)->uniqueId);
            EXPECT_FALSE(copy.hasInput) << "the copy carries the card's flags";
            EXPECT_FALSE(manager->getInputDeviceInfo(3, copy));
            EXPECT_EQ(manager->getNumOutputDevices(), 1);
            EXPECT_EQ(manager->getInputDeviceInfo(3), nullptr);
            EXPECT_EQ(manager->getInputDeviceInfo("nobody"), nullptr);
            CaptureOutputDeviceInfo output;
            EXPECT_FALSE(manager->getOutputDeviceInfo(1, output));

            EXPECT_EQ(extensionIds(), listedIds());
            auto extension = manager->getDeviceExtension(0);
            EXPECT_EQ(extension->getExtensionName(), "Cam A");
            EXPECT_EQ(extension->getCategoryName(), "OSX Capture Devices");
            EXPECT_FALSE(extension->isHidden());

            log.clear();
            manager->getNumInputDevices();
            EXPECT_EQ(log.count(), 0u) << "listed once until a device changes";
        }

        TEST_F(CaptureDeviceManagerTest, WithoutTheCardDriverCamerasAreStillListed)
        {
            backend->addDevice(camera("Cam A", "a"));
            sim->failCall("CreateDeckLinkIteratorInstance", 0);
            LogRecorder log;
            EXPECT_EQ(manager->getNumInputDevices(), 1);
            EXPECT_TRUE(log.contains("WARNING: Failed getting available decklink capture devices.")) << log.dump();
        }

        TEST_F(CaptureDeviceManagerTest, UnplugKeepsTheOrderAndNewDevicesComeFirstWithTheirExtensions)
        {
            for (const char* id : {"a", "b", "c"})
                backend->addDevice(camera(std::string("Cam ") + id, id));
            ASSERT_EQ(listedIds(), (std::vector<std::string>{"a", "b", "c"}));

            backend->removeDevice("b");
            backend->addDevice(camera("Cam d", "d"));
            backend->addDevice(camera("Cam e", "e"));
            usbEvent(false);
            EXPECT_EQ(listedIds(), (std::vector<std::string>{"d", "e", "a", "c"}));
            EXPECT_EQ(extensionIds(), listedIds()) << "each extension still names the info at its index";

            backend->removeDevice("a");
            usbEvent(true);
            EXPECT_EQ(listedIds(), (std::vector<std::string>{"d", "e", "c"}));
            EXPECT_EQ(extensionIds(), listedIds());
        }

        TEST_F(CaptureDeviceManagerTest, DisplayEventsListNothingAgain)
        {
            backend->addDevice(camera("Cam a", "a"));
            ASSERT_EQ(manager->getNumInputDevices(), 1);
            backend->addDevice(camera("Cam b", "b"));
            LogRecorder log;
            detector.callListeners(&DeviceChangeListener::DeviceGotConnected, DeviceCategoryDisplay,
                                   CallType::standard);
            EXPECT_EQ(manager->getNumInputDevices(), 1);
            EXPECT_EQ(log.count(), 0u);
        }

        TEST_F(CaptureDeviceManagerTest, SourcesOfOneDeviceShareItUntilTheLastRelease)
        {
            backend->addDevice(camera("Cam a", "a"));
            SourcePtr first(manager->createSource("a"));
            SourcePtr second(manager->createSource("a"));
            ASSERT_NE(first, nullptr);
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(first->getCreator(), manager.get());
            EXPECT_EQ(instanceManager.getReferenceCount("a"), 2);
            EXPECT_EQ(backend->getLiveSessions(), 1) << "one device, one session";
            first.reset();
            EXPECT_EQ(instanceManager.getReferenceCount("a"), 1);
            EXPECT_EQ(backend->getLiveSessions(), 1);
            second.reset();
            EXPECT_EQ(instanceManager.getNumDevices(), 0);
            EXPECT_EQ(backend->getLiveSessions(), 0);

            EXPECT_EQ(manager->createSource("missing"), nullptr);
            SourcePtr byIndex(manager->getDefaultDeviceAsSource());
            ASSERT_NE(byIndex, nullptr);
            EXPECT_EQ(byIndex->getCreator(), nullptr);
            EXPECT_EQ(manager->getDeviceAsSource(1), nullptr);
        }

        // A device that leaves while a source shows it: its info and extension
        // go, the opened device stays until the source lets it go.
        TEST_F(CaptureDeviceManagerTest, AVanishedDeviceStaysOpenForTheSourceHoldingIt)
        {
            backend->addDevice(camera("Cam a", "a"));
            backend->addDevice(camera("Cam b", "b"));
            CaptureDevice* device = manager->getInputDevice("a");
            ASSERT_NE(device, nullptr);
            EXPECT_TRUE(device->isStarted());

            backend->removeDevice("a");
            usbEvent(false);
            EXPECT_EQ(listedIds(), (std::vector<std::string>{"b"}));
            EXPECT_EQ(extensionIds(), (std::vector<std::string>{"b"}));
            ASSERT_EQ(instanceManager.getReferenceCount("a"), 1);
            EXPECT_EQ(device->getUniqueId(), "a") << "the device is still alive";

            manager->releaseDevice(device);
            EXPECT_EQ(instanceManager.getNumDevices(), 0);
            EXPECT_EQ(manager->getInputDevice("a"), nullptr) << "gone devices do not open";
        }

        // Plugged in again, the id opens a new device; the dead one stays
        // with its holder until released.
        TEST_F(CaptureDeviceManagerTest, AReplugedDeviceOpensAnew)
        {
            backend->addDevice(camera("Cam a", "a"));
            CaptureDevice* dead = manager->getInputDevice("a");
            ASSERT_NE(dead, nullptr);
            backend->removeDevice("a");
            usbEvent(false);
            backend->addDevice(camera("Cam a", "a"));
            usbEvent(true);

            CaptureDevice* fresh = manager->getInputDevice("a");
            ASSERT_NE(fresh, nullptr);
            EXPECT_NE(fresh, dead);
            EXPECT_TRUE(fresh->isStarted());
            EXPECT_EQ(dead->getUniqueId(), "a") << "the dead device is still alive for its holder";
            EXPECT_EQ(instanceManager.getNumDevices(), 2);
            manager->releaseDevice(dead);
            EXPECT_EQ(instanceManager.getReferenceCount("a"), 1);
            EXPECT_EQ(manager->getInputDevice("a"), fresh) << "the live device is shared";
            manager->releaseDevice(fresh);
            manager->releaseDevice(fresh);
        }

        TEST_F(CaptureDeviceManagerTest, ADeviceThatDoesNotOpenIsNotRegistered)
        {
            sim->addCard(simCard(1, 0));
            ASSERT_EQ(manager->getNumInputDevices(), 1);
            sim->failCall("SetCallback", 0);
            EXPECT_EQ(manager->createSource(manager->getInputDeviceInfo(0)->uniqueId), nullptr);
            EXPECT_EQ(instanceManager.getNumDevices(), 0);
        }

        TEST_F(CaptureDeviceManagerTest, SavedCaptureInfoMakesASourceForTheSameDevice)
        {
            backend->addDevice(camera("Cam a", "a"));
            SourcePtr source(manager->createSource("a"));
            ASSERT_NE(source, nullptr);

            XmlDocument document;
            XmlNode* element = source->writeState(document, true);
            ASSERT_NE(element, nullptr);
            const XmlNode* info = element->first_node("CaptureInfo");
            ASSERT_NE(info, nullptr) << "the creator's identifying child";
            EXPECT_EQ(readAttribute(info->first_attribute("deviceId"), std::string()), "a");

            XmlCapable* made = manager->createSourceFromXML(*element);
            SourcePtr restored(dynamic_cast<VideoSource*>(made));
            ASSERT_NE(restored, nullptr);
            EXPECT_EQ(restored->getSourceInfo().uniqueId, "a");
            EXPECT_EQ(instanceManager.getReferenceCount("a"), 2) << "the restored source shares the device";

            XmlNode* bare = XmlCapable::createNode(document, "VideoSource");
            EXPECT_EQ(manager->createSourceFromXML(*bare), nullptr);
        }

        // A camera plugged in: the detector's debounced USB event (pumped on
        // this thread's run loop) lists it.
        TEST(CaptureDeviceManagerHotPlugTest, APluggedCameraIsListedAfterTheDetectorsEvent)
        {
            ManualTime time;
            auto iokit = ScriptedIOKit::install();
            auto graphics = ScriptedCoreGraphics::install();
            auto cameras = ScriptedAVCapture::install();
            {
                DeviceChangeDetector detector;
                CaptureDeviceManager manager(detector);
                EXPECT_EQ(manager.getNumInputDevices(), 0);
                cameras->addDevice(camera("Cam a", "a"));
                iokit->plug("IOUSBDevice");
                RunLoop::pumpCurrent();
                EXPECT_EQ(manager.getNumInputDevices(), 0) << "not before the burst settles";
                time.advance(2500.0);
                ASSERT_EQ(manager.getNumInputDevices(), 1);
                EXPECT_EQ(manager.getInputDeviceInfo(0)->uniqueId, "a");
            }
            RunLoop::pumpCurrent();
            ScriptedAVCapture::uninstall();
            ScriptedCoreGraphics::uninstall();
            ScriptedIOKit::uninstall();
        }

        // Listing again on the detector's thread while other threads ask.
        TEST_F(CaptureDeviceManagerTest, ListingAgainAgainstGetters)
        {
            backend->addDevice(camera("Cam a", "a"));
            ASSERT_EQ(manager->getNumInputDevices(), 1);
            std::atomic<bool> done{false};
            std::thread plugging([&] {
                for (int i = 0; i < 30; ++i)
                {
                    const std::string id = "x" + std::to_string(i % 3);
                    if (i % 2 == 0)
                        backend->addDevice(camera("Cam " + id, id));
                    else
                        backend->removeDevice(id);
                    usbEvent(i % 2 == 0);
                }
                done = true;
            });
            int asked = 0;
            while (! done || asked < 5)
            {
                CaptureDeviceInfo info;
                for (int i = 0; i < manager->getNumInputDevices(); ++i)
                {
                    if (manager->getInputDeviceInfo(i, info))
                    {
                        EXPECT_FALSE(info.uniqueId.empty());
                    }
                }
                if (auto extension = manager->getDeviceExtension(0))
                {
                    EXPECT_FALSE(extension->getExtensionUniqueId().empty());
                }
                if (CaptureDevice* device = manager->getInputDevice("a"))
                    manager->releaseDevice(device);
                ++asked;
            }
            plugging.join();
            EXPECT_EQ(extensionIds(), listedIds());
        }
    }
}
