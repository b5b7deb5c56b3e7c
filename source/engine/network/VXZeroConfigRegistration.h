#pragma once

#include <cstdint>
#include <string>

#include "engine/network/VXDNSService.h"

namespace vx
{
    // Announces one service of this host through DNS-SD for exactly the
    // object's lifetime. No TXT record is published.
    class ZeroConfigRegistration
    {
    public:
        // How long the constructor waits for the registration's reply.
        static constexpr int replyTimeoutMs = 5000;

        // Registers at once and waits (on the calling thread, at most
        // replyTimeoutMs) for the reply. A failure leaves it unannounced.
        ZeroConfigRegistration(const std::string& name, const std::string& type, std::uint16_t port);
        // Withdraws the announcement.
        ~ZeroConfigRegistration();
        ZeroConfigRegistration(const ZeroConfigRegistration&) = delete;
        ZeroConfigRegistration& operator=(const ZeroConfigRegistration&) = delete;

        bool isRegistered() const { return ref != nullptr; }
        const std::string& getName() const { return name; }
        const std::string& getType() const { return type; }
        std::uint16_t getPort() const { return port; }

    private:
        static void registerReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags, dnssd::DNSServiceErrorType error,
                                  const char* name, const char* regtype, const char* domain, void* context);

        dnssd::DNSServiceRef ref = nullptr;
        std::string name;
        std::string type;
        std::uint16_t port;
    };
}
