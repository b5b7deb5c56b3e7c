#pragma once

#include <cstdint>
#include <string>

#include "engine/video/sources/VXSourceExtension.h"

namespace vx
{
    // Who a network video peer is: the service's name, its address as text
    // and its port. A client keeps a copy of its server's.
    class NetworkVideoPeer
    {
    public:
        NetworkVideoPeer(const std::string& serviceName, const std::string& ipAddress, std::uint16_t port)
            : serviceName(serviceName), ipAddress(ipAddress), port(port)
        {
        }

        const std::string& getServiceName() const { return serviceName; }
        const std::string& getIpAddress() const { return ipAddress; }
        std::uint16_t getPort() const { return port; }

    private:
        std::string serviceName;
        std::string ipAddress;
        std::uint16_t port;
    };

    // A discovered network video peer as a source extension: named by its
    // address (which its presets are stored under, with its port), shown by
    // its service name (two servers on one host differ there), description
    // "Network Server", unique id "NETWORK_VIDEO_SRC", category "Network
    // Servers". The server manager lists one per peer and makes the sources.
    class NetworkVideoExtension : public VideoSourceExtension
    {
    public:
        NetworkVideoExtension(const std::string& serviceName, const std::string& ipAddress, std::uint16_t port);

        const std::string& getServiceName() const { return peer.getServiceName(); }
        const std::string& getIpAddress() const { return peer.getIpAddress(); }
        std::uint16_t getPort() const { return peer.getPort(); }
        const NetworkVideoPeer& getPeer() const { return peer; }
        // The service name.
        std::string getExtensionDisplayName() const override { return peer.getServiceName(); }

        // The server manager's network source for this server (the preset is
        // not used); it has no client when none could be bound. The caller
        // owns it (delete through the GPU-object manager).
        VideoSource* createSource(XmlState* preset) override;
        using VideoSourceExtension::createSource;
        // The server manager's "NetworkVideoInfo" element for source.
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;

    private:
        NetworkVideoPeer peer;
    };
}
