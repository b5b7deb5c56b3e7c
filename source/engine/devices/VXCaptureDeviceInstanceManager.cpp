#include "engine/devices/VXCaptureDeviceInstanceManager.h"

#include "engine/devices/VXCaptureDevice.h"

namespace vx
{
    CaptureDeviceInstanceManager instanceManager;

    CaptureDeviceInstanceManager::~CaptureDeviceInstanceManager()
    {
        for (auto& entry : devices)
            delete entry.second.device;
        for (Entry& entry : retired)
            delete entry.device;
    }

    CaptureDevice* CaptureDeviceInstanceManager::getDevice(const std::string& uniqueId)
    {
        auto found = devices.find(uniqueId);
        if (found == devices.end())
            return nullptr;
        ++found->second.referenceCount;
        return found->second.device;
    }

    void CaptureDeviceInstanceManager::addDevice(const std::string& uniqueId, CaptureDevice* device)
    {
        devices.emplace(uniqueId, Entry{device, 1});
    }

    void CaptureDeviceInstanceManager::releaseDevice(const std::string& uniqueId)
    {
        auto found = devices.find(uniqueId);
        if (found == devices.end())
            return;
        if (--found->second.referenceCount > 0)
            return;
        CaptureDevice* device = found->second.device;
        devices.erase(found);
        delete device;
    }

    void CaptureDeviceInstanceManager::releaseDevice(CaptureDevice* device)
    {
        if (device == nullptr)
            return;
        for (auto entry = retired.begin(); entry != retired.end(); ++entry)
            if (entry->device == device)
            {
                if (--entry->referenceCount <= 0)
                {
                    retired.erase(entry);
                    delete device;
                }
                return;
            }
        auto found = devices.find(device->getUniqueId());
        if (found != devices.end() && found->second.device == device)
            releaseDevice(device->getUniqueId());
    }

    void CaptureDeviceInstanceManager::retireDevice(const std::string& uniqueId)
    {
        auto found = devices.find(uniqueId);
        if (found == devices.end())
            return;
        found->second.device->markDisconnected();
        retired.push_back(found->second);
        devices.erase(found);
    }

    int CaptureDeviceInstanceManager::getReferenceCount(const std::string& uniqueId) const
    {
        auto found = devices.find(uniqueId);
        int count = found != devices.end() ? found->second.referenceCount : 0;
        for (const Entry& entry : retired)
            if (entry.device->getUniqueId() == uniqueId)
                count += entry.referenceCount;
        return count;
    }
}
