#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/VXBroadcaster.h"
#include "engine/network/VXNetworkVideoExtension.h"
#include "engine/network/VXZeroConfigBrowser.h"
#include "engine/network/VXZeroConfigRegistration.h"

namespace vx
{
    class NetworkVideoClient;
    class VideoSource;

    class NetworkVideoServerManagerListener
    {
    public:
        virtual ~NetworkVideoServerManagerListener() = default;
        virtual void networkVideoServersChanged() = 0;
        virtual void networkVideoClientsChanged() {}
    };

    // The process-wide registry of network video peers: browses DNS-SD for
    // servers and for clients, lists each resolved peer by address and port,
    // tells its listeners when a list changes, hands out one shared
    // NetworkVideoClient per server (address and port) and can announce this
    // host. A server stays the same entry (with its presets) while it is
    // listed, and is that entry again when it comes back: entries are told
    // apart by service name, address and port.
    // The lists change on the browsers' threads (or the host scheduler's) and
    // are locked; getters copy. As a source factory it makes network video
    // sources (through the NetworkVideoSources seam the source layer fills),
    // which it answers as VideoSource: this layer does not see the network
    // source class. Sources are made, saved and recreated on one thread (the
    // engine's message or render thread).
    class NetworkVideoServerManager : public Broadcaster<NetworkVideoServerManagerListener>,
                                      public ZeroConfigBrowserListener,
                                      public VideoSourceFactory
    {
    public:
        // The DNS-SD service type of network video servers.
        static constexpr const char* serverServiceType = "_quarlite_server._udp";

        // The manager, made on the first call.
        static NetworkVideoServerManager* getInstance();
        // The manager if it exists, else null (for destructors).
        static NetworkVideoServerManager* getInstanceWithoutCreating();
        // Deletes the manager (browsing and announcements end) and clears the
        // singleton; the engine root's destructor calls it.
        static void deleteInstance();

        // Turns a host name into address text; empty when it does not resolve.
        using HostLookup = std::string (*)(const std::string& host);
        // Null restores the default (gethostbyname, first address).
        static void setHostLookup(HostLookup lookup);
        static std::string lookUpHost(const std::string& host);

        // Announces this host, the previous announcement withdrawn first (so
        // one under the same name keeps it); deregistering withdraws it.
        void registerAsServer(const std::string& name, const std::string& type, std::uint16_t port);
        void registerAsClient(const std::string& name, const std::string& type, std::uint16_t port);
        void deregisterAsServer();
        void deregisterAsClient();
        bool isRegisteredAsServer() const;
        bool isRegisteredAsClient() const;

        // Empties the list, then browses for the type.
        void findServers(const std::string& type);
        void findClients(const std::string& type);

        int getNumServers() const;
        int getNumClients() const;
        // The i-th entry; empty when i is negative or not below the count.
        std::shared_ptr<NetworkVideoExtension> getServerInfo(int i) const;
        std::shared_ptr<NetworkVideoExtension> getClientInfo(int i) const;
        // The first listed server whose address text equals address; empty
        // when none.
        std::shared_ptr<NetworkVideoExtension> getServerInfo(const std::string& address) const;
        // The server at address and port; empty when none is listed.
        std::shared_ptr<NetworkVideoExtension> getServerInfo(const std::string& address, std::uint16_t port) const;
        int getDefaultServerIndex() const;
        // The listed servers, in list order, and the entries of the servers
        // that left since the last findServers (kept for their return, with
        // their presets), most recent last: taken together, so an entry is
        // in exactly one of them.
        void getServerEntries(std::vector<std::shared_ptr<NetworkVideoExtension>>& listed,
                              std::vector<std::shared_ptr<NetworkVideoExtension>>& departed) const;

        // The shared client for the listed server at address and port, with
        // one more user; a new one is bound and started. Null when no server
        // is listed there or its port cannot be bound. Balance each with
        // releaseClient.
        NetworkVideoClient* getClientForServer(const std::string& address, std::uint16_t port);
        // The same for the first listed server at address.
        NetworkVideoClient* getClientForServer(const std::string& address);
        // One user fewer; the last one's release destroys the client.
        void releaseClient(NetworkVideoClient* client);

        // The i-th server's source (its extension's createSource); null for
        // an index outside the list. The caller owns it.
        VideoSource* getClientForServerAsSource(int i);
        // The same for the default server index.
        VideoSource* getDefaultClientForServerAsSource();

        // A new network source over getClientForServer (address, port), which
        // may be null (an unlisted or unbindable server: the source then has
        // no client until the server is listed); this factory is its creator.
        // Null only while the source layer is not loaded. The caller owns it.
        VideoSource* createSource(const std::string& address, std::uint16_t port);
        // The same for the first listed server at address.
        VideoSource* createSource(const std::string& address) override;
        // The network source stored in node: its child "NetworkVideoInfo"
        // names the server by "ipaddress" (and "port"); the source is made
        // for that server and then reads its state (size, parameters, chain,
        // server) from node. Null (with a log line) without the child or its
        // address.
        XmlCapable* createSourceFromXML(const XmlNode& node) override;
        // A network source's "NetworkVideoInfo" with its server's "ipaddress"
        // and "port" (none while it names no server); null for other objects.
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;
        // The element saveSourceToXML writes, for that server (an empty
        // address writes neither attribute).
        static XmlNode* createNetworkVideoInfo(XmlPool& pool, const std::string& address, std::uint16_t port);

        // Debug trace of the servers.
        void printInfo() const;

        // Brings the list of the reporting browser to its services: entries
        // of services still there stay, new ones are made (a server that
        // comes back is its former entry again), and the listeners are told
        // when the list changed (the clients' listeners every time). A
        // listed server whose host does not resolve this time stays at its
        // last address until its service is removed.
        void servicesChanged(ZeroConfigBrowser* browser) override;

        ZeroConfigBrowser& getServerBrowser() { return serverBrowser; }
        ZeroConfigBrowser& getClientBrowser() { return clientBrowser; }

    private:
        NetworkVideoServerManager();
        ~NetworkVideoServerManager() override;

        // Withdraws what held announces, then announces the new one there.
        void replaceRegistration(std::unique_ptr<ZeroConfigRegistration>& held, const std::string& name,
                                 const std::string& type, std::uint16_t port);

        mutable std::mutex listLock; // servers, clients, defaultServerIndex
        std::vector<std::shared_ptr<NetworkVideoExtension>> servers;
        std::vector<std::shared_ptr<NetworkVideoExtension>> clients;
        // Entries of servers that left since the last findServers, most
        // recent last, taken again when their service comes back.
        std::vector<std::shared_ptr<NetworkVideoExtension>> departedServers;
        int defaultServerIndex = 0;

        mutable std::mutex registrationLock;
        std::unique_ptr<ZeroConfigRegistration> serverRegistration;
        std::unique_ptr<ZeroConfigRegistration> clientRegistration;

        std::mutex clientCreationLock; // one client per server, even when asked at once

        // Last, so they stop before the lists above go.
        ZeroConfigBrowser serverBrowser;
        ZeroConfigBrowser clientBrowser;
    };
}
