#include "engine/network/VXDNSService.h"

#include <atomic>

namespace vx::dnssd
{
    namespace
    {
        std::atomic<Backend*> installed{nullptr};
    }

    Backend& getBackend()
    {
        if (Backend* backend = installed.load(std::memory_order_acquire))
            return *backend;
        return getPlatformBackend();
    }

    void setBackend(Backend* backend)
    {
        installed.store(backend, std::memory_order_release);
    }

    DNSServiceErrorType DNSServiceBrowse(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                         const char* regtype, const char* domain, DNSServiceBrowseReply reply,
                                         void* context)
    {
        if (refOut == nullptr)
            return kDNSServiceErr_BadParam;
        *refOut = nullptr;
        return getBackend().browse(refOut, flags, interfaceIndex, regtype, domain, reply, context);
    }

    DNSServiceErrorType DNSServiceResolve(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                          const char* name, const char* regtype, const char* domain,
                                          DNSServiceResolveReply reply, void* context)
    {
        if (refOut == nullptr)
            return kDNSServiceErr_BadParam;
        *refOut = nullptr;
        return getBackend().resolve(refOut, flags, interfaceIndex, name, regtype, domain, reply, context);
    }

    DNSServiceErrorType DNSServiceRegister(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                           const char* name, const char* regtype, const char* domain,
                                           const char* host, std::uint16_t portNetworkOrder, std::uint16_t txtLength,
                                           const void* txtRecord, DNSServiceRegisterReply reply, void* context)
    {
        if (refOut == nullptr)
            return kDNSServiceErr_BadParam;
        *refOut = nullptr;
        return getBackend().registerService(refOut, flags, interfaceIndex, name, regtype, domain, host,
                                            portNetworkOrder, txtLength, txtRecord, reply, context);
    }

    DNSServiceErrorType Backend::queryRecord(DNSServiceRef*, DNSServiceFlags, std::uint32_t, const char*,
                                             std::uint16_t, std::uint16_t, DNSServiceQueryRecordReply, void*)
    {
        return kDNSServiceErr_Unsupported;
    }

    DNSServiceErrorType DNSServiceQueryRecord(DNSServiceRef* refOut, DNSServiceFlags flags,
                                              std::uint32_t interfaceIndex, const char* fullName,
                                              std::uint16_t recordType, std::uint16_t recordClass,
                                              DNSServiceQueryRecordReply reply, void* context)
    {
        if (refOut == nullptr)
            return kDNSServiceErr_BadParam;
        *refOut = nullptr;
        return getBackend().queryRecord(refOut, flags, interfaceIndex, fullName, recordType, recordClass, reply,
                                        context);
    }

    DNSServiceErrorType DNSServiceProcessResult(DNSServiceRef ref)
    {
        if (ref == nullptr)
            return kDNSServiceErr_BadParam;
        return ref->backend.processResult(ref);
    }

    int DNSServiceRefSockFD(DNSServiceRef ref)
    {
        if (ref == nullptr)
            return -1;
        return ref->backend.refSockFD(ref);
    }

    void DNSServiceRefDeallocate(DNSServiceRef ref)
    {
        if (ref != nullptr)
            ref->backend.refDeallocate(ref);
    }
}
