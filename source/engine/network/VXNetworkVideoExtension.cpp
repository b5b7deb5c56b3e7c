#include "engine/network/VXNetworkVideoExtension.h"

#include "engine/network/VXNetworkVideoServerManager.h"

namespace vx
{
    NetworkVideoExtension::NetworkVideoExtension(const std::string& serviceName, const std::string& ipAddress,
                                                 std::uint16_t port)
        : VideoSourceExtension(SourceInfo{ipAddress, "Network Server", "NETWORK_VIDEO_SRC", "Network Servers"}, false),
          peer(serviceName, ipAddress, port)
    {
    }

    VideoSource* NetworkVideoExtension::createSource(XmlState*)
    {
        return NetworkVideoServerManager::getInstance()->createSource(peer.getIpAddress(), peer.getPort());
    }

    XmlNode* NetworkVideoExtension::saveSourceToXML(XmlPool& pool, XmlCapable* source)
    {
        return NetworkVideoServerManager::getInstance()->saveSourceToXML(pool, source);
    }
}
