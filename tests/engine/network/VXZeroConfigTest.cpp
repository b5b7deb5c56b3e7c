// Browsing, resolving and announcing over the scripted DNS-SD backend.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "VXFakeDNSService.h"
#include "support/VXLogRecorder.h"
#include "VXNetworkTestSupport.h"
#include "engine/network/VXZeroConfigBrowser.h"
#include "engine/network/VXZeroConfigRegistration.h"

namespace vx::test
{
    namespace
    {
        const std::string serverType = "_quarlite_server._udp";

        struct CountingListener : ZeroConfigBrowserListener
        {
            void servicesChanged(ZeroConfigBrowser*) override
            {
                calledOnTestThread.store(std::this_thread::get_id() == testThread);
                calls.fetch_add(1);
            }
            std::atomic<int> calls{0};
            std::atomic<bool> calledOnTestThread{false};
            std::thread::id testThread = std::this_thread::get_id();
        };

        class ZeroConfigTest : public testing::Test
        {
        protected:
            void TearDown() override { EXPECT_EQ(dns.liveReferences(), 0) << "every reference ended"; }

            FakeDNSService dns;
        };
    }

    TEST_F(ZeroConfigTest, BrowsesOnANamedThreadAndResolves)
    {
        dns.scriptResolve("A", {"host-a", 5000});
        dns.announce("A", serverType);
        ZeroConfigBrowser browser;
        CountingListener listener;
        browser.addListener(listener, false);
        browser.browseForService(serverType);
        ASSERT_TRUE(browser.isThreadRunning());
        const std::vector<int> threads = findThreads("Zero Config Browser: " + serverType);
        ASSERT_EQ(threads.size(), 1u);
        EXPECT_TRUE(hasEnginePriority(threads[0], 5));
        EXPECT_EQ(browser.getThreadName(), "Zero Config Browser: " + serverType);

        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1; }));
        const auto service = browser.getService(0);
        ASSERT_TRUE(service.has_value());
        EXPECT_EQ(service->name, "A");
        EXPECT_EQ(service->fullName, "A." + serverType + ".local.");
        EXPECT_EQ(service->host, "host-a");
        EXPECT_EQ(service->port, 5000);
        EXPECT_FALSE(browser.getService(1).has_value());
        EXPECT_TRUE(browser.getServiceByName("A").has_value());
        EXPECT_TRUE(waitFor([&] { return listener.calls.load() == 1; }));

        const auto browse = dns.callsOf("browse");
        ASSERT_EQ(browse.size(), 1u);
        EXPECT_EQ(browse[0].flags, 0u);
        EXPECT_EQ(browse[0].interfaceIndex, 0u);
        EXPECT_TRUE(browse[0].domainNull);
        browser.removeListener(listener);
    }

    TEST_F(ZeroConfigTest, NameAnnouncedTwiceIsListedOnce)
    {
        dns.scriptResolve("A", {"127.0.0.1", 5000});
        dns.announce("A", serverType);
        dns.announce("A", serverType);
        ZeroConfigBrowser browser;
        CountingListener listener;
        browser.addListener(listener, false);
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return listener.calls.load() == 2; }));
        EXPECT_EQ(browser.getNumServices(), 1u);
        browser.removeListener(listener);
    }

    TEST_F(ZeroConfigTest, RemovingAnUnresolvedServiceNotifies)
    {
        FakeDNSService::Resolve failing;
        failing.error = -65537;
        dns.scriptResolve("B", failing);
        ZeroConfigBrowser browser;
        CountingListener listener;
        browser.addListener(listener, false);
        browser.browseForService(serverType);
        dns.announce("B", serverType);
        ASSERT_TRUE(waitFor([&] { return dns.callsOf("resolve").size() == 1; }));
        dns.withdraw("B", serverType);
        ASSERT_TRUE(waitFor([&] { return listener.calls.load() == 1; }));
        EXPECT_EQ(browser.getNumServices(), 0u);
        browser.removeListener(listener);
    }

    TEST_F(ZeroConfigTest, SecondBrowseEmptiesTheFirst)
    {
        dns.scriptResolve("A", {"127.0.0.1", 5000});
        dns.announce("A", serverType);
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1; }));
        browser.browseForService("_other._udp");
        EXPECT_EQ(browser.getNumServices(), 0u);
        EXPECT_EQ(browser.getServiceType(), "_other._udp");
        EXPECT_EQ(dns.liveReferences("browse"), 1) << "the first browse ended";
    }

    TEST_F(ZeroConfigTest, BrowseErrorLeavesItIdle)
    {
        dns.failNextBrowse(-65537);
        ZeroConfigBrowser browser;
        LogRecorder log;
        browser.browseForService(serverType);
        EXPECT_FALSE(browser.isBrowsing());
        EXPECT_FALSE(browser.isThreadRunning());
        EXPECT_TRUE(log.contains("-65537")) << log.dump();
    }

    TEST_F(ZeroConfigTest, ProcessingErrorEndsTheBrowse)
    {
        ZeroConfigBrowser browser;
        LogRecorder log;
        browser.browseForService(serverType);
        ASSERT_TRUE(browser.isBrowsing());
        dns.failNextBrowseProcessing(-65563);
        EXPECT_TRUE(waitFor([&] { return ! browser.isBrowsing(); }));
        EXPECT_EQ(dns.liveReferences("browse"), 0);
    }

    TEST_F(ZeroConfigTest, SilentResolveFailsAndFreesTheThread)
    {
        FakeDNSService::Resolve silent;
        silent.silent = true;
        dns.scriptResolve("S", silent);
        dns.scriptResolve("T", {"127.0.0.1", 6000});
        ZeroConfigBrowser browser;
        browser.setResolveTimeout(100);
        LogRecorder log;
        browser.browseForService(serverType);
        dns.announce("S", serverType);
        dns.announce("T", serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1; }));
        EXPECT_EQ(browser.getService(0)->name, "T");
        // T does not wait for S's time-out (resolves run side by side).
        EXPECT_TRUE(waitFor([&] { return log.contains("no resolve of \"S\""); })) << log.dump();
        EXPECT_TRUE(waitFor([&] { return dns.liveReferences("resolve") == 0; }));
        EXPECT_EQ(browser.getNumServices(), 1u);
    }

    // A resolve that never answers holds back neither another service's
    // listing nor a removal.
    TEST_F(ZeroConfigTest, ASilentResolveHoldsBackNoOtherChange)
    {
        FakeDNSService::Resolve silent;
        silent.silent = true;
        dns.scriptResolve("S", silent);
        dns.scriptResolve("T", {"127.0.0.1", 6000});
        dns.scriptResolve("U", {"127.0.0.1", 6001});
        ZeroConfigBrowser browser; // the default time-out: far longer than the test
        LogRecorder log;
        browser.browseForService(serverType);
        dns.announce("T", serverType);
        dns.announce("S", serverType);
        ASSERT_TRUE(waitFor([&] { return dns.callsOf("resolve").size() == 2; }));
        dns.announce("U", serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 2; }));
        dns.withdraw("T", serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1; }));
        EXPECT_EQ(browser.getService(0)->name, "U");
        EXPECT_EQ(dns.liveReferences("resolve"), 1) << "S still waits";
        EXPECT_FALSE(log.contains("no resolve")) << log.dump();
        dns.withdraw("S", serverType);
        EXPECT_TRUE(waitFor([&] { return dns.liveReferences("resolve") == 0; })) << "its removal ends its resolve";
    }

    TEST_F(ZeroConfigTest, StopEndsAWaitingResolve)
    {
        FakeDNSService::Resolve silent;
        silent.silent = true;
        dns.scriptResolve("S", silent);
        dns.announce("S", serverType);
        ZeroConfigBrowser browser; // the default time-out: far longer than the test
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return dns.callsOf("resolve").size() == 1; }));
        browser.stop();
        EXPECT_FALSE(browser.isThreadRunning());
        EXPECT_EQ(dns.callsOf("deallocate").size(), 2u) << "the thread ended itself, releasing the resolve";
    }

    TEST_F(ZeroConfigTest, WithoutASchedulerListenersHearOnTheBrowserThread)
    {
        dns.scriptResolve("A", {"127.0.0.1", 5000});
        dns.announce("A", serverType);
        ZeroConfigBrowser browser;
        CountingListener listener;
        browser.addListener(listener, true);
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return listener.calls.load() == 1; }));
        EXPECT_FALSE(listener.calledOnTestThread.load());
        browser.removeListener(listener);
    }

    TEST_F(ZeroConfigTest, WithASchedulerListenersHearWhenItRuns)
    {
        ScopedTestScheduler scheduler;
        dns.scriptResolve("A", {"127.0.0.1", 5000});
        dns.announce("A", serverType);
        ZeroConfigBrowser browser;
        CountingListener listener;
        browser.addListener(listener, true);
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1; }));
        Thread::sleep(20);
        EXPECT_EQ(listener.calls.load(), 0) << "queued until the host runs it";
        ASSERT_TRUE(waitFor([&] {
            scheduler.drain();
            return listener.calls.load() == 1;
        }));
        EXPECT_TRUE(listener.calledOnTestThread.load());
        browser.removeListener(listener);
    }

    TEST_F(ZeroConfigTest, RegistrationAnnouncesForItsLifetime)
    {
        {
            ZeroConfigRegistration registration("Kelvo", serverType, 5000);
            EXPECT_TRUE(registration.isRegistered());
            const auto calls = dns.callsOf("register");
            ASSERT_EQ(calls.size(), 1u);
            const auto* port = reinterpret_cast<const unsigned char*>(&calls[0].portNetworkOrder);
            EXPECT_EQ(port[0], 0x13);
            EXPECT_EQ(port[1], 0x88);
            EXPECT_EQ(calls[0].txtLength, 0);
            EXPECT_TRUE(calls[0].txtNull);
            EXPECT_TRUE(calls[0].domainNull);
            EXPECT_TRUE(calls[0].hostNull);
            EXPECT_EQ(calls[0].name, "Kelvo");
            EXPECT_EQ(dns.liveReferences("register"), 1);
        }
        const auto ended = dns.callsOf("deallocate");
        ASSERT_EQ(ended.size(), 1u);
        EXPECT_EQ(ended[0].kind, "register");

        dns.failNextRegister(-65537);
        LogRecorder log;
        ZeroConfigRegistration refused("Kelvo", serverType, 5000);
        EXPECT_FALSE(refused.isRegistered());
        EXPECT_TRUE(log.contains("cannot announce")) << log.dump();
    }
}

