#include "engine/network/VXNetworkVideoClientInstanceManager.h"

#include "engine/network/VXNetworkVideoClient.h"

namespace vx
{
    NetworkVideoClientInstanceManager& NetworkVideoClientInstanceManager::getInstance()
    {
        static NetworkVideoClientInstanceManager instance;
        return instance;
    }

    std::string NetworkVideoClientInstanceManager::keyFor(const std::string& address, std::uint16_t port)
    {
        return address + ":" + std::to_string(port);
    }

    NetworkVideoClientInstanceManager::~NetworkVideoClientInstanceManager()
    {
        for (auto& entry : instances)
            delete entry.second.client;
    }

    NetworkVideoClient* NetworkVideoClientInstanceManager::getClient(const std::string& key)
    {
        std::lock_guard<std::mutex> hold(lock);
        const auto found = instances.find(key);
        if (found == instances.end())
            return nullptr;
        ++found->second.references;
        return found->second.client;
    }

    bool NetworkVideoClientInstanceManager::addClient(const std::string& key, NetworkVideoClient* client)
    {
        std::lock_guard<std::mutex> hold(lock);
        return instances.emplace(key, Instance{client, 1}).second;
    }

    void NetworkVideoClientInstanceManager::releaseClient(const std::string& key)
    {
        NetworkVideoClient* ended = nullptr;
        {
            std::lock_guard<std::mutex> hold(lock);
            const auto found = instances.find(key);
            if (found == instances.end())
                return;
            if (--found->second.references > 0)
                return;
            ended = found->second.client;
            instances.erase(found);
        }
        delete ended;
    }

    int NetworkVideoClientInstanceManager::getReferenceCount(const std::string& key) const
    {
        std::lock_guard<std::mutex> hold(lock);
        const auto found = instances.find(key);
        return found == instances.end() ? 0 : found->second.references;
    }

    size_t NetworkVideoClientInstanceManager::getNumClients() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return instances.size();
    }
}
