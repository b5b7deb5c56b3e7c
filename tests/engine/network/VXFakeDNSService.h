#pragma once

// A scripted DNS-SD backend: installed while it lives, it records every call,
// gives each reference a real descriptor (one end of a socketpair) that turns
// readable when replies wait, and runs the queued replies inside
// DNSServiceProcessResult. Tests announce and withdraw services, script each
// resolve, inject errors and count the references still open. A registration
// of a name another one holds is refused in its reply
// (kDNSServiceErr_NameConflict), as the daemon refuses it.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/network/VXDNSService.h"

namespace vx::test
{
    class FakeDNSService : public dnssd::Backend
    {
    public:
        struct Call
        {
            std::string function; // "browse", "resolve", "register", "deallocate"
            std::string kind;     // of the reference a deallocate ended
            std::string name;
            std::string type;
            dnssd::DNSServiceFlags flags = 0;
            std::uint32_t interfaceIndex = 0;
            bool domainNull = false;
            bool hostNull = false;
            std::uint16_t portNetworkOrder = 0;
            std::uint16_t txtLength = 0;
            bool txtNull = false;
        };

        // How the next resolves of a name answer: host and port, an error, or
        // never (silent).
        struct Resolve
        {
            std::string host = "127.0.0.1";
            std::uint16_t port = 0;
            dnssd::DNSServiceErrorType error = dnssd::kDNSServiceErr_NoError;
            bool silent = false;
        };

        FakeDNSService();
        ~FakeDNSService() override;

        void announce(const std::string& name, const std::string& type);
        void withdraw(const std::string& name, const std::string& type);
        void scriptResolve(const std::string& name, const Resolve& resolve);

        // The next call of that kind fails with the error.
        void failNextBrowse(dnssd::DNSServiceErrorType error);
        void failNextRegister(dnssd::DNSServiceErrorType error);
        // The next processing of a browse reference answers the error.
        void failNextBrowseProcessing(dnssd::DNSServiceErrorType error);
        // The daemon goes away: every open reference replies the error the
        // compatibility library gives then (kDNSServiceErr_Unknown), and new
        // browses, resolves and registrations fail with it until it starts.
        void daemonStops();
        void daemonStarts();

        std::vector<Call> calls() const;
        std::vector<Call> callsOf(const std::string& function) const;
        int liveReferences() const;
        int liveReferences(const std::string& kind) const;

        dnssd::DNSServiceErrorType browse(dnssd::DNSServiceRef* refOut, dnssd::DNSServiceFlags flags,
                                          std::uint32_t interfaceIndex, const char* regtype, const char* domain,
                                          dnssd::DNSServiceBrowseReply reply, void* context) override;
        dnssd::DNSServiceErrorType resolve(dnssd::DNSServiceRef* refOut, dnssd::DNSServiceFlags flags,
                                           std::uint32_t interfaceIndex, const char* name, const char* regtype,
                                           const char* domain, dnssd::DNSServiceResolveReply reply,
                                           void* context) override;
        dnssd::DNSServiceErrorType registerService(dnssd::DNSServiceRef* refOut, dnssd::DNSServiceFlags flags,
                                                   std::uint32_t interfaceIndex, const char* name,
                                                   const char* regtype, const char* domain, const char* host,
                                                   std::uint16_t portNetworkOrder, std::uint16_t txtLength,
                                                   const void* txtRecord, dnssd::DNSServiceRegisterReply reply,
                                                   void* context) override;
        dnssd::DNSServiceErrorType processResult(dnssd::DNSServiceRef ref) override;
        int refSockFD(dnssd::DNSServiceRef ref) override;
        void refDeallocate(dnssd::DNSServiceRef ref) override;

    private:
        struct Ref;

        // Under the lock.
        Ref* makeRef(const std::string& kind, const std::string& type);
        void queue(Ref& ref, std::function<void()> reply);
        void queueAdd(Ref& ref, const std::string& name);

        mutable std::mutex lock;
        std::vector<Call> recorded;
        std::set<Ref*> live;
        std::map<std::string, std::vector<std::string>> announced; // type -> names
        std::map<std::string, Resolve> resolves;
        dnssd::DNSServiceErrorType nextBrowseError = 0;
        dnssd::DNSServiceErrorType nextRegisterError = 0;
        dnssd::DNSServiceErrorType nextProcessingError = 0;
        bool daemonAway = false;
    };
}
