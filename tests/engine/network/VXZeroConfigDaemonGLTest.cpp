// Discovery through a real mDNS daemon (each case starts its own, see
// VXMDNSDaemon.h): the engine's own announcements found by the browser and the
// server manager, streamed over loopback to network sources, and followed
// through restarts on other ports, departures and returns, and a service whose
// host does not resolve, with the servers' presets kept throughout.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include <unistd.h>

#include "VXMDNSDaemon.h"
#include "VXNetworkTestSupport.h"
#include "core/VXTime.h"
#include "core/VXTimeInfo.h"
#include "core/xml/VXXmlCapable.h"
#include "core/xml/VXXmlStates.h"
#include "engine/network/VXNetworkVideoClientInstanceManager.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/network/VXZeroConfigBrowser.h"
#include "engine/network/VXZeroConfigRegistration.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"
#include "engine/video/sources/VXNetworkVideoSource.h"

namespace vx::test
{
    namespace
    {
        const std::string serverType = NetworkVideoServerManager::serverServiceType;
        // Announcing, resolving and the daemon's one-second goodbye time take
        // a few seconds; a minute is only the watchdog of a loaded machine.
        constexpr int eventTimeoutMs = 60000;

        // Name look-up of the daemon's ".local" names, as nss-mdns would give
        // it: asked of the daemon itself.
        std::string lookUpThroughDaemon(const std::string& host)
        {
            return MDNSDaemon::lookUpAddress(host);
        }

        std::string fullName(const std::string& name)
        {
            std::string escaped;
            for (char c : name)
                escaped += c == ' ' ? std::string("\\032") : std::string(1, c);
            return escaped + "." + serverType + ".local.";
        }

        class ZeroConfigDaemonTest : public HostRendererGLTest
        {
        protected:
            void SetUp() override
            {
                HostRendererGLTest::SetUp();
                ASSERT_FALSE(HasFatalFailure());
                std::string whyNot;
                ASSERT_TRUE(daemon.start(whyNot))
                    << "the test's own mDNS daemons did not start (root, dbus-daemon and avahi-daemon are "
                       "needed; scripts/install-deps installs them): "
                    << whyNot;
                NetworkVideoServerManager::setHostLookup(&lookUpThroughDaemon);
            }

            void TearDown() override
            {
                if (auto* objects = root->getGfxObjectManager())
                    objects->cleanAll();
                HostRendererGLTest::TearDown();
                NetworkVideoServerManager::deleteInstance();
                NetworkVideoServerManager::setHostLookup(nullptr);
                EXPECT_EQ(NetworkVideoClientInstanceManager::getInstance().getNumClients(), 0u);
                daemon.stop();
            }

            static NetworkVideoServerManager& manager() { return *NetworkVideoServerManager::getInstance(); }

            // The listed server of that port (on this machine), or none.
            static std::shared_ptr<NetworkVideoExtension> listed(int port)
            {
                return manager().getServerInfo("127.0.0.1", std::uint16_t(port));
            }

            static bool departed(const std::shared_ptr<NetworkVideoExtension>& entry)
            {
                std::vector<std::shared_ptr<NetworkVideoExtension>> servers, gone;
                manager().getServerEntries(servers, gone);
                return std::find(gone.begin(), gone.end(), entry) != gone.end();
            }

            static void addPreset(NetworkVideoExtension& server, const std::string& name)
            {
                XmlDocument document;
                XmlNode* preset = XmlCapable::createNode(document, "Preset");
                preset->append_attribute(createAttribute(document, "name", name));
                preset->append_node(XmlCapable::createNode(document, "VideoSource"));
                ASSERT_GE(server.loadPreset(preset), 0);
            }

            static std::string presetNames(const NetworkVideoExtension& server)
            {
                std::string names;
                const std::shared_ptr<XmlStates> presets = const_cast<NetworkVideoExtension&>(server).getPresets();
                for (int i = 0; presets != nullptr && i < presets->getNumStates(); ++i)
                    names += (names.empty() ? "" : ", ") + presets->getState(i)->getName();
                return names;
            }

            static std::unique_ptr<ZeroConfigRegistration> announce(const std::string& name, int port)
            {
                auto registration = std::make_unique<ZeroConfigRegistration>(name, serverType, std::uint16_t(port));
                EXPECT_TRUE(registration->isRegistered()) << name;
                return registration;
            }

