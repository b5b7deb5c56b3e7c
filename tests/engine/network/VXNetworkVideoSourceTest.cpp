// Network video sources made by the server manager over the scripted DNS-SD
// backend: shared clients, the extension's strings, storing and recreating.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "VXFakeDNSService.h"
#include "VXNetworkTestSupport.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/VXTimeInfo.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXNetworkVideoClientInstanceManager.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/renderpasses/VXRenderPassChain.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXTransformEffect.h"
#include "engine/video/sources/VXNetworkVideoSource.h"
#include "engine/video/sources/VXVideoSourceManager.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        const std::string serverType = NetworkVideoServerManager::serverServiceType;

        using SourcePtr = std::unique_ptr<NetworkVideoSource>;

        SourcePtr asNetworkSource(XmlCapable* made)
        {
            auto* source = dynamic_cast<NetworkVideoSource*>(made);
            if (source == nullptr)
                delete made;
            return SourcePtr(source);
        }

        SourcePtr asNetworkSource(VideoSource* made)
        {
            return asNetworkSource(static_cast<XmlCapable*>(made));
        }

        // Servers "A" (127.0.0.1) and "B" (127.0.0.2) on free ports, listed by
        // a manager whose deferred calls the test drains.
        class NetworkVideoSourceTest : public testing::Test
        {
        protected:
            void SetUp() override
            {
                GfxObjectManager::setCurrent(&objects);
                passes.registerRenderPass("Transform", "Transform", &TransformEffect::creationFunc,
                                          RenderPassCategoryEffect, 1, true, false);
                RenderPassManager::setCurrent(&passes);
                NetworkVideoServerManager::setHostLookup(&lookUp);
                manager = NetworkVideoServerManager::getInstance();
                portA = std::uint16_t(findFreePort());
                portB = std::uint16_t(portA == 65535 ? portA - 1 : portA + 1);
                dns.scriptResolve("A", {"host-a", portA});
                dns.scriptResolve("B", {"host-b", portB});
                dns.announce("A", serverType);
                dns.announce("B", serverType);
                manager->findServers(serverType);
                ASSERT_TRUE(waitFor([&] {
                    scheduler.drain();
                    return manager->getNumServers() == 2;
                }));
            }

            void TearDown() override
            {
                NetworkVideoServerManager::deleteInstance();
                NetworkVideoServerManager::setHostLookup(nullptr);
                hostAFails = false;
                RenderPassManager::clearCurrent(&passes);
                objects.cleanAll();
                GfxObjectManager::clearCurrent(&objects);
                EXPECT_EQ(instances().getNumClients(), 0u) << "every client freed";
                EXPECT_EQ(dns.liveReferences(), 0) << "no live reference at exit";
            }

            // "host-a" answers nothing while hostAFails is set.
            static std::string lookUp(const std::string& host)
            {
                if (host == "host-a" && hostAFails.load())
                    return {};
                return host == "host-b" ? "127.0.0.2" : host == "host-e" ? "127.0.0.5" : "127.0.0.1";
            }
            static inline std::atomic<bool> hostAFails{false};

            static NetworkVideoClientInstanceManager& instances()
            {
                return NetworkVideoClientInstanceManager::getInstance();
            }

            std::shared_ptr<NetworkVideoExtension> server(const std::string& address)
            {
                return manager->getServerInfo(address);
            }

            std::string keyA() const { return NetworkVideoClientInstanceManager::keyFor("127.0.0.1", portA); }
            std::string keyB() const { return NetworkVideoClientInstanceManager::keyFor("127.0.0.2", portB); }

            SourcePtr sourceFor(const std::string& address)
            {
                return asNetworkSource(manager->createSource(address));
            }

            GfxObjectManager objects;
            RenderPassManager passes;
            ScopedTestScheduler scheduler;
            FakeDNSService dns;
            NetworkVideoServerManager* manager = nullptr;
            std::uint16_t portA = 0, portB = 0;
        };
    }

    TEST_F(NetworkVideoSourceTest, ExtensionsAnswerTheirStringsAndMakeSourcesForTheirServer)
    {
        const std::shared_ptr<NetworkVideoExtension> a = server("127.0.0.1");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->getExtensionName(), "127.0.0.1");
        EXPECT_EQ(a->getExtensionDescription(), "Network Server");
        EXPECT_EQ(a->getExtensionUniqueId(), "NETWORK_VIDEO_SRC");
        EXPECT_EQ(a->getCategoryName(), "Network Servers");
        EXPECT_FALSE(a->isHidden());

        SourcePtr source = asNetworkSource(a->createSource(static_cast<XmlState*>(nullptr)));
        ASSERT_NE(source, nullptr);
        ASSERT_NE(source->getClient(), nullptr);
        EXPECT_EQ(source->getClient()->getServer().getPort(), portA);
        EXPECT_TRUE(source->getClient()->isThreadRunning());
        EXPECT_EQ(source->getCreator(), static_cast<VideoSourceFactory*>(manager));
        EXPECT_EQ(source->getDescription(), "A." + serverType + ".local.");
        ASSERT_EQ(source->getServersParam()->getNumChoices(), 1u);
        EXPECT_EQ(source->getServersParam()->getNameOfChoice(0), source->getDescription());
        EXPECT_TRUE(source->getServersParam()->isChoiceEnabled(0));
        EXPECT_EQ(source->getSettings()->getName(), "Network Params");

        // Servers are listed newest first: B is the default.
        SourcePtr byDefault = asNetworkSource(manager->getDefaultClientForServerAsSource());
        ASSERT_NE(byDefault, nullptr);
        ASSERT_NE(byDefault->getClient(), nullptr);
        EXPECT_EQ(byDefault->getServerAddress(), "127.0.0.2");
        EXPECT_EQ(manager->getClientForServerAsSource(2), nullptr);
        EXPECT_EQ(manager->getClientForServerAsSource(-1), nullptr);
    }

    TEST_F(NetworkVideoSourceTest, TwoSourcesShareOneClientFreedWithTheSecond)
    {
        SourcePtr first = sourceFor("127.0.0.1");
        SourcePtr second = asNetworkSource(manager->getClientForServerAsSource(1));
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        ASSERT_NE(first->getClient(), nullptr);
        EXPECT_EQ(second->getClient(), first->getClient());
        EXPECT_EQ(instances().getReferenceCount(keyA()), 2);
        first.reset();
        EXPECT_EQ(instances().getNumClients(), 1u);
        EXPECT_TRUE(second->getClient()->isThreadRunning());
        second.reset();
        EXPECT_EQ(instances().getNumClients(), 0u);
    }

    TEST_F(NetworkVideoSourceTest, WithoutAClientItShowsNoneAndDescribesItselfAsNetwork)
    {
        LogRecorder log;
        SourcePtr unlisted = sourceFor("10.9.9.9");
        ASSERT_NE(unlisted, nullptr);
        EXPECT_EQ(unlisted->getClient(), nullptr);
        EXPECT_EQ(unlisted->getDescription(), "Network");
        ASSERT_EQ(unlisted->getServersParam()->getNumChoices(), 1u);
        EXPECT_EQ(unlisted->getServersParam()->getNameOfChoice(0), "None");
        EXPECT_FALSE(unlisted->getServersParam()->isChoiceEnabled(0));

        NetworkVideoSource plain;
        EXPECT_EQ(plain.getDescription(), "Network");
        EXPECT_EQ(plain.getSettings(), nullptr);
        XmlPool pool;
        XmlNode* element = plain.writeState(pool, true);
        EXPECT_EQ(readAttribute(element->first_attribute("type"), std::string()), "Network");
        ASSERT_NE(element->first_node("NetworkVideoInfo"), nullptr) << "still recognisable";
        EXPECT_EQ(element->first_node("NetworkVideoInfo")->first_attribute("ipaddress"), nullptr);
        EXPECT_EQ(element->first_attribute("ipaddress"), nullptr);
    }

    TEST_F(NetworkVideoSourceTest, ASavedSourceIsRecreatedWithItsServerParamsAndChain)
    {
        std::string text;
        {
            SourcePtr saved = sourceFor("127.0.0.2");
            ASSERT_NE(saved, nullptr);
            saved->setSize(320, 240);
            saved->getOpacityParam()->setValue(0.25, ValueChangeInfo());
            auto* transform = new TransformEffect();
            transform->setStorage(XmlCapable::storageCreatable);
            saved->getRenderPassChain()->addRenderPass(transform);
            text = XmlUtils::writeXmlToString(*saved, true);
        }
        EXPECT_EQ(instances().getNumClients(), 0u);

        const auto document = XmlUtils::loadXmlFromString(text, true);
        ASSERT_NE(document, nullptr);
        const XmlNode& element = *document->first_node();
        EXPECT_EQ(readAttribute(element.first_attribute("ipaddress"), std::string()), "127.0.0.2");
        EXPECT_EQ(readAttribute(element.first_attribute("port"), std::string()), std::to_string(portB));
        const XmlNode* info = element.first_node("NetworkVideoInfo");
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->next_sibling("NetworkVideoInfo"), nullptr) << "written once";
        EXPECT_EQ(readAttribute(info->first_attribute("ipaddress"), std::string()), "127.0.0.2");
        EXPECT_EQ(readAttribute(info->first_attribute("port"), std::string()), std::to_string(portB));

        SourcePtr recreated = asNetworkSource(manager->createSourceFromXML(element));
        ASSERT_NE(recreated, nullptr);
        ASSERT_NE(recreated->getClient(), nullptr);
        EXPECT_EQ(recreated->getClient()->getServer().getPort(), portB);
        EXPECT_EQ(instances().getReferenceCount(keyB()), 1) << "one use, however often it was asked for";
        EXPECT_EQ(recreated->getWidth(), 320);
        EXPECT_EQ(recreated->getOpacityParam()->getValue(), 0.25);
        ASSERT_EQ(recreated->getRenderPassChain()->getNumPasses(), 1);
        EXPECT_NE(dynamic_cast<TransformEffect*>(recreated->getRenderPassChain()->getRenderPass(0).get()), nullptr);
        EXPECT_EQ(XmlUtils::writeXmlToString(*recreated, true), text) << "stored again as it was";
    }

    TEST_F(NetworkVideoSourceTest, ReadingAnotherServerReleasesTheReplacedClient)
    {
        SourcePtr onA = sourceFor("127.0.0.1");
        SourcePtr onB = sourceFor("127.0.0.2");
        ASSERT_NE(onA->getClient(), nullptr);
        XmlPool pool;
        XmlNode* elementB = onB->writeState(pool, true);

        onA->readState(elementB, false);
        EXPECT_EQ(onA->getClient(), onB->getClient());
        EXPECT_EQ(onA->getDescription(), "B." + serverType + ".local.");
        EXPECT_EQ(onA->getServersParam()->getNameOfChoice(0), onA->getDescription());
        EXPECT_EQ(instances().getReferenceCount(keyA()), 0) << "A's client was freed";
        EXPECT_EQ(instances().getReferenceCount(keyB()), 2);

        onA->readState(elementB, false);
        EXPECT_EQ(instances().getReferenceCount(keyB()), 2) << "reading the same server again";
    }

    TEST_F(NetworkVideoSourceTest, StoredElementsWithoutAUsableServer)
    {
        struct Case
        {
            const char* name;
            const char* text;
            bool makesSource;
            const char* keptAddress;
        };
        const Case cases[] = {
            {"no info element", R"(<VideoSource type="NetworkVideoSource"/>)", false, ""},
            {"info without address", R"(<VideoSource type="NetworkVideoSource"><NetworkVideoInfo port="9"/></VideoSource>)",
             false, ""},
            {"empty address", R"(<VideoSource><NetworkVideoInfo ipaddress="" port="9"/></VideoSource>)", false, ""},
            {"unlisted server keeps its address",
             R"(<VideoSource ipaddress="10.1.1.1" port="9"><NetworkVideoInfo ipaddress="10.1.1.1" port="9"/></VideoSource>)",
             true, "10.1.1.1"},
            {"address only in the info element",
             R"(<VideoSource><NetworkVideoInfo ipaddress="10.1.1.2" port="9"/></VideoSource>)", true, "10.1.1.2"},
            {"port out of range names no server",
             R"(<VideoSource ipaddress="10.1.1.1" port="70000"><NetworkVideoInfo ipaddress="10.1.1.1" port="70000"/></VideoSource>)",
             true, ""},
        };
        for (const Case& c : cases)
        {
            SCOPED_TRACE(c.name);
            LogRecorder log;
            const auto document = XmlUtils::loadXmlFromString(c.text, true);
            ASSERT_NE(document, nullptr);
            SourcePtr made = asNetworkSource(manager->createSourceFromXML(*document->first_node()));
            EXPECT_EQ(made != nullptr, c.makesSource);
            if (made == nullptr)
                continue;
            EXPECT_EQ(made->getClient(), nullptr);
            EXPECT_EQ(made->getServerAddress(), c.keptAddress);
            XmlPool pool;
            XmlNode* again = made->writeState(pool, true);
            const XmlNode* info = again->first_node("NetworkVideoInfo");
            ASSERT_NE(info, nullptr);
            EXPECT_EQ(readAttribute(info->first_attribute("ipaddress"), std::string()), c.keptAddress)
                << "nothing lost on saving again";
        }
        EXPECT_EQ(instances().getNumClients(), 0u);
    }
}

