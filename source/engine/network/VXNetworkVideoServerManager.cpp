#include "engine/network/VXNetworkVideoServerManager.h"

#include <algorithm>
#include <atomic>

#include <netdb.h>

#include "core/VXLog.h"
#include "core/xml/VXXmlCapable.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXNetworkVideoClientInstanceManager.h"
#include "engine/network/VXNetworkVideoSources.h"
#include "engine/network/VXSockets.h"

namespace vx
{
    namespace
    {
        std::atomic<NetworkVideoServerManager*> instance{nullptr};
        std::mutex instanceLock;

        std::string lookUpWithHostByName(const std::string& host)
        {
            // gethostbyname answers in a static entry shared by every caller.
            static std::mutex lookUpLock;
            std::lock_guard<std::mutex> hold(lookUpLock);
            return Sockets::getIpAddress(gethostbyname(host.c_str()));
        }

        std::atomic<NetworkVideoServerManager::HostLookup> hostLookup{&lookUpWithHostByName};
    }

    NetworkVideoServerManager* NetworkVideoServerManager::getInstance()
    {
        if (NetworkVideoServerManager* manager = instance.load())
            return manager;
        std::lock_guard<std::mutex> hold(instanceLock);
        if (instance.load() == nullptr)
            instance.store(new NetworkVideoServerManager());
        return instance.load();
    }

    NetworkVideoServerManager* NetworkVideoServerManager::getInstanceWithoutCreating()
    {
        return instance.load();
    }

    void NetworkVideoServerManager::deleteInstance()
    {
        std::lock_guard<std::mutex> hold(instanceLock);
        delete instance.exchange(nullptr);
    }

    void NetworkVideoServerManager::setHostLookup(HostLookup lookup)
    {
        hostLookup.store(lookup != nullptr ? lookup : &lookUpWithHostByName);
    }

    std::string NetworkVideoServerManager::lookUpHost(const std::string& host)
    {
        return hostLookup.load()(host);
    }

    NetworkVideoServerManager::NetworkVideoServerManager()
    {
        serverBrowser.addListener(*this, true);
        clientBrowser.addListener(*this, true);
    }

    NetworkVideoServerManager::~NetworkVideoServerManager()
    {
        cleanup();
        serverBrowser.removeListener(*this);
        clientBrowser.removeListener(*this);
        serverBrowser.stop();
        clientBrowser.stop();
    }

    void NetworkVideoServerManager::registerAsServer(const std::string& name, const std::string& type,
                                                     std::uint16_t port)
    {
        replaceRegistration(serverRegistration, name, type, port);
    }

    void NetworkVideoServerManager::registerAsClient(const std::string& name, const std::string& type,
                                                     std::uint16_t port)
    {
        replaceRegistration(clientRegistration, name, type, port);
    }

    void NetworkVideoServerManager::replaceRegistration(std::unique_ptr<ZeroConfigRegistration>& held,
                                                        const std::string& name, const std::string& type,
                                                        std::uint16_t port)
    {
        // The previous one is withdrawn first: announced again under its
        // name (on another port), this host would otherwise hold the name
        // itself and be announced as the next one.
        std::unique_ptr<ZeroConfigRegistration> previous;
        {
            std::lock_guard<std::mutex> hold(registrationLock);
            previous.swap(held);
        }
        previous.reset();
        auto made = std::make_unique<ZeroConfigRegistration>(name, type, port);
        std::lock_guard<std::mutex> hold(registrationLock);
        held.swap(made);
    }

    void NetworkVideoServerManager::deregisterAsServer()
    {
        std::unique_ptr<ZeroConfigRegistration> dropped;
        std::lock_guard<std::mutex> hold(registrationLock);
        dropped.swap(serverRegistration);
    }

    void NetworkVideoServerManager::deregisterAsClient()
    {
        std::unique_ptr<ZeroConfigRegistration> dropped;
        std::lock_guard<std::mutex> hold(registrationLock);
        dropped.swap(clientRegistration);
    }

    bool NetworkVideoServerManager::isRegisteredAsServer() const
    {
        std::lock_guard<std::mutex> hold(registrationLock);
        return serverRegistration != nullptr && serverRegistration->isRegistered();
    }

