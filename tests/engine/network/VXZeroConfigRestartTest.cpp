// Discovery and announcing through restarts of a real mDNS daemon (see
// VXMDNSDaemon.h): the daemon stopped as a package upgrade or a network
// change stops it, with services listed and their records watched, and
// started again; a daemon that was not running when browsing began; one that
// hangs, also while a program ends; names it holds already.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "VXMDNSDaemon.h"
#include "VXNetworkTestSupport.h"
#include "core/VXTime.h"
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

        size_t entriesOf(const char* folder)
        {
            std::error_code error;
            return size_t(std::distance(std::filesystem::directory_iterator(folder, error),
                                        std::filesystem::directory_iterator()));
        }

        // The event counters this process holds: one per DNS-SD reference of
        // the platform backend's and one per registration (the libraries
        // under it use none).
        size_t eventCountersHeld()
        {
            size_t count = 0;
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error))
            {
                std::error_code unreadable;
                count += std::filesystem::read_symlink(entry.path(), unreadable).string() == "anon_inode:[eventfd]";
            }
            return count;
        }

        // How long the calling thread is held by what it runs.
        template <typename Call>
        double heldMs(Call&& call)
        {
            const double start = getTickCount();
            call();
            return getTickCount() - start;
        }

        // A program of the suite's, started with its output on a pipe; killed,
        // if it has not ended, when this goes.
        class Program
        {
        public:
            explicit Program(const std::vector<std::string>& arguments)
            {
                std::vector<char*> argv;
                for (const std::string& argument : arguments)
                    argv.push_back(const_cast<char*>(argument.c_str()));
                argv.push_back(nullptr);
                int ends[2];
                if (pipe2(ends, O_CLOEXEC) != 0)
                    return;
                const pid_t parent = getpid();
                pid = fork();
                if (pid == 0)
                {
                    prctl(PR_SET_PDEATHSIG, SIGKILL);
                    if (getppid() != parent)
                        _exit(125);
                    dup2(ends[1], 1);
                    // Nothing of the suite's (the DNS-SD library's sockets) stays open in it.
                    close_range(3, ~0u, 0);
                    execv(argv[0], argv.data());
                    _exit(127);
                }
                close(ends[1]);
                output = ends[0];
            }
            ~Program()
            {
                if (pid > 0)
                {
                    kill(pid, SIGKILL);
                    waitpid(pid, nullptr, 0);
                }
                if (output >= 0)
                    close(output);
            }
            Program(const Program&) = delete;
            Program& operator=(const Program&) = delete;

            // True once it wrote the line within timeoutMs.
            bool waitForLine(const std::string& line, int timeoutMs)
            {
                const double end = getTickCount() + timeoutMs;
                std::string written;
                while (written.find(line + "\n") == std::string::npos)
                {
                    pollfd readable{output, POLLIN, 0};
                    const int leftMs = int(end - getTickCount());
                    if (output < 0 || leftMs <= 0 || poll(&readable, 1, leftMs) <= 0)
                        return false;
                    char bytes[256];
                    const ssize_t got = read(output, bytes, sizeof(bytes));
                    if (got <= 0)
                        return false;
                    written.append(bytes, size_t(got));
                }
                return true;
            }

            // Its exit status once it ended within timeoutMs; -1 when it did not.
            int waitForEnd(int timeoutMs)
            {
                int status = 0;
                if (pid <= 0 || ! waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs))
                    return -1;
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }

        private:
            pid_t pid = -1;
            int output = -1;
        };

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
    // answered as not browsing and not announced, the services still listed.
    // Once the daemon is back both start again by themselves and services
    // announced after the restart are seen, none twice. The last restart
    // takes the message bus along.
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
        for (int restart = 1; restart <= 3; ++restart)
        {
            SCOPED_TRACE("restart " + std::to_string(restart));
            const bool withBus = restart == 3;
            if (withBus)
                daemon.stop();
            else
                daemon.stopResponder();
            ASSERT_TRUE(waitFor([&] { return ! browser.isBrowsing() && ! own.isRegistered(); }, eventTimeoutMs))
                << "browsing " << browser.isBrowsing() << ", announced " << own.isRegistered();
            EXPECT_EQ(browser.getNumServices(), size_t(restart)) << "the services stay listed while it is away";

            if (withBus)
            {
                std::string whyNot;
                ASSERT_TRUE(daemon.start(whyNot)) << whyNot;
            }
            else
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

    // A daemon that hangs (stopped, its bus still up) answers no call until
    // the bus gives up after 25 s: at start, announcing keeps its bound,
    // browsing starts and both end at once; at shutdown, with a service
    // listed, both end at once too. Once it goes on, discovery works again,
    // and threads and descriptors are back where they were.
    TEST_F(ZeroConfigRestartTest, AFrozenDaemonHoldsUpNoCaller)
    {
        // The platform library's first use makes what lives as long as the
        // process.
        {
            ZeroConfigBrowser first;
            first.browseForService(serverType);
        }
        const size_t threads = entriesOf("/proc/self/task"), descriptors = entriesOf("/proc/self/fd");
        const int port = findFreePort();
        // A stop is a few milliseconds; the bound is only a loaded machine's.
        const double quickMs = 1500;

        daemon.freezeResponder();
        std::unique_ptr<ZeroConfigRegistration> own;
        EXPECT_LT(heldMs([&] { own = std::make_unique<ZeroConfigRegistration>("VX Frozen", serverType, port); }),
                  ZeroConfigRegistration::replyTimeoutMs + quickMs);
        auto browser = std::make_unique<ZeroConfigBrowser>();
        EXPECT_LT(heldMs([&] { browser->browseForService(serverType); }), quickMs);
        EXPECT_LT(heldMs([&] { browser.reset(); }), quickMs) << "a browser waiting for the daemon";
        EXPECT_LT(heldMs([&] { own.reset(); }), quickMs) << "a registration waiting for the daemon";

        daemon.thawResponder();
        own = std::make_unique<ZeroConfigRegistration>("VX Frozen", serverType, port);
        browser = std::make_unique<ZeroConfigBrowser>();
        browser->browseForService(serverType);
        ASSERT_TRUE(waitFor([&] { return own->isRegistered() && browser->getServiceByName("VX Frozen"); },
                            eventTimeoutMs));
        daemon.freezeResponder();
        EXPECT_LT(heldMs([&] { browser.reset(); }), quickMs) << "a browser with a service listed";
        EXPECT_LT(heldMs([&] { own.reset(); }), quickMs) << "an announced registration";

        daemon.thawResponder();
        {
            ZeroConfigRegistration after("VX Thawed", serverType, port);
            ZeroConfigBrowser watching;
            watching.browseForService(serverType);
            EXPECT_TRUE(waitFor([&] { return watching.getServiceByName("VX Thawed").has_value(); }, eventTimeoutMs));
        }
        EXPECT_TRUE(waitFor([&] { return entriesOf("/proc/self/task") == threads; }, eventTimeoutMs))
            << entriesOf("/proc/self/task") << " threads, " << threads << " before";
        EXPECT_TRUE(waitFor([&] { return entriesOf("/proc/self/fd") == descriptors; }, eventTimeoutMs))
            << entriesOf("/proc/self/fd") << " descriptors, " << descriptors << " before";
    }

    // Openings given up while the daemon hangs, before the one under way
    // ends, are dropped at once and never run: none waits behind it to take
    // the bus's 25 s in turn. Once the daemon goes on, browsing goes on.
    TEST_F(ZeroConfigRestartTest, AnOpeningGivenUpBeforeItBeganIsNeverRun)
    {
        daemon.freezeResponder();
        ZeroConfigBrowser held;
        held.browseForService(serverType);
        const size_t counters = eventCountersHeld();
        for (int i = 0; i < 4; ++i)
        {
            ZeroConfigBrowser givenUp;
            givenUp.browseForService(serverType);
        }
        EXPECT_LE(eventCountersHeld(), counters) << "the openings given up still wait their turn";

        daemon.thawResponder();
        const int port = findFreePort();
        ZeroConfigRegistration own("VX Thawed", serverType, std::uint16_t(port));
        EXPECT_TRUE(waitFor([&] { return held.getServiceByName("VX Thawed").has_value(); }, eventTimeoutMs));
    }

    // A program ending while the daemon hangs, with a browse and an
    // announcement of its own under way or waiting and others given up:
    // what never began is not run at its end, and the opening under way is
    // waited for no longer than a caller waits for one (5 s after its
    // hand-over); before, each took the bus's 25 s in turn. It ends cleanly
    // (the sanitizers find nothing at its exit).
    TEST_F(ZeroConfigRestartTest, AProgramEndsSoonWhileTheDaemonHangs)
    {
        daemon.freezeResponder();
        Program program({VX_DISCOVERY_AT_EXIT_PATH, serverType, std::to_string(findFreePort())});
        ASSERT_TRUE(program.waitForLine("ready", eventTimeoutMs + 2 * ZeroConfigRegistration::replyTimeoutMs));
        const double ready = getTickCount();
        // Far above the 5 s it may wait, far below the 25 s of one opening
        // more.
        const int boundMs = 12000;
        EXPECT_EQ(program.waitForEnd(boundMs), 0)
            << "-1: not ended " << (getTickCount() - ready) << " ms after it was ready";
    }

    // A second service of a name already announced is announced under the
    // next name, as peers name it, said once; the first keeps its name.
    TEST_F(ZeroConfigRestartTest, ATakenNameIsAnnouncedUnderTheNextOne)
    {
        LogRecorder log;
        const int portFirst = findFreePort(), portSecond = findFreePort();
        ZeroConfigRegistration first("VX Same", serverType, std::uint16_t(portFirst));
        ZeroConfigRegistration second("VX Same", serverType, std::uint16_t(portSecond));
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor(
            [&] { return browser.getServiceByName("VX Same (2)") && browser.getServiceByName("VX Same"); },
            eventTimeoutMs))
            << browser.getNumServices() << " listed\n" << log.dump();
        EXPECT_EQ(browser.getServiceByName("VX Same (2)")->port, portSecond);
        EXPECT_EQ(browser.getServiceByName("VX Same")->port, portFirst);
        EXPECT_EQ(second.getAnnouncedName(), "VX Same (2)");
        EXPECT_TRUE(second.isRegistered());
        EXPECT_EQ(linesWith(log, "\"VX Same\" is taken"), 1u) << log.dump();
        EXPECT_EQ(linesWith(log, "no longer announced"), 0u) << log.dump();
    }

    struct TakenLongNameCase
    {
        const char* label;
        std::string name;
        std::string next;
    };

    void PrintTo(const TakenLongNameCase& given, std::ostream* out)
    {
        *out << '"' << given.name << '"';
    }

    class ZeroConfigTakenLongNameTest : public ZeroConfigRestartTest,
                                        public testing::WithParamInterface<TakenLongNameCase>
    {
    };

    // A second service of a name that fills a label is announced under that
    // name cut to make room for its count, at a character's start: listed so
    // by the daemon, and reported and logged so.
    TEST_P(ZeroConfigTakenLongNameTest, IsAnnouncedCutToFitItsCount)
    {
        const TakenLongNameCase& given = GetParam();
        LogRecorder log;
        const int portFirst = findFreePort(), portSecond = findFreePort();
        ZeroConfigRegistration first(given.name, serverType, std::uint16_t(portFirst));
        ZeroConfigRegistration second(given.name, serverType, std::uint16_t(portSecond));
        ZeroConfigBrowser browser;
        browser.browseForService(serverType);
        ASSERT_TRUE(waitFor(
            [&] { return browser.getServiceByName(given.next) && browser.getServiceByName(given.name); },
            eventTimeoutMs))
            << browser.getNumServices() << " listed\n" << log.dump();
        EXPECT_EQ(browser.getServiceByName(given.next)->port, portSecond);
        EXPECT_EQ(browser.getServiceByName(given.name)->port, portFirst);
        EXPECT_TRUE(second.isRegistered());
        EXPECT_EQ(second.getAnnouncedName(), given.next);
        EXPECT_EQ(linesWith(log, "is taken by another service; announcing \"" + given.next + "\""), 1u) << log.dump();
        EXPECT_EQ(linesWith(log, "cannot announce"), 0u) << log.dump();
        EXPECT_EQ(linesWith(log, "no longer announced"), 0u) << log.dump();
    }

    INSTANTIATE_TEST_SUITE_P(
        Names, ZeroConfigTakenLongNameTest,
        testing::Values(TakenLongNameCase{"ascii63", asciiName(63), asciiName(59) + " (2)"},
                        TakenLongNameCase{"cjk21", repeated("雪", 21), repeated("雪", 19) + " (2)"},
                        TakenLongNameCase{"fourByteAcrossTheCut", asciiName(57) + "🎥", asciiName(57) + " (2)"}),
        [](const testing::TestParamInfo<TakenLongNameCase>& info) { return std::string(info.param.label); });
}
