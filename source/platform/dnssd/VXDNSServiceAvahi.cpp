// The platform backend: the system's DNS-SD library (on Linux the
// compatibility library over the mDNS daemon). Each of our references wraps
// one of the library's and relays its replies with our reference.
//
// Resolves and record watches go to the daemon's client library directly:
// when the daemon goes away, the compatibility library's references of those
// two kinds call a reply pointer it never set (only a browse's and a
// registration's report the loss safely), which kills the program whenever
// one is processed after the loss. Ours report the loss as an error reply.

#include "engine/network/VXDNSService.h"

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/domain.h>
#include <avahi-common/error.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>
#include <arpa/inet.h>
#include <dns_sd.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vx::dnssd
{
    namespace
    {
        struct PlatformRef : ServiceRefRecord
        {
            using ServiceRefRecord::ServiceRefRecord;

            virtual DNSServiceErrorType process() = 0;
            virtual int descriptor() const = 0;
        };

        // A browse or a registration of the compatibility library.
        struct CompatRef : PlatformRef
        {
            using PlatformRef::PlatformRef;
            ~CompatRef() override
            {
                if (native != nullptr)
                    ::DNSServiceRefDeallocate(native);
            }

            DNSServiceErrorType process() override { return ::DNSServiceProcessResult(native); }
            int descriptor() const override { return ::DNSServiceRefSockFD(native); }

            ::DNSServiceRef native = nullptr;
            void* context = nullptr;
            DNSServiceBrowseReply browseReply = nullptr;
            DNSServiceRegisterReply registerReply = nullptr;
        };

        void DNSSD_API browseRelay(::DNSServiceRef, ::DNSServiceFlags flags, uint32_t interfaceIndex,
                                   ::DNSServiceErrorType error, const char* name, const char* regtype,
                                   const char* domain, void* context)
        {
            auto* ref = static_cast<CompatRef*>(context);
            if (ref->browseReply != nullptr)
                ref->browseReply(ref, flags, interfaceIndex, error, name, regtype, domain, ref->context);
        }

        void DNSSD_API registerRelay(::DNSServiceRef, ::DNSServiceFlags flags, ::DNSServiceErrorType error,
                                     const char* name, const char* regtype, const char* domain, void* context)
        {
            auto* ref = static_cast<CompatRef*>(context);
            if (ref->registerReply != nullptr)
                ref->registerReply(ref, flags, error, name, regtype, domain, ref->context);
        }

        DNSServiceErrorType fromClientError(int error)
        {
            switch (error)
            {
                case AVAHI_OK:
                    return kDNSServiceErr_NoError;
                case AVAHI_ERR_INVALID_HOST_NAME:
                case AVAHI_ERR_INVALID_DOMAIN_NAME:
                case AVAHI_ERR_INVALID_SERVICE_NAME:
                case AVAHI_ERR_INVALID_SERVICE_TYPE:
                    return kDNSServiceErr_BadParam;
                default:
                    return kDNSServiceErr_Unknown;
            }
        }

        // A resolve or a record watch: its own connection to the daemon,
        // served by the client library's thread. Replies are copied into a
        // queue there and run by process() on the caller's thread; the
        // descriptor (an event counter) is readable while replies wait.
        // A lost connection queues one error reply.
        struct LookupRef : PlatformRef
        {
            using PlatformRef::PlatformRef;
            ~LookupRef() override
            {
                // The library's thread is joined before anything it uses
                // goes; the client frees its resolver or record browser.
                if (loop != nullptr)
                    avahi_threaded_poll_stop(loop);
                if (client != nullptr)
                    avahi_client_free(client);
                if (loop != nullptr)
                    avahi_threaded_poll_free(loop);
                if (wakeUp >= 0)
                    close(wakeUp);
            }

            DNSServiceErrorType process() override
            {
                std::uint64_t signalled = 0;
                if (read(wakeUp, &signalled, sizeof(signalled)) != ssize_t(sizeof(signalled)))
                    return kDNSServiceErr_Unknown;
                std::vector<std::function<void()>> replies;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    replies.swap(pending);
                }
                for (auto& reply : replies)
                    reply();
                return kDNSServiceErr_NoError;
            }

            int descriptor() const override { return wakeUp; }

            // On the library's thread.
            void queue(std::function<void()> reply)
            {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    pending.push_back(std::move(reply));
                }
                const std::uint64_t one = 1;
                (void) ! write(wakeUp, &one, sizeof(one));
            }

            // Makes the connection; the lookup is made on it before start.
            DNSServiceErrorType connect()
            {
                wakeUp = eventfd(0, EFD_CLOEXEC);
                loop = avahi_threaded_poll_new();
                if (wakeUp < 0 || loop == nullptr)
                    return kDNSServiceErr_Unknown;
                int error = AVAHI_OK;
                client = avahi_client_new(avahi_threaded_poll_get(loop), AvahiClientFlags(0), &LookupRef::clientState,
                                          this, &error);
                return client != nullptr ? kDNSServiceErr_NoError : fromClientError(error);
            }

            DNSServiceErrorType start()
            {
                return avahi_threaded_poll_start(loop) == 0 ? kDNSServiceErr_NoError : kDNSServiceErr_Unknown;
            }

            void reportError(DNSServiceErrorType error)
            {
                if (lost)
                    return;
                lost = true;
                if (resolveReply != nullptr)
                    queue([this, error] {
                        resolveReply(this, 0, 0, error, nullptr, nullptr, 0, 0, nullptr, context);
                    });
                else if (queryReply != nullptr)
                    queue([this, error] {
                        queryReply(this, 0, 0, error, nullptr, 0, 0, 0, nullptr, 0, context);
                    });
            }

            static void clientState(AvahiClient*, AvahiClientState state, void* userdata)
            {
                if (state == AVAHI_CLIENT_FAILURE)
                    static_cast<LookupRef*>(userdata)->reportError(kDNSServiceErr_Unknown);
            }

            static void resolved(AvahiServiceResolver*, AvahiIfIndex interfaceIndex, AvahiProtocol,
                                 AvahiResolverEvent event, const char* name, const char* type, const char* domain,
                                 const char* host, const AvahiAddress*, uint16_t port, AvahiStringList* txt,
                                 AvahiLookupResultFlags, void* userdata)
            {
                auto* ref = static_cast<LookupRef*>(userdata);
                char fullName[AVAHI_DOMAIN_NAME_MAX + 1];
                if (event != AVAHI_RESOLVER_FOUND ||
                    avahi_service_name_join(fullName, sizeof(fullName) - 1, name, type, domain) != AVAHI_OK)
                {
                    ref->reportError(kDNSServiceErr_Unknown);
                    return;
                }
                // As the compatibility library gives them: names end in a dot.
                std::string full = std::string(fullName) + ".";
                std::string target = host != nullptr ? host : "";
                if (! target.empty() && target.back() != '.')
                    target += '.';
                std::vector<unsigned char> record(avahi_string_list_serialize(txt, nullptr, 0) + 1, 0);
                const size_t txtLength = avahi_string_list_serialize(txt, record.data(), record.size() - 1);
                const std::uint32_t on = std::uint32_t(interfaceIndex < 0 ? 0 : interfaceIndex);
                const std::uint16_t portNetworkOrder = htons(port);
                ref->queue([ref, on, full, target, portNetworkOrder, txtLength, record] {
                    ref->resolveReply(ref, 0, on, kDNSServiceErr_NoError, full.c_str(), target.c_str(),
                                      portNetworkOrder, std::uint16_t(txtLength), record.data(), ref->context);
                });
            }

            static void recordEvent(AvahiRecordBrowser*, AvahiIfIndex interfaceIndex, AvahiProtocol,
                                    AvahiBrowserEvent event, const char* name, uint16_t recordClass,
                                    uint16_t recordType, const void* data, size_t size, AvahiLookupResultFlags,
                                    void* userdata)
            {
                auto* ref = static_cast<LookupRef*>(userdata);
                if (event == AVAHI_BROWSER_FAILURE)
                {
                    ref->reportError(kDNSServiceErr_Unknown);
                    return;
                }
                if (event != AVAHI_BROWSER_NEW && event != AVAHI_BROWSER_REMOVE)
                    return;
                const DNSServiceFlags flags = event == AVAHI_BROWSER_NEW ? kDNSServiceFlagsAdd : 0;
                const std::uint32_t on = std::uint32_t(interfaceIndex < 0 ? 0 : interfaceIndex);
                std::string fullName = name != nullptr ? name : "";
                const auto* bytes = static_cast<const unsigned char*>(data);
                std::vector<unsigned char> copy(bytes, bytes + (bytes != nullptr ? size : 0));
                ref->queue([ref, flags, on, fullName, recordType, recordClass, copy] {
                    ref->queryReply(ref, flags, on, kDNSServiceErr_NoError, fullName.c_str(), recordType,
                                    recordClass, std::uint16_t(copy.size()), copy.data(), 0, ref->context);
                });
            }

            AvahiThreadedPoll* loop = nullptr; // the library's thread and its event loop
            AvahiClient* client = nullptr;
            int wakeUp = -1;
            std::mutex lock;
            std::vector<std::function<void()>> pending;
            bool lost = false; // the library's thread only
            void* context = nullptr;
            DNSServiceResolveReply resolveReply = nullptr;
            DNSServiceQueryRecordReply queryReply = nullptr;
        };

        AvahiIfIndex toInterface(std::uint32_t interfaceIndex)
        {
            return interfaceIndex == 0 ? AVAHI_IF_UNSPEC : AvahiIfIndex(interfaceIndex);
        }

        class PlatformBackend : public Backend
        {
        public:
            DNSServiceErrorType browse(DNSServiceRef* refOut, DNSServiceFlags flags, std::uint32_t interfaceIndex,
                                       const char* regtype, const char* domain, DNSServiceBrowseReply reply,
                                       void* context) override
            {
                auto* ref = new CompatRef(*this);
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
                if (name == nullptr || regtype == nullptr || domain == nullptr || reply == nullptr)
                    return kDNSServiceErr_BadParam;
                if (flags != 0)
                    return kDNSServiceErr_Unsupported;
                auto* ref = new LookupRef(*this);
                ref->resolveReply = reply;
                ref->context = context;
                DNSServiceErrorType error = ref->connect();
                if (error == kDNSServiceErr_NoError &&
                    avahi_service_resolver_new(ref->client, toInterface(interfaceIndex), AVAHI_PROTO_UNSPEC, name,
                                               regtype, domain, AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0),
                                               &LookupRef::resolved, ref) == nullptr)
                    error = fromClientError(avahi_client_errno(ref->client));
                return started(ref, refOut, error);
            }

            DNSServiceErrorType registerService(DNSServiceRef* refOut, DNSServiceFlags flags,
                                                std::uint32_t interfaceIndex, const char* name, const char* regtype,
                                                const char* domain, const char* host, std::uint16_t port,
                                                std::uint16_t txtLength, const void* txtRecord,
                                                DNSServiceRegisterReply reply, void* context) override
            {
                auto* ref = new CompatRef(*this);
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
                if (fullName == nullptr || reply == nullptr)
                    return kDNSServiceErr_BadParam;
                if (flags != 0)
                    return kDNSServiceErr_Unsupported;
                auto* ref = new LookupRef(*this);
                ref->queryReply = reply;
                ref->context = context;
                DNSServiceErrorType error = ref->connect();
                if (error == kDNSServiceErr_NoError &&
                    avahi_record_browser_new(ref->client, toInterface(interfaceIndex), AVAHI_PROTO_UNSPEC, fullName,
                                             recordClass, recordType, AvahiLookupFlags(0), &LookupRef::recordEvent,
                                             ref) == nullptr)
                    error = fromClientError(avahi_client_errno(ref->client));
                return started(ref, refOut, error);
            }

            DNSServiceErrorType processResult(DNSServiceRef ref) override
            {
                return static_cast<PlatformRef*>(ref)->process();
            }

            int refSockFD(DNSServiceRef ref) override { return static_cast<PlatformRef*>(ref)->descriptor(); }

            void refDeallocate(DNSServiceRef ref) override { delete static_cast<PlatformRef*>(ref); }

        private:
            static DNSServiceErrorType finish(CompatRef* ref, DNSServiceRef* refOut, ::DNSServiceErrorType error)
            {
                if (error != ::kDNSServiceErr_NoError || ref->native == nullptr)
                {
                    delete ref;
                    return error != ::kDNSServiceErr_NoError ? error : kDNSServiceErr_Unknown;
                }
                *refOut = ref;
                return kDNSServiceErr_NoError;
            }

            static DNSServiceErrorType started(LookupRef* ref, DNSServiceRef* refOut, DNSServiceErrorType error)
            {
                if (error == kDNSServiceErr_NoError)
                    error = ref->start();
                if (error != kDNSServiceErr_NoError)
                {
                    delete ref;
                    return error;
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
