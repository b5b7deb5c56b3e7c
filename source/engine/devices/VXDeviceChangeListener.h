#pragma once

namespace vx
{
    // What kind of hardware an event is about. 1 is accepted by listeners
    // (the capture device manager treats 1 to 3 alike) but no detector emits it.
    enum DeviceCategory : int
    {
        DeviceCategoryDisplay = 0,
        DeviceCategoryOther = 1,
        DeviceCategoryUSB = 2,
        DeviceCategoryPCI = 3
    };

    // Hot-plug events; every callback does nothing by default.
    class DeviceChangeListener
    {
    public:
        virtual ~DeviceChangeListener() = default;
        virtual void DeviceGotConnected(DeviceCategory) {}
        virtual void DeviceGotDisconnected(DeviceCategory) {}
        virtual void DeviceChanged(DeviceCategory) {}
    };
}