    bool NetworkVideoServerManager::isRegisteredAsClient() const
    {
        std::lock_guard<std::mutex> hold(registrationLock);
        return clientRegistration != nullptr && clientRegistration->isRegistered();
    }

    // The dropped entries are destroyed after the lock is released: an
    // extension withdraws its deferred calls from the scheduler, which holds
    // its own lock while delivering servicesChanged.
    void NetworkVideoServerManager::findServers(const std::string& type)
    {
        std::vector<std::shared_ptr<NetworkVideoExtension>> dropped;
        std::vector<std::shared_ptr<NetworkVideoExtension>> droppedDeparted;
        {
            std::lock_guard<std::mutex> hold(listLock);
            servers.swap(dropped);
            departedServers.swap(droppedDeparted);
            defaultServerIndex = 0;
        }
        dropped.clear();
        droppedDeparted.clear();
        serverBrowser.browseForService(type);
    }

    void NetworkVideoServerManager::findClients(const std::string& type)
    {
        std::vector<std::shared_ptr<NetworkVideoExtension>> dropped;
        {
            std::lock_guard<std::mutex> hold(listLock);
            clients.swap(dropped);
        }
        dropped.clear();
        clientBrowser.browseForService(type);
    }

    int NetworkVideoServerManager::getNumServers() const
    {
        std::lock_guard<std::mutex> hold(listLock);
        return int(servers.size());
    }

    int NetworkVideoServerManager::getNumClients() const
    {
        std::lock_guard<std::mutex> hold(listLock);
        return int(clients.size());
    }

    std::shared_ptr<NetworkVideoExtension> NetworkVideoServerManager::getServerInfo(int i) const
    {
        std::lock_guard<std::mutex> hold(listLock);
        if (i < 0 || size_t(i) >= servers.size())
            return {};
        return servers[size_t(i)];
    }

    std::shared_ptr<NetworkVideoExtension> NetworkVideoServerManager::getClientInfo(int i) const
    {
        std::lock_guard<std::mutex> hold(listLock);
        if (i < 0 || size_t(i) >= clients.size())
            return {};
        return clients[size_t(i)];
    }

    std::shared_ptr<NetworkVideoExtension> NetworkVideoServerManager::getServerInfo(const std::string& address) const
    {
        std::lock_guard<std::mutex> hold(listLock);
        for (const auto& server : servers)
            if (server->getIpAddress() == address)
                return server;
        return {};
    }

    std::shared_ptr<NetworkVideoExtension> NetworkVideoServerManager::getServerInfo(const std::string& address,
                                                                                    std::uint16_t port) const
    {
        std::lock_guard<std::mutex> hold(listLock);
        for (const auto& server : servers)
            if (server->getIpAddress() == address && server->getPort() == port)
                return server;
        return {};
    }

    int NetworkVideoServerManager::getDefaultServerIndex() const
    {
        std::lock_guard<std::mutex> hold(listLock);
        return defaultServerIndex;
    }

    void NetworkVideoServerManager::getServerEntries(
        std::vector<std::shared_ptr<NetworkVideoExtension>>& listed,
        std::vector<std::shared_ptr<NetworkVideoExtension>>& departed) const
    {
        std::lock_guard<std::mutex> hold(listLock);
        listed = servers;
        departed = departedServers;
    }

    NetworkVideoClient* NetworkVideoServerManager::getClientForServer(const std::string& address, std::uint16_t port)
    {
        NetworkVideoClientInstanceManager& instances = NetworkVideoClientInstanceManager::getInstance();
        const std::string key = NetworkVideoClientInstanceManager::keyFor(address, port);
        std::lock_guard<std::mutex> hold(clientCreationLock);
        if (NetworkVideoClient* shared = instances.getClient(key))
            return shared;
        const std::shared_ptr<NetworkVideoExtension> server = getServerInfo(address, port);
        if (server == nullptr)
        {
            logPrint(logWarning, "NetworkVideoServerManager: no server at \"%s\" port %d is listed", address.c_str(),
                     int(port));
            return nullptr;
        }
        auto client = std::make_unique<NetworkVideoClient>(*server);
        if (! client->isReady())
        {
            debugPrint("%s: client connect failed", "getClientForServer");
            return nullptr;
        }
        client->start();
        instances.addClient(key, client.get());
        return client.release();
    }