            // A network source made by the manager for the listed server of
            // that port shows the picture sent there (fresh frame keys until
            // it does; the watchdog is generous).
            void streams(int port, unsigned seed)
            {
                std::unique_ptr<VideoSource> made(manager().createSource("127.0.0.1", std::uint16_t(port)));
                auto* source = dynamic_cast<NetworkVideoSource*>(made.get());
                ASSERT_NE(source, nullptr);
                shows(*source, port, seed);
            }

            // The source shows a picture (of its own size) sent to port.
            void shows(NetworkVideoSource& shown, int port, unsigned seed)
            {
                NetworkVideoSource* source = &shown;
                ASSERT_NE(source->getClient(), nullptr) << "the server at port " << port << " is listed";
                const auto picture = makePicture(16 + int(seed), 8, 4, seed);
                for (size_t i = 3; i < size_t(picture->width) * size_t(picture->height) * 4; i += 4)
                    picture->data[i] = 255;
                const auto packed = compressWith(PixelsCompressor::Dummy, *picture);
                UdpSender sender(port);
                TextureRef output;
                const double start = getTickCount();
                while (output.get() == nullptr && getTickCount() - start < double(eventTimeoutMs))
                {
                    sender.sendFrame(packetise(*packed, ++key), 20);
                    output = source->render(*renderer, info);
                    if (source->getWidth() != picture->width)
                        output.reset();
                }
                ASSERT_NE(output.get(), nullptr) << "no picture arrived at port " << port;
                const Picture read = readBack(*output.get());
                const unsigned char* expected = picture->data + (size_t(3) * size_t(picture->width) + 5) * 4;
                EXPECT_EQ(read.at(5, 3), (PixelRGBA8{expected[0], expected[1], expected[2], expected[3]}));
            }

            MDNSDaemon daemon;
            RenderInfo info;
            std::uint32_t key = 1;
        };
    }

