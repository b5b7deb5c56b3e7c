#include "engine/devices/VXDeckLinkDevice.h"

#include <gtest/gtest.h>

#include "VXDeckLinkSimFixture.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        using DeckLinkDeviceTest = DeckLinkSimTest;

        std::vector<std::string> connectionNames(const std::vector<DeckLinkVideoConnection>& connections)
        {
            std::vector<std::string> names;
            for (const auto& connection : connections)
                names.push_back(connection.name);
            return names;
        }

        TEST_F(DeckLinkDeviceTest, CardsAreNamedByModelAndFoundByName)
        {
            sim->addCard(simCard(1, 2));
            DeckLinkSimCard nameless = simCard(1, 0);
            nameless.hasModelName = false;
            sim->addCard(nameless);
            sim->addCard(simCard(0, 2));

            LogRecorder log;
            ::testing::internal::CaptureStdout();
            std::vector<DDInfo> devices;
            ASSERT_TRUE(decklink_getAvailableDevices(devices));
            const std::string printed = ::testing::internal::GetCapturedStdout();
            ASSERT_EQ(devices.size(), 2u) << "a card without a model name is left out";
            EXPECT_EQ(devices[0].name, "M 1");
            EXPECT_EQ(devices[1].name, "M 2");
            EXPECT_TRUE(devices[0].hasInput && devices[0].hasOutput);
            EXPECT_FALSE(devices[1].hasInput);
            EXPECT_TRUE(devices[1].hasOutput);
            EXPECT_NE(printed.find("=============== M ===============\n\n"), std::string::npos);
            EXPECT_TRUE(log.contains("Enumerating available decklink devices.")) << log.dump();
            EXPECT_TRUE(log.contains("Found Blackmagic device: M 2")) << log.dump();
            EXPECT_TRUE(log.contains("Found 2 decklink devices.")) << log.dump();

            ::testing::internal::CaptureStdout();
            IDeckLink* second = decklink_findDeckLinkByName("M 2");
            EXPECT_NE(::testing::internal::GetCapturedStdout().find("DeckLinkAPI version: 10.11.12\n"),
                      std::string::npos);
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(sim->getCardReferences(2), 1) << "the found card is held for the caller";
            EXPECT_EQ(sim->getCardReferences(0), 0) << "cards passed over are released";
            second->Release();
            EXPECT_EQ(decklink_findDeckLinkByName("M 3"), nullptr);
        }

        TEST_F(DeckLinkDeviceTest, MissingIteratorIsAnErrorNotAnEmptyList)
        {
            sim->addCard(simCard(1, 2));
            sim->failCall("CreateDeckLinkIteratorInstance", 0);
            LogRecorder log;
            std::vector<DDInfo> devices;
            EXPECT_FALSE(decklink_getAvailableDevices(devices));
            EXPECT_TRUE(devices.empty());
            EXPECT_TRUE(log.contains("decklink_getAvailableDevices: A DeckLink iterator could not be created. The "
                                     "DeckLink drivers may not be installed."))
                << log.dump();
            EXPECT_EQ(decklink_findDeckLinkByName("M 1"), nullptr);
        }

        TEST_F(DeckLinkDeviceTest, ConnectionMaskListsInTableOrder)
        {
            sim->addCard(simCard(37, 0));
            IDeckLink* card = decklink_findDeckLinkByName("M 1");
            ASSERT_NE(card, nullptr);
            LogRecorder log;
            std::vector<DeckLinkVideoConnection> connections;
            EXPECT_TRUE(decklink_getVideoConnections(card, true, connections));
            EXPECT_EQ(connectionNames(connections), (std::vector<std::string>{"SDI", "Optical SDI", "S-Video"}));
            EXPECT_EQ(connections[2].connection, 32u);
            EXPECT_TRUE(log.contains("-Connection: Optical SDI ")) << log.dump();

            connections.clear();
            sim->failCall("GetInt(vicn)", 0);
            EXPECT_TRUE(decklink_getVideoConnections(card, true, connections)) << "an unreadable mask lists nothing";
            EXPECT_TRUE(connections.empty());
            sim->failCall("QueryInterface(Attributes)", 0);
            EXPECT_FALSE(decklink_getVideoConnections(card, true, connections));
            EXPECT_TRUE(log.contains("Creating deckLinkConfig failed!"));
            EXPECT_FALSE(decklink_doesDeviceSupportInputFormatDetection(card));
            card->Release();
            EXPECT_EQ(sim->getCardReferences(0), 0);
        }

        TEST_F(DeckLinkDeviceTest, OpeningMarksTheCardInUseAndRecordsItsOutputs)
        {
            // A model of its own each run: what a card offers is recorded once
            // per process.
            static int run = 0;
            DeckLinkSimCard card = simCard(3, 6);
            card.model = "Recorded" + std::to_string(++run);
            sim->addCard(card);
            const std::string name = card.model + " 1";
            EXPECT_FALSE(DeckLinkDevice::isDeviceKnown(name));
            DeckLinkDevice first(name);
            sim->clearCallLog();
            ASSERT_TRUE(first.initialize());
            EXPECT_EQ(filterCalls(sim->getCallLog(), {"QueryInterface", "GetDisplayModeIterator", "SetInt"}),
                      (std::vector<std::string>{"QueryInterface(APIInformation)", "QueryInterface(Configuration)",
                                                "QueryInterface(Input)",
                                                "GetDisplayModeIterator(input)", "QueryInterface(Output)",
                                                "GetDisplayModeIterator(output)", "QueryInterface(Attributes)",
                                                "QueryInterface(Attributes)", "SetInt(vocn, 2)", "SetInt(vocn, 4)"}));
            EXPECT_EQ(DeckLinkDevice::getDeviceState(name), DeckLinkDevice::StateOutputConnectionSet);
            EXPECT_EQ(connectionNames(first.getInputConnections()), (std::vector<std::string>{"SDI", "HDMI"}));
            ASSERT_EQ(first.getInputModes().size(), 2u);
            EXPECT_EQ(first.getInputModes()[1]->name, "720p60");

            CaptureOutputDeviceInfo info;
            ASSERT_TRUE(DeckLinkDevice::getKnownDeviceInfo(name, info));
            EXPECT_EQ(info.name, name);
            ASSERT_EQ(info.connections.size(), 2u);
            EXPECT_EQ(info.connections[1].name, "Optical SDI");
            EXPECT_EQ(info.connections[1].index, 1);
            ASSERT_EQ(info.connections[1].modes.size(), 2u);
            EXPECT_EQ(info.connections[1].modes[1].name, "720p60");

            LogRecorder log;
            DeckLinkDevice second(name);
            EXPECT_FALSE(second.initialize());
            EXPECT_TRUE(log.contains("initialize: Device '" + name + "' is allready in use.\n")) << log.dump();
            second.release();
            EXPECT_EQ(DeckLinkDevice::getDeviceState(name), DeckLinkDevice::StateOutputConnectionSet)
                << "a refused object never frees the owner's entry";

            sim->clearCallLog();
            first.release();
            EXPECT_EQ(sim->getCallLog(), (std::vector<std::string>{"SetCallback(null)", "DisableVideoInput()",
                                                                    "DisableVideoOutput()"}));
            EXPECT_EQ(DeckLinkDevice::getDeviceState(name), 0);
            EXPECT_EQ(sim->getCardReferences(0), 0) << "card, interfaces and modes all given back";
            EXPECT_TRUE(first.getInputModes().empty() && first.getOutputConnections().empty());
            EXPECT_TRUE(second.initialize()) << "free again";
        }

        TEST_F(DeckLinkDeviceTest, OutputOnlyAndInputOnlyCards)
        {
            sim->addCard(simCard(0, 2));
            sim->addCard(simCard(1, 0));
            {
                DeckLinkDevice outputOnly("M 1");
                ASSERT_TRUE(outputOnly.initialize());
                EXPECT_EQ(outputOnly.getInputHandle(), nullptr);
                EXPECT_TRUE(outputOnly.getInputConnections().empty() && outputOnly.getInputModes().empty());
                EXPECT_EQ(outputOnly.getOutputModes().size(), 2u);
                EXPECT_FALSE(outputOnly.enableVideoInput());
            }
            DeckLinkDevice inputOnly("M 2");
            ASSERT_TRUE(inputOnly.initialize());
            EXPECT_EQ(DeckLinkDevice::getDeviceState("M 2"), DeckLinkDevice::StateOpened);
            inputOnly.release();
            EXPECT_EQ(DeckLinkDevice::getDeviceState("M 2"), 0) << "an entry left at state 1 would lock the card";
            EXPECT_TRUE(inputOnly.initialize());
        }

        TEST_F(DeckLinkDeviceTest, ConnectionsAndModesFallBackToTheFirst)
        {
            sim->addCard(simCard(6, 2, false));
            DeckLinkDevice device("M 1");
            ASSERT_TRUE(device.initialize());
            sim->clearCallLog();
            EXPECT_TRUE(device.setInputConnection(bmdVideoConnectionSDI));
            EXPECT_EQ(device.getCurrentConnection()->name, "HDMI") << "SDI is not offered";
            EXPECT_EQ(sim->getCallLog(), (std::vector<std::string>{"SetInt(vicn, 2)"}));
            EXPECT_EQ(DeckLinkDevice::getDeviceState("M 1"), DeckLinkDevice::StateInputConnectionSet);

            EXPECT_TRUE(device.setInputMode(0x12345678));
            EXPECT_EQ(device.getCurrentMode()->name, "1080p30");
            EXPECT_TRUE(device.setOutputMode(simMode720p60().code));
            EXPECT_EQ(device.getCurrentMode()->name, "720p60");
            ASSERT_TRUE(device.enableVideoOutput());
            EXPECT_FALSE(device.setOutputMode(bmdModeHD1080p30)) << "an enabled output keeps its mode until re-enabled";

            LogRecorder log;
            sim->failCall("SetInt(vocn", 0);
            EXPECT_FALSE(device.setOutputConnection(2));
            EXPECT_TRUE(log.contains("setOutputConnection: Setting output connection mode failed.")) << log.dump();
        }

        TEST_F(DeckLinkDeviceTest, RunningInputRestartsOnModeAndFormatChange)
        {
            sim->addCard(simCard(2, 0, true));
            sim->addCard(simCard(2, 0, false));
            for (const char* name : {"M 1", "M 2"})
            {
                SCOPED_TRACE(name);
                DeckLinkDevice device(name);
                ASSERT_TRUE(device.initialize());
                ASSERT_TRUE(device.setInputMode(bmdModeHD1080p30));
                EXPECT_FALSE(device.isInputEnabled());
                const std::string flags = std::string(name) == "M 1" ? "1" : "0";
                sim->clearCallLog();
                EXPECT_TRUE(device.setInputMode(simMode720p60().code)) << "not running: nothing restarts";
                EXPECT_TRUE(sim->getCallLog().empty());
                ASSERT_TRUE(device.enableVideoInput());
                sim->clearCallLog();
                device.setInputMode(bmdModeHD1080p30);
                device.setPixelFormat(DeckLinkDevice::PixelFormatRGB);
                device.setPixelFormat(DeckLinkDevice::PixelFormatRGB);
                EXPECT_EQ(filterCalls(sim->getCallLog(), {"Pause", "Enable", "Flush", "Start"}),
                          (std::vector<std::string>{"PauseStreams()", "EnableVideoInput(Hp30, 2vuy, " + flags + ")",
                                                    "FlushStreams()", "StartStreams()", "PauseStreams()",
                                                    "EnableVideoInput(Hp30, 32, " + flags + ")", "FlushStreams()",
                                                    "StartStreams()"}));
                device.release();
                EXPECT_EQ(device.getPixelFormat(), DeckLinkDevice::PixelFormatYUV);
            }
        }

        struct OpenFailure
        {
            const char* name;
            const char* call;
            int afterCalls;
            const char* message;
        };

        class DeckLinkOpenFailureTest : public DeckLinkSimTest, public ::testing::WithParamInterface<OpenFailure>
        {
        };

        TEST_P(DeckLinkOpenFailureTest, FailsLeavesNoEntryAndGivesEverythingBack)
        {
            sim->addCard(simCard(3, 2));
            sim->failCall(GetParam().call, GetParam().afterCalls);
            LogRecorder log;
            {
                DeckLinkDevice device("M 1");
                EXPECT_FALSE(device.initialize());
                EXPECT_TRUE(log.contains(GetParam().message)) << log.dump();
                device.release();
                EXPECT_EQ(DeckLinkDevice::getDeviceState("M 1"), 0);
                EXPECT_EQ(sim->getCardReferences(0), 0);
            }
            sim->clearFailures();
            DeckLinkDevice again("M 1");
            EXPECT_TRUE(again.initialize()) << "the card is not left marked in use";
        }

        INSTANTIATE_TEST_SUITE_P(
            Steps, DeckLinkOpenFailureTest,
            ::testing::Values(
                OpenFailure{"NoCard", "CreateDeckLinkIteratorInstance", 0, "Failed finding decklink device 'M 1'."},
                OpenFailure{"NoConfiguration", "QueryInterface(Configuration)", 0,
                            "Failed getting decklink device 'M 1' config."},
                OpenFailure{"NoInputModes", "GetDisplayModeIterator(input)", 0,
                            "initialize: Getting device input formats failed."},
                OpenFailure{"NoOutputModes", "GetDisplayModeIterator(output)", 0,
                            "initialize: Getting device output formats failed."},
                OpenFailure{"NoInputOrOutput", "QueryInterface(", 2, "Device has no working input or output."},
                OpenFailure{"NoOutputConnections", "QueryInterface(Attributes)", 1,
                            "Failed getting available output connections."}),
            [](const auto& info) { return std::string(info.param.name); });
    }
}
