// The server manager over the scripted DNS-SD backend: the lists it builds
// from browsing, its listeners, the shared clients and announcements.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "VXFakeDNSService.h"
#include "support/VXLogRecorder.h"
#include "VXNetworkTestSupport.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXNetworkVideoClientInstanceManager.h"
#include "engine/network/VXNetworkVideoServerManager.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/xml/VXXmlStates.h"
#include "engine/network/VXSockets.h"

namespace vx::test
{
    namespace
    {
        const std::string serverType = NetworkVideoServerManager::serverServiceType;
        const std::string clientType = "_quarlite_client._udp";

        struct ServersListener : NetworkVideoServerManagerListener
        {
            void networkVideoServersChanged() override
            {
                onTestThread.store(std::this_thread::get_id() == testThread);
                servers.fetch_add(1);
            }
            void networkVideoClientsChanged() override { clients.fetch_add(1); }
            std::atomic<int> servers{0};
            std::atomic<int> clients{0};
            std::atomic<bool> onTestThread{false};
            std::thread::id testThread = std::this_thread::get_id();
        };

        // Each case makes and deletes the manager; the host scheduler is the
        // test's, so deferred calls run when the test drains them.
        class NetworkVideoServerManagerTest : public testing::Test
        {
        protected:
            void SetUp() override
            {
                NetworkVideoServerManager::setHostLookup(&lookUpHostForTests);
                manager = NetworkVideoServerManager::getInstance();
                manager->addListener(listener, true);
            }
            void TearDown() override
            {
                manager->removeListener(listener);
                NetworkVideoServerManager::deleteInstance();
                NetworkVideoServerManager::setHostLookup(nullptr);
                EXPECT_EQ(NetworkVideoServerManager::getInstanceWithoutCreating(), nullptr);
                EXPECT_EQ(dns.liveReferences(), 0) << "no live reference at exit";
            }

            // The manager's lists once the browser holds count services and
            // the scheduler has run what they caused.
            bool settle(ZeroConfigBrowser& browser, size_t count, const std::function<bool()>& done)
            {
                if (! waitFor([&] { return browser.getNumServices() == count; }))
                    return false;
                return waitFor([&] {
                    scheduler.drain();
                    return done();
                });
            }

            static std::string lookUpHostForTests(const std::string& host)
            {
                return host == "nowhere.invalid" ? std::string() : std::string("127.0.0.1");
            }

            ScopedTestScheduler scheduler;
            FakeDNSService dns;
            ServersListener listener;
            NetworkVideoServerManager* manager = nullptr;
        };
    }

    TEST_F(NetworkVideoServerManagerTest, ServersAreListedNewestResolvedFirst)
    {
        dns.scriptResolve("A", {"host-a", 7001});
        dns.scriptResolve("B", {"host-b", 7002});
        dns.announce("A", serverType);
        dns.announce("B", serverType);
        manager->findServers(serverType);
        ASSERT_TRUE(settle(manager->getServerBrowser(), 2, [&] { return manager->getNumServers() == 2; }));
        EXPECT_EQ(manager->getServerInfo(0)->getServiceName(), "B." + serverType + ".local.");
        EXPECT_EQ(manager->getServerInfo(0)->getPort(), 7002);
        EXPECT_EQ(manager->getServerInfo(1)->getServiceName(), "A." + serverType + ".local.");
        EXPECT_EQ(manager->getServerInfo(1)->getIpAddress(), "127.0.0.1");
        EXPECT_GE(listener.servers.load(), 1);
        EXPECT_TRUE(listener.onTestThread.load()) << "delivered by the host's scheduler";
        EXPECT_EQ(manager->getDefaultServerIndex(), 0);
    }

