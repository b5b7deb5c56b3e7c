// The X11 backend against a real Xorg with the dummy driver: monitors and
// their changes through the engine's display detector and collection, the
// window list, clicks, the choice of backend and a server that goes away.

#include "platform/coregraphics/VXCoreGraphicsX11.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

#include "VXX11TestSupport.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/VXDisplayChangeDetector.h"
#include "engine/devices/VXDisplayCollection.h"
#include "engine/devices/VXScreenCaptureWrapper.h"
#include "engine/devices/scripted/VXManualTime.h"
#include "platform/runloop/VXRunLoop.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        // Pumps this thread's run loop until done answers true; false after timeoutMs.
        bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
        {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            while (! done())
            {
                if (std::chrono::steady_clock::now() > deadline)
                    return false;
                RunLoop::pumpCurrent();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return true;
        }

        // Pumps for ms: the rest of a burst of server events comes in.
        void pumpFor(int ms)
        {
            pumpUntil([] { return false; }, ms);
        }

        class Recorder : public DeviceChangeListener
        {
        public:
            void DeviceGotConnected(DeviceCategory c) override { events.push_back("connected " + std::to_string(c)); }
            void DeviceGotDisconnected(DeviceCategory c) override
            {
                events.push_back("disconnected " + std::to_string(c));
            }
            void DeviceChanged(DeviceCategory c) override { events.push_back("changed " + std::to_string(c)); }
            std::vector<std::string> events;
        };

        // The engine's display detector over the backend, on manual time.
        class X11DisplayTest : public X11Test
        {
        protected:
            void SetUp() override
            {
                X11Test::SetUp();
                if (IsSkipped() || HasFatalFailure())
                    return;
                cg::setBackend(connectX11(*server));
                detector.reset(DisplayChangeDetector::Create());
                detector->addListener(recorder, false);
            }

            void TearDown() override
            {
                if (detector != nullptr)
                    detector->removeListener(recorder);
                detector.reset();
                X11Test::TearDown();
            }

            // Waits for the burst a change makes, then moves time to the
            // detector's decision: nothing at 249 ms, the event at 250.
            void expectAfter250Ms(const std::vector<std::string>& expected)
            {
                auto* timer = dynamic_cast<OverrideableTimer*>(detector.get());
                ASSERT_TRUE(pumpUntil([&] { return time.isRunning(*timer); }, 5000)) << "no reconfiguration arrived";
                pumpFor(300);
                time.advance(249.0);
                EXPECT_TRUE(recorder.events.empty());
                time.advance(1.0);
                EXPECT_EQ(recorder.events, expected);
                recorder.events.clear();
            }

            ManualTime time;
            std::unique_ptr<DisplayChangeDetector> detector;
            Recorder recorder;
        };

        TEST_F(X11DisplayTest, AModeChangeGivesDeviceChangedAndMonitorsComingAndGoingConnectOrDisconnect)
        {
            ASSERT_TRUE(server->xrandr("--output DUMMY0 --mode 1280x720"));
            expectAfter250Ms({"changed 0"});
            ASSERT_TRUE(server->xrandr("--output DUMMY0 --mode 1920x1080"));
            expectAfter250Ms({"changed 0"});

            ASSERT_TRUE(server->xrandr("--setmonitor V1 640/100x480/100+1920+0 none"));
            expectAfter250Ms({"connected 0"});
            ASSERT_TRUE(server->xrandr("--delmonitor V1"));
            expectAfter250Ms({"disconnected 0"});
        }

        TEST_F(X11DisplayTest, MonitorsAreListedWithTheirBoundsAndThePrimaryFirstAsked)
        {
            ASSERT_TRUE(server->xrandr("--setmonitor V1 640/100x480/100+1920+0 none"));
            ASSERT_TRUE(server->xrandr("--setmonitor V2 800/100x600/100+1920+480 none"));
            uint32_t count = 0;
            std::shared_ptr<cg::Backend> backend = cg::getBackend();
            EXPECT_EQ(backend->getOnlineDisplayList(0, nullptr, &count), cg::kCGErrorSuccess);
            EXPECT_EQ(count, 3u) << "an empty list still counts every monitor";
            cg::DirectDisplayID two[2] = {};
            backend->getOnlineDisplayList(2, two, &count);
            EXPECT_EQ(count, 2u);

            DeviceChangeDetector devices;
            DisplayCollection collection(devices);
            ASSERT_NE(collection.getDisplayItemByIndex(2), nullptr);
            const DisplayCollectionItem* primary = collection.getPrimaryDisplayItem();
            ASSERT_NE(primary, nullptr);
            EXPECT_EQ(primary->getNameIncludingResolution(), "Display 1 (1920x1080)");
            const DisplayCollectionItem* second = collection.getDisplayItemByIndex(1);
            EXPECT_EQ(second->bounds, RectT<int32_t>(1920, 0, 2560, 480));
            EXPECT_EQ(collection.getDisplayItemByIndex(2)->bounds, RectT<int32_t>(1920, 480, 2720, 1080));
            EXPECT_EQ(collection.getDisplayContaining(TVec2<float>(2000.0f, 700.0f)), collection.getDisplayItemByIndex(2));

            ASSERT_TRUE(server->xrandr("--delmonitor V1"));
            ASSERT_TRUE(server->xrandr("--delmonitor V2"));
            backend->getOnlineDisplayList(0, nullptr, &count);
            EXPECT_EQ(count, 1u);
            pumpFor(100);
            time.advance(250.0);
            recorder.events.clear();
        }

        TEST_F(X11Test, TheServersWindowsAreListedWithNamesAndOwnersAndTakeClicks)
        {
            const long self = long(getpid());
            const xcb_window_t named = windows->create(300, 200, 100, 80, {"Café ✓", "ignored", "vxtest", "VXTest", self});
            const xcb_window_t legacy = windows->create(10, 10, 30, 30, {"", "caf\xe9", "legacy", "Legacy", 0});
            const xcb_window_t nameless = windows->create(50, 10, 30, 30, {"", "", "", "Nameless", 0});
            const xcb_window_t ownerless = windows->create(90, 10, 30, 30, {"", "orphan", "", "", 0});
            const xcb_window_t desktop = windows->create(0, 0, 30, 30, {"", "desktop", "desk", "Desk", 0, true});
            cg::setBackend(connectX11(*server));

            ScreenCaptureWrapper wrapper;
            ParamChoice<int> choice("Windows");
            EXPECT_TRUE(wrapper.getWindows(choice));
            std::vector<std::pair<std::string, int>> listed;
            for (size_t i = 0; i < choice.getNumChoices(); ++i)
                listed.emplace_back(choice.getNameOfChoice(i), choice.getChoices()[i].getValue());
            // Front to back; the window without WM_CLASS has no owner and the
            // desktop is a desktop element: both are left out.
            const std::vector<std::pair<std::string, int>> expected = {
                {"Nameless", int(nameless)}, {"Legacy - café", int(legacy)}, {"VXTest - Café ✓", int(named)}};
            std::vector<std::pair<std::string, int>> ours;
            for (const auto& entry : listed)
                if (entry.second == int(named) || entry.second == int(legacy) || entry.second == int(nameless) ||
                    entry.second == int(ownerless) || entry.second == int(desktop))
                    ours.push_back(entry);
            EXPECT_EQ(ours, expected);

            wrapper.setWindowId(int(named));
            EXPECT_EQ(wrapper.getOwnerPid(), self);
            wrapper.sendMouseDown(350, 240);
            EXPECT_EQ(windows->waitForButtonPress(named, 5000), std::make_pair(50, 40));
        }

        TEST_F(X11Test, WithoutAnXServerTheEmptyBackendIsChosenAndSaidOnce)
        {
            LogRecorder log;
            std::shared_ptr<cg::Backend> none = cg::createPlatformBackend(":65000");
            ASSERT_NE(none, nullptr);
            EXPECT_EQ(log.count(), 1u) << log.dump();
            EXPECT_TRUE(log.contains("Displays and windows: none, no usable X display :65000")) << log.dump();
            uint32_t count = 7;
            none->getOnlineDisplayList(0, nullptr, &count);
            EXPECT_EQ(count, 0u);
            EXPECT_TRUE(none->windowListCopyWindowInfo(cg::kCGWindowListOptionOnScreenOnly, 0).empty());

            log.clear();
            std::shared_ptr<cg::Backend> x11 = cg::createPlatformBackend(server->getDisplayName().c_str());
            EXPECT_EQ(log.count(), 1u) << log.dump();
            EXPECT_TRUE(log.contains("Displays and windows: X11 on display " + server->getDisplayName())) << log.dump();
            x11->getOnlineDisplayList(0, nullptr, &count);
            EXPECT_EQ(count, 1u);
        }

        size_t threadCount()
        {
            size_t count = 0;
            for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
                ++count;
            return count;
        }

        TEST_F(X11Test, EventsAreWatchedOnlyWhileSomeoneListens)
        {
            // A module being unloaded must find none of its threads running.
            const size_t before = threadCount();
            cg::setBackend(connectX11(*server));
            EXPECT_EQ(threadCount(), before);
            {
                std::unique_ptr<DisplayChangeDetector> detector(DisplayChangeDetector::Create());
                EXPECT_EQ(threadCount(), before + 1);
            }
            EXPECT_EQ(threadCount(), before);
        }

        TEST(X11ServerGoneTest, AServerThatGoesAwayLeavesNoDisplaysSaidOnceAndTheEngineRunning)
        {
            XorgServer own;
            if (! own.isRunning())
                GTEST_SKIP() << "no X server for these tests: " << own.getWhyNot();
            // The log hook is set before the event thread starts: it is read unlocked.
            LogRecorder log;
            ManualTime time;
            std::shared_ptr<cg::Backend> backend = connectX11(own);
            ASSERT_NE(backend, nullptr);
            cg::setBackend(backend);
            std::unique_ptr<DisplayChangeDetector> detector(DisplayChangeDetector::Create());
            Recorder recorder;
            detector->addListener(recorder, false);

            own.stop();
            auto* timer = dynamic_cast<OverrideableTimer*>(detector.get());
            ASSERT_TRUE(pumpUntil([&] { return time.isRunning(*timer); }, 5000)) << "the monitors were not removed";
            time.advance(250.0);
            EXPECT_EQ(recorder.events, std::vector<std::string>{"disconnected 0"});

            uint32_t count = 7;
            backend->getOnlineDisplayList(0, nullptr, &count);
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(backend->mainDisplayID(), 0u);
            EXPECT_TRUE(backend->windowListCopyWindowInfo(cg::kCGWindowListOptionOnScreenOnly, 0).empty());
            EXPECT_EQ(backend->windowListCreateImage(cg::kCGWindowListOptionIncludingWindow, 1), nullptr);
            size_t said = 0;
            for (const LogRecorder::Line& line : log.lines())
                said += line.text.find("the X server has gone") != std::string::npos ? 1 : 0;
            EXPECT_EQ(said, 1u) << log.dump();

            detector->removeListener(recorder);
            detector.reset();
            cg::setBackend(nullptr);
        }
    }
}