    // The compatibility library answers a resolve, and a registration, only
    // after several rounds of processing.
    TEST_F(ZeroConfigDaemonTest, TheBrowserListsAnAnnouncementAndItsWithdrawal)
    {
        const int port = findFreePort();
        auto registration = announce("VX One", port);
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1; }, eventTimeoutMs))
            << "the announced service is resolved and listed";
        const ZeroConfigService service = *browser.getService(0);
        EXPECT_EQ(service.name, "VX One");
        EXPECT_EQ(service.fullName, fullName("VX One"));
        EXPECT_EQ(service.host, daemon.getHostName());
        EXPECT_EQ(service.port, port);

        registration.reset();
        EXPECT_TRUE(waitFor([&] { return browser.getNumServices() == 0; }, eventTimeoutMs));
    }

    // Two servers of this machine are listed and stream to their own sources;
    // one restarts on another port and later on its first, the other leaves
    // and comes back: each
    // entry keeps its presets (a server back on its former port is its former
    // entry again; a moved one is a new entry, the old kept with its presets).
    TEST_F(ZeroConfigDaemonTest, ServersAreFoundStreamedAndFollowedThroughRestartsWithTheirPresets)
    {
        const int portA = findFreePort(), portB = findFreePort();
        int portMoved = findFreePort();
        while (portMoved == portA || portMoved == portB)
            portMoved = findFreePort();
        ASSERT_NE(portA, portB);

        manager().findServers(serverType);
        auto a = announce("VX Server A", portA);
        auto b = announce("VX Server B", portB);
        ASSERT_TRUE(waitFor([&] { return listed(portA) && listed(portB); }, eventTimeoutMs))
            << manager().getNumServers() << " servers listed";
        const auto entryA = listed(portA), entryB = listed(portB);
        EXPECT_EQ(entryA->getServiceName(), fullName("VX Server A"));
        EXPECT_EQ(entryB->getServiceName(), fullName("VX Server B"));
        addPreset(*entryA, "A wide");
        addPreset(*entryB, "B tall");
        streams(portA, 1);
        streams(portB, 2);

        // A restart slower than the record's goodbye time: seen as leaving
        // and coming back on another port (the quick move, and the browsing
        // flicker it may bring, is the next case's).
        b.reset();
        ASSERT_TRUE(waitFor([&] { return ! listed(portB); }, eventTimeoutMs));
        b = announce("VX Server B", portMoved);
        ASSERT_TRUE(waitFor([&] { return listed(portMoved) != nullptr; }, eventTimeoutMs))
            << "the restart on another port is followed";
        EXPECT_EQ(listed(portA), entryA) << "the other server keeps its entry";
        EXPECT_TRUE(departed(entryB));
        EXPECT_EQ(presetNames(*entryB), "B tall") << "kept for its return";
        streams(portMoved, 3);

        a.reset();
        ASSERT_TRUE(waitFor([&] { return ! listed(portA); }, eventTimeoutMs)) << "the withdrawal is seen";
        EXPECT_TRUE(departed(entryA));
        a = announce("VX Server A", portA);
        ASSERT_TRUE(waitFor([&] { return listed(portA) != nullptr; }, eventTimeoutMs)) << "the return is seen";
        EXPECT_EQ(listed(portA), entryA) << "a returning server is its former entry";
        EXPECT_EQ(presetNames(*entryA), "A wide");
        streams(portA, 4);

        b.reset();
        ASSERT_TRUE(waitFor([&] { return ! listed(portMoved); }, eventTimeoutMs));
        b = announce("VX Server B", portB);
        ASSERT_TRUE(waitFor([&] { return listed(portB) != nullptr; }, eventTimeoutMs));
        EXPECT_EQ(listed(portB), entryB) << "back on its first port: its first entry";
        EXPECT_EQ(presetNames(*entryB), "B tall");
        EXPECT_EQ(manager().getNumServers(), 2);
    }

    // Two servers stream to their sources while the daemon restarts, alone
    // and with its bus: the servers stay listed as the same entries and the
    // sources keep their clients and show every new picture; once the
    // daemon is back and the servers announced again, none is listed twice.
    TEST_F(ZeroConfigDaemonTest, StreamsGoOnWhileTheDaemonRestarts)
    {
        const int portA = findFreePort(), portB = findFreePort();
        ASSERT_NE(portA, portB);
        manager().findServers(serverType);
        auto a = announce("VX Server A", portA);
        auto b = announce("VX Server B", portB);
        ASSERT_TRUE(waitFor([&] { return listed(portA) && listed(portB); }, eventTimeoutMs));
        const auto entryA = listed(portA), entryB = listed(portB);
        std::unique_ptr<VideoSource> madeA(manager().createSource("127.0.0.1", std::uint16_t(portA)));
        std::unique_ptr<VideoSource> madeB(manager().createSource("127.0.0.1", std::uint16_t(portB)));
        auto* sourceA = dynamic_cast<NetworkVideoSource*>(madeA.get());
        auto* sourceB = dynamic_cast<NetworkVideoSource*>(madeB.get());
        ASSERT_TRUE(sourceA != nullptr && sourceB != nullptr);
        NetworkVideoClient* const clientA = sourceA->getClient();
        NetworkVideoClient* const clientB = sourceB->getClient();
        TimeInfo time(0.0);
        const auto updated = [&]
        {
            time.increment(16.0);
            sourceA->update(time);
            sourceB->update(time);
            return true;
        };
        const ZeroConfigBrowser& browser = manager().getServerBrowser();
        unsigned seed = 1;
        for (const bool withBus : {false, true})
        {
            SCOPED_TRACE(withBus ? "with the bus" : "the responder alone");
            if (withBus)
                daemon.stop();
            else
                daemon.stopResponder();
            ASSERT_TRUE(waitFor([&] { return updated() && ! browser.isBrowsing() && ! a->isRegistered(); },
                                eventTimeoutMs));
            updated();
            EXPECT_EQ(listed(portA), entryA);
            EXPECT_EQ(listed(portB), entryB);
            ASSERT_EQ(sourceA->getClient(), clientA) << "the daemon's absence says nothing of the servers";
            ASSERT_EQ(sourceB->getClient(), clientB);
            ASSERT_NO_FATAL_FAILURE(shows(*sourceA, portA, seed++));
            ASSERT_NO_FATAL_FAILURE(shows(*sourceB, portB, seed++));

            std::string whyNot;
            ASSERT_TRUE(withBus ? daemon.start(whyNot) : daemon.startResponder(whyNot)) << whyNot;
            ASSERT_TRUE(waitFor(
                [&] { return updated() && browser.isBrowsing() && a->isRegistered() && b->isRegistered(); },
                eventTimeoutMs));
            // Past the time the browser gives the daemon to report them
            // again, nothing has changed.
            EXPECT_FALSE(waitFor(
                [&] {
                    return updated() && (manager().getNumServers() != 2 || sourceA->getClient() != clientA ||
                                         sourceB->getClient() != clientB);
                },
                ZeroConfigBrowser::defaultReturnTimeoutMs + 1000));
            EXPECT_EQ(manager().getNumServers(), 2);
            EXPECT_EQ(listed(portA), entryA);
            EXPECT_EQ(listed(portB), entryB);
            EXPECT_EQ(sourceA->getClient(), clientA);
            EXPECT_EQ(sourceB->getClient(), clientB);
            ASSERT_NO_FATAL_FAILURE(shows(*sourceA, portA, seed++));
            ASSERT_NO_FATAL_FAILURE(shows(*sourceB, portB, seed++));
        }
    }

    // While the daemon still tries to resolve a service whose host has no
    // address (it gives up after about five seconds), a server leaves and
    // another moves to a new port: the manager follows each within 2 s of
    // the daemon announcing it, measured against a second browser of the
    // same daemon. The engine's own delay is a few milliseconds; the old
    // browser resolved one service at a time and showed both only after the
    // failing resolve (seconds later), and missed a quick move altogether.
    TEST_F(ZeroConfigDaemonTest, AServiceWhoseHostDoesNotResolveHoldsBackNoOtherChange)
    {
        MDNSAnnouncements daemonSays(serverType);
        ASSERT_TRUE(daemonSays.isBrowsing());
        const int portA = findFreePort(), portB = findFreePort(), portNowhere = findFreePort();
        int portMoved = findFreePort();
        while (portMoved == portA || portMoved == portB)
            portMoved = findFreePort();

        manager().findServers(serverType);
        auto a = announce("VX Server A", portA);
        auto b = announce("VX Server B", portB);
        ASSERT_TRUE(waitFor([&] { return listed(portA) && listed(portB); }, eventTimeoutMs));
        const auto entryA = listed(portA), entryB = listed(portB);
        addPreset(*entryA, "A wide");
        addPreset(*entryB, "B tall");

        ForeignService nowhere("VX Nowhere", serverType, "vx-nowhere-" + std::to_string(getpid()) + ".local",
                               std::uint16_t(portNowhere));
        ASSERT_TRUE(nowhere.isRegistered());
        ASSERT_TRUE(waitFor([&] { return daemonSays.arrival("VX Nowhere", true) > 0; }, eventTimeoutMs));
        a.reset();
        b.reset();
        b = announce("VX Server B", portMoved);
        // The registration answers once the daemon holds the new record and
        // announces it.
        const double announcedMove = getTickCount();

        double seenLeaving = -1, seenMoved = -1;
        ASSERT_TRUE(waitFor(
            [&] {
                if (seenLeaving < 0 && ! listed(portA))
                    seenLeaving = getTickCount();
                if (seenMoved < 0 && listed(portMoved))
                    seenMoved = getTickCount();
                return seenLeaving > 0 && seenMoved > 0;
            },
            eventTimeoutMs))
            << "the withdrawal and the move are seen";
        // A browser hears of a withdrawal once the record's goodbye time
        // (one second) ran out: the other browser's removal is the daemon's
        // announcement. A move comes back before that, so browsing reports
        // nothing of it.
        ASSERT_TRUE(waitFor([&] { return daemonSays.arrival("VX Server A", false) > 0; }, eventTimeoutMs))
            << "the daemon announced the withdrawal";
        const double announcedLeaving = daemonSays.arrival("VX Server A", false);
        const double leavingDelay = seenLeaving - announcedLeaving, movedDelay = seenMoved - announcedMove;
        std::printf("[ measured ] withdrawal seen %.0f ms after the daemon announced it, move %.0f ms after\n",
                    leavingDelay, movedDelay);
        RecordProperty("withdrawalDelayMs", int(leavingDelay));
        RecordProperty("moveDelayMs", int(movedDelay));
        EXPECT_LT(leavingDelay, 2000.0);
        EXPECT_LT(movedDelay, 2000.0);

        // The daemon may still report the old record's expiry as B leaving
        // and coming back (when the new record came after it): wait for the
        // end of that.
        EXPECT_TRUE(waitFor([&] { return manager().getNumServers() == 1 && listed(portMoved); }, eventTimeoutMs));
        EXPECT_FALSE(manager().getServerInfo("127.0.0.1", std::uint16_t(portNowhere))) << "never listed";
        EXPECT_EQ(presetNames(*entryA), "A wide");
        EXPECT_TRUE(departed(entryA));
        EXPECT_EQ(presetNames(*entryB), "B tall");
        EXPECT_TRUE(departed(entryB));
    }
}
