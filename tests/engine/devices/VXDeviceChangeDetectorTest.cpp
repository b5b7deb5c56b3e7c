#include "engine/devices/VXDeviceChangeDetector.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/devices/VXIOKitServiceDetector.h"
#include "engine/devices/scripted/VXManualTime.h"
#include "engine/devices/scripted/VXScriptedCoreGraphics.h"
#include "engine/devices/scripted/VXScriptedIOKit.h"
#include "platform/runloop/VXRunLoop.h"

namespace vx::test
{
    namespace
    {
        struct Event
        {
            const char* kind;
            int category;
            double time;
        };

        // Records what reaches a synchronous listener, with the manual time.
        class Recorder : public DeviceChangeListener
        {
        public:
            explicit Recorder(const ManualTime* clock = nullptr) : time(clock) {}
            void DeviceGotConnected(DeviceCategory c) override { add("connected", c); }
            void DeviceGotDisconnected(DeviceCategory c) override { add("disconnected", c); }
            void DeviceChanged(DeviceCategory c) override { add("changed", c); }

            std::vector<Event> events;

        private:
            void add(const char* kind, DeviceCategory c)
            {
                events.push_back({kind, int(c), time != nullptr ? time->now() : 0.0});
            }
            const ManualTime* time;
        };

        ScriptedCoreGraphics::Display display(cg::DirectDisplayID id, double x)
        {
            return {id, {x, 0.0, 1920.0, 1080.0}, 0};
        }

        class DeviceChangeDetectorTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                iokit = ScriptedIOKit::install();
                graphics = ScriptedCoreGraphics::install();
                graphics->setDisplays({display(1, 0.0)}, 1);
                RunLoop::pumpCurrent(); // nothing of earlier cases
            }

            void TearDown() override
            {
                detector.reset();
                RunLoop::pumpCurrent();
                EXPECT_EQ(IOKitServiceDetector::getInstance(), nullptr);
                EXPECT_EQ(iokit->getLiveObjects(), 0) << "an IOKit object outlived the detectors";
                EXPECT_EQ(graphics->getNumReconfigurationCallbacks(), 0);
                ScriptedIOKit::uninstall();
                ScriptedCoreGraphics::uninstall();
            }

            void makeDetector()
            {
                detector = std::make_unique<DeviceChangeDetector>();
                detector->addListener(recorder, false);
            }

