#include "engine/devices/VXUSBChangeDetector.h"

namespace vx
{
    USBChangeDetector* USBChangeDetector::Create()
    {
        return new USBChangeDetectorMacos();
    }

    USBChangeDetectorMacos::~USBChangeDetectorMacos()
    {
        cleanup();
    }

    void USBChangeDetectorMacos::USBDeviceAdded()
    {
        callListeners(&DeviceChangeListener::DeviceGotConnected, DeviceCategoryUSB, CallType::standard);
    }

    void USBChangeDetectorMacos::USBDeviceRemoved()
    {
        callListeners(&DeviceChangeListener::DeviceGotDisconnected, DeviceCategoryUSB, CallType::standard);
    }
}
