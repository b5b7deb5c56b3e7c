#include "engine/video/sources/VXNetworkVideoSource.h"

#include "core/VXLog.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXTexture.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXNetworkVideoClientInstanceManager.h"
#include "engine/renderpasses/VXRenderPassChain.h"

namespace vx
{
    namespace
    {
        // Through the manager while it exists; a source outliving it gives
        // the use back to the registry the manager kept it in.
        void releaseUse(NetworkVideoClient* client)
        {
            if (client == nullptr)
                return;
            if (NetworkVideoServerManager* manager = NetworkVideoServerManager::getInstanceWithoutCreating())
                manager->releaseClient(client);
            else
                NetworkVideoClientInstanceManager::getInstance().releaseClient(
                    NetworkVideoClientInstanceManager::keyFor(client->getServer().getIpAddress(),
                                                              client->getServer().getPort()));
        }

        // "ipaddress" and "port" of element; false unless both are there and
        // the port is one.
        bool readServer(const XmlNode& element, std::string& address, std::uint16_t& port)
        {
            const XmlAttribute* addressAttribute = element.first_attribute("ipaddress");
            int readPort = -1;
            if (addressAttribute == nullptr || ! readAttribute(element.first_attribute("port"), &readPort) ||
                readPort < 0 || readPort > 65535)
                return false;
            address = readAttribute(addressAttribute, std::string());
            port = std::uint16_t(readPort);
            return ! address.empty();
        }
    }

    NetworkVideoSource::NetworkVideoSource(NetworkVideoClient* c)
        : VideoSource("NetworkVideoSource"), settings(std::make_shared<ParamContainer>("Network Params", true))
    {
        setClient(c);
        servers = settings->addParamChoice("Network Servers", {});
        settings->setViewForParam(servers, ParamView(static_cast<ParamView::ControlType>(2)), false);
        showServer();
        servers->addListener(*this, false);
        NetworkVideoServerManager::getInstance()->addListener(*this, false);
    }

    NetworkVideoSource::NetworkVideoSource() : VideoSource("Network") {}

    NetworkVideoSource::~NetworkVideoSource()
    {
        if (NetworkVideoServerManager* manager = NetworkVideoServerManager::getInstanceWithoutCreating())
            manager->removeListener(*this);
        if (servers != nullptr)
            servers->removeListener(*this);
        releaseUse(client);
        client = nullptr;
    }

    void NetworkVideoSource::setClient(NetworkVideoClient* c)
    {
        NetworkVideoClient* previous = client;
        client = c;
        releaseUse(previous);
        showServer();
    }

    std::string NetworkVideoSource::getServerAddress() const
    {
        return client != nullptr ? client->getServer().getIpAddress() : storedAddress;
    }

    std::uint16_t NetworkVideoSource::getServerPort() const
    {
        return client != nullptr ? client->getServer().getPort() : storedPort;
    }

    bool NetworkVideoSource::update(const TimeInfo& info)
    {
        if (serversChanged.exchange(false))
            followServer();
        return VideoSource::update(info);
    }

    void NetworkVideoSource::networkVideoServersChanged()
    {
        serversChanged.store(true);
    }

    void NetworkVideoSource::followServer()
    {
        NetworkVideoServerManager* manager = NetworkVideoServerManager::getInstanceWithoutCreating();
        if (manager == nullptr)
            return;
        if (client != nullptr)
        {
            // Gone from the list: the port is given back, and the server is
            // taken again when it returns.
            const NetworkVideoPeer& server = client->getServer();
            if (manager->getServerInfo(server.getIpAddress(), server.getPort()) != nullptr)
                return;
            storedAddress = server.getIpAddress();
            storedPort = server.getPort();
            setClient(nullptr);
            return;
        }
        if (storedAddress.empty() || manager->getServerInfo(storedAddress, storedPort) == nullptr)
            return;
        if (NetworkVideoClient* found = manager->getClientForServer(storedAddress, storedPort))
            setClient(found);
    }

    std::string NetworkVideoSource::getDescription() const
    {
        return client != nullptr ? client->getServer().getServiceName() : "Network";
    }

    void NetworkVideoSource::resized(int, int) {}

    void NetworkVideoSource::valueChanged(ParamBase&, ChangeInfo) {}

    void NetworkVideoSource::showServer()
    {
        if (servers == nullptr)
            return;
        servers->clearChoices();
        if (client != nullptr)
            servers->addChoice(client->getServer().getServiceName(), 0, true, true);
        else
            servers->addChoice("None", 0, false, true);
    }

    TextureRef NetworkVideoSource::render(Renderer& renderer, const RenderInfo&)
    {
        if (client == nullptr)
            return {};
        // The frame comes first: a new source is 0 x 0, which begin refuses,
        // until it takes the size of its first frame.
        client->readFrame();
        Texture* texture = client->getTexture();
        if (client->getWidth() < 1 || client->getHeight() < 1 || texture == nullptr)
            return {};
        if (texture->getWidth() != getWidth() || texture->getHeight() != getHeight())
            setSize(texture->getWidth(), texture->getHeight());
        if (! begin(renderer))
            return {};
        chain->setInput(0, texture, 0, 0);
        const bool rendered = chain->render(renderer);
        end(renderer);
        return rendered ? chain->stealOutput() : TextureRef();
    }

    XmlNode* NetworkVideoSource::writeStateDerived(XmlPool& pool, bool force)
    {
        XmlNode* element = VideoSource::writeStateDerived(pool, force);
        const std::string address = getServerAddress();
        if (! address.empty())
        {
            element->append_attribute(createAttribute(pool, "ipaddress", address));
            element->append_attribute(createAttribute(pool, "port", int(getServerPort())));
        }
        // The base wrote it when an extension or the creator knew the source;
        // otherwise it is still what recognises a network source.
        if (element->first_node("NetworkVideoInfo") == nullptr)
            element->prepend_node(NetworkVideoServerManager::createNetworkVideoInfo(pool, address, getServerPort()));
        return element;
    }

    void NetworkVideoSource::readStateDerived(const XmlNode& node)
    {
        VideoSource::readStateDerived(node);
        std::string address;
        std::uint16_t port = 0;
        const XmlNode* info = node.first_node("NetworkVideoInfo");
        if (! readServer(node, address, port) && (info == nullptr || ! readServer(*info, address, port)))
            return;
        storedAddress = address;
        storedPort = port;
        if (client != nullptr && client->getServer().getIpAddress() == address && client->getServer().getPort() == port)
            return;
        // A server not listed yet is taken by update once it is; another
        // server's client is not kept meanwhile.
        NetworkVideoServerManager* manager = NetworkVideoServerManager::getInstance();
        NetworkVideoClient* found =
            manager->getServerInfo(address, port) != nullptr ? manager->getClientForServer(address, port) : nullptr;
        if (found != nullptr)
            debugPrint("NetworkVideoSource::readStateDerived, found client");
        setClient(found);
    }
}