            ManualTime time;
            std::shared_ptr<ScriptedIOKit> iokit;
            std::shared_ptr<ScriptedCoreGraphics> graphics;
            Recorder recorder{&time};
            std::unique_ptr<DeviceChangeDetector> detector;
        };

        TEST_F(DeviceChangeDetectorTest, UsbBurstGivesOneEventNoEarlierThanTheDelayAfterItsFirstNotification)
        {
            makeDetector();
            for (double at : {0.0, 300.0, 400.0})
            {
                time.advance(at - time.now());
                iokit->plug("IOUSBDevice");
                EXPECT_EQ(RunLoop::pumpCurrent(), 1);
            }
            time.advance(2499.0 - time.now());
            EXPECT_TRUE(recorder.events.empty());
            time.advance(1.0);
            ASSERT_EQ(recorder.events.size(), 1u);
            EXPECT_STREQ(recorder.events[0].kind, "connected");
            EXPECT_EQ(recorder.events[0].category, 2);
            EXPECT_DOUBLE_EQ(recorder.events[0].time, 2500.0);
            time.advance(10000.0);
            EXPECT_EQ(recorder.events.size(), 1u) << "later updates find the flags cleared";
        }

        TEST_F(DeviceChangeDetectorTest, UsbPlugAndUnplugInOneBurstGiveOneOfEachConnectedFirst)
        {
            makeDetector();
            iokit->unplug("IOUSBDevice");
            iokit->plug("IOUSBDevice", 2);
            iokit->unplug("IOUSBDevice");
            RunLoop::pumpCurrent();
            time.advance(2500.0);
            ASSERT_EQ(recorder.events.size(), 2u);
            EXPECT_STREQ(recorder.events[0].kind, "connected");
            EXPECT_STREQ(recorder.events[1].kind, "disconnected");
        }

        TEST_F(DeviceChangeDetectorTest, PciEventsPassAtOnceAsCategoryThree)
        {
            makeDetector();
            iokit->plug("IOPCIDevice");
            iokit->unplug("IOPCIDevice");
            RunLoop::pumpCurrent();
            ASSERT_EQ(recorder.events.size(), 2u);
            EXPECT_STREQ(recorder.events[0].kind, "connected");
            EXPECT_EQ(recorder.events[0].category, 3);
            EXPECT_STREQ(recorder.events[1].kind, "disconnected");
            EXPECT_EQ(recorder.events[1].category, 3);
            EXPECT_DOUBLE_EQ(recorder.events[1].time, 0.0);
        }

        TEST_F(DeviceChangeDetectorTest, NothingArrivesUntilTheRegisteringThreadPumps)
        {
            makeDetector();
            iokit->plug("IOPCIDevice");
            graphics->reconfigure(1, cg::kCGDisplaySetModeFlag);
            time.advance(5000.0);
            EXPECT_TRUE(recorder.events.empty());

            std::shared_ptr<RunLoop> loop = RunLoop::getCurrent();
            int ranElsewhere = -1;
            std::thread other([&] { ranElsewhere = loop->pump() + RunLoop::pumpCurrent(); });
            other.join();
            EXPECT_EQ(ranElsewhere, 0) << "another thread cannot run this thread's notifications";
            EXPECT_TRUE(recorder.events.empty());

            EXPECT_EQ(RunLoop::pumpCurrent(), 2);
            ASSERT_EQ(recorder.events.size(), 1u);
            EXPECT_EQ(recorder.events[0].category, 3);
            time.advance(250.0);
            ASSERT_EQ(recorder.events.size(), 2u);
            EXPECT_STREQ(recorder.events[1].kind, "changed");
        }

        TEST_F(DeviceChangeDetectorTest, ServicesPresentAtStartArmTheNotificationsWithoutEvents)
        {
            iokit->addPresent("IOUSBDevice", 3);
            iokit->addPresent("IOPCIDevice", 2);
            makeDetector();
            RunLoop::pumpCurrent();
            time.advance(3000.0);
            EXPECT_TRUE(recorder.events.empty());
        }

        TEST_F(DeviceChangeDetectorTest, DetectorsShareOneIOKitDetectorThatGoesWithTheLast)
        {
            makeDetector();
            IOKitServiceDetector* shared = IOKitServiceDetector::getInstance();
            ASSERT_NE(shared, nullptr);
            auto second = std::make_unique<DeviceChangeDetector>();
            EXPECT_EQ(IOKitServiceDetector::getInstance(), shared);
            EXPECT_EQ(iokit->getNumNotifications(), 4);
            detector.reset();
            EXPECT_EQ(IOKitServiceDetector::getInstance(), shared);
            iokit->plug("IOPCIDevice");
            Recorder late;
            second->addListener(late, false);
            RunLoop::pumpCurrent();
            EXPECT_EQ(late.events.size(), 1u) << "the remaining detector still hears IOKit";
            second.reset();
            EXPECT_EQ(IOKitServiceDetector::getInstance(), nullptr);
        }

        TEST_F(DeviceChangeDetectorTest, UnplugAfterTheDetectorWentReachesNobody)
        {
            makeDetector();
            iokit->plug("IOPCIDevice");
            graphics->reconfigure(1, cg::kCGDisplayAddFlag);
            detector.reset();
            EXPECT_EQ(RunLoop::pumpCurrent(), 2) << "the queued notifications run and find their ports gone";
            time.advance(1000.0);
            EXPECT_TRUE(recorder.events.empty());
        }

        TEST_F(DeviceChangeDetectorTest, AClassThatCannotBeMatchedLeavesTheOthersWorking)
        {
            iokit->refuseMatching("IOPCIDevice");
            makeDetector();
            iokit->plug("IOUSBDevice");
            iokit->plug("IOPCIDevice");
            RunLoop::pumpCurrent();
            time.advance(2500.0);
            ASSERT_EQ(recorder.events.size(), 1u);
            EXPECT_EQ(recorder.events[0].category, 2);

            graphics->reconfigure(1, cg::kCGDisplaySetModeFlag);
            RunLoop::pumpCurrent();
            time.advance(250.0);
            EXPECT_EQ(recorder.events.size(), 2u) << "displays are watched without IOKit";
        }

        TEST_F(DeviceChangeDetectorTest, RefusedNotificationsLeaveDisplaysWorking)
        {
            iokit->refuseNotifications(true);
            makeDetector();
            iokit->plug("IOUSBDevice");
            graphics->setDisplays({display(1, 0.0), display(2, 1920.0)}, 1);
            graphics->reconfigure(2, cg::kCGDisplayAddFlag);
            RunLoop::pumpCurrent();
            time.advance(3000.0);
            ASSERT_EQ(recorder.events.size(), 1u);
            EXPECT_STREQ(recorder.events[0].kind, "connected");
            EXPECT_EQ(recorder.events[0].category, 0);
        }

        struct DisplayCase
        {
            const char* name;
            int displaysAfter;
            std::vector<uint32_t> flags; // one callback each, 100 ms apart
            const char* expected;        // null: no event, no timer
        };

        class DisplayEventTest : public DeviceChangeDetectorTest, public ::testing::WithParamInterface<DisplayCase>
        {
        };

        TEST_P(DisplayEventTest, CountDecidesTheEvent250MsAfterTheLastCallback)
        {
            const DisplayCase& c = GetParam();
            graphics->setDisplays({display(1, 0.0), display(2, 1920.0)}, 1);
            makeDetector();
            std::vector<ScriptedCoreGraphics::Display> after;
            for (int i = 0; i < c.displaysAfter; ++i)
                after.push_back(display(cg::DirectDisplayID(i + 1), 1920.0 * i));
            graphics->setDisplays(after, 1);
            for (size_t i = 0; i < c.flags.size(); ++i)
            {
                if (i > 0)
                    time.advance(100.0);
                graphics->reconfigure(2, c.flags[i]);
                RunLoop::pumpCurrent();
            }
            const double last = time.now();
            time.advance(249.0);
            EXPECT_TRUE(recorder.events.empty());
            time.advance(1000.0);
            if (c.expected == nullptr)
            {
                EXPECT_TRUE(recorder.events.empty());
                return;
            }
            ASSERT_EQ(recorder.events.size(), 1u);
            EXPECT_STREQ(recorder.events[0].kind, c.expected);
            EXPECT_EQ(recorder.events[0].category, 0);
            EXPECT_DOUBLE_EQ(recorder.events[0].time, last + 250.0);
        }

        INSTANTIATE_TEST_SUITE_P(
            Reconfigurations, DisplayEventTest,
            ::testing::Values(DisplayCase{"ModeChangeSameCount", 2, {cg::kCGDisplaySetModeFlag}, "changed"},
                              DisplayCase{"SecondUnplugged", 1, {cg::kCGDisplayRemoveFlag}, "disconnected"},
                              DisplayCase{"ThirdPlugged", 3, {cg::kCGDisplayAddFlag}, "connected"},
                              DisplayCase{"Disabled", 1, {cg::kCGDisplayDisabledFlag}, "disconnected"},
                              DisplayCase{"ShapeChanged", 2, {cg::kCGDisplayDesktopShapeChangedFlag}, "changed"},
                              DisplayCase{"BurstRestartsTheTimer",
                                          2,
                                          {cg::kCGDisplayBeginConfigurationFlag, cg::kCGDisplaySetModeFlag,
                                           cg::kCGDisplayMovedFlag | cg::kCGDisplaySetModeFlag},
                                          "changed"},
                              DisplayCase{"BeginOnlyStartsNothing", 1, {cg::kCGDisplayBeginConfigurationFlag}, nullptr},
                              DisplayCase{"MovedOnlyIsIgnored", 1, {cg::kCGDisplayMovedFlag}, nullptr}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST_F(DeviceChangeDetectorTest, AFailedDisplayCountSkipsTheEvent)
        {
            makeDetector();
            graphics->failDisplayList(true);
            graphics->reconfigure(1, cg::kCGDisplaySetModeFlag);
            RunLoop::pumpCurrent();
            time.advance(500.0);
            EXPECT_TRUE(recorder.events.empty());
            graphics->failDisplayList(false);
            graphics->setDisplays({}, 0);
            graphics->reconfigure(1, cg::kCGDisplayRemoveFlag);
            RunLoop::pumpCurrent();
            time.advance(250.0);
            ASSERT_EQ(recorder.events.size(), 1u);
            EXPECT_STREQ(recorder.events[0].kind, "disconnected");
        }

        // Without a host's scheduler or timer service: the default update runs
        // at once (the USB delay is ignored) and display timers never tick.
        TEST(DeviceChangeDetectorDefaultsTest, UsbEventsPassAtOnceAndDisplayTimersNeverTick)
        {
            auto iokit = ScriptedIOKit::install();
            auto graphics = ScriptedCoreGraphics::install();
            graphics->setDisplays({display(1, 0.0)}, 1);
            Recorder recorder;
            {
                DeviceChangeDetector detector;
                detector.addListener(recorder, false);
                iokit->plug("IOUSBDevice");
                graphics->reconfigure(1, cg::kCGDisplaySetModeFlag);
                RunLoop::pumpCurrent();
                ASSERT_EQ(recorder.events.size(), 1u);
                EXPECT_EQ(recorder.events[0].category, 2);
            }
            EXPECT_EQ(iokit->getLiveObjects(), 0);
            ScriptedIOKit::uninstall();
            ScriptedCoreGraphics::uninstall();
        }
    }
}
