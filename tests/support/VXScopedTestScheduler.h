#pragma once

#include <memory>

#include "core/VXAsyncScheduler.h"
#include "core/VXAsyncUpdatable.h"

namespace vx::test
{
    // Installs itself as the global asynchronous scheduler while it lives,
    // and makes broadcasters created meanwhile queue their deferred calls on
    // it; they run only when the test drains them on its own thread. Make it
    // before the objects whose calls it is to defer.
    class ScopedTestScheduler
    {
    public:
        ScopedTestScheduler();
        ~ScopedTestScheduler();
        ScopedTestScheduler(const ScopedTestScheduler&) = delete;
        ScopedTestScheduler& operator=(const ScopedTestScheduler&) = delete;
        void drain();

    private:
        struct Scheduler : AsyncScheduler
        {
            void updatableAdded(AsyncUpdatable&) override {}
            void stopHandling() override {}
        };
        std::shared_ptr<Scheduler> scheduler;
        std::shared_ptr<AsyncScheduler> previous;
        AsyncUpdatableImpl::CreationFunc previousCreation;
    };
}
