#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/VXBroadcaster.h"
#include "core/VXCriticalSection.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"
#include "engine/network/VXDNSService.h"

namespace vx
{
    // A resolved service: the name it was browsed under, the full name, the
    // host and the port (host byte order) its resolve gave.
    struct ZeroConfigService
    {
        std::string name;
        std::string fullName;
        std::string host;
        std::uint16_t port = 0;
    };

    class ZeroConfigBrowser;

    class ZeroConfigBrowserListener
    {
    public:
        virtual ~ZeroConfigBrowserListener() = default;
        // The browser's list changed; read it through the browser's getters.
        virtual void servicesChanged(ZeroConfigBrowser* browser) = 0;
    };

    // Browses DNS-SD for one service type on its own thread ("Zero Config
    // Browser: " and the type), resolves each announced service (one at a time,
    // in the order announced) and keeps the resolved ones. Listeners hear of
    // every change, with CallType standard, from the browser's thread: the
    // asynchronous ones later through the host's scheduler (at once on that
    // thread without one). The list is locked; getters copy.
    class ZeroConfigBrowser : public Broadcaster<ZeroConfigBrowserListener>, public Thread
    {
    public:
        // How long a resolve may stay unanswered before it counts as failed.
        static constexpr int defaultResolveTimeoutMs = 5000;

        ZeroConfigBrowser();
        // Stops browsing. Not from the browser's own thread (a listener).
        ~ZeroConfigBrowser() override;

        // Stops, then browses for the type (starting the thread, priority 5).
        // Any thread but the browser's own.
        void browseForService(const std::string& type);
        // Ends the thread (4000 ms bound; a resolve waiting is given up),
        // empties the list and ends the browse.
        void stop();

        bool isBrowsing() const;
        std::string getServiceType() const;
        size_t getNumServices() const;
        // The i-th resolved service; nothing when i is not below the count.
        std::optional<ZeroConfigService> getService(unsigned long i) const;
        std::optional<ZeroConfigService> getServiceByName(const std::string& name) const;
        std::vector<ZeroConfigService> getServices() const;

        void setResolveTimeout(int timeoutMs) { resolveTimeoutMs.store(timeoutMs); }

        // The steps of browsing, run on the browser's thread by the replies.
        void serviceFound(const std::string& name, const std::string& type, const std::string& domain);
        void serviceNoLongerAvailable(const std::string& name);
        void resolveService(const std::string& name, const std::string& type, const std::string& domain);
        void resolvedService(const std::string& fullName, const std::string& host, std::uint16_t port);
        void resolvedServiceFailed();
        // True when a service of that name was listed.
        bool removeServiceByName(const std::string& name);

        void requestThreadStop() override;

    protected:
        void run() override;

    private:
        struct ServiceToResolve
        {
            std::string name;
            bool resolved = false;
        };

        void startBrowsing();
        // Waits for the reference's descriptor in short slices; false on stop,
        // time-out or error.
        bool waitForReply(dnssd::DNSServiceRef ref, int timeoutMs);

        static void browseReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags flags, std::uint32_t,
                                dnssd::DNSServiceErrorType error, const char* name, const char* type,
                                const char* domain, void* context);
        static void resolveReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags, std::uint32_t,
                                 dnssd::DNSServiceErrorType error, const char* fullName, const char* host,
                                 std::uint16_t portNetworkOrder, std::uint16_t, const unsigned char*, void* context);

        std::string serviceType;
        std::atomic<dnssd::DNSServiceRef> browseRef{nullptr};
        std::vector<ZeroConfigService> services;
        std::unique_ptr<ServiceToResolve> toResolve;
        WaitableEvent wakeUp;
        mutable CriticalSection lock; // services, serviceType and toResolve
        std::atomic<int> resolveTimeoutMs{defaultResolveTimeoutMs};
    };
}
