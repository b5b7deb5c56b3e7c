#include "engine/network/VXZeroConfigBrowser.h"

#include <algorithm>

#include <arpa/inet.h>

#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/VXTime.h"
#include "engine/network/VXSockets.h"

namespace vx
{
    using namespace dnssd;

    namespace
    {
        constexpr int pollSliceMs = 10;
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

    void ZeroConfigBrowser::startBrowsing()
    {
        std::string type = getServiceType();
        DNSServiceRef ref = nullptr;
        const DNSServiceErrorType error =
            DNSServiceBrowse(&ref, 0, 0, type.c_str(), nullptr, &ZeroConfigBrowser::browseReply, this);
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("ZeroConfigBrowser::browseForService DNSServiceBrowse error: %d\n", int(error));
            logPrint(logError, "ZeroConfigBrowser: cannot browse for \"%s\" (DNS-SD error %d)", type.c_str(),
                     int(error));
            DNSServiceRefDeallocate(ref);
            return;
        }
        browseRef.store(ref);
        startThread(5);
    }

    void ZeroConfigBrowser::stop()
    {
        stopThreadNow(4000);
        {
            ScopedLock hold(lock);
            services.clear();
            toResolve.reset();
        }
        DNSServiceRefDeallocate(browseRef.exchange(nullptr));
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
            debugPrint("DNSServiceBrowseReplyCallback error: %d\n", int(error));
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
        auto* browser = static_cast<ZeroConfigBrowser*>(context);
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("MyResolveCallBack error: %d\n", int(error));
            browser->resolvedServiceFailed();
            return;
        }
        browser->resolvedService(fullName != nullptr ? fullName : "", host != nullptr ? host : "",
                                 ntohs(portNetworkOrder));
    }

    void ZeroConfigBrowser::serviceFound(const std::string& name, const std::string& type, const std::string& domain)
    {
        {
            ScopedLock hold(lock);
            toResolve = std::make_unique<ServiceToResolve>();
            toResolve->name = name;
        }
        resolveService(name, type, domain);
    }

    void ZeroConfigBrowser::serviceNoLongerAvailable(const std::string& name)
    {
        removeServiceByName(name);
        callListeners(&ZeroConfigBrowserListener::servicesChanged, this, CallType::standard);
    }

    void ZeroConfigBrowser::resolveService(const std::string& name, const std::string& type,
                                           const std::string& domain)
    {
        DNSServiceRef ref = nullptr;
        const DNSServiceErrorType error = DNSServiceResolve(&ref, 0, 0, name.c_str(), type.c_str(), domain.c_str(),
                                                            &ZeroConfigBrowser::resolveReply, this);
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("ZeroConfigBrowser::resolveService DNSServiceResolve error: %d\n", int(error));
            resolvedServiceFailed();
            return;
        }
        // A peer that never answers must not hold the thread: wait in slices,
        // give up on stop or after the time-out.
        if (waitForReply(ref, resolveTimeoutMs.load()))
        {
            const DNSServiceErrorType processed = DNSServiceProcessResult(ref);
            if (processed != kDNSServiceErr_NoError)
            {
                debugPrint("ZeroConfigBrowser::resolveService DNSServiceProcessResult error: %d\n", int(processed));
                resolvedServiceFailed();
            }
        }
        else
        {
            logPrint(logWarning, "ZeroConfigBrowser: no resolve of \"%s\" within %d ms; left out", name.c_str(),
                     resolveTimeoutMs.load());
            resolvedServiceFailed();
        }
        DNSServiceRefDeallocate(ref);
    }

    bool ZeroConfigBrowser::waitForReply(DNSServiceRef ref, int timeoutMs)
    {
        const int descriptor = DNSServiceRefSockFD(ref);
        const double start = getTickCount();
        while (! isStopRequested())
        {
            const int ready = Sockets::waitForReadiness(descriptor, true, pollSliceMs);
            if (ready == 1)
                return true;
            if (ready < 0 || getTickCount() - start >= double(timeoutMs))
                return false;
        }
        return false;
    }

    void ZeroConfigBrowser::resolvedService(const std::string& fullName, const std::string& host, std::uint16_t port)
    {
        {
            ScopedLock hold(lock);
            if (toResolve == nullptr)
                return;
            const std::string name = toResolve->name;
            services.erase(std::remove_if(services.begin(), services.end(),
                                          [&](const ZeroConfigService& s) { return s.name == name; }),
                           services.end());
            services.push_back(ZeroConfigService{name, fullName, host, port});
            toResolve.reset();
        }
        callListeners(&ZeroConfigBrowserListener::servicesChanged, this, CallType::standard);
    }

    void ZeroConfigBrowser::resolvedServiceFailed()
    {
        ScopedLock hold(lock);
        toResolve.reset();
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

    void ZeroConfigBrowser::run()
    {
        while (! isStopRequested())
        {
            if (DNSServiceRef ref = browseRef.load())
            {
                if (Sockets::waitForReadiness(DNSServiceRefSockFD(ref), true, pollSliceMs) == 1)
                {
                    const DNSServiceErrorType error = DNSServiceProcessResult(ref);
                    if (error != kDNSServiceErr_NoError)
                    {
                        debugPrint("ZeroConfigBrowser::run DNSServiceProcessResult for browse error: %d", int(error));
                        logPrint(logError, "ZeroConfigBrowser: browsing for \"%s\" ended (DNS-SD error %d)",
                                 getServiceType().c_str(), int(error));
                        DNSServiceRefDeallocate(browseRef.exchange(nullptr));
                    }
                    // More replies may be queued: look again at once.
                    continue;
                }
            }
            wakeUp.waitForTrigger(1000);
        }
    }
}