    TEST_F(NetworkVideoServerManagerTest, GettersAreBounded)
    {
        dns.scriptResolve("A", {"host-a", 7001});
        dns.announce("A", serverType);
        manager->findServers(serverType);
        ASSERT_TRUE(settle(manager->getServerBrowser(), 1, [&] { return manager->getNumServers() == 1; }));
        EXPECT_EQ(manager->getServerInfo(-1), nullptr);
        EXPECT_EQ(manager->getServerInfo(manager->getNumServers()), nullptr);
        EXPECT_NE(manager->getServerInfo(std::string("127.0.0.1")), nullptr);
        EXPECT_EQ(manager->getServerInfo(std::string("10.1.2.3")), nullptr);
        EXPECT_EQ(manager->getClientInfo(0), nullptr);
    }

    TEST_F(NetworkVideoServerManagerTest, UnresolvableOnlyServerTellsNobody)
    {
        dns.scriptResolve("X", {"nowhere.invalid", 7001});
        dns.announce("X", serverType);
        manager->findServers(serverType);
        ASSERT_TRUE(waitFor([&] { return manager->getServerBrowser().getNumServices() == 1; }));
        Thread::sleep(20);
        scheduler.drain();
        EXPECT_EQ(manager->getNumServers(), 0);
        EXPECT_EQ(listener.servers.load(), 0);
    }

    TEST_F(NetworkVideoServerManagerTest, ClientsAreListedEvenWithoutAddress)
    {
        dns.scriptResolve("C", {"nowhere.invalid", 7100});
        dns.announce("C", clientType);
        manager->findClients(clientType);
        ASSERT_TRUE(settle(manager->getClientBrowser(), 1, [&] { return manager->getNumClients() == 1; }));
        EXPECT_EQ(manager->getClientInfo(0)->getIpAddress(), "");
        EXPECT_EQ(manager->getClientInfo(0)->getPort(), 7100);
        EXPECT_EQ(listener.clients.load(), 1);
        EXPECT_EQ(listener.servers.load(), 0);
    }

    TEST_F(NetworkVideoServerManagerTest, WithoutASchedulerTheListHasChangedOnTheBrowserThread)
    {
        // A manager made while no scheduler is installed hears at once.
        manager->removeListener(listener);
        NetworkVideoServerManager::deleteInstance();
        const auto creation = AsyncUpdatableImpl::creationFunc;
        const auto installed = AsyncScheduler::asyncScheduler;
        AsyncUpdatableImpl::creationFunc = &createDummy;
        AsyncScheduler::asyncScheduler.reset();
        manager = NetworkVideoServerManager::getInstance();
        ServersListener direct;
        manager->addListener(direct, true);
        manager->addListener(listener, true);
        AsyncUpdatableImpl::creationFunc = creation;
        AsyncScheduler::asyncScheduler = installed;

        dns.scriptResolve("A", {"host-a", 7001});
        dns.announce("A", serverType);
        manager->findServers(serverType);
        ASSERT_TRUE(waitFor([&] { return direct.servers.load() == 1; }));
        EXPECT_FALSE(direct.onTestThread.load());
        EXPECT_EQ(manager->getNumServers(), 1);
        manager->removeListener(direct);
    }

    TEST_F(NetworkVideoServerManagerTest, ClientsAreSharedPerAddress)
    {
        const int port = findFreePort();
        dns.scriptResolve("A", {"host-a", std::uint16_t(port)});
        dns.announce("A", serverType);
        manager->findServers(serverType);
        ASSERT_TRUE(settle(manager->getServerBrowser(), 1, [&] { return manager->getNumServers() == 1; }));

        NetworkVideoClientInstanceManager& instances = NetworkVideoClientInstanceManager::getInstance();
        NetworkVideoClient* first = manager->getClientForServer("127.0.0.1");
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(first->isThreadRunning());
        EXPECT_EQ(manager->getClientForServer("127.0.0.1"), first);
        const std::string key = NetworkVideoClientInstanceManager::keyFor("127.0.0.1", std::uint16_t(port));
        EXPECT_EQ(instances.getReferenceCount(key), 2);
        manager->releaseClient(first);
        EXPECT_EQ(instances.getNumClients(), 1u);
        manager->releaseClient(first);
        EXPECT_EQ(instances.getNumClients(), 0u) << "freed with the second";

        EXPECT_EQ(manager->getClientForServer("10.9.9.9"), nullptr) << "not listed";

        const int holder = socket(AF_INET, SOCK_DGRAM, 0);
        ASSERT_TRUE(Sockets::bindSocketToPort(holder, port));
        LogRecorder log;
        EXPECT_EQ(manager->getClientForServer("127.0.0.1"), nullptr) << "the port is taken";
        EXPECT_EQ(instances.getNumClients(), 0u);
        close(holder);
    }

