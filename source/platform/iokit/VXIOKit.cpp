#include "platform/iokit/VXIOKit.h"

#include "core/VXInstalledBackend.h"

#include <atomic>
#include <mutex>

#include "core/VXLog.h"
#include "platform/iokit/VXIOKitBackendUdev.h"
#include "platform/runloop/VXRunLoop.h"

namespace vx::iokit
{
    namespace
    {
        // Where no udev monitor opens: nothing to watch, nothing to read.
        class EmptyBackend : public Backend
        {
        public:
            Object notificationPortCreate() override { return 0; }
            void notificationPortDestroy(Object) override {}
            bool serviceMatching(const std::string&) override { return false; }
            Object addMatchingNotification(Object, const std::string&, const std::string&,
                                           std::function<void()>) override
            {
                return 0;
            }
            Object iteratorNext(Object) override { return 0; }
            void objectRelease(Object) override {}
            bool registryEntrySearchData(Object, const std::string&, const std::string&, bool,
                                         std::vector<uint8_t>&) override
            {
                return false;
            }
            bool displayProductNames(Object, std::map<std::string, std::string>&) override { return false; }
        };

        // The udev monitor where one can be opened, the empty backend
        // otherwise; says once which.
        class PlatformBackend : public Backend
        {
        public:
            PlatformBackend()
            {
                std::string error;
                chosen = createUdevBackend(error);
                const bool watching = chosen != nullptr;
                if (! watching)
                    chosen = std::make_shared<EmptyBackend>();
                static std::once_flag said;
                std::call_once(said,
                               [&]
                               {
                                   if (watching)
                                       logPrint(logInfo, "Hot-plug: udev monitor (USB, PCI and video4linux).");
                                   else
                                       logPrint(logWarning, "Hot-plug: %s; no device will be seen to come or go.",
                                                error.c_str());
                               });
            }

            Object notificationPortCreate() override { return chosen->notificationPortCreate(); }
            void notificationPortDestroy(Object port) override { chosen->notificationPortDestroy(port); }
            bool serviceMatching(const std::string& serviceClass) override
            {
                return chosen->serviceMatching(serviceClass);
            }
            Object addMatchingNotification(Object port, const std::string& notificationType,
                                           const std::string& serviceClass, std::function<void()> wake) override
            {
                return chosen->addMatchingNotification(port, notificationType, serviceClass, std::move(wake));
            }
            Object iteratorNext(Object iterator) override { return chosen->iteratorNext(iterator); }
            void objectRelease(Object object) override { chosen->objectRelease(object); }
            bool registryEntrySearchData(Object entry, const std::string& plane, const std::string& key,
                                         bool recursive, std::vector<uint8_t>& bytes) override
            {
                return chosen->registryEntrySearchData(entry, plane, key, recursive, bytes);
            }
            bool displayProductNames(Object displayService, std::map<std::string, std::string>& names) override
            {
                return chosen->displayProductNames(displayService, names);
            }

        private:
            std::shared_ptr<Backend> chosen;
        };

        using Installed = InstalledBackend<Backend, PlatformBackend>;
    }

    std::shared_ptr<Backend> getBackend()
    {
        return Installed::get();
    }

    void setBackend(std::shared_ptr<Backend> backend)
    {
        Installed::set(std::move(backend));
    }

    NotificationPort::NotificationPort()
        : backend(getBackend()), loop(RunLoop::getCurrent()), alive(std::make_shared<Alive>())
    {
        port = backend->notificationPortCreate();
    }

    NotificationPort::~NotificationPort()
    {
        alive.reset(); // posted notifications find the port gone
        if (port != 0)
            backend->notificationPortDestroy(port);
    }

    bool NotificationPort::addMatchingNotification(const std::string& notificationType, const std::string& serviceClass,
                                                   Callback callback, void* refcon, Object& iterator)
    {
        iterator = 0;
        if (port == 0 || callback == nullptr)
            return false;
        // The iterator is known only once the backend answers; the wake-up
        // reads it when it runs, on the loop's thread.
        auto registered = std::make_shared<std::atomic<Object>>(0);
        std::weak_ptr<Alive> watch = alive;
        std::weak_ptr<RunLoop> target = loop;
        iterator =
            backend->addMatchingNotification(port, notificationType, serviceClass,
                                             [=]
                                             {
                                                 if (auto runLoop = target.lock())
                                                     runLoop->post(
                                                         [=]
                                                         {
                                                             // Run on the port's thread, which also destroys the port.
                                                             if (watch.lock() != nullptr && registered->load() != 0)
                                                                 callback(refcon, registered->load());
                                                         });
                                             });
        registered->store(iterator);
        return iterator != 0;
    }
}
