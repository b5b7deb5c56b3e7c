#pragma once

#include <cstdint>
#include <string>

namespace vx
{
    // A discovered network video peer: the service's name, its address as
    // text and its port. The server manager lists one per peer; a client
    // keeps a copy of its server's.
    class NetworkVideoExtension
    {
    public:
        NetworkVideoExtension(const std::string& serviceName, const std::string& ipAddress, std::uint16_t port)
            : serviceName(serviceName), ipAddress(ipAddress), port(port)
        {
        }
        virtual ~NetworkVideoExtension() = default;

        const std::string& getServiceName() const { return serviceName; }
        const std::string& getIpAddress() const { return ipAddress; }
        std::uint16_t getPort() const { return port; }

    private:
        std::string serviceName;
        std::string ipAddress;
        std::uint16_t port;
    };
}
