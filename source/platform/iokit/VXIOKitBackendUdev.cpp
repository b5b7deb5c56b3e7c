#include "platform/iokit/VXIOKitBackendUdev.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace vx::iokit
{
    namespace
    {
        enum class Kind
        {
            usb,
            pci
        };

        struct Watch
        {
            const char* subsystem;
            const char* devtype;
            Kind kind;
        };

        // Cameras show as USB devices: their capture node arrives with (or
        // just after) the USB device, and the engine coalesces both.
        constexpr Watch watches[] = {{"usb", "usb_device", Kind::usb},
                                     {"video4linux", nullptr, Kind::usb},
                                     {"pci", nullptr, Kind::pci}};

        std::optional<Kind> kindOfClass(const std::string& serviceClass)
        {
            if (serviceClass == "IOUSBDevice")
                return Kind::usb;
            if (serviceClass == "IOPCIDevice")
                return Kind::pci;
            return std::nullopt;
        }

        std::optional<Kind> kindOfDevice(const char* subsystem, const char* devtype)
        {
            for (const Watch& watch : watches)
                if (subsystem != nullptr && std::strcmp(subsystem, watch.subsystem) == 0 &&
                    (watch.devtype == nullptr || (devtype != nullptr && std::strcmp(devtype, watch.devtype) == 0)))
                    return watch.kind;
            return std::nullopt;
        }

        // A monitor with its own library context (the library is not
        // thread-safe; each monitor lives on one thread at a time).
        struct Monitor
        {
            ~Monitor()
            {
                if (monitor != nullptr)
                    udev_monitor_unref(monitor);
                if (context != nullptr)
                    udev_unref(context);
            }

            static std::unique_ptr<Monitor> open(std::string& error)
            {
                auto made = std::make_unique<Monitor>();
                // Without the daemon (its control socket) only the kernel speaks.
                const char* source = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
                errno = 0;
                if ((made->context = udev_new()) == nullptr ||
                    (made->monitor = udev_monitor_new_from_netlink(made->context, source)) == nullptr)
                {
                    error = std::string("no udev monitor on the ") + source + " events: " +
                            (errno != 0 ? std::strerror(errno) : "refused");
                    return nullptr;
                }
                for (const Watch& watch : watches)
                    udev_monitor_filter_add_match_subsystem_devtype(made->monitor, watch.subsystem, watch.devtype);
                const int enabled = udev_monitor_enable_receiving(made->monitor);
                if (enabled < 0)
                {
                    error = std::string("the udev monitor on the ") + source +
                            " events cannot receive: " + std::strerror(-enabled);
                    return nullptr;
                }
                return made;
            }

            udev* context = nullptr;
            udev_monitor* monitor = nullptr;
        };

        class UdevBackend : public Backend
        {
        public:
            ~UdevBackend() override
            {
                std::vector<Object> open;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    for (const auto& entry : ports)
                        open.push_back(entry.first);
                }
                for (Object port : open)
                    notificationPortDestroy(port);
            }

            Object notificationPortCreate() override
            {
                std::string error;
                std::unique_ptr<Monitor> monitor = Monitor::open(error);
                const int stopFd = monitor != nullptr ? ::eventfd(0, EFD_CLOEXEC) : -1;
                if (stopFd < 0)
                    return 0;
                auto port = std::make_unique<Port>();
                port->monitor = std::move(monitor);
                port->stopFd = stopFd;
                std::lock_guard<std::mutex> hold(lock);
                const Object id = nextObject++;
                Port& started = *port;
                ports[id] = std::move(port);
                started.reader = std::thread([this, id, &started] { read(id, started); });
                return id;
            }

            void notificationPortDestroy(Object portId) override
            {
                std::unique_ptr<Port> port;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    auto found = ports.find(portId);
                    if (found == ports.end())
                        return;
                    port = std::move(found->second);
                    ports.erase(found);
                    for (auto it = iterators.begin(); it != iterators.end();)
                        it = it->second.port == portId ? iterators.erase(it) : std::next(it);
                }
                const uint64_t one = 1;
                while (::write(port->stopFd, &one, sizeof(one)) < 0 && errno == EINTR)
                {
                }
                port->reader.join();
                ::close(port->stopFd);
            }

            bool serviceMatching(const std::string& serviceClass) override
            {
                return kindOfClass(serviceClass).has_value();
            }

            Object addMatchingNotification(Object portId, const std::string& notificationType,
                                           const std::string& serviceClass, std::function<void()> wake) override
            {
                const std::optional<Kind> kind = kindOfClass(serviceClass);
                const bool matched = notificationType == kIOServiceMatched;
                if (! kind || (! matched && notificationType != kIOServiceTerminate))
                    return 0;
                // The devices present arm a matched iterator, as they do on the platform.
                std::vector<std::string> present = matched ? listPresent(*kind) : std::vector<std::string>();
                std::lock_guard<std::mutex> hold(lock);
                if (ports.count(portId) == 0)
                    return 0;
                const Object id = nextObject++;
                Iterator& iterator = iterators[id];
                iterator.port = portId;
                iterator.matched = matched;
                iterator.kind = *kind;
                iterator.wake = std::move(wake);
                for (std::string& path : present)
                    iterator.pending.push_back(addService(std::move(path)));
                return id;
            }

            Object iteratorNext(Object iteratorId) override
            {
                std::lock_guard<std::mutex> hold(lock);
                auto found = iterators.find(iteratorId);
                if (found == iterators.end() || found->second.pending.empty())
                    return 0;
                const Object service = found->second.pending.front();
                found->second.pending.pop_front();
                return service;
            }

            void objectRelease(Object object) override
            {
                std::lock_guard<std::mutex> hold(lock);
                auto iterator = iterators.find(object);
                if (iterator != iterators.end())
                {
                    for (Object service : iterator->second.pending)
                        services.erase(service);
                    iterators.erase(iterator);
                }
                services.erase(object);
            }

            bool registryEntrySearchData(Object, const std::string&, const std::string&, bool,
                                         std::vector<uint8_t>&) override
            {
                return false;
            }

            bool displayProductNames(Object, std::map<std::string, std::string>&) override { return false; }

        private:
            struct Port
            {
                std::unique_ptr<Monitor> monitor;
                int stopFd = -1;
                std::thread reader;
            };

            struct Iterator
            {
                Object port = 0;
                bool matched = true;
                Kind kind = Kind::usb;
                std::deque<Object> pending;
                std::function<void()> wake;
            };

            static std::vector<std::string> listPresent(Kind kind)
            {
                std::vector<std::string> paths;
                udev* context = udev_new();
                if (context == nullptr)
                    return paths;
                for (const Watch& watch : watches)
                {
                    if (watch.kind != kind)
                        continue;
                    udev_enumerate* scan = udev_enumerate_new(context);
                    if (scan == nullptr)
                        continue;
                    udev_enumerate_add_match_subsystem(scan, watch.subsystem);
                    if (watch.devtype != nullptr)
                        udev_enumerate_add_match_property(scan, "DEVTYPE", watch.devtype);
                    if (udev_enumerate_scan_devices(scan) >= 0)
                        for (udev_list_entry* entry = udev_enumerate_get_list_entry(scan); entry != nullptr;
                             entry = udev_list_entry_get_next(entry))
                            paths.emplace_back(udev_list_entry_get_name(entry));
                    udev_enumerate_unref(scan);
                }
                udev_unref(context);
                return paths;
            }

            // Under lock.
            Object addService(std::string path)
            {
                const Object id = nextObject++;
                services[id] = std::move(path);
                return id;
            }

            // The port's thread: one monitor event at a time into the
            // iterators that want it, then their wake calls (outside the lock).
            void read(Object portId, Port& port)
            {
                pollfd watched[2] = {{udev_monitor_get_fd(port.monitor->monitor), POLLIN, 0}, {port.stopFd, POLLIN, 0}};
                for (;;)
                {
                    if (::poll(watched, 2, -1) < 0)
                    {
                        if (errno == EINTR)
                            continue;
                        return;
                    }
                    if (watched[1].revents != 0)
                        return;
                    if (watched[0].revents == 0)
                        continue;
                    udev_device* device = udev_monitor_receive_device(port.monitor->monitor);
                    if (device == nullptr)
                        continue;
                    const char* action = udev_device_get_action(device);
                    const std::optional<Kind> kind =
                        kindOfDevice(udev_device_get_subsystem(device), udev_device_get_devtype(device));
                    const bool added = action != nullptr && std::strcmp(action, "add") == 0;
                    const bool removed = action != nullptr && std::strcmp(action, "remove") == 0;
                    const std::string path = udev_device_get_syspath(device);
                    udev_device_unref(device);
                    if (! kind || (! added && ! removed))
                        continue; // change, bind, unbind ...

                    std::vector<std::function<void()>> woken;
                    {
                        std::lock_guard<std::mutex> hold(lock);
                        for (auto& [id, iterator] : iterators)
                            if (iterator.port == portId && iterator.kind == *kind && iterator.matched == added)
                            {
                                iterator.pending.push_back(addService(path));
                                woken.push_back(iterator.wake);
                            }
                    }
                    for (const auto& wake : woken)
                        if (wake)
                            wake();
                }
            }

            std::mutex lock;
            Object nextObject = 1;
            std::map<Object, std::unique_ptr<Port>> ports;
            std::map<Object, Iterator> iterators;
            std::map<Object, std::string> services; // sysfs paths
        };
    }

    std::shared_ptr<Backend> createUdevBackend(std::string& error)
    {
        if (Monitor::open(error) == nullptr)
            return nullptr;
        return std::make_shared<UdevBackend>();
    }
}
