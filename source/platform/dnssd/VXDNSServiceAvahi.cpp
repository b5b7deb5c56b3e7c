// The platform backend: the system's DNS-SD library (on Linux the
// compatibility library over the mDNS daemon). Each of our references wraps
// one of the library's and relays its replies with our reference.

#include "engine/network/VXDNSService.h"

#include <dns_sd.h>

namespace vx::dnssd
{
    namespace
    {
        struct PlatformRef : ServiceRefRecord
        {
            using ServiceRefRecord::ServiceRefRecord;

            ::DNSServiceRef native = nullptr;
            void* context = nullptr;
            DNSServiceBrowseReply browseReply = nullptr;
            DNSServiceResolveReply resolveReply = nullptr;
            DNSServiceRegisterReply registerReply = nullptr;
            DNSServiceQueryRecordReply queryReply = nullptr;
        };

        void DNSSD_API browseRelay(::DNSServiceRef, ::DNSServiceFlags flags, uint32_t interfaceIndex,
                                   ::DNSServiceErrorType error, const char* name, const char* regtype,
                                   const char* domain, void* context)
        {
            auto* ref = static_cast<PlatformRef*>(context);
            if (ref->browseReply != nullptr)
                ref->browseReply(ref, flags, interfaceIndex, error, name, regtype, domain, ref->context);
        }

        void DNSSD_API resolveRelay(::DNSServiceRef, ::DNSServiceFlags flags, uint32_t interfaceIndex,
                                    ::DNSServiceErrorType error, const char* fullName, const char* host,
                                    uint16_t port, uint16_t txtLength, const unsigned char* txt, void* context)
        {
            auto* ref = static_cast<PlatformRef*>(context);
            if (ref->resolveReply != nullptr)
                ref->resolveReply(ref, flags, interfaceIndex, error, fullName, host, port, txtLength, txt,
                                  ref->context);
        }

        void DNSSD_API registerRelay(::DNSServiceRef, ::DNSServiceFlags flags, ::DNSServiceErrorType error,
                                     const char* name, const char* regtype, const char* domain, void* context)
        {
            auto* ref = static_cast<PlatformRef*>(context);
            if (ref->registerReply != nullptr)
                ref->registerReply(ref, flags, error, name, regtype, domain, ref->context);
        }

        void DNSSD_API queryRelay(::DNSServiceRef, ::DNSServiceFlags flags, uint32_t interfaceIndex,
                                  ::DNSServiceErrorType error, const char* fullName, uint16_t recordType,
                                  uint16_t recordClass, uint16_t dataLength, const void* data, uint32_t ttl,
                                  void* context)
        {
            auto* ref = static_cast<PlatformRef*>(context);
            if (ref->queryReply != nullptr)
                ref->queryReply(ref, flags, interfaceIndex, error, fullName, recordType, recordClass, dataLength,
                                data, ttl, ref->context);
        }

        class PlatformBackend : public Backend
        {
        public:
            DNSServiceErrorType browse(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                       const char* regtype, const char* domain, DNSServiceBrowseReply reply,
                                       void* context) override
            {
                auto* ref = new PlatformRef(*this);
                ref->browseReply = reply;
                ref->context = context;
                return finish(ref, refOut,
                              ::DNSServiceBrowse(&ref->native, flags, interfaceIndex, regtype, domain, &browseRelay,
                                                 ref));
            }

            DNSServiceErrorType resolve(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                        const char* name, const char* regtype, const char* domain,
                                        DNSServiceResolveReply reply, void* context) override
            {
                auto* ref = new PlatformRef(*this);
                ref->resolveReply = reply;
                ref->context = context;
                return finish(ref, refOut,
                              ::DNSServiceResolve(&ref->native, flags, interfaceIndex, name, regtype, domain,
                                                  &resolveRelay, ref));
            }

            DNSServiceErrorType registerService(DNSServiceRef* refOut, DNSServiceFlags flags,
                                                std::uint32_t interfaceIndex, const char* name, const char* regtype,
                                                const char* domain, const char* host, std::uint16_t port,
                                                std::uint16_t txtLength, const void* txtRecord,
                                                DNSServiceRegisterReply reply, void* context) override
            {
                auto* ref = new PlatformRef(*this);
                ref->registerReply = reply;
                ref->context = context;
                return finish(ref, refOut,
                              ::DNSServiceRegister(&ref->native, flags, interfaceIndex, name, regtype, domain, host,
                                                   port, txtLength, txtRecord, &registerRelay, ref));
            }

            DNSServiceErrorType queryRecord(DNSServiceRef* refOut, DNSServiceFlags flags,
                                            std::uint32_t interfaceIndex, const char* fullName,
                                            std::uint16_t recordType, std::uint16_t recordClass,
                                            DNSServiceQueryRecordReply reply, void* context) override
            {
                auto* ref = new PlatformRef(*this);
                ref->queryReply = reply;
                ref->context = context;
                return finish(ref, refOut,
                              ::DNSServiceQueryRecord(&ref->native, flags, interfaceIndex, fullName, recordType,
                                                      recordClass, &queryRelay, ref));
            }

            DNSServiceErrorType processResult(DNSServiceRef ref) override
            {
                return ::DNSServiceProcessResult(static_cast<PlatformRef*>(ref)->native);
            }

            int refSockFD(DNSServiceRef ref) override
            {
                return ::DNSServiceRefSockFD(static_cast<PlatformRef*>(ref)->native);
            }

            void refDeallocate(DNSServiceRef ref) override
            {
                auto* platformRef = static_cast<PlatformRef*>(ref);
                if (platformRef->native != nullptr)
                    ::DNSServiceRefDeallocate(platformRef->native);
                delete platformRef;
            }

        private:
            static DNSServiceErrorType finish(PlatformRef* ref, DNSServiceRef* refOut, ::DNSServiceErrorType error)
            {
                if (error != ::kDNSServiceErr_NoError || ref->native == nullptr)
                {
                    delete ref;
                    return error != ::kDNSServiceErr_NoError ? error : kDNSServiceErr_Unknown;
                }
                *refOut = ref;
                return kDNSServiceErr_NoError;
            }
        };
    }

    Backend& getPlatformBackend()
    {
        static PlatformBackend backend;
        return backend;
    }
}