namespace vx::test
{
    // A watched service's SRV data: port and target read, anything cut short
    // or malformed refused without touching the listed values.
    TEST(ZeroConfigServiceRecordTest, ReadsPortAndTargetAndRefusesBrokenData)
    {
        const std::string record("\x00\x01\x00\x02\x13\x88\x06vxtest\x05local\x00", 20);
        std::uint16_t port = 1;
        std::string host = "before";
        ASSERT_TRUE(ZeroConfigBrowser::readServiceRecord(record.data(), record.size(), port, host));
        EXPECT_EQ(port, 5000);
        EXPECT_EQ(host, "vxtest.local.");

        for (size_t cut = 0; cut < record.size(); ++cut)
        {
            port = 1;
            host = "before";
            EXPECT_FALSE(ZeroConfigBrowser::readServiceRecord(record.data(), cut, port, host)) << cut;
            EXPECT_EQ(port, 1);
            EXPECT_EQ(host, "before");
        }
        const std::string noTarget("\x00\x01\x00\x02\x13\x88\x00", 7);
        EXPECT_FALSE(ZeroConfigBrowser::readServiceRecord(noTarget.data(), noTarget.size(), port, host));
        std::string longLabel("\x00\x01\x00\x02\x13\x88\x40", 7);
        longLabel += std::string(64, 'a') + std::string(1, '\0');
        EXPECT_FALSE(ZeroConfigBrowser::readServiceRecord(longLabel.data(), longLabel.size(), port, host));
        EXPECT_FALSE(ZeroConfigBrowser::readServiceRecord(nullptr, 20, port, host));
    }
}
