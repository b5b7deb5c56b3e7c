#pragma once

// A real mDNS responder for one test: its own message bus (a system bus on a
// socket in a temporary folder) and its own avahi-daemon in private mount and
// network namespaces (a private /run, only a loopback interface), so tests
// running at once never meet each other's daemons or the machine's. The
// daemons die with the process that started them, on every exit path; stop
// (and the destructor) ends them at once. Needs root (as CI runs).
//
// The platform DNS-SD library reaches the bus through DBUS_SYSTEM_BUS_ADDRESS,
// which the bus library reads once per process: every daemon of one process
// listens on the same path, set before the first one starts.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace vx::test
{
    class MDNSDaemon
    {
    public:
        MDNSDaemon() = default;
        ~MDNSDaemon();
        MDNSDaemon(const MDNSDaemon&) = delete;
        MDNSDaemon& operator=(const MDNSDaemon&) = delete;

        // Starts the bus, then the responder, and waits until the responder
        // serves (generous bound). False with a message (why, and the
        // daemons' output) when either cannot be started.
        bool start(std::string& whyNot);
        void stop();
        // The responder alone, the bus staying: stopped and started again,
        // it restarts as a package upgrade restarts it (same host name,
        // nothing of what it held before). Start needs the bus running.
        bool startResponder(std::string& whyNot);
        void stopResponder();
        // The responder hangs (SIGSTOP) and goes on (SIGCONT): the bus holds
        // every call to it until the bus's own time-out. Stopping it thaws it.
        void freezeResponder();
        void thawResponder();

        // The responder's host name with its domain ("vxtest1234.local.").
        const std::string& getHostName() const { return hostName; }

        // The IPv4 address text of a ".local" host, asked of the responder
        // (an A record query over its multicast path): what name look-up
        // answers where nss-mdns is enabled. Empty when nothing answers
        // within timeoutMs.
        static std::string lookUpAddress(const std::string& host, int timeoutMs = 3000);

    private:
        bool startBus(std::string& whyNot);

        pid_t bus = -1;
        pid_t responder = -1;
        std::string hostName;
        std::string responderLog;
    };

    // Watches the daemon's announcements of one service type: browses on its
    // own thread straight through the platform library and notes the tick
    // count (getTickCount) at which each addition and removal arrived. The
    // yardstick for how soon the engine follows the daemon.
    class MDNSAnnouncements
    {
    public:
        explicit MDNSAnnouncements(const std::string& type);
        ~MDNSAnnouncements();
        MDNSAnnouncements(const MDNSAnnouncements&) = delete;
        MDNSAnnouncements& operator=(const MDNSAnnouncements&) = delete;

        bool isBrowsing() const { return browsing; }
        // When the count-th (from 1) announcement of name arrived (added
        // or removed); -1 while it has not.
        double arrival(const std::string& name, bool added, int count = 1) const;

    private:
        struct Event
        {
            std::string name;
            bool added;
            double time;
        };
        void note(const std::string& name, bool added);

        mutable std::mutex lock;
        std::vector<Event> events;
        std::atomic<bool> stopping{false};
        bool browsing = false;
        void* browse = nullptr;
        std::thread thread;
    };

    // A service published through the platform library under a host name of
    // the caller's choice (as another machine would), for as long as it
    // lives.
    class ForeignService
    {
    public:
        ForeignService(const std::string& name, const std::string& type, const std::string& host,
                       std::uint16_t port);
        ~ForeignService();
        ForeignService(const ForeignService&) = delete;
        ForeignService& operator=(const ForeignService&) = delete;

        bool isRegistered() const { return ref != nullptr; }

    private:
        void* ref = nullptr;
    };
}
