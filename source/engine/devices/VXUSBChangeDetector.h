#pragma once

#include "core/VXBroadcaster.h"
#include "engine/devices/VXDeviceChangeListener.h"
#include "engine/devices/VXIOKitServiceDetector.h"

namespace vx
{
    // Reports USB devices arriving (DeviceGotConnected (2)) and leaving
    // (DeviceGotDisconnected (2)).
    class USBChangeDetector : public Broadcaster<DeviceChangeListener>
    {
    public:
        // The platform's detector, owned by the caller.
        static USBChangeDetector* Create();
        ~USBChangeDetector() override = default;
    };

    // Over the shared IOKit service detector: make and destroy it on the
    // thread whose run loop delivers IOKit notifications.
    class USBChangeDetectorMacos : public USBChangeDetector, public IOKItServiceListener
    {
    public:
        ~USBChangeDetectorMacos() override;
        void USBDeviceAdded() override;
        void USBDeviceRemoved() override;
    };
}
