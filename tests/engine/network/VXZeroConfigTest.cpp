// Browsing, resolving and announcing over the scripted DNS-SD backend.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <sstream>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "VXFakeDNSService.h"
#include "support/VXLogRecorder.h"
#include "VXNetworkTestSupport.h"
#include "engine/network/VXZeroConfigBrowser.h"
#include "core/VXTime.h"
#include "engine/network/VXZeroConfigRegistration.h"

namespace vx::test
{
    namespace
    {
        // The CPU time a thread of this process has used.
        double threadCpuMs(int tid)
        {
            std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
            std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
            // The fields after the name (which may hold blanks): state is the
            // third, user and system time the 14th and 15th.
            std::istringstream fields(text.substr(text.rfind(')') + 2));
            std::string field;
            double ticks = 0;
            for (int i = 3; i <= 15 && fields >> field; ++i)
                if (i >= 14)
                    ticks += std::stod(field);
            return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
        }

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

    // A browse refused for its arguments (a bad type) is not tried again.
    TEST_F(ZeroConfigTest, BrowseErrorLeavesItIdle)
    {
        dns.failNextBrowse(dnssd::kDNSServiceErr_BadParam);
        LogRecorder log; // outlives the browser's thread
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        EXPECT_FALSE(browser.isBrowsing());
        EXPECT_FALSE(browser.isThreadRunning());
        EXPECT_TRUE(log.contains("-65540")) << log.dump();
    }

    // A browse that can no longer be processed has lost the daemon: it ends
    // and browsing starts again.
    TEST_F(ZeroConfigTest, ProcessingErrorEndsTheBrowse)
    {
        LogRecorder log; // outlives the browser's thread
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        ASSERT_TRUE(browser.isBrowsing());
        dns.failNextBrowseProcessing(-65563);
        EXPECT_TRUE(waitFor([&] { return ! browser.isBrowsing(); }));
        EXPECT_TRUE(log.contains("error -65563")) << log.dump();
        EXPECT_TRUE(waitFor([&] { return browser.isBrowsing(); })) << "browsing again";
        EXPECT_EQ(dns.callsOf("browse").size(), 2u);
        EXPECT_EQ(dns.liveReferences("browse"), 1) << "the ended browse was freed";
    }

