#pragma once

#include <memory>

#include <cstdint>

#include "core/VXBroadcaster.h"

namespace vx
{
    namespace iokit
    {
        class Backend;
        class NotificationPort;
    }

    // IOKit service arrivals and departures. Making a listener takes a
    // reference to the shared IOKitServiceDetector and listens to it
    // (synchronously); destroying it stops listening and drops the reference.
    // Make and destroy listeners on one thread: the one whose run loop
    // delivers the notifications. Only the USB and PCI calls are ever made.
    class IOKItServiceListener
    {
    public:
        IOKItServiceListener();
        virtual ~IOKItServiceListener();
        IOKItServiceListener(const IOKItServiceListener&) = delete;
        IOKItServiceListener& operator=(const IOKItServiceListener&) = delete;

        virtual void DisplayDeviceAdded() {}
        virtual void DisplayDeviceRemoved() {}
        virtual void CaptureDeviceAdded() {}
        virtual void CaptureDeviceRemoved() {}
        virtual void USBDeviceAdded() {}
        virtual void USBDeviceRemoved() {}
        virtual void PCIDeviceAdded() {}
        virtual void PCIDeviceRemoved() {}
    };

    // One notification port for USB and PCI matching and termination, on the
    // run loop of the thread that made the first reference; it exists while
    // references are held. The reference count is not synchronised: acquire
    // and drop on that one thread.
    class IOKitServiceDetector : public Broadcaster<IOKItServiceListener>
    {
    public:
        // Makes the detector (running init) when there is none; counts a reference.
        static IOKitServiceDetector* AquireReference();
        // The last drop destroys the detector.
        static void DropReference();
        // The detector while references are held, else null.
        static IOKitServiceDetector* getInstance() { return instance; }

        // Port, then matching and termination notifications for "IOUSBDevice"
        // and "IOPCIDevice", each iterator drained once to arm it. False when a
        // class cannot be matched; failed notifications are left out.
        bool init();

        void usbDeviceAdded();
        void usbDeviceRemoved();
        void pciDeviceAdded();
        void pciDeviceRemoved();

        // The IOKit backend the detector was made with.
        iokit::Backend& getIOKit() { return *backend; }

    private:
        IOKitServiceDetector();
        ~IOKitServiceDetector() override;

        bool addNotifications(const char* serviceClass, void (*added)(void*, uint32_t),
                              void (*removed)(void*, uint32_t), uint32_t& matchedIterator,
                              uint32_t& terminatedIterator);

        std::shared_ptr<iokit::Backend> backend;
        std::unique_ptr<iokit::NotificationPort> port;
        uint32_t usbMatched = 0;
        uint32_t usbTerminated = 0;
        uint32_t pciMatched = 0;
        uint32_t pciTerminated = 0;

        static IOKitServiceDetector* instance;
        static int referenceCount;
    };

    // The notification callbacks (refcon = the detector, iterator = the
    // notification's io_iterator_t): each drains its
    // iterator, releasing every service, then makes one broadcast.
    void iokit_usbDeviceAdded(void* refcon, uint32_t iterator);
    void iokit_usbDeviceRemoved(void* refcon, uint32_t iterator);
    void iokit_pciDeviceAdded(void* refcon, uint32_t iterator);
    void iokit_pciDeviceRemoved(void* refcon, uint32_t iterator);
}