namespace vx::test
{
    TEST_F(NetworkVideoSourceTest, TheSourceManagerListsServersAndRecreatesTheirSources)
    {
        std::string text;
        {
            SourcePtr saved = sourceFor("127.0.0.2");
            ASSERT_NE(saved, nullptr);
            text = XmlUtils::writeXmlToString(*saved, true);
        }
        VideoSourceManager sources; // browses again, on the same server manager
        ASSERT_TRUE(waitFor([&] {
            scheduler.drain();
            return manager->getNumServers() == 2;
        }));
        int servers = 0;
        for (const auto& extension : sources.getSources(true))
            servers += extension->getCategoryName() == "Network Servers" ? 1 : 0;
        EXPECT_EQ(servers, 2);

        const auto document = XmlUtils::loadXmlFromString(text, true);
        ASSERT_NE(document, nullptr);
        SourcePtr recreated = asNetworkSource(sources.createVideoSourceFromXML(*document->first_node()));
        ASSERT_NE(recreated, nullptr);
        ASSERT_NE(recreated->getClient(), nullptr);
        EXPECT_EQ(recreated->getClient()->getServer().getPort(), portB);
    }

    namespace
    {
        // Whether the client's newest frame holds picture's bytes.
        bool shows(NetworkVideoClient& client, const Pixels& picture)
        {
            client.readFrame();
            const auto pixels = client.getPixels();
            return pixels != nullptr && pixels->getDataSize() == picture.getDataSize() &&
                   std::memcmp(pixels->data, picture.data, size_t(picture.getDataSize())) == 0;
        }

