#include "engine/devices/VXOutputDeviceDeckLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "VXDeckLinkSimFixture.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamView.h"
#include "engine/devices/VXDeckLinkDevice.h"
#include "engine/devices/VXDecklinkOutputThread.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        const std::vector<std::string> outputCalls{"SetScheduled", "CreateVideoFrame", "EnableVideoOutput",
                                                   "DisableVideoOutput", "ScheduleVideoFrame", "StartScheduled"};

        std::vector<std::string> startUpCalls(const char* mode, int64_t duration, int64_t scale)
        {
            std::vector<std::string> calls{"SetScheduledFrameCompletionCallback(set)",
                                           "CreateVideoFrame(1920, 1080, 3840, 2vuy, 0)",
                                           "CreateVideoFrame(1920, 1080, 3840, 2vuy, 0)",
                                           std::string("EnableVideoOutput(") + mode + ", 0)"};
            for (int k = 0; k < 60; ++k)
                calls.push_back("ScheduleVideoFrame(" + std::to_string(k * duration) + ", " + std::to_string(duration) +
                                ", " + std::to_string(scale) + ")");
            calls.push_back("StartScheduledPlayback(0, " + std::to_string(scale) + ", 1.0)");
            return calls;
        }

        struct CountingListener : OutputDeviceDeckLinkListener
        {
            void outputConnectionChanged() override { ++connections; }
            void outputModeChanged() override { ++modes; }
            int connections = 0;
            int modes = 0;
        };

        class OutputDeviceDeckLinkTest : public DeckLinkSimTest
        {
        protected:
            void SetUp() override
            {
                DeckLinkSimTest::SetUp();
                DeckLinkSimCard card = simCard(0, 3);
                card.model = "Out";
                sim->addCard(card);
            }
        };

        TEST_F(OutputDeviceDeckLinkTest, StartsWithTwoFramesAndSixtyPrerolled)
        {
            OutputDeviceDeckLink device("Out 1");
            sim->clearCallLog();
            ASSERT_TRUE(device.initialize());
            EXPECT_EQ(filterCalls(sim->getCallLog(), outputCalls), startUpCalls("Hp30", 1000, 30000));
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"SetInt"}).back(), "SetInt(vocn, 2)") << "HDMI by default";
            EXPECT_EQ(device.getWidth(), 1920);
            EXPECT_EQ(device.getHeight(), 1080);
            EXPECT_EQ(device.getNumFreeFrames(), 2);
            EXPECT_EQ(sim->getLiveFrames(), 2);

            auto params = device.getParams();
            ASSERT_EQ(params->getNumParams(), 3);
            auto overscan = std::dynamic_pointer_cast<ParamRange>(params->getParam(2));
            ASSERT_NE(overscan, nullptr);
            EXPECT_EQ(overscan->getName(), "Overscan Compensation");
            EXPECT_DOUBLE_EQ(overscan->getMinMaxRange().min, 0.0);
            EXPECT_DOUBLE_EQ(overscan->getMinMaxRange().max, 25.0);
            const ParamView* view = params->getViewForParam(overscan);
            ASSERT_NE(view, nullptr);
            EXPECT_DOUBLE_EQ(view->getIncrement(), 1.0);
            auto connections = std::dynamic_pointer_cast<ParamChoice<int>>(params->getParam(0));
            ASSERT_NE(connections, nullptr);
            EXPECT_EQ(connections->getValue(), 1) << "the HDMI entry";

            sim->clearCallLog();
            device.release();
            EXPECT_EQ(sim->getLiveFrames(), 0) << "every frame given back, the prerolled ones too";
            EXPECT_EQ(sim->getCardReferences(0), 0);
            EXPECT_EQ(OutputDeviceDeckLink::getDeviceState("Out 1"), 0);
        }

        struct StartFailure
        {
            const char* name;
            const char* call;
        };

        class OutputStartFailureTest : public OutputDeviceDeckLinkTest,
                                       public ::testing::WithParamInterface<StartFailure>
        {
        };

        TEST_P(OutputStartFailureTest, ReleasesAndAnswersFalse)
        {
            sim->failCall(GetParam().call, 0);
            OutputDeviceDeckLink device("Out 1");
            EXPECT_FALSE(device.initialize());
            EXPECT_EQ(sim->getLiveFrames(), 0);
            EXPECT_EQ(sim->getCardReferences(0), 0);
            EXPECT_EQ(OutputDeviceDeckLink::getDeviceState("Out 1"), 0);
            EXPECT_FALSE(device.begin());
        }

        INSTANTIATE_TEST_SUITE_P(Steps, OutputStartFailureTest,
                                 ::testing::Values(StartFailure{"Open", "QueryInterface(Configuration)"},
                                                   StartFailure{"Connection", "SetInt(vocn"},
                                                   StartFailure{"Frames", "CreateVideoFrame"},
                                                   StartFailure{"Enable", "EnableVideoOutput"}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(OutputDeviceDeckLinkTest, AFailedScheduleEndsThePreroll)
        {
            sim->failCall("ScheduleVideoFrame", 10);
            OutputDeviceDeckLink device("Out 1");
            ASSERT_TRUE(device.initialize());
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"ScheduleVideoFrame"}).size(), 11u);
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"StartScheduled"}).size(), 1u);
        }

        TEST_F(OutputDeviceDeckLinkTest, ConnectionAndModeChoicesReopenOnlyOnChange)
        {
            OutputDeviceDeckLink device("Out 1");
            CountingListener listener;
            device.addListener(listener, false);
            ASSERT_TRUE(device.initialize());
            auto connections = std::dynamic_pointer_cast<ParamChoice<int>>(device.getParams()->getParam(0));
            auto modes = std::dynamic_pointer_cast<ParamChoice<int>>(device.getParams()->getParam(1));

            sim->clearCallLog();
            connections->setValue(1, ValueChangeInfo(ChangeType_Always));
            EXPECT_TRUE(sim->getCallLog().empty()) << "the current connection reopens nothing";
            EXPECT_EQ(listener.connections, 0);

            connections->setValueByIndex(0, ValueChangeInfo());
            EXPECT_EQ(listener.connections, 1);
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"SetInt"}).back(), "SetInt(vocn, 1)");
            EXPECT_EQ(device.getCard().getCurrentConnection()->name, "SDI");

            sim->clearCallLog();
            modes->setValueByIndex(1, ValueChangeInfo());
            EXPECT_EQ(listener.modes, 1);
            EXPECT_EQ(listener.connections, 1);
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"EnableVideoOutput"}),
                      (std::vector<std::string>{"EnableVideoOutput(hp60, 0)"}));
            EXPECT_EQ(device.getWidth(), 1280);
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"SetInt"}).back(), "SetInt(vocn, 1)") << "the connection stays";
            device.removeListener(listener);
        }

        TEST_F(OutputDeviceDeckLinkTest, EnumerationListsOutputCardsAndSkipsUnreadableOnes)
        {
            // A card of its own: what a card offers is recorded the first time
            // it opens in the process, and other cases open "Out 1" with
            // failures scripted.
            sim->reset();
            DeckLinkSimCard listed = simCard(0, 3);
            listed.model = "Listed";
            sim->addCard(listed);
            DeckLinkSimCard inputOnly = simCard(1, 0);
            inputOnly.model = "In";
            sim->addCard(inputOnly);
            DeckLinkSimCard broken = simCard(0, 2);
            broken.model = "Broken";
            sim->addCard(broken);
            // "Listed 1" opened once already is known; opening "Broken 1"
            // fails, so its info is never recorded.
            {
                DeckLinkDevice known("Listed 1");
                ASSERT_TRUE(known.initialize());
            }
            sim->failCall("QueryInterface(Configuration)", 0);

            LogRecorder log;
            std::vector<CaptureOutputDeviceInfo> infos;
            ASSERT_TRUE(OutputDeviceDeckLink::enumerateDevices(infos));
            ASSERT_EQ(infos.size(), 1u) << log.dump();
            EXPECT_EQ(infos[0].name, "Listed 1");
            ASSERT_EQ(infos[0].connections.size(), 2u);
            EXPECT_EQ(infos[0].connections[1].name, "HDMI");
            EXPECT_EQ(infos[0].connections[1].modes.size(), 2u);
            EXPECT_TRUE(log.contains("enumerateDevices: Failed getting decklink device info after successfull "
                                     "initialization."))
                << log.dump();
            EXPECT_EQ(OutputDeviceDeckLink::getDeviceState("Listed 1"), 0) << "probing leaves the card free";
            EXPECT_EQ(sim->getCardReferences(0), 0);
        }

        // The driver took the completion callback (holding it) and calls it
        // only after the output went: the call lands on the callback, which
        // outlives the output, and the driver's reference is the last.
        TEST_F(OutputDeviceDeckLinkTest, ACompletionTheDriverHoldsOutlivesTheDevice)
        {
            auto device = std::make_unique<OutputDeviceDeckLink>("Out 1");
            ASSERT_TRUE(device->initialize());
            sim->holdCalls();
            std::atomic<int> completed{-1};
            {
                DriverCallThread driver(*sim, [&] { completed = sim->completeFrames(0, 1); });
                ASSERT_TRUE(sim->waitForHeldCall(30000));
                device.reset();
                EXPECT_EQ(sim->getCardReferences(0), 0);
            }
            EXPECT_EQ(completed.load(), 1);
            EXPECT_EQ(sim->getLiveFrames(), 0);
        }

        // Closed and reopened again and again while the card's thread
        // completes frames as fast as it can.
        TEST_F(OutputDeviceDeckLinkTest, ClosedWhileTheCardCompletesFrames)
        {
            sim->setQuiet(true);
            for (int round = 0; round < 100; ++round)
            {
                auto device = std::make_unique<OutputDeviceDeckLink>("Out 1");
                ASSERT_TRUE(device->initialize());
                std::atomic<bool> stop{false};
                std::atomic<int> completed{0};
                std::thread driver([&] {
                    while (! stop)
                        completed += sim->completeFrames(0, 1);
                });
                while (completed.load() < 1 + round % 3)
                    std::this_thread::yield();
                if (round % 2 == 1)
                {
                    device->release();
                    ASSERT_TRUE(device->initialize());
                }
                device.reset();
                stop = true;
                driver.join();
                ASSERT_EQ(sim->getLiveFrames(), 0) << "round " << round;
            }
        }

        TEST_F(OutputDeviceDeckLinkTest, GatheringWithoutAnOutputThreadGathersNothing)
        {
            OutputDeviceDeckLink device("Out 1");
            ASSERT_TRUE(device.initialize());
            device.gatherCompletedFrames();
            EXPECT_EQ(device.getNumFreeFrames(), 2);
        }

        TEST_F(OutputDeviceDeckLinkTest, MailboxThreadShowsTheNewestFrameAndHandsEveryFrameBack)
        {
            DeckLinkDevice card("Out 1");
            ASSERT_TRUE(card.initialize());
            IDeckLinkMutableVideoFrame* frames[2] = {nullptr, nullptr};
            for (auto*& frame : frames)
                ASSERT_EQ(card.getOutputHandle()->CreateVideoFrame(64, 2, 128, bmdFormat8BitYUV, 0, &frame), S_OK);
            {
                DecklinkOutputThread thread(card);
                EXPECT_EQ(thread.getThreadName(), "Decklink Capture Output");
                EXPECT_EQ(DecklinkOutputThread::priority, 5);
                EXPECT_TRUE(thread.isThreadRunning());
                EXPECT_TRUE(thread.gatherCompletedFrames(true).empty()) << "nothing pending: no wait";

                thread.queueFrame(frames[0]);
                thread.queueFrame(frames[1]);
                std::vector<IDeckLinkVideoFrame*> back;
                while (back.size() < 2)
                    for (IDeckLinkVideoFrame* frame : thread.gatherCompletedFrames(true))
                        back.push_back(frame);
                EXPECT_EQ(back.size(), 2u) << "shown or replaced, every frame comes back once";
                EXPECT_EQ(back.back(), frames[1]) << "the newest frame is always shown";
                const int shown = sim->getSyncDisplayedFrames(0);
                EXPECT_TRUE(shown == 1 || shown == 2) << shown;
                if (shown == 1)
                {
                    EXPECT_EQ(back.front(), frames[0]) << "replaced before it was shown";
                }

                thread.queueFrame(frames[0]);
                thread.clearQueue();
                back = thread.gatherCompletedFrames(true);
                EXPECT_EQ(back.size(), 1u) << "cleared or shown, the frame comes back";
            }
            for (auto* frame : frames)
                frame->Release();
            EXPECT_EQ(sim->getLiveFrames(), 0);
        }
    }
}
