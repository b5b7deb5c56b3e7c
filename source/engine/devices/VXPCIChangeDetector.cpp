#include "engine/devices/VXPCIChangeDetector.h"

namespace vx
{
    PCIChangeDetector* PCIChangeDetector::Create()
    {
        return new PCIChangeDetectorMacos();
    }

    PCIChangeDetectorMacos::~PCIChangeDetectorMacos()
    {
        cleanup();
    }

    void PCIChangeDetectorMacos::PCIDeviceAdded()
    {
        callListeners(&DeviceChangeListener::DeviceGotConnected, DeviceCategoryPCI, CallType::standard);
    }

    void PCIChangeDetectorMacos::PCIDeviceRemoved()
    {
        callListeners(&DeviceChangeListener::DeviceGotDisconnected, DeviceCategoryPCI, CallType::standard);
    }
}