    // The daemon goes away with a service listed and a resolve waiting:
    // both end, the list stays (nobody is told of a change), one line says
    // so, and browsing is tried again at its pace, not in a loop, until the
    // daemon is back and the service is listed again, once.
    TEST_F(ZeroConfigTest, ALostDaemonIsSaidOnceAndBrowsingResumesWhenItIsBack)
    {
        FakeDNSService::Resolve silent;
        silent.silent = true;
        dns.scriptResolve("A", {"127.0.0.1", 5000});
        dns.scriptResolve("S", silent);
        dns.announce("A", serverType);
        dns.announce("S", serverType);
        LogRecorder log; // installed before the browser's thread logs
        ZeroConfigBrowser browser;
        CountingListener listener;
        browser.addListener(listener, false);
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1 && dns.liveReferences("resolve") == 1; }));
        const int told = listener.calls.load();

        dns.daemonStops();
        ASSERT_TRUE(waitFor([&] { return ! browser.isBrowsing(); }));
        EXPECT_EQ(browser.getNumServices(), 1u) << "the daemon's absence says nothing of the services";
        EXPECT_EQ(dns.liveReferences(), 0) << "the browse and the waiting resolve ended";
        EXPECT_EQ(listener.calls.load(), told);

        const std::vector<int> threads = findThreads("Zero Config Browser");
        ASSERT_EQ(threads.size(), 1u);
        // Measured from a try on: the next two are an interval apart.
        const size_t lostAt = dns.callsOf("browse").size();
        ASSERT_TRUE(waitFor([&] { return dns.callsOf("browse").size() > lostAt; }));
        const size_t triedBefore = dns.callsOf("browse").size();
        const double cpuBefore = threadCpuMs(threads[0]), wallBefore = getTickCount();
        ASSERT_TRUE(waitFor([&] { return dns.callsOf("browse").size() >= triedBefore + 2; }));
        const double wall = getTickCount() - wallBefore, cpu = threadCpuMs(threads[0]) - cpuBefore;
        EXPECT_GE(wall, double(ZeroConfigBrowser::retryIntervalMs)) << "two tries are an interval apart";
        EXPECT_LT(cpu, wall / 2) << "the thread sleeps between tries";
        EXPECT_FALSE(browser.isBrowsing());

        dns.daemonStarts();
        ASSERT_TRUE(waitFor([&] { return browser.isBrowsing() && browser.getNumServices() == 1; }));
        EXPECT_EQ(browser.getService(0)->name, "A");
        size_t lostLines = 0;
        for (const LogRecorder::Line& line : log.lines())
            lostLines += line.text.find("lost the mDNS daemon") != std::string::npos ? 1 : 0;
        EXPECT_EQ(lostLines, 1u) << log.dump();
        EXPECT_TRUE(log.contains("browsing for \"" + serverType + "\" again")) << log.dump();
        EXPECT_EQ(log.count(logError), 0u) << log.dump();
        browser.removeListener(listener);
    }

    // Services kept through the daemon's absence: one it reports again stays
    // (listed once), one withdrawn meanwhile leaves once the return time-out
    // has passed after browsing resumed, and listeners hear of that.
    TEST_F(ZeroConfigTest, AServiceGoneWhileTheDaemonWasAwayLeavesAfterItsReturn)
    {
        dns.scriptResolve("A", {"127.0.0.1", 5000});
        dns.scriptResolve("B", {"127.0.0.1", 5001});
        dns.announce("A", serverType);
        dns.announce("B", serverType);
        ZeroConfigBrowser browser;
        browser.setReturnTimeout(500);
        CountingListener listener;
        browser.addListener(listener, false);
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 2; }));

        dns.daemonStops();
        ASSERT_TRUE(waitFor([&] { return ! browser.isBrowsing(); }));
        dns.withdraw("B", serverType);
        const int told = listener.calls.load();
        dns.daemonStarts();
        ASSERT_TRUE(waitFor([&] { return browser.isBrowsing() && dns.callsOf("resolve").size() == 3; }));
        const double back = getTickCount();
        ASSERT_TRUE(waitFor([&] { return browser.getNumServices() == 1; }));
        EXPECT_GE(getTickCount() - back, 400.0) << "kept until the return time-out";
        EXPECT_EQ(browser.getService(0)->name, "A");
        EXPECT_GE(listener.calls.load(), told + 1);
        browser.removeListener(listener);
    }

    // stop waits for a listener that is busy on the browser's thread (a
    // slow host look-up) past any bound, and frees nothing it still uses.
    TEST_F(ZeroConfigTest, StopWaitsForABusyBrowserThread)
    {
        struct BusyListener : ZeroConfigBrowserListener
        {
            void servicesChanged(ZeroConfigBrowser*) override
            {
                std::unique_lock<std::mutex> hold(lock);
                entered = true;
                released.wait_for(hold, std::chrono::seconds(60), [&] { return free; });
                finished = true;
            }
            void release()
            {
                std::lock_guard<std::mutex> hold(lock);
                free = true;
                released.notify_all();
            }
            std::mutex lock;
            std::condition_variable released;
            bool free = false;
            std::atomic<bool> entered{false}, finished{false};
        } busy;

        dns.scriptResolve("A", {"127.0.0.1", 5000});
        dns.announce("A", serverType);
        ZeroConfigBrowser browser;
        browser.addListener(busy, false);
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return busy.entered.load(); }));
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            browser.stop();
            stopped.store(true);
        });
        // Longer than the bound stop once had (4 s): it must still wait.
        EXPECT_FALSE(waitFor([&] { return stopped.load(); }, 4500)) << "stop returned while its thread was busy";
        EXPECT_EQ(dns.liveReferences("browse"), 1) << "the browse the busy thread uses stays";
        busy.release();
        stopper.join();
        EXPECT_TRUE(busy.finished.load()) << "the listener ran to its end";
        EXPECT_FALSE(browser.isThreadRunning());
        EXPECT_EQ(dns.liveReferences(), 0);
        browser.removeListener(busy);
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
        LogRecorder log; // outlives the browser's thread
        ZeroConfigBrowser browser; // the default time-out: far longer than the test
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

        dns.failNextRegister(dnssd::kDNSServiceErr_BadParam);
        LogRecorder log;
        ZeroConfigRegistration refused("Kelvo", serverType, 5000);
        EXPECT_FALSE(refused.isRegistered());
        EXPECT_TRUE(log.contains("cannot announce")) << log.dump();
    }

    // The daemon drops the announcement when it goes away: the registration
    // says so once, answers not registered, tries again at its pace and is
    // announced again once the daemon is back.
    TEST_F(ZeroConfigTest, ARegistrationIsAnnouncedAgainWhenTheDaemonIsBack)
    {
        LogRecorder log;
        ZeroConfigRegistration registration("Kelvo", serverType, 5000);
        ASSERT_TRUE(registration.isRegistered());
        dns.daemonStops();
        ASSERT_TRUE(waitFor([&] { return ! registration.isRegistered(); }));
        EXPECT_EQ(dns.liveReferences(), 0);
        const size_t lostAt = dns.callsOf("register").size();
        ASSERT_TRUE(waitFor([&] { return dns.callsOf("register").size() > lostAt; }));
        const size_t triedBefore = dns.callsOf("register").size();
        const double wallBefore = getTickCount();
        ASSERT_TRUE(waitFor([&] { return dns.callsOf("register").size() >= triedBefore + 2; }));
        EXPECT_GE(getTickCount() - wallBefore, double(ZeroConfigRegistration::retryIntervalMs));
        EXPECT_FALSE(registration.isRegistered());

        dns.daemonStarts();
        ASSERT_TRUE(waitFor([&] { return registration.isRegistered() && log.contains("announced again"); }))
            << log.dump();
        EXPECT_EQ(dns.liveReferences("register"), 1);
        EXPECT_EQ(dns.callsOf("register").back().name, "Kelvo");
        size_t lostLines = 0;
        for (const LogRecorder::Line& line : log.lines())
            lostLines += line.text.find("\"Kelvo\" is no longer announced") != std::string::npos ? 1 : 0;
        EXPECT_EQ(lostLines, 1u) << log.dump();
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

namespace vx::test
{
    // A name another service holds: the registration takes the next name
    // peers would, says so once, and keeps it while it lives.
    TEST_F(ZeroConfigTest, ATakenNameIsAnnouncedUnderTheNextOne)
    {
        LogRecorder log;
        ZeroConfigRegistration first("Kelvo", serverType, 5000);
        ZeroConfigRegistration second("Kelvo", serverType, 5001);
        ZeroConfigRegistration third("Kelvo", serverType, 5002);
        EXPECT_TRUE(first.isRegistered() && second.isRegistered() && third.isRegistered());
        EXPECT_EQ(first.getAnnouncedName(), "Kelvo");
        EXPECT_EQ(second.getAnnouncedName(), "Kelvo (2)");
        EXPECT_EQ(third.getAnnouncedName(), "Kelvo (3)");
        EXPECT_EQ(third.getName(), "Kelvo");
        EXPECT_EQ(dns.callsOf("register").size(), 6u) << "one try per name taken";
        const size_t lines = log.lines().size();
        EXPECT_TRUE(log.contains("\"Kelvo\" is taken by another service; announcing \"Kelvo (2)\"")) << log.dump();
        EXPECT_TRUE(log.contains("\"Kelvo (2)\" is taken by another service; announcing \"Kelvo (3)\""))
            << log.dump();
        EXPECT_FALSE(waitFor([&] { return dns.callsOf("register").size() > 6; },
                             2 * ZeroConfigRegistration::retryIntervalMs + 500))
            << "nothing is tried again";
        EXPECT_EQ(log.lines().size(), lines) << log.dump();
    }

    struct NextNameCase
    {
        const char* label;
        std::string taken;
        std::string next;
    };

    void PrintTo(const NextNameCase& given, std::ostream* out)
    {
        *out << '"' << given.taken << '"';
    }

    class ZeroConfigNextNameTest : public testing::TestWithParam<NextNameCase>
    {
    };

    TEST_P(ZeroConfigNextNameTest, CountsAsPeersDo)
    {
        const std::string next = ZeroConfigRegistration::nextName(GetParam().taken);
        EXPECT_EQ(next, GetParam().next);
        EXPECT_LE(next.size(), ZeroConfigRegistration::maxNameBytes);
    }

    // Names that fill a label: the name before the count is cut to make it
    // room, at a character's start. "雪" is 3 bytes, "🎥" 4.
    INSTANTIATE_TEST_SUITE_P(
        Names, ZeroConfigNextNameTest,
        testing::Values(NextNameCase{"plain", "Kelvo", "Kelvo (2)"}, NextNameCase{"second", "Kelvo (2)", "Kelvo (3)"},
                        NextNameCase{"tenth", "Kelvo (9)", "Kelvo (10)"},
                        NextNameCase{"notACount", "Kelvo (1)", "Kelvo (1) (2)"},
                        NextNameCase{"words", "Kelvo (Stage)", "Kelvo (Stage) (2)"},
                        NextNameCase{"leadingZero", "Kelvo (02)", "Kelvo (02) (2)"},
                        NextNameCase{"empty", "Kelvo ()", "Kelvo () (2)"},
                        NextNameCase{"ascii59Fits", asciiName(59), asciiName(59) + " (2)"},
                        NextNameCase{"ascii60", asciiName(60), asciiName(59) + " (2)"},
                        NextNameCase{"ascii61", asciiName(61), asciiName(59) + " (2)"},
                        NextNameCase{"ascii62", asciiName(62), asciiName(59) + " (2)"},
                        NextNameCase{"ascii63", asciiName(63), asciiName(59) + " (2)"},
                        NextNameCase{"ascii63Second", asciiName(59) + " (2)", asciiName(59) + " (3)"},
                        NextNameCase{"ascii63Tenth", asciiName(59) + " (9)", asciiName(58) + " (10)"},
                        NextNameCase{"cjk20", repeated("雪", 20), repeated("雪", 19) + " (2)"},
                        NextNameCase{"cjk21", repeated("雪", 21), repeated("雪", 19) + " (2)"},
                        NextNameCase{"cjkTenth", repeated("雪", 19) + " (9)", repeated("雪", 19) + " (10)"},
                        NextNameCase{"fourByteAcrossTheCut", asciiName(57) + "🎥", asciiName(57) + " (2)"},
                        NextNameCase{"fourByteEndingAtTheCut", asciiName(55) + "🎥x", asciiName(55) + "🎥 (2)"},
                        NextNameCase{"fourByteOnly", repeated("🎥", 15), repeated("🎥", 14) + " (2)"}),
        [](const testing::TestParamInfo<NextNameCase>& info) { return std::string(info.param.label); });
}
