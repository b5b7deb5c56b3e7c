#include "engine/devices/VXIOKitServiceDetector.h"

#include "core/VXLog.h"
#include "platform/iokit/VXIOKit.h"

namespace vx
{
    IOKitServiceDetector* IOKitServiceDetector::instance = nullptr;
    int IOKitServiceDetector::referenceCount = 0;

    namespace
    {
        // Releases every service waiting on the iterator; answers how many.
        int drain(iokit::Backend& backend, iokit::Object iterator, const char* message)
        {
            int count = 0;
            while (iokit::Object service = backend.iteratorNext(iterator))
            {
                if (message != nullptr)
                    debugPrint("%s", message);
                backend.objectRelease(service);
                ++count;
            }
            return count;
        }

        IOKitServiceDetector* detectorOf(void* refcon)
        {
            return static_cast<IOKitServiceDetector*>(refcon);
        }
    }

    IOKItServiceListener::IOKItServiceListener()
    {
        IOKitServiceDetector::AquireReference()->addListener(*this, false);
    }

    IOKItServiceListener::~IOKItServiceListener()
    {
        if (IOKitServiceDetector* detector = IOKitServiceDetector::getInstance())
            detector->removeListener(*this);
        IOKitServiceDetector::DropReference();
    }

    IOKitServiceDetector* IOKitServiceDetector::AquireReference()
    {
        if (instance == nullptr)
        {
            instance = new IOKitServiceDetector();
            instance->init();
        }
        ++referenceCount;
        return instance;
    }

    void IOKitServiceDetector::DropReference()
    {
        if (referenceCount <= 0)
            return;
        if (--referenceCount == 0)
        {
            delete instance;
            instance = nullptr;
        }
    }

    IOKitServiceDetector::IOKitServiceDetector() : backend(iokit::getBackend())
    {
    }

    IOKitServiceDetector::~IOKitServiceDetector()
    {
        cleanup();
        for (uint32_t iterator : {usbMatched, usbTerminated, pciMatched, pciTerminated})
            if (iterator != 0)
                backend->objectRelease(iterator);
        port.reset();
    }

    bool IOKitServiceDetector::addNotifications(const char* serviceClass, void (*added)(void*, uint32_t),
                                                void (*removed)(void*, uint32_t), uint32_t& matchedIterator,
                                                uint32_t& terminatedIterator)
    {
        if (! backend->serviceMatching(serviceClass))
        {
            debugPrint("Could not create dictionary");
            return false;
        }
        if (port->addMatchingNotification(iokit::kIOServiceMatched, serviceClass, added, this, matchedIterator))
            drain(*backend, matchedIterator, nullptr);
        else
            debugPrint("error adding connect notification");
        if (port->addMatchingNotification(iokit::kIOServiceTerminate, serviceClass, removed, this, terminatedIterator))
            drain(*backend, terminatedIterator, nullptr);
        else
            debugPrint("error adding disconnect notification");
        return true;
    }

    bool IOKitServiceDetector::init()
    {
        port = std::make_unique<iokit::NotificationPort>();
        if (! addNotifications("IOUSBDevice", &iokit_usbDeviceAdded, &iokit_usbDeviceRemoved, usbMatched,
                               usbTerminated))
            return false;
        return addNotifications("IOPCIDevice", &iokit_pciDeviceAdded, &iokit_pciDeviceRemoved, pciMatched,
                                pciTerminated);
    }

    void IOKitServiceDetector::usbDeviceAdded()
    {
        callListeners(&IOKItServiceListener::USBDeviceAdded, CallType::standard);
    }

    void IOKitServiceDetector::usbDeviceRemoved()
    {
        callListeners(&IOKItServiceListener::USBDeviceRemoved, CallType::standard);
    }

    void IOKitServiceDetector::pciDeviceAdded()
    {
        callListeners(&IOKItServiceListener::PCIDeviceAdded, CallType::standard);
    }

    void IOKitServiceDetector::pciDeviceRemoved()
    {
        callListeners(&IOKItServiceListener::PCIDeviceRemoved, CallType::standard);
    }

    void iokit_usbDeviceAdded(void* refcon, uint32_t iterator)
    {
        drain(detectorOf(refcon)->getIOKit(), iterator, "usb device added");
        detectorOf(refcon)->usbDeviceAdded();
    }

    void iokit_usbDeviceRemoved(void* refcon, uint32_t iterator)
    {
        drain(detectorOf(refcon)->getIOKit(), iterator, "usb device removed");
        detectorOf(refcon)->usbDeviceRemoved();
    }

    void iokit_pciDeviceAdded(void* refcon, uint32_t iterator)
    {
        drain(detectorOf(refcon)->getIOKit(), iterator, "pci usb device added");
        detectorOf(refcon)->pciDeviceAdded();
    }

    void iokit_pciDeviceRemoved(void* refcon, uint32_t iterator)
    {
        drain(detectorOf(refcon)->getIOKit(), iterator, "pci device removed");
        detectorOf(refcon)->pciDeviceRemoved();
    }
}
