#include "engine/network/VXZeroConfigBrowser.h"

#include <algorithm>
#include <cctype>

#include <arpa/inet.h>
#include <poll.h>

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXTime.h"

namespace vx
{
    using namespace dnssd;

    namespace
    {
        // The longest wait for replies before a stop request is looked at.
        constexpr int pollSliceMs = 50;
    }

    ZeroConfigBrowser::ZeroConfigBrowser() : Thread("Zero Config Browser")
    {
    }

    ZeroConfigBrowser::~ZeroConfigBrowser()
    {
        requestThreadStop();
        stop();
        // No deferred servicesChanged may reach a half-destroyed browser.
        cleanup();
    }

    void ZeroConfigBrowser::requestThreadStop()
    {
        Thread::requestThreadStop();
        wakeUp.trigger();
    }

    void ZeroConfigBrowser::browseForService(const std::string& type)
    {
        stop();
        setThreadName("Zero Config Browser: " + type);
        {
            ScopedLock hold(lock);
            serviceType = type;
        }
        startBrowsing();
    }

    DNSServiceErrorType ZeroConfigBrowser::openBrowse(bool firstTry)
    {
        const std::string type = getServiceType();
        DNSServiceRef ref = nullptr;
        const DNSServiceErrorType error =
            DNSServiceBrowse(&ref, 0, 0, type.c_str(), nullptr, &ZeroConfigBrowser::browseReply, this);
        if (error == kDNSServiceErr_NoError)
        {
            // Said by the time the browser answers browsing.
            if (! firstTry)
                logPrint(logInfo, "ZeroConfigBrowser: browsing for \"%s\" again", type.c_str());
            browseRef.store(ref);
            return error;
        }
        DNSServiceRefDeallocate(ref);
        if (firstTry)
        {
            debugPrint("ZeroConfigBrowser::browseForService DNSServiceBrowse error: %d\n", int(error));
            logPrint(logError, "ZeroConfigBrowser: cannot browse for \"%s\" (DNS-SD error %d)%s", type.c_str(),
                     int(error), isDaemonUnavailable(error) ? "; trying again until the mDNS daemon answers" : "");
        }
        return error;
    }

    void ZeroConfigBrowser::startBrowsing()
    {
        browseError = kDNSServiceErr_NoError;
        retryAt = 0;
        const DNSServiceErrorType error = openBrowse(true);
        if (error != kDNSServiceErr_NoError)
        {
            // Refused for its arguments: nothing to try again.
            if (! isDaemonUnavailable(error))
                return;
            retryAt = getTickCount() + retryIntervalMs;
        }
        startThread(5);
    }

    void ZeroConfigBrowser::browsingLost(DNSServiceErrorType error)
    {
        // The daemon's loss ends every reference of it: the resolves and
        // watches end unprocessed. The services stay listed, to be reported
        // again once it is back; the loss is logged by the time the browser
        // answers not browsing.
        endResolves();
        {
            ScopedLock hold(lock);
            for (const ZeroConfigService& service : services)
                if (std::find(unreported.begin(), unreported.end(), service.name) == unreported.end())
                    unreported.push_back(service.name);
        }
        unreportedUntil = 0;
        logPrint(logWarning,
                 "ZeroConfigBrowser: browsing for \"%s\" lost the mDNS daemon (DNS-SD error %d); browsing again once "
                 "it answers",
                 getServiceType().c_str(), int(error));
        DNSServiceRefDeallocate(browseRef.exchange(nullptr));
        retryAt = getTickCount() + retryIntervalMs;
    }

    void ZeroConfigBrowser::dropUnreported()
    {
        bool dropped = false;
        {
            ScopedLock hold(lock);
            for (const std::string& name : unreported)
            {
                const auto kept = std::remove_if(services.begin(), services.end(),
                                                 [&](const ZeroConfigService& s) { return s.name == name; });
                dropped = dropped || kept != services.end();
                services.erase(kept, services.end());
            }
            unreported.clear();
        }
        unreportedUntil = 0;
        if (dropped)
            callListeners(&ZeroConfigBrowserListener::servicesChanged, this, CallType::standard);
    }

    void ZeroConfigBrowser::stop()
    {
        // Everything below belongs to the thread until it has ended.
        stopThreadNow();
        endResolves();
        {
            ScopedLock hold(lock);
            services.clear();
            unreported.clear();
        }
        unreportedUntil = 0;
        DNSServiceRefDeallocate(browseRef.exchange(nullptr));
        retryAt = 0;
    }

