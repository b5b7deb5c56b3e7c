#include "VXFakeDNSService.h"

#include <algorithm>
#include <deque>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vx::test
{
    using namespace dnssd;

    struct FakeDNSService::Ref : ServiceRefRecord
    {
        Ref(Backend& backend, std::string refKind, std::string refType)
            : ServiceRefRecord(backend), kind(std::move(refKind)), type(std::move(refType))
        {
            socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
            fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL, 0) | O_NONBLOCK);
        }
        ~Ref() override
        {
            close(fds[0]);
            close(fds[1]);
        }

        std::string kind;
        std::string type;
        std::string name;
        int fds[2] = {-1, -1};
        std::deque<std::function<void()>> replies;
        DNSServiceBrowseReply browseReply = nullptr;
        DNSServiceResolveReply resolveReply = nullptr;
        DNSServiceRegisterReply registerReply = nullptr;
        void* context = nullptr;
    };

    FakeDNSService::FakeDNSService()
    {
        setBackend(this);
    }

    FakeDNSService::~FakeDNSService()
    {
        setBackend(nullptr);
        for (Ref* ref : live)
            delete ref;
    }

    FakeDNSService::Ref* FakeDNSService::makeRef(const std::string& kind, const std::string& type)
    {
        auto* ref = new Ref(*this, kind, type);
        live.insert(ref);
        return ref;
    }

    void FakeDNSService::queue(Ref& ref, std::function<void()> reply)
    {
        ref.replies.push_back(std::move(reply));
        const char byte = 1;
        (void)! write(ref.fds[1], &byte, 1);
    }

    void FakeDNSService::queueAdd(Ref& ref, const std::string& name)
    {
        Ref* target = &ref;
        queue(ref, [target, name] {
            target->browseReply(target, kDNSServiceFlagsAdd, 0, kDNSServiceErr_NoError, name.c_str(),
                                target->type.c_str(), "local.", target->context);
        });
    }

    void FakeDNSService::announce(const std::string& name, const std::string& type)
    {
        std::lock_guard<std::mutex> hold(lock);
        announced[type].push_back(name);
        for (Ref* ref : live)
            if (ref->kind == "browse" && ref->type == type)
                queueAdd(*ref, name);
    }

    void FakeDNSService::withdraw(const std::string& name, const std::string& type)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto& names = announced[type];
        names.erase(std::remove(names.begin(), names.end(), name), names.end());
        for (Ref* ref : live)
            if (ref->kind == "browse" && ref->type == type)
                queue(*ref, [ref, name] {
                    ref->browseReply(ref, 0, 0, kDNSServiceErr_NoError, name.c_str(), ref->type.c_str(), "local.",
                                     ref->context);
                });
    }

    void FakeDNSService::scriptResolve(const std::string& name, const Resolve& resolve)
    {
        std::lock_guard<std::mutex> hold(lock);
        resolves[name] = resolve;
    }

    void FakeDNSService::failNextBrowse(DNSServiceErrorType error)
    {
        std::lock_guard<std::mutex> hold(lock);
        nextBrowseError = error;
    }

    void FakeDNSService::failNextRegister(DNSServiceErrorType error)
    {
        std::lock_guard<std::mutex> hold(lock);
        nextRegisterError = error;
    }

    void FakeDNSService::failNextBrowseProcessing(DNSServiceErrorType error)
    {
        std::lock_guard<std::mutex> hold(lock);
        nextProcessingError = error;
        // Make a browse readable so the error is met soon.
        for (Ref* ref : live)
            if (ref->kind == "browse")
                queue(*ref, [] {});
    }

    void FakeDNSService::daemonStops()
    {
        std::lock_guard<std::mutex> hold(lock);
        daemonAway = true;
        for (Ref* ref : live)
            queue(*ref, [ref] {
                if (ref->browseReply != nullptr)
                    ref->browseReply(ref, 0, 0, kDNSServiceErr_Unknown, nullptr, nullptr, nullptr, ref->context);
                else if (ref->resolveReply != nullptr)
                    ref->resolveReply(ref, 0, 0, kDNSServiceErr_Unknown, nullptr, nullptr, 0, 0, nullptr,
                                      ref->context);
                else if (ref->registerReply != nullptr)
                    ref->registerReply(ref, 0, kDNSServiceErr_Unknown, ref->name.c_str(), ref->type.c_str(),
                                       "local.", ref->context);
            });
    }

    void FakeDNSService::daemonStarts()
    {
        std::lock_guard<std::mutex> hold(lock);
        daemonAway = false;
    }

    std::vector<FakeDNSService::Call> FakeDNSService::calls() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return recorded;
    }

    std::vector<FakeDNSService::Call> FakeDNSService::callsOf(const std::string& function) const
    {
        std::vector<Call> found;
        for (const Call& call : calls())
            if (call.function == function)
                found.push_back(call);
        return found;
    }

    int FakeDNSService::liveReferences() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return int(live.size());
    }

    int FakeDNSService::liveReferences(const std::string& kind) const
    {
        std::lock_guard<std::mutex> hold(lock);
        return int(std::count_if(live.begin(), live.end(), [&](const Ref* ref) { return ref->kind == kind; }));
    }

    DNSServiceErrorType FakeDNSService::browse(DNSServiceRef* refOut, DNSServiceFlags flags,
                                               std::uint32_t interfaceIndex, const char* regtype, const char* domain,
                                               DNSServiceBrowseReply reply, void* context)
    {
        std::lock_guard<std::mutex> hold(lock);
        Call call;
        call.function = "browse";
        call.type = regtype != nullptr ? regtype : "";
        call.flags = flags;
        call.interfaceIndex = interfaceIndex;
        call.domainNull = domain == nullptr;
        recorded.push_back(call);
        if (nextBrowseError != 0)
            return std::exchange(nextBrowseError, 0);
        if (daemonAway)
            return kDNSServiceErr_Unknown;
        Ref* ref = makeRef("browse", call.type);
        ref->browseReply = reply;
        ref->context = context;
        for (const std::string& name : announced[call.type])
            queueAdd(*ref, name);
        *refOut = ref;
        return kDNSServiceErr_NoError;
    }

    DNSServiceErrorType FakeDNSService::resolve(DNSServiceRef* refOut, DNSServiceFlags flags,
                                                std::uint32_t interfaceIndex, const char* name, const char* regtype,
                                                const char* domain, DNSServiceResolveReply reply, void* context)
    {
        std::lock_guard<std::mutex> hold(lock);
        Call call;
        call.function = "resolve";
        call.name = name != nullptr ? name : "";
        call.type = regtype != nullptr ? regtype : "";
        call.flags = flags;
        call.interfaceIndex = interfaceIndex;
        call.domainNull = domain == nullptr;
        recorded.push_back(call);
        if (daemonAway)
            return kDNSServiceErr_Unknown;
        Ref* ref = makeRef("resolve", call.type);
        ref->resolveReply = reply;
        ref->context = context;
        ref->name = call.name;
        const Resolve script = resolves.count(call.name) != 0 ? resolves[call.name] : Resolve{};
        if (! script.silent)
        {
            const std::string fullName = call.name + "." + call.type + ".local.";
            queue(*ref, [ref, script, fullName] {
                const std::uint16_t port = std::uint16_t((script.port >> 8) | (script.port << 8));
                ref->resolveReply(ref, 0, 0, script.error, fullName.c_str(), script.host.c_str(), port, 0, nullptr,
                                  ref->context);
            });
        }
        *refOut = ref;
        return kDNSServiceErr_NoError;
    }

    DNSServiceErrorType FakeDNSService::registerService(DNSServiceRef* refOut, DNSServiceFlags flags,
                                                        std::uint32_t interfaceIndex, const char* name,
                                                        const char* regtype, const char* domain, const char* host,
                                                        std::uint16_t portNetworkOrder, std::uint16_t txtLength,
                                                        const void* txtRecord, DNSServiceRegisterReply reply,
                                                        void* context)
    {
        std::lock_guard<std::mutex> hold(lock);
        Call call;
        call.function = "register";
        call.name = name != nullptr ? name : "";
        call.type = regtype != nullptr ? regtype : "";
        call.flags = flags;
        call.interfaceIndex = interfaceIndex;
        call.domainNull = domain == nullptr;
        call.hostNull = host == nullptr;
        call.portNetworkOrder = portNetworkOrder;
        call.txtLength = txtLength;
        call.txtNull = txtRecord == nullptr;
        recorded.push_back(call);
        if (nextRegisterError != 0)
            return std::exchange(nextRegisterError, 0);
        if (daemonAway)
            return kDNSServiceErr_Unknown;
        // A name another registration holds is refused in the reply, as the
        // daemon refuses a second local service of one name.
        const bool taken = std::any_of(live.begin(), live.end(), [&](const Ref* other) {
            return other->kind == "register" && other->type == call.type && other->name == call.name;
        });
        Ref* ref = makeRef("register", call.type);
        ref->registerReply = reply;
        ref->context = context;
        ref->name = call.name;
        queue(*ref, [ref, taken] {
            ref->registerReply(ref, 0, taken ? kDNSServiceErr_NameConflict : kDNSServiceErr_NoError,
                               ref->name.c_str(), ref->type.c_str(), "local.", ref->context);
        });
        *refOut = ref;
        return kDNSServiceErr_NoError;
    }

    DNSServiceErrorType FakeDNSService::processResult(DNSServiceRef serviceRef)
    {
        auto* ref = static_cast<Ref*>(serviceRef);
        std::deque<std::function<void()>> replies;
        {
            std::lock_guard<std::mutex> hold(lock);
            char drain[64];
            while (read(ref->fds[0], drain, sizeof(drain)) > 0)
            {
            }
            if (ref->kind == "browse" && nextProcessingError != 0)
                return std::exchange(nextProcessingError, 0);
            replies.swap(ref->replies);
        }
        // Outside the lock: a reply may call back in (a browse reply resolves).
        for (auto& reply : replies)
            reply();
        return kDNSServiceErr_NoError;
    }

    int FakeDNSService::refSockFD(DNSServiceRef serviceRef)
    {
        return static_cast<Ref*>(serviceRef)->fds[0];
    }

    void FakeDNSService::refDeallocate(DNSServiceRef serviceRef)
    {
        auto* ref = static_cast<Ref*>(serviceRef);
        std::lock_guard<std::mutex> hold(lock);
        Call call;
        call.function = "deallocate";
        call.kind = ref->kind;
        call.name = ref->name;
        call.type = ref->type;
        recorded.push_back(call);
        live.erase(ref);
        delete ref;
    }
}
