#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace vx
{
    class NetworkVideoClient;

    // The shared network video clients, one per server (keyFor its address
    // and port), counted by their users. Process-wide; any thread.
    class NetworkVideoClientInstanceManager
    {
    public:
        static NetworkVideoClientInstanceManager& getInstance();
        // The key of the server at address and port: "address:port".
        static std::string keyFor(const std::string& address, std::uint16_t port);

        NetworkVideoClientInstanceManager() = default;
        // Clients nobody released go with it.
        ~NetworkVideoClientInstanceManager();
        NetworkVideoClientInstanceManager(const NetworkVideoClientInstanceManager&) = delete;
        NetworkVideoClientInstanceManager& operator=(const NetworkVideoClientInstanceManager&) = delete;

        // The client for key with one more user; null when there is none.
        NetworkVideoClient* getClient(const std::string& key);
        // Takes the client (one user) when key has none yet; otherwise false,
        // and the caller keeps its client.
        bool addClient(const std::string& key, NetworkVideoClient* client);
        // One user fewer; the last one's release destroys the client (on the
        // calling thread, outside the lock). Unknown keys do nothing.
        void releaseClient(const std::string& key);
        int getReferenceCount(const std::string& key) const;
        size_t getNumClients() const;

    private:
        struct Instance
        {
            NetworkVideoClient* client = nullptr;
            int references = 0;
        };

        mutable std::mutex lock;
        std::map<std::string, Instance> instances;
    };
}
