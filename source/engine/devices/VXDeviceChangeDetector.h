#pragma once

#include <memory>

#include "core/VXBroadcaster.h"
#include "engine/devices/VXDeviceChangeListener.h"

namespace vx
{
    // The engine's one source of hot-plug events, made by the engine root:
    // it owns a display, a USB and a PCI detector and re-broadcasts what they
    // report (standard calls). Display and PCI events pass at once; USB
    // events are debounced: each arms a 2500 ms asynchronous update, which
    // then sends at most one connected and one disconnected event.
    // Platform notifications arrive on the run loop of the thread that makes
    // it; make and destroy it on that thread.
    class DeviceChangeDetector : public Broadcaster<DeviceChangeListener>
    {
    public:
        DeviceChangeDetector();
        ~DeviceChangeDetector() override;

        class Pimpl;

    private:
        std::unique_ptr<Pimpl> pimpl;
    };
}
