// Discovery and announcing through restarts of a real mDNS daemon (see
// VXMDNSDaemon.h): the daemon stopped as a package upgrade or a network
// change stops it, with services listed and their records watched, and
// started again; and a daemon that was not running when browsing began.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "VXMDNSDaemon.h"
#include "VXNetworkTestSupport.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/network/VXZeroConfigBrowser.h"
#include "engine/network/VXZeroConfigRegistration.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        const std::string serverType = NetworkVideoServerManager::serverServiceType;
        // A restart is noticed at once and followed within a few seconds;
        // the deadline is only the watchdog of a loaded machine.
        constexpr int eventTimeoutMs = 30000;

        size_t linesWith(const LogRecorder& log, const std::string& part)
        {
            size_t count = 0;
            for (const LogRecorder::Line& line : log.lines())
                count += line.text.find(part) != std::string::npos ? 1 : 0;
            return count;
        }

        class ZeroConfigRestartTest : public testing::Test
        {
        protected:
            void SetUp() override
            {
                std::string whyNot;
                ASSERT_TRUE(daemon.start(whyNot))
                    << "the test's own mDNS daemons did not start (root, dbus-daemon and avahi-daemon are "
                       "needed; scripts/install-deps installs them): "
                    << whyNot;
            }

            void restartResponder()
            {
                std::string whyNot;
                ASSERT_TRUE(daemon.startResponder(whyNot)) << whyNot;
            }

            MDNSDaemon daemon;
        };
    }

    // Each stop ends the browse, the resolves and the watches of the listed
    // services (whose handling by the platform library once crashed the
    // program), withdraws the own announcement: all said once in the log and
    // answered as not browsing and not announced. Once the daemon is back
    // both start again by themselves and services announced after the
    // restart are seen.
    TEST_F(ZeroConfigRestartTest, BrowsingAndAnnouncingFollowTheDaemonThroughRestarts)
    {
        LogRecorder log; // installed before any thread of discovery logs
        const int portOwn = findFreePort();
        ZeroConfigRegistration own("VX Own", serverType, std::uint16_t(portOwn));
        ASSERT_TRUE(own.isRegistered());
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return browser.getServiceByName("VX Own").has_value(); }, eventTimeoutMs));

        std::vector<std::unique_ptr<ZeroConfigRegistration>> later;
        for (int restart = 1; restart <= 2; ++restart)
        {
            SCOPED_TRACE("restart " + std::to_string(restart));
            daemon.stopResponder();
            ASSERT_TRUE(waitFor([&] { return ! browser.isBrowsing() && ! own.isRegistered(); }, eventTimeoutMs))
                << "browsing " << browser.isBrowsing() << ", announced " << own.isRegistered();
            EXPECT_EQ(browser.getNumServices(), 0u) << "nothing is known while the daemon is away";

            ASSERT_NO_FATAL_FAILURE(restartResponder());
            const std::string name = "VX After " + std::to_string(restart);
            later.push_back(std::make_unique<ZeroConfigRegistration>(name, serverType, std::uint16_t(portOwn)));
            ASSERT_TRUE(waitFor(
                [&] {
                    return browser.isBrowsing() && own.isRegistered() && browser.getServiceByName("VX Own") &&
                           browser.getServiceByName(name);
                },
                eventTimeoutMs))
                << "browsing " << browser.isBrowsing() << ", announced " << own.isRegistered() << ", "
                << browser.getNumServices() << " listed\n"
                << log.dump();
            EXPECT_TRUE(waitFor([&] { return browser.getNumServices() == size_t(1 + restart); }, eventTimeoutMs))
                << "the registrations made after earlier restarts are announced again too";

            // One line each per restart (the return's may follow the
            // listing).
            const size_t times = size_t(restart);
            EXPECT_TRUE(waitFor([&] { return linesWith(log, "\"VX Own\" announced again") == times; }, eventTimeoutMs))
                << log.dump();
            EXPECT_EQ(linesWith(log, "browsing for \"" + serverType + "\" lost the mDNS daemon"), times) << log.dump();
            EXPECT_EQ(linesWith(log, "\"VX Own\" is no longer announced"), times) << log.dump();
            EXPECT_EQ(linesWith(log, "browsing for \"" + serverType + "\" again"), times) << log.dump();
        }
        const auto listed = browser.getServiceByName("VX Own");
        ASSERT_TRUE(listed.has_value());
        EXPECT_EQ(listed->port, portOwn);
        EXPECT_EQ(listed->host, daemon.getHostName());
    }

    // A daemon that is not running when browsing and announcing begin is
    // picked up when it starts.
    TEST_F(ZeroConfigRestartTest, ADaemonStartedLaterIsPickedUp)
    {
        daemon.stopResponder();
        LogRecorder log;
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        EXPECT_FALSE(browser.isBrowsing());
        const int port = findFreePort();
        ZeroConfigRegistration own("VX Early", serverType, std::uint16_t(port));
        EXPECT_FALSE(own.isRegistered());
        EXPECT_EQ(linesWith(log, "cannot browse for"), 1u) << log.dump();
        EXPECT_EQ(linesWith(log, "cannot announce \"VX Early\""), 1u) << log.dump();

        ASSERT_NO_FATAL_FAILURE(restartResponder());
        ASSERT_TRUE(waitFor([&] { return browser.isBrowsing() && own.isRegistered(); }, eventTimeoutMs))
            << log.dump();
        ASSERT_TRUE(waitFor([&] { return browser.getServiceByName("VX Early").has_value(); }, eventTimeoutMs));
        EXPECT_EQ(browser.getServiceByName("VX Early")->port, port);
        EXPECT_EQ(linesWith(log, "cannot browse for"), 1u) << "one line for the whole outage\n" << log.dump();
        EXPECT_EQ(linesWith(log, "cannot announce \"VX Early\""), 1u) << log.dump();
    }
}
