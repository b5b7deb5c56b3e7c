#include "engine/devices/VXCaptureDeviceInstanceManager.h"

#include "engine/devices/VXCaptureDevice.h"

namespace vx
{
    CaptureDeviceInstanceManager instanceManager;

    CaptureDeviceInstanceManager::~CaptureDeviceInstanceManager()
    {
        for (auto& entry : devices)
            delete entry.second.device;
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

    int CaptureDeviceInstanceManager::getReferenceCount(const std::string& uniqueId) const
    {
        auto found = devices.find(uniqueId);
        return found != devices.end() ? found->second.referenceCount : 0;
    }
}
