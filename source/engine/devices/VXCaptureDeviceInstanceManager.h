#pragma once

#include <map>
#include <string>

namespace vx
{
    class CaptureDevice;

    // The opened capture devices, by unique id, each with the number of its
    // holders; the last release destroys the device. One per process
    // (instanceManager). No lock of its own: the capture device manager
    // uses it under its lock.
    class CaptureDeviceInstanceManager
    {
    public:
        CaptureDeviceInstanceManager() = default;
        // Destroys the devices still held.
        ~CaptureDeviceInstanceManager();
        CaptureDeviceInstanceManager(const CaptureDeviceInstanceManager&) = delete;
        CaptureDeviceInstanceManager& operator=(const CaptureDeviceInstanceManager&) = delete;

        // The open device with one more holder, or null.
        CaptureDevice* getDevice(const std::string& uniqueId);
        // Registers device (owned from now) with one holder; nothing when the
        // id is registered already.
        void addDevice(const std::string& uniqueId, CaptureDevice* device);
        // One holder fewer; the last destroys the device. Nothing for an
        // unknown id.
        void releaseDevice(const std::string& uniqueId);
        // Holders of the device; 0 when it is not open.
        int getReferenceCount(const std::string& uniqueId) const;
        int getNumDevices() const { return static_cast<int>(devices.size()); }

    private:
        struct Entry
        {
            CaptureDevice* device = nullptr;
            int referenceCount = 0;
        };
        std::map<std::string, Entry> devices;
    };

    extern CaptureDeviceInstanceManager instanceManager;
}
