#include "engine/network/VXZeroConfigRegistration.h"

#include <algorithm>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "core/VXLog.h"
#include "core/VXTime.h"

namespace vx
{
    using namespace dnssd;

    ZeroConfigRegistration::ZeroConfigRegistration(const std::string& serviceName, const std::string& serviceType,
                                                   std::uint16_t servicePort)
        : Thread("Zero Config Registration: " + serviceName),
          name(serviceName),
          announcedName(serviceName),
          type(serviceType),
          port(servicePort)
    {
        wakeUpDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        // The opening counts towards the bound: a daemon that hangs must not
        // hold the caller for ever.
        const double deadline = getTickCount() + replyTimeoutMs;
        DNSServiceErrorType error = open();
        while (error == kDNSServiceErr_NameConflict && getTickCount() < deadline)
        {
            failed(error);
            error = open();
        }
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("ZeroConfigRegistration::registerService DNSServiceRegister error: %d", int(error));
            logPrint(logError, "ZeroConfigRegistration: cannot announce \"%s\" (%s, port %u; DNS-SD error %d)%s",
                     getAnnouncedName().c_str(), type.c_str(), unsigned(port), int(error),
                     isDaemonUnavailable(error) ? "; announcing it once the mDNS daemon answers" : "");
            // Refused for its arguments: nothing to try again.
            if (! isDaemonUnavailable(error))
                return;
            away = true;
            retryAt = getTickCount() + retryIntervalMs;
        }
        else
        {
            // The platform library may need several calls for one reply; a
            // held name is given up for the next within the same bound.
            while (! announced)
            {
                const int remainingMs = int(deadline - getTickCount());
                if (remainingMs <= 0)
                {
                    logPrint(logWarning, "ZeroConfigRegistration: no reply to announcing \"%s\" within %d ms",
                             getAnnouncedName().c_str(), replyTimeoutMs);
                    break;
                }
                if (ref.load() != nullptr)
                    processReplies(remainingMs);
                else if (retryAt > getTickCount())
                    break; // lost: the thread tries again at its pace
                else if ((error = open()) == kDNSServiceErr_NameConflict)
                    failed(error);
                else if (error != kDNSServiceErr_NoError)
                    break;
            }
        }
        startThread(0);
    }

    ZeroConfigRegistration::~ZeroConfigRegistration()
    {
        // The reference is the thread's until it has ended.
        stopThreadNow();
        DNSServiceRefDeallocate(ref.exchange(nullptr));
        if (wakeUpDescriptor >= 0)
            close(wakeUpDescriptor);
    }

    void ZeroConfigRegistration::requestThreadStop()
    {
        Thread::requestThreadStop();
        const std::uint64_t one = 1;
        (void) ! write(wakeUpDescriptor, &one, sizeof(one));
    }

    DNSServiceErrorType ZeroConfigRegistration::open()
    {
        replied = false;
        replyError = kDNSServiceErr_NoError;
        DNSServiceRef made = nullptr;
        const DNSServiceErrorType error =
            DNSServiceRegister(&made, 0, 0, getAnnouncedName().c_str(), type.c_str(), nullptr, nullptr, htons(port), 0,
                               nullptr, &ZeroConfigRegistration::registerReply, this);
        if (error != kDNSServiceErr_NoError)
        {
            DNSServiceRefDeallocate(made);
            return error;
        }
        ref.store(made);
        return kDNSServiceErr_NoError;
    }

    void ZeroConfigRegistration::processReplies(int waitMs)
    {
        const DNSServiceRef current = ref.load();
        pollfd descriptors[2] = {{wakeUpDescriptor, POLLIN, 0},
                                 {current != nullptr ? DNSServiceRefSockFD(current) : -1, POLLIN, 0}};
        if (poll(descriptors, 2, waitMs) <= 0)
            return;
        if (descriptors[0].revents != 0)
        {
            std::uint64_t wakeUps = 0;
            (void) ! read(wakeUpDescriptor, &wakeUps, sizeof(wakeUps));
        }
        if (current == nullptr || descriptors[1].revents == 0)
            return;
        const DNSServiceErrorType processed = DNSServiceProcessResult(current);
        if (processed != kDNSServiceErr_NoError)
            debugPrint("ZeroConfigRegistration DNSServiceProcessResult error: %d", int(processed));
        if (processed != kDNSServiceErr_NoError || replyError != kDNSServiceErr_NoError)
        {
            failed(processed != kDNSServiceErr_NoError ? processed : replyError);
            return;
        }
        if (replied && ! announced)
        {
            // Logged before it answers announced, as a loss is.
            if (away)
                logPrint(logInfo, "ZeroConfigRegistration: \"%s\" announced again", getAnnouncedName().c_str());
            away = false;
            announced = true;
        }
    }

    void ZeroConfigRegistration::failed(DNSServiceErrorType error)
    {
        if (error != kDNSServiceErr_NameConflict)
        {
            lost(error);
            return;
        }
        DNSServiceRefDeallocate(ref.exchange(nullptr));
        announced = false;
        std::string taken;
        {
            std::lock_guard<std::mutex> hold(nameLock);
            taken = announcedName;
            announcedName = nextName(taken);
        }
        logPrint(logWarning, "ZeroConfigRegistration: \"%s\" is taken by another service; announcing \"%s\"",
                 taken.c_str(), getAnnouncedName().c_str());
        retryAt = getTickCount();
    }

    void ZeroConfigRegistration::lost(DNSServiceErrorType error)
    {
        DNSServiceRefDeallocate(ref.exchange(nullptr));
        if (! away)
            logPrint(logWarning,
                     "ZeroConfigRegistration: \"%s\" is no longer announced (DNS-SD error %d); announcing it again "
                     "once the mDNS daemon answers",
                     getAnnouncedName().c_str(), int(error));
        away = true;
        announced = false;
        retryAt = getTickCount() + retryIntervalMs;
    }

    void ZeroConfigRegistration::run()
    {
        // Without a wake-up descriptor a stop is seen within a short slice.
        const int longestWaitMs = wakeUpDescriptor >= 0 ? -1 : 100;
        while (! isStopRequested())
        {
            if (ref.load() != nullptr)
            {
                processReplies(longestWaitMs);
                continue;
            }
            const double waitMs = retryAt - getTickCount();
            if (waitMs > 0)
                processReplies(longestWaitMs < 0 ? int(waitMs) + 1 : std::min(int(waitMs) + 1, longestWaitMs));
            else if (const DNSServiceErrorType error = open(); error == kDNSServiceErr_NameConflict)
                failed(error);
            else if (error != kDNSServiceErr_NoError)
                retryAt = getTickCount() + retryIntervalMs;
        }
    }

    std::string ZeroConfigRegistration::getAnnouncedName() const
    {
        std::lock_guard<std::mutex> hold(nameLock);
        return announcedName;
    }

    std::string ZeroConfigRegistration::nextName(const std::string& taken)
    {
        // "Name (n)" with n a number from 2 on counts up; anything else is
        // the first of its kind.
        std::string base = taken;
        long number = 2;
        const size_t bracket = taken.rfind(" (");
        if (bracket != std::string::npos && taken.size() > bracket + 3 && taken.back() == ')')
        {
            const std::string digits = taken.substr(bracket + 2, taken.size() - bracket - 3);
            if (digits.size() <= 9 && digits.front() != '0' &&
                std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                std::stol(digits) >= 2)
            {
                base = taken.substr(0, bracket);
                number = std::stol(digits) + 1;
            }
        }
        // The name is cut to leave the count room within a label, never
        // inside a character: a longer one would be refused at every try.
        const std::string count = " (" + std::to_string(number) + ")";
        size_t keep = std::min(base.size(), maxNameBytes - count.size());
        while (keep > 0 && keep < base.size() && (static_cast<unsigned char>(base[keep]) & 0xC0) == 0x80)
            --keep;
        return base.substr(0, keep) + count;
    }

    void ZeroConfigRegistration::registerReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType error,
                                               const char* replyName, const char* regtype, const char* domain,
                                               void* context)
    {
        // Replies run inside the processing of the registration that is
        // the context.
        auto* registration = static_cast<ZeroConfigRegistration*>(context);
        registration->replied = true;
        registration->replyError = error;
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("DNSRegisterReplyCallback error: %d", int(error));
            return;
        }
        debugPrint("registered service!");
        debugPrint(std::string("serviceName: ") + (replyName != nullptr ? replyName : ""));
        debugPrint(std::string("regtype: ") + (regtype != nullptr ? regtype : ""));
        debugPrint(std::string("domain: ") + (domain != nullptr ? domain : ""));
    }
}