    NetworkVideoClient* NetworkVideoServerManager::getClientForServer(const std::string& address)
    {
        const std::shared_ptr<NetworkVideoExtension> server = getServerInfo(address);
        if (server == nullptr)
        {
            logPrint(logWarning, "NetworkVideoServerManager: no server at \"%s\" is listed", address.c_str());
            return nullptr;
        }
        return getClientForServer(address, server->getPort());
    }

    void NetworkVideoServerManager::releaseClient(NetworkVideoClient* client)
    {
        if (client == nullptr)
            return;
        const NetworkVideoPeer& server = client->getServer();
        NetworkVideoClientInstanceManager::getInstance().releaseClient(
            NetworkVideoClientInstanceManager::keyFor(server.getIpAddress(), server.getPort()));
    }

    VideoSource* NetworkVideoServerManager::getClientForServerAsSource(int i)
    {
        const std::shared_ptr<NetworkVideoExtension> server = getServerInfo(i);
        return server != nullptr ? server->createSource(static_cast<XmlState*>(nullptr)) : nullptr;
    }

    VideoSource* NetworkVideoServerManager::getDefaultClientForServerAsSource()
    {
        return getClientForServerAsSource(getDefaultServerIndex());
    }

    VideoSource* NetworkVideoServerManager::createSource(const std::string& address, std::uint16_t port)
    {
        NetworkVideoSources* sources = NetworkVideoSources::getCurrent();
        if (sources == nullptr)
        {
            logPrint(logError, "NetworkVideoServerManager: no network video sources are available");
            return nullptr;
        }
        NetworkVideoClient* client = getClientForServer(address, port);
        VideoSource* source = sources->makeSource(client, this);
        if (source == nullptr)
            releaseClient(client);
        return source;
    }

    VideoSource* NetworkVideoServerManager::createSource(const std::string& address)
    {
        const std::shared_ptr<NetworkVideoExtension> server = getServerInfo(address);
        return createSource(address, server != nullptr ? server->getPort() : std::uint16_t(0));
    }

    XmlCapable* NetworkVideoServerManager::createSourceFromXML(const XmlNode& node)
    {
        const XmlNode* info = node.first_node("NetworkVideoInfo");
        if (info == nullptr)
            return nullptr;
        const std::string address = readAttribute(info->first_attribute("ipaddress"), std::string());
        if (address.empty())
        {
            logPrint(logWarning, "NetworkVideoServerManager: a stored network source names no server address");
            return nullptr;
        }
        // Elements stored without a port name the first server at the address.
        int port = -1;
        if (! readAttribute(info->first_attribute("port"), &port) || port < 0 || port > 65535)
        {
            const std::shared_ptr<NetworkVideoExtension> server = getServerInfo(address);
            port = server != nullptr ? int(server->getPort()) : 0;
        }
        NetworkVideoSources* sources = NetworkVideoSources::getCurrent();
        VideoSource* source = sources != nullptr ? createSource(address, std::uint16_t(port)) : nullptr;
        if (source == nullptr)
            return nullptr;
        XmlCapable* object = sources->asXmlCapable(source);
        object->readState(&node, false);
        return object;
    }

    XmlNode* NetworkVideoServerManager::saveSourceToXML(XmlPool& pool, XmlCapable* source)
    {
        NetworkVideoSources* sources = NetworkVideoSources::getCurrent();
        std::string address;
        std::uint16_t port = 0;
        if (sources == nullptr || source == nullptr || ! sources->getServer(source, address, port))
            return nullptr;
        return createNetworkVideoInfo(pool, address, port);
    }

    XmlNode* NetworkVideoServerManager::createNetworkVideoInfo(XmlPool& pool, const std::string& address,
                                                               std::uint16_t port)
    {
        XmlNode* info = XmlCapable::createNode(pool, "NetworkVideoInfo");
        if (! address.empty())
        {
            info->append_attribute(createAttribute(pool, "ipaddress", address));
            info->append_attribute(createAttribute(pool, "port", int(port)));
        }
        return info;
    }