    bool ZeroConfigBrowser::isBrowsing() const
    {
        return browseRef.load() != nullptr;
    }

    std::string ZeroConfigBrowser::getServiceType() const
    {
        ScopedLock hold(lock);
        return serviceType;
    }

    size_t ZeroConfigBrowser::getNumServices() const
    {
        ScopedLock hold(lock);
        return services.size();
    }

    std::optional<ZeroConfigService> ZeroConfigBrowser::getService(unsigned long i) const
    {
        ScopedLock hold(lock);
        if (i >= services.size())
            return std::nullopt;
        return services[i];
    }

    std::optional<ZeroConfigService> ZeroConfigBrowser::getServiceByName(const std::string& name) const
    {
        ScopedLock hold(lock);
        for (const ZeroConfigService& service : services)
            if (service.name == name)
                return service;
        return std::nullopt;
    }

    std::vector<ZeroConfigService> ZeroConfigBrowser::getServices() const
    {
        ScopedLock hold(lock);
        return services;
    }

    void ZeroConfigBrowser::browseReply(DNSServiceRef, DNSServiceFlags flags, std::uint32_t,
                                        DNSServiceErrorType error, const char* name, const char* type,
                                        const char* domain, void* context)
    {
        auto* browser = static_cast<ZeroConfigBrowser*>(context);
        if (error != kDNSServiceErr_NoError)
        {
            // The browse has ended: handled once its processing returns.
            debugPrint("DNSServiceBrowseReplyCallback error: %d\n", int(error));
            browser->browseError = error;
            return;
        }
        const std::string serviceName = name != nullptr ? name : "";
        if ((flags & kDNSServiceFlagsAdd) != 0)
            browser->serviceFound(serviceName, type != nullptr ? type : "", domain != nullptr ? domain : "");
        else
            browser->serviceNoLongerAvailable(serviceName);
    }

