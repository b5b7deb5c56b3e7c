#include "VXScriptedIOKit.h"

namespace vx::test
{
    std::shared_ptr<ScriptedIOKit> ScriptedIOKit::install()
    {
        auto backend = std::make_shared<ScriptedIOKit>();
        iokit::setBackend(backend);
        return backend;
    }

    void ScriptedIOKit::uninstall()
    {
        iokit::setBackend(nullptr);
    }

    void ScriptedIOKit::deliver(const std::string& type, const std::string& serviceClass, int count)
    {
        std::vector<std::function<void()>> woken;
        {
            std::lock_guard<std::mutex> hold(lock);
            for (auto& [iterator, notification] : notifications)
                if (notification.type == type && notification.serviceClass == serviceClass)
                {
                    notification.waiting += count;
                    woken.push_back(notification.wake);
                }
        }
        for (auto& wake : woken)
            wake();
    }

    void ScriptedIOKit::plug(const std::string& serviceClass, int count)
    {
        deliver(iokit::kIOServiceMatched, serviceClass, count);
    }

    void ScriptedIOKit::unplug(const std::string& serviceClass, int count)
    {
        deliver(iokit::kIOServiceTerminate, serviceClass, count);
    }

    void ScriptedIOKit::addPresent(const std::string& serviceClass, int count)
    {
        std::lock_guard<std::mutex> hold(lock);
        present[serviceClass] += count;
    }

    void ScriptedIOKit::refuseMatching(const std::string& serviceClass)
    {
        std::lock_guard<std::mutex> hold(lock);
        refusedClasses.insert(serviceClass);
    }

    void ScriptedIOKit::refuseNotifications(bool refuse)
    {
        std::lock_guard<std::mutex> hold(lock);
        refuseAll = refuse;
    }

    void ScriptedIOKit::setDisplayService(iokit::Object service, const std::string& model,
                                          const std::map<std::string, std::string>& productNames)
    {
        std::lock_guard<std::mutex> hold(lock);
        displays[service] = DisplayService{model, productNames};
    }

    int ScriptedIOKit::getLiveObjects() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return int(ports.size() + notifications.size() + services.size());
    }

    int ScriptedIOKit::getNumNotifications() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return int(notifications.size());
    }

    iokit::Object ScriptedIOKit::notificationPortCreate()
    {
        std::lock_guard<std::mutex> hold(lock);
        const iokit::Object port = nextObject++;
        ports.insert(port);
        return port;
    }

    void ScriptedIOKit::notificationPortDestroy(iokit::Object port)
    {
        std::lock_guard<std::mutex> hold(lock);
        ports.erase(port);
        // The port's notifications stop; their iterators stay until released.
        for (auto& [iterator, notification] : notifications)
            if (notification.port == port)
                notification.wake = [] {};
    }

    bool ScriptedIOKit::serviceMatching(const std::string& serviceClass)
    {
        std::lock_guard<std::mutex> hold(lock);
        return refusedClasses.count(serviceClass) == 0;
    }

    iokit::Object ScriptedIOKit::addMatchingNotification(iokit::Object port, const std::string& notificationType,
                                                         const std::string& serviceClass, std::function<void()> wake)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (refuseAll || ports.count(port) == 0)
            return 0;
        const iokit::Object iterator = nextObject++;
        Notification& added = notifications[iterator];
        added.port = port;
        added.type = notificationType;
        added.serviceClass = serviceClass;
        added.wake = std::move(wake);
        if (notificationType == iokit::kIOServiceMatched)
            added.waiting = present[serviceClass];
        return iterator;
    }

    iokit::Object ScriptedIOKit::iteratorNext(iokit::Object iterator)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto entry = notifications.find(iterator);
        if (entry == notifications.end() || entry->second.waiting == 0)
            return 0;
        --entry->second.waiting;
        const iokit::Object service = nextObject++;
        services.insert(service);
        return service;
    }

    void ScriptedIOKit::objectRelease(iokit::Object object)
    {
        std::lock_guard<std::mutex> hold(lock);
        services.erase(object);
        notifications.erase(object);
    }

    bool ScriptedIOKit::registryEntrySearchData(iokit::Object entry, const std::string&, const std::string& key, bool,
                                                std::vector<uint8_t>& bytes)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto display = displays.find(entry);
        if (display == displays.end() || key != "model" || display->second.model.empty())
            return false;
        bytes.assign(display->second.model.begin(), display->second.model.end());
        return true;
    }

    bool ScriptedIOKit::displayProductNames(iokit::Object displayService, std::map<std::string, std::string>& names)
    {
        std::lock_guard<std::mutex> hold(lock);
        auto display = displays.find(displayService);
        if (display == displays.end() || display->second.names.empty())
            return false;
        names = display->second.names;
        return true;
    }
}
