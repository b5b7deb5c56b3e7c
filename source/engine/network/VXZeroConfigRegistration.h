#pragma once

#include <atomic>
#include <cstdint>
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
    // refuses for its arguments stays unannounced.
    class ZeroConfigRegistration : private Thread
    {
    public:
        // How long the constructor waits for the registration's reply.
        static constexpr int replyTimeoutMs = 5000;
        // How often announcing is tried again while the daemon is away.
        static constexpr int retryIntervalMs = 1000;

        // Registers at once and waits (on the calling thread, at most
        // replyTimeoutMs) for the reply.
        ZeroConfigRegistration(const std::string& name, const std::string& type, std::uint16_t port);
        // Withdraws the announcement. Waits for the thread's current pass.
        ~ZeroConfigRegistration() override;
        ZeroConfigRegistration(const ZeroConfigRegistration&) = delete;
        ZeroConfigRegistration& operator=(const ZeroConfigRegistration&) = delete;

        // True while the registration is open with the daemon and no error
        // came back for it.
        bool isRegistered() const { return ref.load() != nullptr; }
        const std::string& getName() const { return name; }
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
        void lost(dnssd::DNSServiceErrorType error);

        static void registerReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags, dnssd::DNSServiceErrorType error,
                                  const char* name, const char* regtype, const char* domain, void* context);

        // Opened by the constructor, then replaced and ended by the thread
        // until the destructor has stopped it.
        std::atomic<dnssd::DNSServiceRef> ref{nullptr};
        std::string name;
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
