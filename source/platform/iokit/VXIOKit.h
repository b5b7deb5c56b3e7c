#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    class RunLoop;
}

// The IOKit calls the device layer makes, over an installable backend. On
// Linux the installed one watches udev's monitor (hot-plug only: no
// property is read), or nothing where no monitor opens.
namespace vx::iokit
{
    // An io_object_t (services, iterators, ports); 0 is none.
    using Object = uint32_t;

    inline constexpr const char* kIOServiceMatched = "IOServiceMatched";
    inline constexpr const char* kIOServiceTerminate = "IOServiceTerminate";

    class Backend
    {
    public:
        virtual ~Backend() = default;

        // IONotificationPortCreate; 0 when none can be made.
        virtual Object notificationPortCreate() = 0;
        virtual void notificationPortDestroy(Object port) = 0;
        // IOServiceMatching: whether a matching dictionary for the class exists.
        virtual bool serviceMatching(const std::string& serviceClass) = 0;
        // IOServiceAddMatchingNotification: the new iterator (0 on failure).
        // The backend calls wake, from any thread, whenever services arrive on
        // the iterator; they are taken with iteratorNext.
        virtual Object addMatchingNotification(Object port, const std::string& notificationType,
                                               const std::string& serviceClass, std::function<void()> wake) = 0;
        // IOIteratorNext: a retained service, 0 when drained.
        virtual Object iteratorNext(Object iterator) = 0;
        // IOObjectRelease.
        virtual void objectRelease(Object object) = 0;
        // IORegistryEntrySearchCFProperty of a data property, searching the
        // parents too when recursive; false when absent.
        virtual bool registryEntrySearchData(Object entry, const std::string& plane, const std::string& key,
                                             bool recursive, std::vector<uint8_t>& bytes) = 0;
        // IODisplayCreateInfoDictionary's "DisplayProductName": names by
        // locale; false without an info dictionary or that entry.
        virtual bool displayProductNames(Object displayService, std::map<std::string, std::string>& names) = 0;
    };

    // The installed backend (the platform's unless set); setBackend (null)
    // restores the platform's. Set before the services are used.
    std::shared_ptr<Backend> getBackend();
    void setBackend(std::shared_ptr<Backend> backend);

    // IONotificationPortCreate with the port's run-loop source added to the
    // calling thread's run loop: notifications run there, and only while
    // that thread pumps. Create, use and destroy it on that thread.
    class NotificationPort
    {
    public:
        // (refcon, iterator), as IOServiceMatchingCallback.
        using Callback = void (*)(void* refcon, Object iterator);

        NotificationPort();
        // IONotificationPortDestroy; notifications not yet run are dropped.
        ~NotificationPort();
        NotificationPort(const NotificationPort&) = delete;
        NotificationPort& operator=(const NotificationPort&) = delete;

        bool isValid() const { return port != 0; }
        // IOServiceAddMatchingNotification: false (iterator 0) on failure.
        bool addMatchingNotification(const std::string& notificationType, const std::string& serviceClass,
                                     Callback callback, void* refcon, Object& iterator);

    private:
        struct Alive
        {
        };
        std::shared_ptr<Backend> backend;
        std::shared_ptr<RunLoop> loop;
        std::shared_ptr<Alive> alive;
        Object port = 0;
    };
}