    void ZeroConfigBrowser::resolveReply(DNSServiceRef, DNSServiceFlags, std::uint32_t, DNSServiceErrorType error,
                                         const char* fullName, const char* host, std::uint16_t portNetworkOrder,
                                         std::uint16_t, const unsigned char*, void* context)
    {
        auto* entry = static_cast<ServiceToResolve*>(context);
        ZeroConfigBrowser* browser = entry->browser;
        browser->toResolve = entry;
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("MyResolveCallBack error: %d\n", int(error));
            browser->resolvedServiceFailed();
            return;
        }
        browser->resolvedService(fullName != nullptr ? fullName : "", host != nullptr ? host : "",
                                 ntohs(portNetworkOrder));
    }

    void ZeroConfigBrowser::watchReply(DNSServiceRef, DNSServiceFlags flags, std::uint32_t, DNSServiceErrorType error,
                                       const char*, std::uint16_t recordType, std::uint16_t, std::uint16_t length,
                                       const void* data, std::uint32_t, void* context)
    {
        auto* entry = static_cast<ServiceToResolve*>(context);
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("ZeroConfigBrowser watch error: %d\n", int(error));
            entry->failed = true;
            return;
        }
        // Removals are left to browsing; a watch a newer answer replaced
        // says nothing more.
        ZeroConfigService changed = entry->listed;
        if (entry->failed || (flags & kDNSServiceFlagsAdd) == 0 || recordType != kDNSServiceType_SRV ||
            ! readServiceRecord(data, length, changed.port, changed.host))
            return;
        const auto sameHost = [](const std::string& a, const std::string& b) {
            return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                       return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
                   });
        };
        if (changed.port != entry->listed.port || ! sameHost(changed.host, entry->listed.host))
            entry->browser->listService(*entry, changed);
    }

    bool ZeroConfigBrowser::readServiceRecord(const void* data, size_t length, std::uint16_t& port, std::string& host)
    {
        // Priority, weight, port (2 bytes each, network order), then the
        // target host in labels up to the empty one.
        const auto* bytes = static_cast<const unsigned char*>(data);
        if (bytes == nullptr || length < 7)
            return false;
        std::string target;
        size_t at = 6;
        for (; at < length && bytes[at] != 0; at += 1 + bytes[at])
        {
            const size_t label = bytes[at];
            if (label > 63 || at + 1 + label >= length || target.size() + label + 1 > 255)
                return false;
            target.append(reinterpret_cast<const char*>(bytes) + at + 1, label).push_back('.');
        }
        if (at >= length || target.empty())
            return false;
        port = std::uint16_t((bytes[4] << 8) | bytes[5]);
        host = target;
        return true;
    }

    void ZeroConfigBrowser::listService(ServiceToResolve& entry, const ZeroConfigService& service)
    {
        entry.listed = service;
        {
            ScopedLock hold(lock);
            // One watch per name: an older one ends with this pass.
            for (const auto& other : resolving)
                if (other.get() != &entry && other->name == service.name && other->ref == nullptr)
                    other->failed = true;
            services.erase(std::remove_if(services.begin(), services.end(),
                                          [&](const ZeroConfigService& s) { return s.name == service.name; }),
                           services.end());
            services.push_back(service);
        }
        callListeners(&ZeroConfigBrowserListener::servicesChanged, this, CallType::standard);
    }

    void ZeroConfigBrowser::serviceFound(const std::string& name, const std::string& type, const std::string& domain)
    {
        // A name found again (another interface, a new announcement) is
        // resolved again beside any resolve of it under way: the last answer
        // is listed and keeps the watch. A service kept through the daemon's
        // absence is reported: it stays.
        unreported.erase(std::remove(unreported.begin(), unreported.end(), name), unreported.end());
        resolveService(name, type, domain);
    }

    void ZeroConfigBrowser::serviceNoLongerAvailable(const std::string& name)
    {
        endResolve(name);
        removeServiceByName(name);
        callListeners(&ZeroConfigBrowserListener::servicesChanged, this, CallType::standard);
    }

    void ZeroConfigBrowser::resolveService(const std::string& name, const std::string& type,
                                           const std::string& domain)
    {
        auto entry = std::make_unique<ServiceToResolve>();
        entry->name = name;
        entry->browser = this;
        entry->deadline = getTickCount() + double(resolveTimeoutMs.load());
        const DNSServiceErrorType error = DNSServiceResolve(&entry->ref, 0, 0, name.c_str(), type.c_str(),
                                                            domain.c_str(), &ZeroConfigBrowser::resolveReply,
                                                            entry.get());
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("ZeroConfigBrowser::resolveService DNSServiceResolve error: %d\n", int(error));
            DNSServiceRefDeallocate(entry->ref);
            return;
        }
        ScopedLock hold(lock);
        resolving.push_back(std::move(entry));
    }

    void ZeroConfigBrowser::resolvedService(const std::string& fullName, const std::string& host, std::uint16_t port)
    {
        if (toResolve == nullptr || toResolve->resolved)
            return;
        toResolve->resolved = true;
        listService(*toResolve, ZeroConfigService{toResolve->name, fullName, host, port});
    }

    void ZeroConfigBrowser::resolvedServiceFailed()
    {
        if (toResolve != nullptr && ! toResolve->resolved)
            toResolve->resolved = toResolve->failed = true;
    }

    bool ZeroConfigBrowser::removeServiceByName(const std::string& name)
    {
        ScopedLock hold(lock);
        const auto kept = std::remove_if(services.begin(), services.end(),
                                         [&](const ZeroConfigService& s) { return s.name == name; });
        const bool removed = kept != services.end();
        services.erase(kept, services.end());
        return removed;
    }

    void ZeroConfigBrowser::endResolve(const std::string& name)
    {
        std::vector<std::unique_ptr<ServiceToResolve>> ended;
        {
            ScopedLock hold(lock);
            for (auto entry = resolving.begin(); entry != resolving.end();)
                if ((*entry)->name == name)
                {
                    ended.push_back(std::move(*entry));
                    entry = resolving.erase(entry);
                }
                else
                    ++entry;
        }
        for (const auto& entry : ended)
        {
            DNSServiceRefDeallocate(entry->ref);
            DNSServiceRefDeallocate(entry->watch);
        }
    }

    void ZeroConfigBrowser::endResolves()
    {
        std::vector<std::unique_ptr<ServiceToResolve>> ended;
        {
            ScopedLock hold(lock);
            ended.swap(resolving);
        }
        for (const auto& entry : ended)
        {
            DNSServiceRefDeallocate(entry->ref);
            DNSServiceRefDeallocate(entry->watch);
        }
    }

    void ZeroConfigBrowser::processReplies(int waitMs)
    {
        std::vector<pollfd> descriptors;
        std::vector<ServiceToResolve*> owners; // null for the browse
        const DNSServiceRef browse = browseRef.load();
        if (browse != nullptr)
        {
            descriptors.push_back({DNSServiceRefSockFD(browse), POLLIN, 0});
            owners.push_back(nullptr);
        }
        double now = getTickCount();
        {
            ScopedLock hold(lock);
            for (const auto& entry : resolving)
            {
                const bool waiting = entry->ref != nullptr;
                descriptors.push_back({DNSServiceRefSockFD(waiting ? entry->ref : entry->watch), POLLIN, 0});
                owners.push_back(entry.get());
                if (waiting)
                    waitMs = std::min(waitMs, std::max(0, int(entry->deadline - now) + 1));
            }
        }
        if (poll(descriptors.data(), nfds_t(descriptors.size()), waitMs) > 0)
        {
            bool browseProcessed = false;
            for (size_t i = 0; i < descriptors.size() && ! browseProcessed; ++i)
            {
                if (descriptors[i].revents == 0)
                    continue;
                if (owners[i] == nullptr)
                {
                    // Its replies may start or end resolves: those are looked
                    // at again in the next pass.
                    browseProcessed = true;
                    const DNSServiceErrorType error = DNSServiceProcessResult(browse);
                    if (error != kDNSServiceErr_NoError)
                        debugPrint("ZeroConfigBrowser::run DNSServiceProcessResult for browse error: %d", int(error));
                    if (error != kDNSServiceErr_NoError || browseError != kDNSServiceErr_NoError)
                    {
                        browsingLost(error != kDNSServiceErr_NoError ? error : browseError);
                        browseError = kDNSServiceErr_NoError;
                        return;
                    }
                    continue;
                }
                ServiceToResolve& entry = *owners[i];
                if (entry.ref != nullptr)
                {
                    toResolve = &entry;
                    const DNSServiceErrorType error = DNSServiceProcessResult(entry.ref);
                    if (error != kDNSServiceErr_NoError)
                    {
                        debugPrint("ZeroConfigBrowser::resolveService DNSServiceProcessResult error: %d\n",
                                   int(error));
                        resolvedServiceFailed();
                    }
                    toResolve = nullptr;
                }
                else if (DNSServiceProcessResult(entry.watch) != kDNSServiceErr_NoError)
                    entry.failed = true;
            }
        }

        // Answered resolves become watches (the service stays listed without
        // one where the library has none); failed ones and those whose time
        // ran out end, as do failed watches.
        std::vector<std::unique_ptr<ServiceToResolve>> ended;
        now = getTickCount();
        for (const auto& entry : resolving) // only this thread changes the list
        {
            if (entry->ref == nullptr || ! entry->resolved || entry->failed)
                continue;
            DNSServiceRefDeallocate(entry->ref);
            entry->ref = nullptr;
            if (DNSServiceQueryRecord(&entry->watch, 0, 0, entry->listed.fullName.c_str(), kDNSServiceType_SRV,
                                      kDNSServiceClass_IN, &ZeroConfigBrowser::watchReply,
                                      entry.get()) != kDNSServiceErr_NoError)
                entry->failed = true;
        }
        {
            ScopedLock hold(lock);
            for (auto entry = resolving.begin(); entry != resolving.end();)
                if ((*entry)->failed || ((*entry)->ref != nullptr && now >= (*entry)->deadline))
                {
                    ended.push_back(std::move(*entry));
                    entry = resolving.erase(entry);
                }
                else
                    ++entry;
        }
        for (const auto& entry : ended)
        {
            if (! entry->resolved)
                logPrint(logWarning, "ZeroConfigBrowser: no resolve of \"%s\" within %d ms; left out",
                         entry->name.c_str(), resolveTimeoutMs.load());
            DNSServiceRefDeallocate(entry->ref);
            DNSServiceRefDeallocate(entry->watch);
        }
    }

    void ZeroConfigBrowser::run()
    {
        while (! isStopRequested())
        {
            if (browseRef.load() == nullptr && retryAt > 0)
            {
                // Nothing of the daemon is open while it is away.
                const double waitMs = retryAt - getTickCount();
                if (waitMs > 0)
                    wakeUp.waitForTrigger(unsigned(std::min(waitMs + 1, double(retryIntervalMs))));
                else if (openBrowse(false) == kDNSServiceErr_NoError)
                {
                    retryAt = 0;
                    if (! unreported.empty())
                        unreportedUntil = getTickCount() + double(returnTimeoutMs.load());
                }
                else
                    retryAt = getTickCount() + retryIntervalMs;
                continue;
            }
            bool idle = browseRef.load() == nullptr;
            if (idle)
            {
                ScopedLock hold(lock);
                idle = resolving.empty();
            }
            if (idle)
                wakeUp.waitForTrigger(1000);
            else
                processReplies(pollSliceMs);
            if (unreportedUntil > 0 && getTickCount() >= unreportedUntil)
                dropUnreported();
        }
        endResolves();
    }
}
