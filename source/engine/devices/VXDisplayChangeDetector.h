#pragma once

#include <cstdint>

#include "core/VXBroadcaster.h"
#include "core/VXOverrideableTimer.h"
#include "engine/devices/VXDeviceChangeListener.h"

namespace vx
{
    // Reports displays being added (DeviceGotConnected (0)), removed
    // (DeviceGotDisconnected (0)) or reconfigured (DeviceChanged (0)).
    class DisplayChangeDetector : public Broadcaster<DeviceChangeListener>
    {
    public:
        // The platform's detector, owned by the caller.
        static DisplayChangeDetector* Create();
        ~DisplayChangeDetector() override = default;
    };

    // Over CoreGraphics reconfiguration callbacks, which arrive on the run
    // loop of the thread that made it. Mode, shape, added, enabled, removed
    // and disabled changes (re)start a 250 ms timer; when it fires, the
    // online display count decides the event. Make and destroy it on that
    // thread; the timer ticks on the host's timer service.
    class DisplayChangeDetectorMacos : public DisplayChangeDetector, public OverrideableTimer
    {
    public:
        DisplayChangeDetectorMacos();
        ~DisplayChangeDetectorMacos() override;

        void timerCallback() override;
        uint32_t getDisplayCount() const { return displayCount; }

        // userInfo = the detector.
        static void displayReconfigurationCallback(uint32_t display, uint32_t flags, void* userInfo);

    private:
        uint32_t displayCount = 0;
    };
}
