#include "platform/iokit/VXIOKit.h"

#include "core/VXInstalledBackend.h"

#include <atomic>
#include <mutex>

#include "platform/runloop/VXRunLoop.h"

namespace vx::iokit
{
    namespace
    {
        // The Linux platform: nothing to watch, nothing to read.
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

        using Installed = InstalledBackend<Backend, EmptyBackend>;
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
