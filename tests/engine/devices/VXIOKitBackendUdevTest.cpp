// Hot-plug through udev's monitor with real kernel events: writing an action
// to a PCI device's uevent file makes the kernel announce that device again
// (the device itself is untouched).

#include "platform/iokit/VXIOKitBackendUdev.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/VXDeviceChangeListener.h"
#include "engine/devices/scripted/VXScriptedAVCapture.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "platform/runloop/VXRunLoop.h"

namespace vx::test
{
    namespace
    {
        struct Events : DeviceChangeListener
        {
            void DeviceGotConnected(DeviceCategory category) override { connected.push_back(int(category)); }
            void DeviceGotDisconnected(DeviceCategory category) override { disconnected.push_back(int(category)); }
            std::vector<int> connected, disconnected;
        };

        std::string firstPCIUevent()
        {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator("/sys/bus/pci/devices", error))
                return (entry.path() / "uevent").string();
            return {};
        }

        // Empty on success, else why the kernel was not asked.
        std::string announce(const std::string& ueventPath, const char* action)
        {
            std::ofstream file(ueventPath);
            if (file.is_open())
                file << action << std::flush;
            if (! file.is_open() || ! file.good())
                return ueventPath + ": " + std::strerror(errno);
            return {};
        }

        bool pumpUntil(const std::function<bool()>& done)
        {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (! done() && std::chrono::steady_clock::now() < end)
            {
                RunLoop::pumpCurrent();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            return done();
        }

        TEST(IOKitBackendUdevTest, KernelPCIEventsReachTheDetectorOnItsThreadAndTheManagerRelists)
        {
            std::string error;
            std::shared_ptr<iokit::Backend> udev = iokit::createUdevBackend(error);
            if (udev == nullptr)
                GTEST_SKIP() << "No udev monitor on this machine: " << error;
            const std::string uevent = firstPCIUevent();
            if (uevent.empty())
                GTEST_SKIP() << "No PCI device in /sys/bus/pci/devices";
            EXPECT_TRUE(udev->serviceMatching("IOUSBDevice"));
            EXPECT_FALSE(udev->serviceMatching("IODisplayConnect"));

            iokit::setBackend(udev);
            ScriptedCoreGraphics::install();
            std::shared_ptr<ScriptedAVCapture> cameras = ScriptedAVCapture::install();
            struct Restore
            {
                ~Restore()
                {
                    ScriptedAVCapture::uninstall();
                    ScriptedCoreGraphics::uninstall();
                    iokit::setBackend(nullptr);
                }
            } restore;
            std::string refused;
            {
                DeviceChangeDetector detector;
                Events events;
                detector.addListener(events, false);
                struct Unlisten
                {
                    ~Unlisten() { detector.removeListener(events); }
                    DeviceChangeDetector& detector;
                    Events& events;
                } unlisten{detector, events};
                CaptureDeviceManager manager(detector);
                EXPECT_EQ(RunLoop::pumpCurrent(), 0) << "the devices present are not reported";
                EXPECT_EQ(manager.getNumInputDevices(), 0);

                ScriptedAVCapture::DeviceSpec spec;
                spec.name = "Card Camera";
                spec.uniqueId = "card-camera";
                cameras->addDevice(spec);
                refused = announce(uevent, "add");
                if (refused.empty())
                {
                    ASSERT_TRUE(pumpUntil([&] { return ! events.connected.empty(); }));
                    EXPECT_EQ(events.connected.front(), 3);
                    EXPECT_EQ(manager.getNumInputDevices(), 1) << "the manager lists again on a PCI arrival";

                    cameras->removeDevice("card-camera");
                    ASSERT_EQ(announce(uevent, "remove"), "");
                    ASSERT_TRUE(pumpUntil([&] { return ! events.disconnected.empty(); }));
                    EXPECT_EQ(events.disconnected.front(), 3);
                    EXPECT_EQ(manager.getNumInputDevices(), 0);
                }
            }
            if (! refused.empty())
                GTEST_SKIP() << "The kernel cannot be asked for events here (needs root and writable sysfs): "
                             << refused;
        }
    }
}
