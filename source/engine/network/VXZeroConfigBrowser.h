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
    // Browser: " and the type), resolves each announced service and keeps the
    // resolved ones. Resolves run side by side with the browse: a service
    // whose resolve is slow or fails never holds back the others' additions,
    // removals and port changes. Each reference is processed until its reply
    // came (the platform library may need several calls for one reply), an
    // error came, its time-out passed or the thread is stopped. A listed
    // service's SRV record stays watched, so a server announced again on
    // another port or host (which browsing does not report when it comes back
    // within the record's goodbye time) is listed anew. Listeners hear of
    // every change, with CallType standard, from the browser's thread: the
    // asynchronous ones later through the host's scheduler (at once on that
    // thread without one). The list is locked; getters copy.
    //
    // The mDNS daemon may go away (an upgrade, a network change, a resume)
    // or not run yet: an error on the browse, or a browse the daemon cannot
    // open, is said once in the log; the browser then ends its resolves and
    // watches, answers not browsing and tries again every retryIntervalMs
    // until the daemon answers. The daemon's absence says nothing of the
    // services: the list stays as it was (streams from them go on), and once
    // browsing again a service the daemon has not reported again within
    // returnTimeoutMs leaves it. A browse the library refuses for its
    // arguments leaves the browser idle.
    class ZeroConfigBrowser : public Broadcaster<ZeroConfigBrowserListener>, public Thread
    {
    public:
        // How long a resolve may stay unanswered before it counts as failed.
        static constexpr int defaultResolveTimeoutMs = 5000;
        // How often browsing is tried again while the daemon is away.
        static constexpr int retryIntervalMs = 1000;
        // How long after browsing again a service listed before the daemon
        // went away stays without being reported again: a restarted daemon
        // learns the services of other hosts within a second or two, and
        // this host's registrations announce again at their retry pace.
        static constexpr int defaultReturnTimeoutMs = 10000;

        ZeroConfigBrowser();
        // Stops browsing. Not from the browser's own thread (a listener).
        ~ZeroConfigBrowser() override;

        // Stops, then browses for the type (starting the thread, priority 5).
        // A daemon that does not answer holds the caller a moment at most:
        // the browse then opens, or fails, later. Any thread but the
        // browser's own.
        void browseForService(const std::string& type);
        // Ends the thread, waiting for it however long its current pass takes
        // (a listener called on it finishes first): the references it uses
        // are freed only once it has ended. Then empties the list and ends
        // the browse and the resolves given up. Not from the browser's own
        // thread.
        void stop();

        // True while a browse is open with the daemon.
        bool isBrowsing() const;
        std::string getServiceType() const;
        size_t getNumServices() const;
        // The i-th resolved service; nothing when i is not below the count.
        std::optional<ZeroConfigService> getService(unsigned long i) const;
        std::optional<ZeroConfigService> getServiceByName(const std::string& name) const;
        std::vector<ZeroConfigService> getServices() const;

        void setResolveTimeout(int timeoutMs) { resolveTimeoutMs.store(timeoutMs); }
        void setReturnTimeout(int timeoutMs) { returnTimeoutMs.store(timeoutMs); }

        // The steps of browsing, run on the browser's thread by the replies.
        // A service no longer available ends its resolves and its watch and
        // leaves the list.
        void serviceFound(const std::string& name, const std::string& type, const std::string& domain);
        void serviceNoLongerAvailable(const std::string& name);
        // Starts the resolve of a found service; its reply is processed by
        // the thread's loop beside the browse.
        void resolveService(const std::string& name, const std::string& type, const std::string& domain);
        // The reply for the service whose resolve reference is being
        // processed: lists it (replacing any entry of its name) or drops it.
        void resolvedService(const std::string& fullName, const std::string& host, std::uint16_t port);
        void resolvedServiceFailed();
        // True when a service of that name was listed.
        bool removeServiceByName(const std::string& name);

        void requestThreadStop() override;

        // The port and target host ("name.local.") of an SRV record's data
        // as on the wire; false (both left as they were) for data that is
        // cut short, has no target or a label past the limits.
        static bool readServiceRecord(const void* data, size_t length, std::uint16_t& port, std::string& host);

    protected:
        void run() override;

    private:
        // A service found: its resolve under way (reference and deadline, a
        // tick count) until answered, then the watch of its SRV record while
        // it is listed.
        struct ServiceToResolve
        {
            std::string name;
            bool resolved = false; // the resolve was answered
            bool failed = false;   // the resolve or the watch ended in an error
            ZeroConfigBrowser* browser = nullptr;
            dnssd::DNSServiceRef ref = nullptr;
            double deadline = 0;
            dnssd::DNSServiceRef watch = nullptr;
            ZeroConfigService listed;
        };

        // Opens the browse; the error when it cannot be opened. The first
        // try (its failure logged) runs on the caller's thread, later ones on
        // the browser's.
        dnssd::DNSServiceErrorType openBrowse(bool firstTry);
        void startBrowsing();
        // The browse answered an error or could not be processed: the daemon
        // is taken as gone until a browse opens again (browser thread).
        void browsingLost(dnssd::DNSServiceErrorType error);
        // Once the return time-out has passed, the services kept through the
        // daemon's absence and not reported since leave the list (browser
        // thread).
        void dropUnreported();
        // One pass of the loop: waits (at most waitMs) for any reference's
        // reply, processes the ones that have one, then ends the resolves
        // that were answered or whose time ran out.
        void processReplies(int waitMs);
        // Ends the resolve or watch of that name, if there is one.
        void endResolve(const std::string& name);
        // Ends every resolve and watch.
        void endResolves();
        // Lists the service as entry's (replacing any of its name) and tells
        // the listeners.
        void listService(ServiceToResolve& entry, const ZeroConfigService& service);

        static void browseReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags flags, std::uint32_t,
                                dnssd::DNSServiceErrorType error, const char* name, const char* type,
                                const char* domain, void* context);
        static void resolveReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags, std::uint32_t,
                                 dnssd::DNSServiceErrorType error, const char* fullName, const char* host,
                                 std::uint16_t portNetworkOrder, std::uint16_t, const unsigned char*, void* context);
        static void watchReply(dnssd::DNSServiceRef, dnssd::DNSServiceFlags flags, std::uint32_t,
                               dnssd::DNSServiceErrorType error, const char*, std::uint16_t recordType, std::uint16_t,
                               std::uint16_t length, const void* data, std::uint32_t, void* context);

        std::string serviceType;
        // Opened by browseForService, replaced and ended on loss by the
        // browser's thread, ended by stop once that thread has ended.
        std::atomic<dnssd::DNSServiceRef> browseRef{nullptr};
        // The error the browse answered in the pass being processed, and
        // when browsing is tried again after a loss (0: not waiting to);
        // browser thread, set before it starts.
        dnssd::DNSServiceErrorType browseError = dnssd::kDNSServiceErr_NoError;
        double retryAt = 0;
        // The names listed when the daemon went away and not reported since,
        // and when they leave the list (0: not while the daemon is away);
        // browser thread, cleared by stop once it has ended.
        std::vector<std::string> unreported;
        double unreportedUntil = 0;
        std::vector<ZeroConfigService> services;
        // The resolves under way and the watches, in the order they began
        // (browser thread; stop ends what an ended thread left).
        std::vector<std::unique_ptr<ServiceToResolve>> resolving;
        // The resolve whose reply is being processed (browser thread).
        ServiceToResolve* toResolve = nullptr;
        WaitableEvent wakeUp;
        mutable CriticalSection lock; // services, serviceType and resolving
        std::atomic<int> resolveTimeoutMs{defaultResolveTimeoutMs};
        std::atomic<int> returnTimeoutMs{defaultReturnTimeoutMs};
    };
}
