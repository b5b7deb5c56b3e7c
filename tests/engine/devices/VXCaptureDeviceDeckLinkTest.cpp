#include "engine/devices/VXCaptureDeviceDeckLink.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "VXDeckLinkSimFixture.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamListener.h"
#include "core/xml/VXXmlAttributes.h"
#include "engine/devices/VXDeckLinkDevice.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        CaptureDeviceInfo cardInfo(const std::string& name)
        {
            CaptureDeviceInfo info;
            info.name = info.description = info.uniqueId = name;
            info.category = CaptureDeviceDeckLink::deviceCategory;
            return info;
        }

        const std::vector<std::string> streamCalls{"Pause", "Enable", "Flush", "Start", "Stop", "Disable",
                                                   "SetInt", "SetCallback", "SetScreen"};

        class CaptureDeviceDeckLinkTest : public DeckLinkSimTest
        {
        protected:
            void SetUp() override
            {
                DeckLinkSimTest::SetUp();
                sim->addCard(simCard(3, 0, true));
            }
            ScopedTestScheduler scheduler;
        };

        TEST_F(CaptureDeviceDeckLinkTest, EnumeratedInfosCarryCategoryAndFlags)
        {
            sim->addCard(simCard(0, 2));
            DeckLinkDevice output("M 2");
            ASSERT_TRUE(output.initialize());
            ASSERT_TRUE(output.setOutputConnection(bmdVideoConnectionHDMI));
            std::vector<CaptureDeviceInfo*> infos;
            ASSERT_TRUE(CaptureDeviceDeckLink::enumerateDevices(infos));
            ASSERT_EQ(infos.size(), 2u);
            EXPECT_EQ(infos[1]->uniqueId, "M 2");
            EXPECT_EQ(infos[1]->description, "M 2");
            EXPECT_EQ(infos[1]->category, "DeckLink Capture Device");
            EXPECT_EQ(infos[0]->inUseForOutput, 0);
            EXPECT_EQ(infos[0]->hasInput, 1);
            EXPECT_EQ(infos[0]->hasOutput, 0);
            EXPECT_EQ(infos[1]->inUseForOutput, 1) << "its output connection is set";
            EXPECT_EQ(infos[1]->hasInput, 0);
            EXPECT_EQ(infos[1]->hasOutput, 1);
            for (CaptureDeviceInfo* info : infos)
                delete info;
        }

        TEST_F(CaptureDeviceDeckLinkTest, OpensStartsStopsAndCloses)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            EXPECT_TRUE(device.needsYUVToRGBAConversion());
            EXPECT_EQ(device.getOrientation(), 1);
            sim->clearCallLog();
            ASSERT_TRUE(device.initDevice());
            EXPECT_EQ(filterCalls(sim->getCallLog(), streamCalls),
                      (std::vector<std::string>{"SetInt(vicn, 1)", "SetScreenPreviewCallback(set)", "SetCallback(set)"}));
            EXPECT_EQ(device.getWidth(), 1920);
            EXPECT_EQ(device.getHeight(), 1080);
            EXPECT_EQ(device.getTextureWidth(), 960);
            EXPECT_EQ(device.getConnectionParam()->getNumChoices(), 2u);
            EXPECT_EQ(device.getFormatParam()->getChoices()[1].getName(), "720p60");

            sim->clearCallLog();
            device.startDevice();
            EXPECT_TRUE(device.isStarted());
            device.stopDevice();
            EXPECT_FALSE(device.isStarted());
            device.deInitDevice();
            EXPECT_EQ(filterCalls(sim->getCallLog(), streamCalls),
                      (std::vector<std::string>{"EnableVideoInput(Hp30, 2vuy, 1)", "StartStreams()", "StopStreams()",
                                                "DisableVideoInput()", "SetScreenPreviewCallback(null)",
                                                "SetCallback(null)", "SetCallback(null)", "DisableVideoInput()"}));
            EXPECT_EQ(sim->getCardReferences(0), 0);
            EXPECT_EQ(DeckLinkDevice::getDeviceState("M 1"), 0);
        }

        struct InitFailure
        {
            const char* name;
            const char* call;
            const char* message;
        };

        class CaptureDeviceDeckLinkInitFailureTest : public CaptureDeviceDeckLinkTest,
                                                     public ::testing::WithParamInterface<InitFailure>
        {
        };

        TEST_P(CaptureDeviceDeckLinkInitFailureTest, FailsAndLeavesTheCardClosed)
        {
            sim->failCall(GetParam().call, 0);
            LogRecorder log;
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            EXPECT_FALSE(device.initDevice());
            EXPECT_TRUE(log.contains(GetParam().message)) << log.dump();
            EXPECT_FALSE(device.getCard().isInitialized());
            EXPECT_EQ(sim->getCardReferences(0), 0);
            EXPECT_EQ(DeckLinkDevice::getDeviceState("M 1"), 0) << "a failed open leaves the card free";
        }

        INSTANTIATE_TEST_SUITE_P(
            Steps, CaptureDeviceDeckLinkInitFailureTest,
            ::testing::Values(
                InitFailure{"Connection", "SetInt(vicn", "Could not switch current input connection to 'SDI'."},
                InitFailure{"NoFormats", "GetDisplayModeIterator(input)", "Getting device input formats failed."},
                InitFailure{"PreviewCallback", "SetScreenPreviewCallback(set)", "screen preview callback"},
                InitFailure{"InputCallback", "SetCallback(set)", "input callback"}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST_F(CaptureDeviceDeckLinkTest, FollowsTheCardsFormatDetection)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            ASSERT_TRUE(device.initDevice());
            device.startDevice();
            LogRecorder log;

            sim->clearCallLog();
            ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                          bmdDetectedVideoInputRGB444));
            EXPECT_TRUE(log.contains("VideoInputFormatChanged: Pixel format changed to RGB444.")) << log.dump();
            EXPECT_FALSE(device.needsYUVToRGBAConversion());
            EXPECT_EQ(device.getSwizzleMode(), 1);
            EXPECT_TRUE(device.requiresOpaqueForce());
            EXPECT_EQ(device.getTextureWidth(), 1920);
            EXPECT_EQ(filterCalls(sim->getCallLog(), streamCalls),
                      (std::vector<std::string>{"PauseStreams()", "EnableVideoInput(Hp30, 32, 1)", "FlushStreams()",
                                                "StartStreams()"}));

            ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                          bmdDetectedVideoInputYCbCr422));
            EXPECT_TRUE(log.contains("VideoInputFormatChanged: Pixel format changed to YCbCr422.")) << log.dump();
            EXPECT_TRUE(device.needsYUVToRGBAConversion());
            EXPECT_EQ(device.getSwizzleMode(), 0);
            EXPECT_FALSE(device.requiresOpaqueForce());

            log.clear();
            sim->clearCallLog();
            ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputFieldDominanceChanged, bmdModeHD1080p30, 0));
            EXPECT_TRUE(log.contains("Received video field change, we cannot handle these.")) << log.dump();
            EXPECT_EQ(log.count(), 1u) << "a field change is only reported";
            EXPECT_TRUE(sim->getCallLog().empty());

            ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputDisplayModeChanged, simMode720p60().code, 0));
            EXPECT_TRUE(log.contains("VideoInputFormatChanged: Changing video mode to: '720p60'.")) << log.dump();
            EXPECT_EQ(device.getFormatParam()->getValue(), 0) << "the choice is set on the message thread";
            EXPECT_EQ(device.getCard().getCurrentMode()->name, "1080p30") << "the switch waits for the message thread";
            scheduler.drain();
            EXPECT_EQ(device.getFormatParam()->getValue(), 1);
            EXPECT_EQ(device.getCard().getCurrentMode()->name, "720p60");
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"EnableVideoInput"}),
                      (std::vector<std::string>{"EnableVideoInput(hp60, 2vuy, 1)"}));
            device.stopDevice();
        }

        // Released, the card forgets the detected RGB and opens in YUV: the
        // device's flags follow it, as its texture width does.
        TEST_F(CaptureDeviceDeckLinkTest, AReopenedCardStartsInYUVAgain)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            ASSERT_TRUE(device.initDevice());
            device.startDevice();
            ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                          bmdDetectedVideoInputRGB444));
            ASSERT_FALSE(device.needsYUVToRGBAConversion());
            device.stopDevice();
            device.deInitDevice();
            ASSERT_TRUE(device.initDevice());
            EXPECT_FALSE(device.requiresOpaqueForce());
            EXPECT_EQ(device.getTextureWidth(), 960);
            EXPECT_TRUE(device.needsYUVToRGBAConversion());
            EXPECT_EQ(device.getSwizzleMode(), 0);
            EXPECT_TRUE(device.getTextureFormat() == CaptureDevice::packedYUVTextureFormat);
        }

        // Counts the changes of a parameter, on the thread that makes them.
        class ChangeCounter : public ParamListener
        {
        public:
            void valueChanged(ParamBase&, ChangeInfo) override { ++changes; }
            std::atomic<int> changes{0};
        };

        // Mode changes detected on the driver's thread while the message
        // thread applies the previous ones (refilling the choice): each is
        // queued for the message thread, which sets and refills the choice,
        // so no change is lost.
        TEST_F(CaptureDeviceDeckLinkTest, ModeChangesFromTheDriverAgainstTheMessageThread)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            ASSERT_TRUE(device.initDevice());
            device.startDevice();
            ChangeCounter counter;
            device.getFormatParam()->addListener(counter, false);
            sim->setQuiet(true);
            const int changes = 2000;
            std::atomic<bool> done{false};
            std::thread driver([&] {
                for (int i = 0; i < changes; ++i)
                    sim->changeFormat(0, bmdVideoInputDisplayModeChanged,
                                      i % 2 == 0 ? simMode720p60().code : bmdModeHD1080p30, 0);
                done = true;
            });
            while (! done)
                scheduler.drain();
            driver.join();
            scheduler.drain();
            device.getFormatParam()->removeListener(counter);
            EXPECT_EQ(counter.changes.load(), changes) << "every mode change sets the choice";
            EXPECT_EQ(device.getCard().getCurrentMode()->name, "1080p30");
            device.stopDevice();
        }

        // Notes each change of a parameter made on a thread other than the
        // one given.
        class ForeignThreadChanges : public ParamListener
        {
        public:
            explicit ForeignThreadChanges(std::thread::id owningThread) : owner(owningThread) {}
            void valueChanged(ParamBase&, ChangeInfo) override
            {
                if (std::this_thread::get_id() != owner)
                    ++changes;
            }
            const std::thread::id owner;
            std::atomic<int> changes{0};
        };

        // The card reports modes on the driver's thread while the message
        // thread sets the user's choice, applies the changes and stops and
        // starts the device: the choice is set on the message thread only,
        // never on two threads at once (the ThreadSanitizer build checks
        // the setters), and a report made last is chosen last.
        TEST_F(CaptureDeviceDeckLinkTest, ModeReportsAgainstUserChoicesStartsAndStops)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            ASSERT_TRUE(device.initDevice());
            device.startDevice();
            sim->setQuiet(true);
            const int reports = 1000;
            std::atomic<int> changesElsewhere{0};
            runOrAbort("the mode reports against the message thread", 300, [&] {
                ForeignThreadChanges foreign(std::this_thread::get_id());
                device.getFormatParam()->addListener(foreign, false);
                std::atomic<int> reported{0};
                std::thread driver([&] {
                    for (int i = 0; i < reports; ++i)
                    {
                        sim->changeFormat(0, bmdVideoInputDisplayModeChanged,
                                          i % 2 == 0 ? simMode720p60().code : bmdModeHD1080p30, 0);
                        ++reported;
                    }
                });
                for (int round = 0; reported.load() < reports; ++round)
                {
                    device.getFormatParam()->setValueByIndex(unsigned(round % 2), ValueChangeInfo());
                    scheduler.drain();
                    if (round % 64 == 63)
                    {
                        device.stopDevice();
                        device.startDevice();
                    }
                }
                driver.join();
                ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputDisplayModeChanged, simMode720p60().code, 0));
                scheduler.drain();
                device.getFormatParam()->removeListener(foreign);
                changesElsewhere = foreign.changes.load();
            });
            EXPECT_EQ(changesElsewhere.load(), 0) << "the choice changed off the message thread";
            EXPECT_TRUE(device.isStarted());
            EXPECT_EQ(device.getFormatParam()->getValue(), 1);
            EXPECT_EQ(device.getCard().getCurrentMode()->name, "720p60");
            device.stopDevice();
        }

        // A report still queued for the message thread when the device goes
        // is dropped with it: the callbacks, freed with the closed card, are
        // not called.
        TEST_F(CaptureDeviceDeckLinkTest, AModeReportedBeforeTheDeviceGoesIsDropped)
        {
            auto device = std::make_unique<CaptureDeviceDeckLink>(cardInfo("M 1"));
            ASSERT_TRUE(device->initDevice());
            device->startDevice();
            ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputDisplayModeChanged, simMode720p60().code, 0));
            device.reset();
            EXPECT_EQ(sim->getCardReferences(0), 0);
            scheduler.drain();
        }

        // Closed again and again while the card delivers frames at full
        // rate on several threads: a frame that arrives during or after the
        // close holds no buffer, and the device waits for driver calls
        // still in it.
        TEST_F(CaptureDeviceDeckLinkTest, ClosedWhileTheCardDeliversFrames)
        {
            sim->setQuiet(true);
            const long w = 192, h = 96;
            ASSERT_TRUE(sim->prepareFrame(0, w, h, w * 2, bmdFormat8BitYUV, std::vector<uint8_t>(size_t(w * 2 * h), 0x80)));
            for (int round = 0; round < 200; ++round)
            {
                auto device = std::make_unique<CaptureDeviceDeckLink>(cardInfo("M 1"));
                ASSERT_TRUE(device->initDevice());
                device->startDevice();
                std::atomic<bool> stop{false};
                std::atomic<int> delivered{0};
                std::vector<std::thread> drivers;
                for (int t = 0; t < 3; ++t)
                    drivers.emplace_back([&] {
                        while (! stop)
                            if (sim->drawPreparedFrame(0))
                                ++delivered;
                    });
                while (delivered.load() < 1 + round % 3)
                    std::this_thread::yield();
                device.reset();
                stop = true;
                for (std::thread& driver : drivers)
                    driver.join();
            }
        }

        struct StopWhileInCallback
        {
            const char* name;
            void (*stop)(CaptureDeviceDeckLink&);
            std::vector<std::string> calls; // stream calls from the stop on
            bool rgb;                       // the format the device is in after
        };

        class CaptureDeviceDeckLinkStopTest : public CaptureDeviceDeckLinkTest,
                                              public ::testing::WithParamInterface<StopWhileInCallback>
        {
        };

        // The driver is in a colour-space callback, which takes the device
        // lock, when the device stops: StopStreams waits for that callback
        // (and lets it go), so the device must not hold its lock across it.
        // The callback then keeps the format for the next start and
        // restarts nothing of the stopping input; a reopened card starts in
        // YUV again, and the device with it.
        TEST_P(CaptureDeviceDeckLinkStopTest, StopsWhileTheDriverIsInAFormatCallback)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            ASSERT_TRUE(device.initDevice());
            device.startDevice();
            sim->holdCalls();
            std::atomic<bool> delivered{false};
            {
                DriverCallThread driver(*sim, [&] {
                    delivered = sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                                  bmdDetectedVideoInputRGB444);
                });
                ASSERT_TRUE(sim->waitForHeldCall(30000));
                sim->clearCallLog();
                runOrAbort(GetParam().name, 30, [&] { GetParam().stop(device); });
            }
            EXPECT_TRUE(delivered.load());
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"StopStreams", "StartStreams", "DisableVideoInput",
                                                      "EnableVideoInput"}),
                      GetParam().calls);
            EXPECT_EQ(device.requiresOpaqueForce(), GetParam().rgb);
            EXPECT_EQ(device.needsYUVToRGBAConversion(), ! GetParam().rgb);
            EXPECT_EQ(device.getSwizzleMode(), GetParam().rgb ? 1 : 0);
            device.stopDevice();
        }

        INSTANTIATE_TEST_SUITE_P(
            Ways, CaptureDeviceDeckLinkStopTest,
            ::testing::Values(
                StopWhileInCallback{"stopDevice", [](CaptureDeviceDeckLink& device) { device.stopDevice(); },
                                    {"StopStreams()", "DisableVideoInput()"}, true},
                StopWhileInCallback{"reinit", [](CaptureDeviceDeckLink& device) { device.reinit(); },
                                    {"StopStreams()", "DisableVideoInput()", "DisableVideoInput()",
                                     "EnableVideoInput(Hp30, 2vuy, 1)", "StartStreams()"}, false}),
            [](const auto& info) { return std::string(info.param.name); });

        const std::vector<std::string> inputStreamCalls{"StopStreams", "PauseStreams", "EnableVideoInput",
                                                        "FlushStreams", "StartStreams", "DisableVideoInput"};

        struct ModeChangeWhileStopping
        {
            const char* name;
            void (*stop)(CaptureDeviceDeckLink&);
            bool started;                   // after the stop
            std::vector<std::string> calls; // stream calls from the stop on, a start after a plain stop included
        };

        void PrintTo(const ModeChangeWhileStopping& way, std::ostream* out)
        {
            *out << way.name;
        }

        class CaptureDeviceDeckLinkModeStopTest : public CaptureDeviceDeckLinkTest,
                                                  public ::testing::WithParamInterface<ModeChangeWhileStopping>
        {
        };

        // The card reports a new display mode while the device stops (held
        // in StopStreams) and the message thread applies it at once: the
        // stopping input is not restarted, and the next start takes the new
        // mode.
        TEST_P(CaptureDeviceDeckLinkModeStopTest, KeepsAModeReportedDuringTheStopForTheNextStart)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            ASSERT_TRUE(device.initDevice());
            device.startDevice();
            sim->clearCallLog();
            sim->holdDriverCall("StopStreams");
            runOrAbort(GetParam().name, 30, [&] {
                DriverCallThread stopper(*sim, [&] { GetParam().stop(device); });
                ASSERT_TRUE(sim->waitForHeldCall(30000));
                ASSERT_TRUE(sim->changeFormat(0, bmdVideoInputDisplayModeChanged, simMode720p60().code, 0));
                scheduler.drain();
            });
            EXPECT_EQ(device.isStarted(), GetParam().started);
            EXPECT_EQ(device.getCard().getCurrentMode()->name, "720p60");
            if (! device.isStarted())
                device.startDevice();
            EXPECT_EQ(filterCalls(sim->getCallLog(), inputStreamCalls), GetParam().calls);
            device.stopDevice();
        }

        INSTANTIATE_TEST_SUITE_P(
            Ways, CaptureDeviceDeckLinkModeStopTest,
            ::testing::Values(
                ModeChangeWhileStopping{"stopDevice", [](CaptureDeviceDeckLink& device) { device.stopDevice(); }, false,
                                        {"StopStreams()", "DisableVideoInput()", "EnableVideoInput(hp60, 2vuy, 1)",
                                         "StartStreams()"}},
                ModeChangeWhileStopping{"reinit", [](CaptureDeviceDeckLink& device) { device.reinit(); }, true,
                                        {"StopStreams()", "DisableVideoInput()", "DisableVideoInput()",
                                         "EnableVideoInput(hp60, 2vuy, 1)", "StartStreams()"}}),
            [](const auto& info) { return std::string(info.param.name); });

        struct CloseWhileInCallback
        {
            const char* name;
            bool stopFirst; // stopped before the driver enters the callback
            void (*close)(std::unique_ptr<CaptureDeviceDeckLink>&);
            std::vector<std::string> calls; // from the close on
        };

        void PrintTo(const CloseWhileInCallback& way, std::ostream* out)
        {
            *out << way.name;
        }

        class CaptureDeviceDeckLinkCloseTest : public CaptureDeviceDeckLinkTest,
                                               public ::testing::WithParamInterface<CloseWhileInCallback>
        {
        };

        // The driver is in a colour-space callback, which waits for the
        // device lock, when the card closes; the driver's DisableVideoInput
        // waits for that callback. A destroyed device stops its streams
        // first; the callback finds the card closed and changes nothing.
        TEST_P(CaptureDeviceDeckLinkCloseTest, ClosesWhileTheDriverIsInAFormatCallback)
        {
            auto device = std::make_unique<CaptureDeviceDeckLink>(cardInfo("M 1"));
            ASSERT_TRUE(device->initDevice());
            device->startDevice();
            if (GetParam().stopFirst)
                device->stopDevice();
            sim->holdCalls();
            std::atomic<bool> delivered{false};
            {
                DriverCallThread driver(*sim, [&] {
                    delivered = sim->changeFormat(0, bmdVideoInputColorspaceChanged, bmdModeHD1080p30,
                                                  bmdDetectedVideoInputRGB444);
                });
                ASSERT_TRUE(sim->waitForHeldCall(30000));
                sim->clearCallLog();
                runOrAbort(GetParam().name, 30, [&] { GetParam().close(device); });
            }
            EXPECT_TRUE(delivered.load());
            EXPECT_EQ(filterCalls(sim->getCallLog(), streamCalls), GetParam().calls);
            EXPECT_EQ(sim->getCardReferences(0), 0);
            EXPECT_EQ(DeckLinkDevice::getDeviceState("M 1"), 0);
            if (device == nullptr)
                return;
            EXPECT_TRUE(device->needsYUVToRGBAConversion()) << "a callback on the closed card changes nothing";
            ASSERT_TRUE(device->initDevice());
            sim->clearCallLog();
            device->startDevice();
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"EnableVideoInput"}),
                      (std::vector<std::string>{"EnableVideoInput(Hp30, 2vuy, 1)"}));
        }

        INSTANTIATE_TEST_SUITE_P(
            Ways, CaptureDeviceDeckLinkCloseTest,
            ::testing::Values(
                CloseWhileInCallback{"destroyed", false,
                                     [](std::unique_ptr<CaptureDeviceDeckLink>& device) { device.reset(); },
                                     {"StopStreams()", "DisableVideoInput()", "SetScreenPreviewCallback(null)",
                                      "SetCallback(null)", "SetCallback(null)", "DisableVideoInput()"}},
                CloseWhileInCallback{"deInitDevice", true,
                                     [](std::unique_ptr<CaptureDeviceDeckLink>& device) { device->deInitDevice(); },
                                     {"SetScreenPreviewCallback(null)", "SetCallback(null)", "SetCallback(null)",
                                      "DisableVideoInput()"}}),
            [](const auto& info) { return std::string(info.param.name); });

        TEST_F(CaptureDeviceDeckLinkTest, ChoicesSwitchConnectionAndModeOnTheMessageThread)
        {
            CaptureDeviceDeckLink device(cardInfo("M 1"));
            ASSERT_TRUE(device.initDevice());
            sim->clearCallLog();
            device.getConnectionParam()->setValueByIndex(1, ValueChangeInfo());
            EXPECT_TRUE(sim->getCallLog().empty());
            scheduler.drain();
            EXPECT_EQ(sim->getCallLog(), (std::vector<std::string>{"SetInt(vicn, 2)"}));
            EXPECT_EQ(device.getCard().getCurrentConnection()->name, "HDMI");
        }

        TEST_F(CaptureDeviceDeckLinkTest, RestoredChoicesApplyAndAnUnknownFormatTakesTheFirst)
        {
            XmlPool pool;
            XmlNode* state = nullptr;
            {
                CaptureDeviceDeckLink saved(cardInfo("M 1"));
                ASSERT_TRUE(saved.initDevice());
                saved.getConnectionParam()->setValueByIndex(1, ValueChangeInfo(ChangeType_Silent));
                saved.getFormatParam()->setValue(7, ValueChangeInfo(ChangeType_Silent));
                state = saved.writeState(pool, true);
                ASSERT_NE(state, nullptr);
            }
            CaptureDeviceDeckLink restored(cardInfo("M 1"));
            ASSERT_TRUE(restored.initDevice());
            sim->clearCallLog();
            restored.readState(state, false);
            scheduler.drain();
            EXPECT_EQ(restored.getCard().getCurrentConnection()->name, "HDMI");
            EXPECT_EQ(restored.getCard().getCurrentMode()->name, "1080p30") << "format 7 is not on this card";
            const auto switches = filterCalls(sim->getCallLog(), {"SetInt"});
            ASSERT_FALSE(switches.empty());
            EXPECT_EQ(switches.back(), "SetInt(vicn, 2)");

            restored.deInitDevice();
            EXPECT_TRUE(restored.initDevice()) << "the stored index beyond the list opens in the first mode";
            EXPECT_EQ(restored.getWidth(), 1920);
        }
    }
}
