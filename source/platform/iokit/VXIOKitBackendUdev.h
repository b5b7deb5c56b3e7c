#pragma once

#include <memory>
#include <string>

#include "platform/iokit/VXIOKit.h"

namespace vx::iokit
{
    // Hot-plug over libudev's monitor: "IOUSBDevice" follows USB devices and
    // video capture nodes (cameras), "IOPCIDevice" PCI devices; a matched
    // iterator first holds the devices present, then each one added, a
    // terminate iterator each one removed. Every port has its own monitor
    // and thread, which calls wake. Events come from the udev daemon where
    // it runs, from the kernel otherwise.
    //
    // Null, with the reason in error, when no monitor can be opened.
    std::shared_ptr<Backend> createUdevBackend(std::string& error);
}
