#pragma once

#include "core/VXBroadcaster.h"
#include "engine/devices/VXDeviceChangeListener.h"
#include "engine/devices/VXIOKitServiceDetector.h"

namespace vx
{
    // Reports PCI devices arriving (DeviceGotConnected (3)) and leaving
    // (DeviceGotDisconnected (3)).
    class PCIChangeDetector : public Broadcaster<DeviceChangeListener>
    {
    public:
        // The platform's detector, owned by the caller.
        static PCIChangeDetector* Create();
        ~PCIChangeDetector() override = default;
    };

    // Over the shared IOKit service detector: make and destroy it on the
    // thread whose run loop delivers IOKit notifications.
    class PCIChangeDetectorMacos : public PCIChangeDetector, public IOKItServiceListener
    {
    public:
        ~PCIChangeDetectorMacos() override;
        void PCIDeviceAdded() override;
        void PCIDeviceRemoved() override;
    };
}
