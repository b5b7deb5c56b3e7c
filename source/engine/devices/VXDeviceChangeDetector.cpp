#include "engine/devices/VXDeviceChangeDetector.h"

#include <atomic>

#include "core/VXAsyncUpdatable.h"
#include "core/VXTime.h"
#include "engine/devices/VXDisplayChangeDetector.h"
#include "engine/devices/VXPCIChangeDetector.h"
#include "engine/devices/VXUSBChangeDetector.h"

namespace vx
{
    class DeviceChangeDetector::Pimpl : public DeviceChangeListener, public AsyncUpdatable
    {
    public:
        explicit Pimpl(DeviceChangeDetector& detector) : owner(detector)
        {
            displayDetector.reset(DisplayChangeDetector::Create());
            displayDetector->addListener(*this, false);
            usbDetector.reset(USBChangeDetector::Create());
            usbDetector->addListener(*this, false);
            pciDetector.reset(PCIChangeDetector::Create());
            pciDetector->addListener(*this, false);
        }

        ~Pimpl() override
        {
            cleanup();
            displayDetector->removeListener(*this);
            usbDetector->removeListener(*this);
            pciDetector->removeListener(*this);
            pciDetector.reset();
            usbDetector.reset();
            displayDetector.reset();
        }

        void DeviceGotConnected(DeviceCategory category) override
        {
            if (category != DeviceCategoryUSB)
            {
                owner.callListeners(&DeviceChangeListener::DeviceGotConnected, category, CallType::standard);
                return;
            }
            pending[category].connected = true;
            lastEventTime = getTickCount();
            triggerAsyncUpdate(2500);
        }

        void DeviceGotDisconnected(DeviceCategory category) override
        {
            if (category != DeviceCategoryUSB)
            {
                owner.callListeners(&DeviceChangeListener::DeviceGotDisconnected, category, CallType::standard);
                return;
            }
            pending[category].disconnected = true;
            lastEventTime = getTickCount();
            triggerAsyncUpdate(2500);
        }

        void DeviceChanged(DeviceCategory category) override
        {
            owner.callListeners(&DeviceChangeListener::DeviceChanged, category, CallType::standard);
        }

        void asyncCallback() override
        {
            for (int c = 0; c < 4; ++c)
            {
                const auto category = static_cast<DeviceCategory>(c);
                if (pending[c].connected.exchange(false))
                {
                    owner.callListeners(&DeviceChangeListener::DeviceGotConnected, category, CallType::standard);
                }
                if (pending[c].disconnected.exchange(false))
                {
                    owner.callListeners(&DeviceChangeListener::DeviceGotDisconnected, category, CallType::standard);
                }
            }
        }

        DeviceChangeDetector& owner;
        std::unique_ptr<DisplayChangeDetector> displayDetector;
        std::unique_ptr<USBChangeDetector> usbDetector;
        std::unique_ptr<PCIChangeDetector> pciDetector;
        double lastEventTime = 0.0;
        // Set on the run loop's thread, taken by the update wherever the
        // host's scheduler runs it.
        struct Pending
        {
            std::atomic<bool> connected{false};
            std::atomic<bool> disconnected{false};
        } pending[4];
    };

    DeviceChangeDetector::DeviceChangeDetector() : pimpl(std::make_unique<Pimpl>(*this))
    {
    }

    DeviceChangeDetector::~DeviceChangeDetector()
    {
        pimpl.reset();
        cleanup();
    }
}