    TEST_F(NetworkVideoServerManagerTest, AnnouncementsReplaceAndWithdraw)
    {
        manager->registerAsServer("one", serverType, 5000);
        EXPECT_TRUE(manager->isRegisteredAsServer());
        manager->registerAsServer("two", serverType, 5001);
        EXPECT_EQ(dns.liveReferences("register"), 1) << "the first was withdrawn";
        manager->registerAsServer("two", serverType, 5003);
        EXPECT_EQ(dns.callsOf("register").back().name, "two") << "the same name, once its holder was withdrawn";
        EXPECT_EQ(dns.callsOf("register").size(), 3u);
        manager->registerAsClient("me", clientType, 5002);
        EXPECT_EQ(dns.liveReferences("register"), 2);
        manager->deregisterAsServer();
        EXPECT_FALSE(manager->isRegisteredAsServer());
        EXPECT_TRUE(manager->isRegisteredAsClient());
        // The client registration goes with the manager (TearDown checks).
    }

    namespace
    {
        // Counts the server browser's reports once the scheduler delivered
        // them (after the manager, which listened first).
        struct BrowserReports : ZeroConfigBrowserListener
        {
            void servicesChanged(ZeroConfigBrowser*) override { reports.fetch_add(1); }
            std::atomic<int> reports{0};
        };

        void addPreset(NetworkVideoExtension& server, const std::string& name)
        {
            XmlDocument document;
            XmlNode* preset = XmlCapable::createNode(document, "Preset");
            preset->append_attribute(createAttribute(document, "name", name));
            preset->append_node(XmlCapable::createNode(document, "VideoSource"));
            ASSERT_GE(server.loadPreset(preset), 0);
        }
    }