    void NetworkVideoServerManager::printInfo() const
    {
        std::lock_guard<std::mutex> hold(listLock);
        debugPrint("NetworkVideoServerManager found the following servers:\n");
        for (const auto& server : servers)
        {
            debugPrint("ipaddress: %s\n", server->getIpAddress().c_str());
            debugPrint("port: %d\n", int(server->getPort()));
        }
    }

    void NetworkVideoServerManager::servicesChanged(ZeroConfigBrowser* browser)
    {
        const bool serverList = browser == &serverBrowser;
        if (! serverList && browser != &clientBrowser)
            return;
        struct Found
        {
            std::string serviceName;
            std::string address;
            std::uint16_t port;
        };
        // Entries are matched and made outside the lock; whatever leaves the
        // lists is destroyed after it (an extension withdraws its deferred
        // calls from the scheduler, which holds its own lock while
        // delivering this call). servicesChanged runs on one thread at a
        // time, so the lists do not change in between but by findServers,
        // whose emptied list the swap below would undo: it is checked.
        std::vector<std::shared_ptr<NetworkVideoExtension>> previous;
        std::vector<std::shared_ptr<NetworkVideoExtension>> departed;
        {
            std::lock_guard<std::mutex> hold(listLock);
            previous = serverList ? servers : clients;
            if (serverList)
                departed = departedServers;
        }

        std::vector<Found> found;
        for (const ZeroConfigService& service : browser->getServices())
        {
            std::string address = lookUpHost(service.host);
            if (serverList && address.empty())
            {
                // A look-up that fails for a server still announced keeps
                // it at its last known address; only a server never
                // resolved is left out.
                const auto listed = std::find_if(previous.begin(), previous.end(),
                                                 [&service](const auto& entry) {
                                                     return entry->getServiceName() == service.fullName &&
                                                            entry->getPort() == service.port;
                                                 });
                if (listed == previous.end())
                    continue;
                address = (*listed)->getIpAddress();
            }
            found.push_back({service.fullName, std::move(address), service.port});
        }
        const auto take = [](std::vector<std::shared_ptr<NetworkVideoExtension>>& from, const Found& peer)
        {
            for (auto entry = from.begin(); entry != from.end(); ++entry)
                if ((*entry)->getServiceName() == peer.serviceName && (*entry)->getIpAddress() == peer.address &&
                    (*entry)->getPort() == peer.port)
                {
                    std::shared_ptr<NetworkVideoExtension> kept = std::move(*entry);
                    from.erase(entry);
                    return kept;
                }
            return std::shared_ptr<NetworkVideoExtension>();
        };
        // Each entry goes to the front, as the peers were always listed.
        std::vector<std::shared_ptr<NetworkVideoExtension>> rebuilt;
        std::vector<std::shared_ptr<NetworkVideoExtension>> remaining = previous;
        for (const Found& peer : found)
        {
            std::shared_ptr<NetworkVideoExtension> entry = take(remaining, peer);
            if (entry == nullptr && serverList)
                entry = take(departed, peer);
            if (entry == nullptr)
                entry = std::make_shared<NetworkVideoExtension>(peer.serviceName, peer.address, peer.port);
            rebuilt.insert(rebuilt.begin(), std::move(entry));
        }
        if (serverList)
        {
            // The servers that left are kept for their return; a bounded
            // number, the longest gone first out.
            constexpr size_t maxDeparted = 256;
            departed.insert(departed.end(), remaining.begin(), remaining.end());
            if (departed.size() > maxDeparted)
                departed.erase(departed.begin(), departed.end() - std::ptrdiff_t(maxDeparted));
        }
        const bool changed = rebuilt != previous;
        {
            std::lock_guard<std::mutex> hold(listLock);
            std::vector<std::shared_ptr<NetworkVideoExtension>>& list = serverList ? servers : clients;
            if (list == previous)
            {
                list.swap(rebuilt);
                if (serverList)
                {
                    departedServers.swap(departed);
                    if (changed)
                        defaultServerIndex = 0;
                }
            }
        }
        if (! serverList)
            callListeners(&NetworkVideoServerManagerListener::networkVideoClientsChanged, CallType::standard);
        else if (changed)
            callListeners(&NetworkVideoServerManagerListener::networkVideoServersChanged, CallType::standard);
    }
}
