#include "engine/network/VXZeroConfigRegistration.h"

#include <arpa/inet.h>

#include "core/VXLog.h"
#include "core/VXTime.h"
#include "engine/network/VXSockets.h"

namespace vx
{
    using namespace dnssd;

    ZeroConfigRegistration::ZeroConfigRegistration(const std::string& serviceName, const std::string& serviceType,
                                                   std::uint16_t servicePort)
        : name(serviceName), type(serviceType), port(servicePort)
    {
        bool replied = false;
        const DNSServiceErrorType error =
            DNSServiceRegister(&ref, 0, 0, name.c_str(), type.c_str(), nullptr, nullptr, htons(port), 0, nullptr,
                               &ZeroConfigRegistration::registerReply, &replied);
        if (error != kDNSServiceErr_NoError)
        {
            debugPrint("ZeroConfigRegistration::registerService DNSServiceRegister error: %d", int(error));
            logPrint(logError, "ZeroConfigRegistration: cannot announce \"%s\" (%s, port %u; DNS-SD error %d)",
                     name.c_str(), type.c_str(), unsigned(port), int(error));
            DNSServiceRefDeallocate(ref);
            ref = nullptr;
            return;
        }
        // The platform library may need several calls for one reply; a
        // daemon that never answers must not hold the caller for ever.
        const double deadline = getTickCount() + replyTimeoutMs;
        while (! replied)
        {
            const int remainingMs = int(deadline - getTickCount());
            if (remainingMs <= 0 || Sockets::waitForReadiness(DNSServiceRefSockFD(ref), true, remainingMs) != 1)
            {
                logPrint(logWarning, "ZeroConfigRegistration: no reply to announcing \"%s\" within %d ms",
                         name.c_str(), replyTimeoutMs);
                break;
            }
            const DNSServiceErrorType processed = DNSServiceProcessResult(ref);
            if (processed != kDNSServiceErr_NoError)
            {
                debugPrint("ZeroConfigRegistration DNSServiceProcessResult error: %d", int(processed));
                break;
            }
        }
    }

    ZeroConfigRegistration::~ZeroConfigRegistration()
    {
        DNSServiceRefDeallocate(ref);
    }

    void ZeroConfigRegistration::registerReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType error,
                                               const char* replyName, const char* regtype, const char* domain,
                                               void* context)
    {
        // Replies run only inside the constructor's processing, whose flag
        // the context is.
        *static_cast<bool*>(context) = true;
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