    // Servers appear, renew their announcement and leave while one stays
    // listed: that one keeps its entry and its presets throughout; one that
    // leaves and comes back is its former entry again.
    TEST_F(NetworkVideoServerManagerTest, AServerThatStaysListedKeepsItsEntryAndPresets)
    {
        BrowserReports browser;
        manager->getServerBrowser().addListener(browser, true);
        const auto settleReports = [&](int count, int servers)
        {
            return waitFor([&] {
                scheduler.drain();
                return browser.reports.load() >= count && manager->getNumServers() == servers;
            });
        };
        const auto entryOf = [&](const std::string& name) -> std::shared_ptr<NetworkVideoExtension>
        {
            for (int i = 0; i < manager->getNumServers(); ++i)
                if (manager->getServerInfo(i)->getServiceName() == name + "." + serverType + ".local.")
                    return manager->getServerInfo(i);
            return nullptr;
        };

        dns.scriptResolve("A", {"host-a", 7001});
        dns.scriptResolve("B", {"host-b", 7002});
        dns.announce("A", serverType);
        manager->findServers(serverType);
        ASSERT_TRUE(settleReports(1, 1));
        const std::shared_ptr<NetworkVideoExtension> a = entryOf("A");
        ASSERT_NE(a, nullptr);
        addPreset(*a, "Wide");

        struct Step
        {
            const char* what;
            std::function<void()> act;
            int servers;
        };
        const Step steps[] = {
            {"another server appears", [&] { dns.announce("B", serverType); }, 2},
            {"the server renews its announcement", [&] { dns.announce("A", serverType); }, 2},
            {"the other server leaves", [&] { dns.withdraw("B", serverType); }, 1},
            {"the other server returns", [&] { dns.announce("B", serverType); }, 2},
        };
        int reports = browser.reports.load();
        std::shared_ptr<NetworkVideoExtension> b;
        for (const Step& step : steps)
        {
            SCOPED_TRACE(step.what);
            step.act();
            ASSERT_TRUE(settleReports(++reports, step.servers));
            EXPECT_EQ(entryOf("A"), a);
            EXPECT_EQ(a->getPresets()->getNumStates(), 1);
            if (b == nullptr)
            {
                b = entryOf("B");
            }
            else if (step.servers == 2)
            {
                EXPECT_EQ(entryOf("B"), b) << "a server back is its former entry";
            }
        }

        // While it is away its entry is among the departed, and in one of
        // the two lists only.
        std::vector<std::shared_ptr<NetworkVideoExtension>> listed;
        std::vector<std::shared_ptr<NetworkVideoExtension>> departed;
        dns.withdraw("A", serverType);
        ASSERT_TRUE(settleReports(++reports, 1));
        EXPECT_EQ(entryOf("A"), nullptr);
        manager->getServerEntries(listed, departed);
        EXPECT_EQ(listed, (std::vector<std::shared_ptr<NetworkVideoExtension>>{b}));
        EXPECT_EQ(std::count(departed.begin(), departed.end(), a), 1);
        EXPECT_EQ(std::count(departed.begin(), departed.end(), b), 0);
        dns.announce("A", serverType);
        ASSERT_TRUE(settleReports(++reports, 2));
        EXPECT_EQ(entryOf("A"), a);
        manager->getServerEntries(listed, departed);
        EXPECT_EQ(std::count(listed.begin(), listed.end(), a), 1);
        EXPECT_EQ(std::count(departed.begin(), departed.end(), a), 0);
        EXPECT_EQ(a->getPresets()->getNumStates(), 1) << "its presets came back with it";

        // The last server leaving is news too.
        const int told = listener.servers.load();
        dns.withdraw("A", serverType);
        dns.withdraw("B", serverType);
        ASSERT_TRUE(settleReports(reports + 2, 0));
        EXPECT_GT(listener.servers.load(), told);
        manager->getServerBrowser().removeListener(browser);
    }

    // Two servers on one host, each its own service and port: each has its
    // own client bound to its port, and the entries show their services.
    TEST_F(NetworkVideoServerManagerTest, TwoServersOnOneHostHaveAClientEach)
    {
        const std::uint16_t portA = std::uint16_t(findFreePort());
        const std::uint16_t portB = std::uint16_t(portA == 65535 ? portA - 1 : portA + 1);
        dns.scriptResolve("A", {"host-a", portA});
        dns.scriptResolve("B", {"host-a", portB});
        dns.announce("A", serverType);
        dns.announce("B", serverType);
        manager->findServers(serverType);
        ASSERT_TRUE(settle(manager->getServerBrowser(), 2, [&] { return manager->getNumServers() == 2; }));
        EXPECT_NE(manager->getServerInfo(0)->getExtensionDisplayName(),
                  manager->getServerInfo(1)->getExtensionDisplayName());
        EXPECT_EQ(manager->getServerInfo("127.0.0.1", portB)->getServiceName(), "B." + serverType + ".local.");

        NetworkVideoClient* a = manager->getClientForServer("127.0.0.1", portA);
        NetworkVideoClient* b = manager->getClientForServer("127.0.0.1", portB);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_NE(a, b);
        EXPECT_EQ(a->getServer().getPort(), portA);
        EXPECT_EQ(b->getServer().getPort(), portB);
        EXPECT_EQ(manager->getClientForServer("127.0.0.1", portB), b) << "shared per server";
        NetworkVideoClientInstanceManager& instances = NetworkVideoClientInstanceManager::getInstance();
        EXPECT_EQ(instances.getNumClients(), 2u);
        manager->releaseClient(b);
        manager->releaseClient(b);
        manager->releaseClient(a);
        EXPECT_EQ(instances.getNumClients(), 0u);
    }
}
