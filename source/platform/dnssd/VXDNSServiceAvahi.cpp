// The platform backend: the system's DNS-SD library (on Linux the
// compatibility library over the mDNS daemon). Each of our references wraps
// one of the library's and relays its replies with our reference.
//
// Resolves and record watches go to the daemon's client library directly:
// when the daemon goes away, the compatibility library's references of those
// two kinds call a reply pointer it never set (only a browse's and a
// registration's report the loss safely), which kills the program whenever
// one is processed after the loss. Ours report the loss as an error reply.
//
// Opening any of them waits for the daemon over the message bus: a frozen
// daemon holds such a call until the bus gives up (25 s). Openings run on a
// thread of the backend's; the caller waits for one a short while and
// otherwise takes the reference still opening, whose outcome its processing
// gives later. Ending a reference never waits for the daemon (the client
// library drops its connection before freeing what it holds), and one ended
// before its opening began is never opened. At exit the openings not begun
// are not run, and the one under way is waited for until 5 s after it was
// handed over at most (the longest a caller waits for one).

#include "engine/network/VXDNSService.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
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
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vx::dnssd
{
    namespace
    {
        // How long a caller waits for an opening before it takes the
        // reference still opening: a daemon that answers at all does so well
        // within it.
        constexpr int openWaitMs = 250;
        // How long after its hand-over an opening under way at exit is
        // waited for: the longest any caller waits for one (a registration's
        // reply). A daemon that answers at all is done long before; a frozen
        // one would hold the exit until the bus gives up.
        constexpr std::chrono::milliseconds exitWait{5000};

        // One reference: opened on the backend's thread, then processed and
        // ended on the caller's.
        struct PlatformRef : ServiceRefRecord
        {
            explicit PlatformRef(Backend& madeBy)
                : ServiceRefRecord(madeBy), openedSignal(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
            {
            }
            ~PlatformRef() override
            {
                if (openedSignal >= 0)
                    close(openedSignal);
            }

            // The library's calls that make the operation (backend thread).
            virtual DNSServiceErrorType open() = 0;
            // Once opened, as the library processes and signals replies.
            virtual DNSServiceErrorType processOpened() = 0;
            virtual int openedDescriptor() const = 0;

            // Backend thread: opens (unless the caller gave the reference up
            // before), then ends the opening.
            void runOpen()
            {
                bool givenUp = false;
                {
                    std::lock_guard<std::mutex> hold(openLock);
                    givenUp = abandoned;
                }
                endOpening(givenUp || openedSignal < 0 ? kDNSServiceErr_Unknown : open());
            }

            // Tells the caller the opening's answer, or frees the reference
            // when the caller gave it up. Nothing of it is touched once the
            // lock is let go, unless to free it.
            void endOpening(DNSServiceErrorType error)
            {
                bool givenUp = false;
                {
                    std::lock_guard<std::mutex> hold(openLock);
                    openFinished = true;
                    openError = error;
                    givenUp = abandoned;
                    const std::uint64_t one = 1;
                    (void) ! write(openedSignal, &one, sizeof(one));
                    opened.notify_all();
                }
                if (givenUp)
                    delete this;
            }

            // Caller: true (with the opening's answer) when it ended within
            // waitMs.
            bool waitOpened(int waitMs, DNSServiceErrorType& error)
            {
                std::unique_lock<std::mutex> hold(openLock);
                if (! opened.wait_for(hold, std::chrono::milliseconds(waitMs), [this] { return openFinished; }))
                    return false;
                error = openError;
                return true;
            }

            // Caller: false when the opening has ended (the caller frees the
            // reference); otherwise whoever ends the opening frees it.
            bool abandon()
            {
                std::lock_guard<std::mutex> hold(openLock);
                abandoned = ! openFinished;
                return abandoned;
            }

            // A reply the library gives inside the opening waits for the
            // first processing, on the caller's thread; false once opened.
            bool deferWhileOpening(std::function<void()> reply)
            {
                std::lock_guard<std::mutex> hold(openLock);
                if (openFinished)
                    return false;
                early.push_back(std::move(reply));
                return true;
            }

            // The first processing takes the opening's outcome (an opening
            // that failed answers its error) and the replies it brought.
            DNSServiceErrorType process()
            {
                if (settled)
                    return processOpened();
                std::uint64_t signalled = 0;
                (void) ! read(openedSignal, &signalled, sizeof(signalled));
                std::vector<std::function<void()>> replies;
                DNSServiceErrorType error = kDNSServiceErr_NoError;
                {
                    std::lock_guard<std::mutex> hold(openLock);
                    if (! openFinished)
                        return kDNSServiceErr_NoError;
                    settled = true;
                    replies.swap(early);
                    error = openError;
                }
                for (auto& reply : replies)
                    reply();
                return error;
            }

            // Readable once opened until the first processing, then as the
            // library's.
            int descriptor() const { return settled ? openedDescriptor() : openedSignal; }

        private:
            std::mutex openLock;
            std::condition_variable opened;
            bool openFinished = false;
            bool abandoned = false;
            DNSServiceErrorType openError = kDNSServiceErr_NoError;
            std::vector<std::function<void()>> early;
            bool settled = false; // the processing thread's
            int openedSignal = -1;
        };

        // Runs the openings one after another. What it shares with its
        // thread is never freed: at exit a thread held by a frozen daemon is
        // let go (it ends by itself if the daemon ever answers), and a caller
        // still browsing then (a host that never unloads the engine) is
        // answered that the daemon is unavailable.
        class OpeningThread
        {
        public:
            OpeningThread() : shared(*new Shared)
            {
                thread = std::thread([&state = shared] {
                    pthread_setname_np(pthread_self(), "DNS-SD Openings");
                    run(state);
                });
            }
            // The openings not begun end unopened (their processing answers
            // the daemon unavailable); the one under way is waited for until
            // exitWait after its hand-over at most.
            ~OpeningThread()
            {
                std::deque<Queued> notBegun;
                {
                    std::lock_guard<std::mutex> hold(shared.lock);
                    shared.stopping = true;
                    notBegun.swap(shared.queued);
                    shared.wake.notify_all();
                }
                for (const Queued& opening : notBegun)
                    opening.ref->endOpening(kDNSServiceErr_ServiceNotRunning);
                bool ended = false;
                {
                    std::unique_lock<std::mutex> hold(shared.lock);
                    const auto isEnded = [this] { return shared.ended; };
                    if (shared.underWay)
                        ended = shared.idle.wait_until(hold, shared.underWaySince + exitWait, isEnded);
                    else
                    {
                        // Nothing to wait for: it ends as it sees the stop.
                        shared.idle.wait(hold, isEnded);
                        ended = true;
                    }
                }
                if (ended)
                    thread.join();
                else
                    thread.detach();
            }
            OpeningThread(const OpeningThread&) = delete;
            OpeningThread& operator=(const OpeningThread&) = delete;

            void post(PlatformRef* ref)
            {
                {
                    std::lock_guard<std::mutex> hold(shared.lock);
                    if (! shared.stopping)
                    {
                        shared.queued.push_back({ref, std::chrono::steady_clock::now()});
                        shared.wake.notify_one();
                        return;
                    }
                }
                ref->endOpening(kDNSServiceErr_ServiceNotRunning);
            }

            // Takes back an opening not begun: true when it was queued (it
            // is never run; the caller frees the reference).
            bool withdraw(PlatformRef* ref)
            {
                std::lock_guard<std::mutex> hold(shared.lock);
                const auto found = std::find_if(shared.queued.begin(), shared.queued.end(),
                                                [ref](const Queued& opening) { return opening.ref == ref; });
                if (found == shared.queued.end())
                    return false;
                shared.queued.erase(found);
                return true;
            }

        private:
            struct Queued
            {
                PlatformRef* ref;
                std::chrono::steady_clock::time_point handedOver;
            };

            struct Shared
            {
                std::mutex lock;
                std::condition_variable wake;
                std::condition_variable idle; // ended became true
                std::deque<Queued> queued;
                // Whether an opening is under way, and when it was handed over.
                bool underWay = false;
                std::chrono::steady_clock::time_point underWaySince;
                bool stopping = false;
                bool ended = false;
            };

            static void run(Shared& state)
            {
                std::unique_lock<std::mutex> hold(state.lock);
                for (;;)
                {
                    state.wake.wait(hold, [&state] { return state.stopping || ! state.queued.empty(); });
                    if (state.stopping)
                        break;
                    const Queued opening = state.queued.front();
                    state.queued.pop_front();
                    state.underWay = true;
                    state.underWaySince = opening.handedOver;
                    hold.unlock();
                    opening.ref->runOpen();
                    hold.lock();
                    state.underWay = false;
                }
                state.ended = true;
                state.idle.notify_all();
            }

            Shared& shared;
            std::thread thread;
        };

        // A browse or a registration of the compatibility library.
        struct CompatRef : PlatformRef
        {
            using PlatformRef::PlatformRef;
            ~CompatRef() override
            {
                browseReply = nullptr;
                registerReply = nullptr;
                if (native != nullptr)
                    ::DNSServiceRefDeallocate(native);
            }

            DNSServiceErrorType open() override
            {
                const ::DNSServiceErrorType error = opening(*this);
                if (error != ::kDNSServiceErr_NoError)
                    return error;
                return native != nullptr ? kDNSServiceErr_NoError : kDNSServiceErr_Unknown;
            }
            DNSServiceErrorType processOpened() override { return ::DNSServiceProcessResult(native); }
            int openedDescriptor() const override { return ::DNSServiceRefSockFD(native); }

            // The library's call, with copies of the caller's arguments.
            std::function<::DNSServiceErrorType(CompatRef&)> opening;
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
            const std::string copies[3] = {name != nullptr ? name : "", regtype != nullptr ? regtype : "",
                                           domain != nullptr ? domain : ""};
            if (ref->deferWhileOpening([=] { browseRelay(nullptr, flags, interfaceIndex, error, copies[0].c_str(),
                                                         copies[1].c_str(), copies[2].c_str(), ref); }))
                return;
            if (ref->browseReply != nullptr)
                ref->browseReply(ref, flags, interfaceIndex, error, name, regtype, domain, ref->context);
        }

        void DNSSD_API registerRelay(::DNSServiceRef, ::DNSServiceFlags flags, ::DNSServiceErrorType error,
                                     const char* name, const char* regtype, const char* domain, void* context)
        {
            auto* ref = static_cast<CompatRef*>(context);
            const std::string copies[3] = {name != nullptr ? name : "", regtype != nullptr ? regtype : "",
                                           domain != nullptr ? domain : ""};
            if (ref->deferWhileOpening([=] { registerRelay(nullptr, flags, error, copies[0].c_str(),
                                                           copies[1].c_str(), copies[2].c_str(), ref); }))
                return;
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

            DNSServiceErrorType open() override
            {
                DNSServiceErrorType error = connect();
                if (error == kDNSServiceErr_NoError)
                    error = opening(*this);
                return error == kDNSServiceErr_NoError ? start() : error;
            }

            DNSServiceErrorType processOpened() override
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

            int openedDescriptor() const override { return wakeUp; }

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

            // Makes the lookup on the connection, with copies of the caller's
            // arguments.
            std::function<DNSServiceErrorType(LookupRef&)> opening;
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

        // Null stays null (the library's default), other text is copied.
        struct OptionalText
        {
            explicit OptionalText(const char* text) : given(text != nullptr), value(text != nullptr ? text : "") {}
            const char* get() const { return given ? value.c_str() : nullptr; }
            bool given;
            std::string value;
        };

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
                ref->opening = [flags, interfaceIndex, type = OptionalText(regtype),
                                where = OptionalText(domain)](CompatRef& made) {
                    return ::DNSServiceBrowse(&made.native, flags, interfaceIndex, type.get(), where.get(),
                                              &browseRelay, &made);
                };
                return begin(ref, refOut);
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
                ref->opening = [interfaceIndex, serviceName = std::string(name), type = std::string(regtype),
                                where = std::string(domain)](LookupRef& made) {
                    if (avahi_service_resolver_new(made.client, toInterface(interfaceIndex), AVAHI_PROTO_UNSPEC,
                                                   serviceName.c_str(), type.c_str(), where.c_str(),
                                                   AVAHI_PROTO_UNSPEC, AvahiLookupFlags(0), &LookupRef::resolved,
                                                   &made) == nullptr)
                        return fromClientError(avahi_client_errno(made.client));
                    return kDNSServiceErr_NoError;
                };
                return begin(ref, refOut);
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
                const auto* txtBytes = static_cast<const unsigned char*>(txtRecord);
                std::vector<unsigned char> txtCopy(txtBytes, txtBytes + (txtBytes != nullptr ? txtLength : 0));
                ref->opening = [flags, interfaceIndex, serviceName = OptionalText(name), type = OptionalText(regtype),
                                where = OptionalText(domain), target = OptionalText(host), port,
                                txt = std::move(txtCopy), txtGiven = txtRecord != nullptr](CompatRef& made) {
                    return ::DNSServiceRegister(&made.native, flags, interfaceIndex, serviceName.get(), type.get(),
                                                where.get(), target.get(), port, std::uint16_t(txt.size()),
                                                txtGiven ? txt.data() : nullptr, &registerRelay, &made);
                };
                return begin(ref, refOut);
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
                ref->opening = [interfaceIndex, recordName = std::string(fullName), recordType,
                                recordClass](LookupRef& made) {
                    if (avahi_record_browser_new(made.client, toInterface(interfaceIndex), AVAHI_PROTO_UNSPEC,
                                                 recordName.c_str(), recordClass, recordType, AvahiLookupFlags(0),
                                                 &LookupRef::recordEvent, &made) == nullptr)
                        return fromClientError(avahi_client_errno(made.client));
                    return kDNSServiceErr_NoError;
                };
                return begin(ref, refOut);
            }

            DNSServiceErrorType processResult(DNSServiceRef ref) override
            {
                return static_cast<PlatformRef*>(ref)->process();
            }

            int refSockFD(DNSServiceRef ref) override { return static_cast<PlatformRef*>(ref)->descriptor(); }

            // One whose opening has not begun is never opened; one still
            // opening is freed by the openings' thread once its opening ends.
            void refDeallocate(DNSServiceRef ref) override
            {
                auto* made = static_cast<PlatformRef*>(ref);
                if (openings.withdraw(made) || ! made->abandon())
                    delete made;
            }

        private:
            // Hands the opening over and waits for it a short while: an
            // opening that failed by then answers its error, one still under
            // way gives the reference, which answers its outcome when
            // processed.
            DNSServiceErrorType begin(PlatformRef* ref, DNSServiceRef* refOut)
            {
                openings.post(ref);
                DNSServiceErrorType error = kDNSServiceErr_NoError;
                if (ref->waitOpened(openWaitMs, error) && error != kDNSServiceErr_NoError)
                {
                    delete ref;
                    return error;
                }
                *refOut = ref;
                return kDNSServiceErr_NoError;
            }

            OpeningThread openings;
        };
    }

    Backend& getPlatformBackend()
    {
        static PlatformBackend backend;
        return backend;
    }
}
