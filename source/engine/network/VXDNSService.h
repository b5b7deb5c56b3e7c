#pragma once

#include <cstdint>

// The engine's view of DNS service discovery: the DNSService... calls network
// video makes, with the platform library's arguments and replies, in namespace
// vx::dnssd. Each call goes to a backend: the platform's (source/platform/dnssd)
// by default, or one a test installs. A reference remembers the backend that
// made it, and every later call on it goes there.
namespace vx::dnssd
{
    using DNSServiceFlags = std::uint32_t;
    using DNSServiceErrorType = std::int32_t;

    constexpr DNSServiceFlags kDNSServiceFlagsMoreComing = 0x1;
    constexpr DNSServiceFlags kDNSServiceFlagsAdd = 0x2;

    constexpr std::uint16_t kDNSServiceType_SRV = 33;
    constexpr std::uint16_t kDNSServiceClass_IN = 1;

    constexpr DNSServiceErrorType kDNSServiceErr_NoError = 0;
    constexpr DNSServiceErrorType kDNSServiceErr_Unknown = -65537;
    constexpr DNSServiceErrorType kDNSServiceErr_BadParam = -65540;
    constexpr DNSServiceErrorType kDNSServiceErr_Unsupported = -65544;
    constexpr DNSServiceErrorType kDNSServiceErr_NameConflict = -65548;
    constexpr DNSServiceErrorType kDNSServiceErr_ServiceNotRunning = -65563;
    constexpr DNSServiceErrorType kDNSServiceErr_Timeout = -65568;

    // An error that says the mDNS daemon is absent or went away (the
    // compatibility library answers Unknown for both) rather than that the
    // call was wrong: the same call may work once the daemon is back.
    constexpr bool isDaemonUnavailable(DNSServiceErrorType error)
    {
        return error == kDNSServiceErr_Unknown || error == kDNSServiceErr_ServiceNotRunning;
    }

    class Backend;

    // One open operation (browse, resolve, registration). Made by a backend,
    // freed only through DNSServiceRefDeallocate.
    class ServiceRefRecord
    {
    public:
        explicit ServiceRefRecord(Backend& madeBy) : backend(madeBy) {}
        virtual ~ServiceRefRecord() = default;
        ServiceRefRecord(const ServiceRefRecord&) = delete;
        ServiceRefRecord& operator=(const ServiceRefRecord&) = delete;

        Backend& backend;
    };

    using DNSServiceRef = ServiceRefRecord*;

    // Replies run inside DNSServiceProcessResult on the thread that calls it.
    // Ports are in network byte order, as on the wire.
    using DNSServiceBrowseReply = void (*)(DNSServiceRef ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                           DNSServiceErrorType error, const char* serviceName, const char* regtype,
                                           const char* replyDomain, void* context);
    using DNSServiceResolveReply = void (*)(DNSServiceRef ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                            DNSServiceErrorType error, const char* fullName, const char* hostTarget,
                                            std::uint16_t portNetworkOrder, std::uint16_t txtLength,
                                            const unsigned char* txtRecord, void* context);
    // A record added (kDNSServiceFlagsAdd) or removed: its data as on the wire.
    using DNSServiceQueryRecordReply = void (*)(DNSServiceRef ref, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                                DNSServiceErrorType error, const char* fullName,
                                                std::uint16_t recordType, std::uint16_t recordClass,
                                                std::uint16_t dataLength, const void* data, std::uint32_t ttl,
                                                void* context);
    using DNSServiceRegisterReply = void (*)(DNSServiceRef ref, DNSServiceFlags flags, DNSServiceErrorType error,
                                             const char* name, const char* regtype, const char* domain,
                                             void* context);

    // What carries the calls out. A backend outlives every reference it made.
    // No call waits long for the daemon: an opening it does not answer soon
    // gives a reference whose outcome comes later (readable, and an error
    // from its processing when the opening failed), and ending a reference
    // never waits for the daemon.
    class Backend
    {
    public:
        virtual ~Backend() = default;

        virtual DNSServiceErrorType browse(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                           const char* regtype, const char* domain, DNSServiceBrowseReply reply,
                                           void* context) = 0;
        virtual DNSServiceErrorType resolve(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                            const char* name, const char* regtype, const char* domain,
                                            DNSServiceResolveReply reply, void* context) = 0;
        virtual DNSServiceErrorType registerService(DNSServiceRef* refOut, DNSServiceFlags flags,
                                                    std::uint32_t interfaceIndex, const char* name,
                                                    const char* regtype, const char* domain, const char* host,
                                                    std::uint16_t portNetworkOrder, std::uint16_t txtLength,
                                                    const void* txtRecord, DNSServiceRegisterReply reply,
                                                    void* context) = 0;
        // Watches the records of a name; a backend without it answers
        // kDNSServiceErr_Unsupported.
        virtual DNSServiceErrorType queryRecord(DNSServiceRef* refOut, DNSServiceFlags flags,
                                                std::uint32_t interfaceIndex, const char* fullName,
                                                std::uint16_t recordType, std::uint16_t recordClass,
                                                DNSServiceQueryRecordReply reply, void* context);
        virtual DNSServiceErrorType processResult(DNSServiceRef ref) = 0;
        virtual int refSockFD(DNSServiceRef ref) = 0;
        virtual void refDeallocate(DNSServiceRef ref) = 0;
    };

    // The backend new operations go to: the platform library's unless a test
    // installed another. setBackend(nullptr) goes back to the platform's.
    Backend& getBackend();
    void setBackend(Backend* backend);
    // The platform library's backend (process-wide), made by the platform
    // stand-in.
    Backend& getPlatformBackend();

    // The calls. On success *refOut holds a new reference; on failure it is null.
    DNSServiceErrorType DNSServiceBrowse(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                         const char* regtype, const char* domain, DNSServiceBrowseReply reply,
                                         void* context);
    DNSServiceErrorType DNSServiceResolve(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                          const char* name, const char* regtype, const char* domain,
                                          DNSServiceResolveReply reply, void* context);
    DNSServiceErrorType DNSServiceRegister(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                           const char* name, const char* regtype, const char* domain,
                                           const char* host, std::uint16_t portNetworkOrder, std::uint16_t txtLength,
                                           const void* txtRecord, DNSServiceRegisterReply reply, void* context);
    // Reports the records of that name and type as they come and go, until
    // the reference is ended.
    DNSServiceErrorType DNSServiceQueryRecord(DNSServiceRef* refOut, DNSServiceFlags flags,
                                              std::uint32_t interfaceIndex, const char* fullName,
                                              std::uint16_t recordType, std::uint16_t recordClass,
                                              DNSServiceQueryRecordReply reply, void* context);
    // Reads what the reference's descriptor has and runs the replies; blocks
    // until something arrives, so callers wait for readability first. A reply
    // with an error ends the operation: the reference is then only for
    // DNSServiceRefDeallocate (never called from the reference's own reply).
    DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef ref);
    // The descriptor that becomes readable when replies wait; -1 for null.
    int DNSServiceRefSockFD(DNSServiceRef ref);
    // Ends the operation (a registration is withdrawn); null does nothing.
    void DNSServiceRefDeallocate(DNSServiceRef ref);
}
