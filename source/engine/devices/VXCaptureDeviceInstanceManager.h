#pragma once

#include <map>
#include <string>
#include <vector>

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
        // The same for this device, also when it was retired.
        void releaseDevice(CaptureDevice* device);
        // The hardware of the id went away: its open device is marked
        // disconnected and never handed out again; it lives on until its
        // holders release it. A device plugged in again opens anew.
        void retireDevice(const std::string& uniqueId);
        // Holders of the devices of the id, retired ones included; 0 when none is open.
        int getReferenceCount(const std::string& uniqueId) const;
        int getNumDevices() const { return static_cast<int>(devices.size() + retired.size()); }

    private:
        struct Entry
        {
            CaptureDevice* device = nullptr;
            int referenceCount = 0;
        };
        std::map<std::string, Entry> devices;
        std::vector<Entry> retired;
    };

    extern CaptureDeviceInstanceManager instanceManager;
}
