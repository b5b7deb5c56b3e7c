#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/VXThread.h"
#include "engine/network/VXDNSService.h"

namespace vx
{
    // Announces one service of this host through DNS-SD for exactly the
    // object's lifetime. No TXT record is published.
    //
    // The mDNS daemon drops the announcement when it goes away (an upgrade,
    // a network change, a resume). A thread of the registration's own ("Zero
    // Config Registration: " and the name) reads the daemon's replies: on the
    // loss it says so once in the log, answers not registered, and announces
    // again every retryIntervalMs until the daemon takes it. A daemon absent
    // at construction is waited for the same way; a registration the library
    // refuses for its arguments stays unannounced. A name another service
    // holds is given up for the next one, as peers do ("Name (2)", then
    // "Name (3)"), said once each in the log.
    class ZeroConfigRegistration : private Thread
    {
    public:
        // How long the constructor waits for the registration's reply.
        static constexpr int replyTimeoutMs = 5000;
        // How often announcing is tried again while the daemon is away.
        static constexpr int retryIntervalMs = 1000;

        // Registers at once and waits (on the calling thread, at most
        // replyTimeoutMs in all) for the daemon to announce it.
        ZeroConfigRegistration(const std::string& name, const std::string& type, std::uint16_t port);
        // Withdraws the announcement. Waits for the thread's current pass
        // (a daemon that does not answer holds it a moment at most).
        ~ZeroConfigRegistration() override;
        ZeroConfigRegistration(const ZeroConfigRegistration&) = delete;
        ZeroConfigRegistration& operator=(const ZeroConfigRegistration&) = delete;

        // True while the registration is open with the daemon and no error
        // came back for it.
        bool isRegistered() const { return ref.load() != nullptr; }
        const std::string& getName() const { return name; }
        // The name announced (or being announced): the name given unless
        // another service held it.
        std::string getAnnouncedName() const;

        // The longest name a service may have, in bytes (UTF-8): a DNS
        // label's.
        static constexpr size_t maxNameBytes = 63;
        // The name peers take when name is held: "Name (2)" for "Name",
        // "Name (3)" for "Name (2)"; the name before the count is cut (at a
        // character's start) so that the whole fits maxNameBytes.
        static std::string nextName(const std::string& name);
        const std::string& getType() const { return type; }
        std::uint16_t getPort() const { return port; }

    private:
        void run() override;
        void requestThreadStop() override;

        // Opens the registration; the error when it cannot be opened.
        dnssd::DNSServiceErrorType open();
        // Waits at most waitMs for a reply (or a wake-up) and processes it;
        // an error ends the registration until the next try.
        void processReplies(int waitMs);
        // The registration ended in an error: tried again at once under the
        // next name when its name is held, else at the retry pace.
        void failed(dnssd::DNSServiceErrorType error);
        void lost(dnssd::DNSServiceErrorType error);

        static void registerReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags, dnssd::DNSServiceErrorType error,
                                  const char* name, const char* regtype, const char* domain, void* context);

        // Opened by the constructor, then replaced and ended by the thread
        // until the destructor has stopped it.
        std::atomic<dnssd::DNSServiceRef> ref{nullptr};
        std::string name;
        mutable std::mutex nameLock; // announcedName
        std::string announcedName;
        std::string type;
        std::uint16_t port;
        // The state of the replies (the constructor's, then the thread's).
        bool replied = false;
        dnssd::DNSServiceErrorType replyError = dnssd::kDNSServiceErr_NoError;
        bool announced = false; // a reply said so since the last loss
        bool away = false;      // a loss was logged; its end is logged too
        double retryAt = 0;     // while not open: when to try again
        int wakeUpDescriptor = -1;
    };
}