        // Sends picture to port as new frames until client shows it (half a
        // minute is only the watchdog).
        bool streamUntilShown(NetworkVideoClient& client, int port, const Pixels& picture, std::uint32_t& key)
        {
            UdpSender sender(port);
            const auto packed = compressWith(PixelsCompressor::Dummy, picture);
            return waitFor([&] {
                sender.sendFrame(packetise(*packed, ++key), 5);
                return shows(client, picture);
            });
        }
    }

    // A second server on A's host, on its own port: sources made from the
    // two entries receive each its own server's stream, and one stored and
    // recreated comes back to its own server.
    TEST_F(NetworkVideoSourceTest, TwoServersOnOneHostEachShowTheirOwnStream)
    {
        const std::uint16_t portC = std::uint16_t(findFreePort());
        dns.scriptResolve("C", {"host-a", portC});
        dns.announce("C", serverType);
        ASSERT_TRUE(waitFor([&] {
            scheduler.drain();
            return manager->getNumServers() == 3;
        }));
        const std::shared_ptr<NetworkVideoExtension> c = manager->getServerInfo("127.0.0.1", portC);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->getExtensionDisplayName(), "C." + serverType + ".local.");
        EXPECT_EQ(manager->getServerInfo("127.0.0.1", portA)->getExtensionDisplayName(), "A." + serverType + ".local.");

