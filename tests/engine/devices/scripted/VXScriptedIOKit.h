#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/iokit/VXIOKit.h"

namespace vx::test
{
    // An IOKit that tests script: services plugged and unplugged by class,
    // classes that cannot be matched, refused notifications, registry
    // properties of display services; it counts the objects it handed out
    // and not yet got back. Any thread.
    class ScriptedIOKit : public iokit::Backend
    {
    public:
        // Installs a new one for the scope, restoring the empty backend after.
        static std::shared_ptr<ScriptedIOKit> install();
        static void uninstall();

        // count services of the class arrive (or leave): each matching (or
        // terminating) notification of the class gets them and is woken.
        void plug(const std::string& serviceClass, int count = 1);
        void unplug(const std::string& serviceClass, int count = 1);
        // Services present before anyone listens: drained when notifications arm.
        void addPresent(const std::string& serviceClass, int count);
        void refuseMatching(const std::string& serviceClass);
        void refuseNotifications(bool refuse);

        // Properties of a display's service (the object a display's
        // CGDisplayIOServicePort answers).
        void setDisplayService(iokit::Object service, const std::string& model,
                               const std::map<std::string, std::string>& productNames);

        // Ports, iterators and services handed out and not destroyed or released.
        int getLiveObjects() const;
        int getNumNotifications() const;

        iokit::Object notificationPortCreate() override;
        void notificationPortDestroy(iokit::Object port) override;
        bool serviceMatching(const std::string& serviceClass) override;
        iokit::Object addMatchingNotification(iokit::Object port, const std::string& notificationType,
                                              const std::string& serviceClass, std::function<void()> wake) override;
        iokit::Object iteratorNext(iokit::Object iterator) override;
        void objectRelease(iokit::Object object) override;
        bool registryEntrySearchData(iokit::Object entry, const std::string& plane, const std::string& key,
                                     bool recursive, std::vector<uint8_t>& bytes) override;
        bool displayProductNames(iokit::Object displayService, std::map<std::string, std::string>& names) override;

    private:
        struct Notification
        {
            iokit::Object port = 0;
            std::string type;
            std::string serviceClass;
            std::function<void()> wake;
            int waiting = 0;
        };
        struct DisplayService
        {
            std::string model;
            std::map<std::string, std::string> names;
        };

        void deliver(const std::string& type, const std::string& serviceClass, int count);

        mutable std::mutex lock;
        iokit::Object nextObject = 1000;
        std::set<iokit::Object> ports;
        std::map<iokit::Object, Notification> notifications; // by iterator
        std::set<iokit::Object> services;                    // handed out, not released
        std::map<std::string, int> present;
        std::set<std::string> refusedClasses;
        bool refuseAll = false;
        std::map<iokit::Object, DisplayService> displays;
    };
}
