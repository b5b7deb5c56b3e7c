#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace vx
{
    // The process-wide backend behind a platform interface: a Default until
    // a port or a test installs another; installing null brings a Default back.
    template <class Backend, class Default>
    class InstalledBackend
    {
    public:
        static std::shared_ptr<Backend> get()
        {
            std::lock_guard<std::mutex> hold(lock());
            return slot();
        }

        static void set(std::shared_ptr<Backend> backend)
        {
            std::lock_guard<std::mutex> hold(lock());
            slot() = backend != nullptr ? std::move(backend) : std::make_shared<Default>();
        }

    private:
        // Never destroyed: objects torn down at exit may still ask for it.
        static std::shared_ptr<Backend>& slot()
        {
            static auto* backend = new std::shared_ptr<Backend>(std::make_shared<Default>());
            return *backend;
        }

        static std::mutex& lock()
        {
            static std::mutex mutex;
            return mutex;
        }
    };
}