        XmlState* const noPreset = nullptr;
        SourcePtr onA = asNetworkSource(manager->getServerInfo("127.0.0.1", portA)->createSource(noPreset));
        SourcePtr onC = asNetworkSource(c->createSource(noPreset));
        ASSERT_NE(onA, nullptr);
        ASSERT_NE(onC, nullptr);
        ASSERT_NE(onA->getClient(), nullptr);
        ASSERT_NE(onC->getClient(), nullptr);
        EXPECT_NE(onA->getClient(), onC->getClient());
        EXPECT_EQ(onC->getClient()->getServer().getPort(), portC);
        EXPECT_EQ(onC->getDescription(), "C." + serverType + ".local.");

        const auto pictureA = makePicture(16, 8, 3, 1);
        const auto pictureC = makePicture(16, 8, 3, 2);
        std::uint32_t key = 1000;
        ASSERT_TRUE(streamUntilShown(*onA->getClient(), portA, *pictureA, key));
        ASSERT_TRUE(streamUntilShown(*onC->getClient(), portC, *pictureC, key));
        EXPECT_FALSE(shows(*onA->getClient(), *pictureC)) << "A's source never received C's stream";

        XmlPool pool;
        XmlNode* stored = onC->writeState(pool, true);
        onC.reset();
        SourcePtr recreated = asNetworkSource(manager->createSourceFromXML(*stored));
        ASSERT_NE(recreated, nullptr);
        ASSERT_NE(recreated->getClient(), nullptr);
        EXPECT_EQ(recreated->getClient()->getServer().getPort(), portC);
    }

    // A composition opened before discovery listed its server: the restored
    // source has no client until the server is listed, then takes it on its
    // next update and shows the stream; it gives it back when the server
    // leaves and takes it again when it returns.
    TEST_F(NetworkVideoSourceTest, ASourceRestoredBeforeItsServerIsListedTakesItsClient)
    {
        const std::uint16_t portD = std::uint16_t(findFreePort());
        const std::string text = "<VideoSource type=\"NetworkVideoSource\" ipaddress=\"127.0.0.1\" port=\"" +
                                 std::to_string(portD) + "\"><NetworkVideoInfo ipaddress=\"127.0.0.1\" port=\"" +
                                 std::to_string(portD) + "\"/></VideoSource>";
        const auto document = XmlUtils::loadXmlFromString(text, true);
        ASSERT_NE(document, nullptr);
        SourcePtr restored;
        {
            LogRecorder log;
            restored = asNetworkSource(manager->createSourceFromXML(*document->first_node()));
        }
        ASSERT_NE(restored, nullptr);
        EXPECT_EQ(restored->getClient(), nullptr);

        TimeInfo time(0.0);
        const auto updatedUntil = [&](bool withClient)
        {
            return waitFor([&] {
                scheduler.drain();
                time.increment(16.0);
                restored->update(time);
                return (restored->getClient() != nullptr) == withClient;
            });
        };
        const auto picture = makePicture(16, 8, 3, 4);
        std::uint32_t key = 2000;
        dns.scriptResolve("D", {"host-a", portD});
        for (int round = 1; round <= 2; ++round)
        {
            SCOPED_TRACE(round == 1 ? "listed" : "listed again");
            dns.announce("D", serverType);
            ASSERT_TRUE(updatedUntil(true));
            EXPECT_EQ(restored->getClient()->getServer().getPort(), portD);
            EXPECT_EQ(restored->getDescription(), "D." + serverType + ".local.");
            ASSERT_TRUE(streamUntilShown(*restored->getClient(), portD, *picture, key));

            dns.withdraw("D", serverType);
            ASSERT_TRUE(updatedUntil(false)) << "the client goes with its server";
            EXPECT_EQ(restored->getServerAddress(), "127.0.0.1");
            EXPECT_EQ(restored->getServerPort(), portD);
            EXPECT_EQ(instances().getReferenceCount(NetworkVideoClientInstanceManager::keyFor("127.0.0.1", portD)), 0);
        }
    }

    // A source showing A's stream while another server appears and the
    // look-up of A's host fails that once: A stays listed at its last
    // address and the source keeps its client and the stream; once A's
    // service is withdrawn the source lets go.
    TEST_F(NetworkVideoSourceTest, AFailedLookUpOfAStreamingServerKeepsItsStream)
    {
        SourcePtr source = sourceFor("127.0.0.1");
        ASSERT_NE(source, nullptr);
        NetworkVideoClient* const client = source->getClient();
        ASSERT_NE(client, nullptr);
        std::uint32_t key = 3000;
        ASSERT_TRUE(streamUntilShown(*client, portA, *makePicture(16, 8, 3, 5), key));

        TimeInfo time(0.0);
        const auto update = [&]
        {
            scheduler.drain();
            time.increment(16.0);
            source->update(time);
        };
        hostAFails = true;
        const std::uint16_t portE = std::uint16_t(findFreePort());
        dns.scriptResolve("E", {"host-e", portE});
        dns.announce("E", serverType);
        ASSERT_TRUE(waitFor([&] {
            update();
            return manager->getServerInfo("127.0.0.5", portE) != nullptr;
        }));
        update();
        EXPECT_NE(manager->getServerInfo("127.0.0.1", portA), nullptr) << "A is listed at its last address";
        ASSERT_EQ(source->getClient(), client) << "the source kept its client";
        EXPECT_TRUE(streamUntilShown(*client, portA, *makePicture(16, 8, 3, 6), key));

        dns.withdraw("A", serverType);
        ASSERT_TRUE(waitFor([&] {
            update();
            return source->getClient() == nullptr;
        })) << "the client goes with its service";
        EXPECT_EQ(manager->getServerInfo("127.0.0.1", portA), nullptr);
        EXPECT_EQ(instances().getReferenceCount(keyA()), 0);
    }

    // The mDNS daemon goes away while a source shows A's stream: the servers
    // stay listed, the source keeps its client and the stream; back, the
    // daemon reports them again without duplicates. A server withdrawn
    // while it is back still takes its client along.
    TEST_F(NetworkVideoSourceTest, ASourceKeepsItsStreamWhileTheDaemonIsAway)
    {
        SourcePtr source = sourceFor("127.0.0.1");
        ASSERT_NE(source, nullptr);
        NetworkVideoClient* const client = source->getClient();
        ASSERT_NE(client, nullptr);
        const auto entryA = server("127.0.0.1"), entryB = server("127.0.0.2");
        std::uint32_t key = 4000;
        TimeInfo time(0.0);
        const auto update = [&]
        {
            scheduler.drain();
            time.increment(16.0);
            source->update(time);
        };
        const ZeroConfigBrowser& browser = manager->getServerBrowser();

        dns.daemonStops();
        const size_t triedBefore = dns.callsOf("browse").size();
        ASSERT_TRUE(waitFor([&] {
            update();
            return ! browser.isBrowsing() && dns.callsOf("browse").size() > triedBefore;
        })) << "the browser lost the daemon and tried again";
        update();
        EXPECT_EQ(manager->getNumServers(), 2);
        ASSERT_EQ(source->getClient(), client) << "the daemon's absence says nothing of the server";
        EXPECT_TRUE(streamUntilShown(*client, portA, *makePicture(16, 8, 3, 7), key));

        dns.daemonStarts();
        ASSERT_TRUE(waitFor([&] {
            update();
            return browser.isBrowsing() && dns.callsOf("resolve").size() >= 4;
        }));
        ASSERT_TRUE(waitFor([&] {
            update();
            return browser.getNumServices() == 2 && manager->getNumServers() == 2;
        }));
        EXPECT_EQ(server("127.0.0.1"), entryA) << "the same entries, none twice";
        EXPECT_EQ(server("127.0.0.2"), entryB);
        EXPECT_EQ(source->getClient(), client);

        dns.withdraw("A", serverType);
        ASSERT_TRUE(waitFor([&] {
            update();
            return source->getClient() == nullptr;
        })) << "the client goes with its service";
        EXPECT_EQ(instances().getReferenceCount(keyA()), 0);
    }
}
