#pragma once

#include "core/VXCriticalSection.h"

#include <memory>
#include <vector>

namespace vx
{

    class AsyncUpdatable;

    /** A queue of updatables whose callbacks a concrete scheduler runs by calling
        handleAsyncUpdateInternal on a thread of its choice. Removal and a
        running callback exclude each other: once removeAsyncUpdatable returns,
        the object is not called again unless added anew. */
    class AsyncScheduler
    {
    public:
        AsyncScheduler() = default;
        /** Queued objects are not called. */
        virtual ~AsyncScheduler() = default;
        AsyncScheduler(const AsyncScheduler&) = delete;
        AsyncScheduler& operator=(const AsyncScheduler&) = delete;

        /** Appends (the same object may be queued more than once), then calls
            updatableAdded outside the queue lock. */
        void addAsyncUpdatable(AsyncUpdatable* updatable);
        /** Withdraws every queued entry of updatable and waits for a running
            callback of it to return. */
        void removeAsyncUpdatable(AsyncUpdatable& updatable);
        /** Drains the queue in arrival order, including entries added meanwhile.
            Drains never overlap. */
        void handleAsyncUpdateInternal();

        /** The global scheduler: empty unless the embedding application sets it.
            While empty, two-argument broadcasts queue nothing for asynchronous
            listeners. */
        static std::shared_ptr<AsyncScheduler> asyncScheduler;

    protected:
        /** Called after every addition; must lead to a later
            handleAsyncUpdateInternal. */
        virtual void updatableAdded(AsyncUpdatable& added) = 0;
        /** For the application's own use; the engine never calls it. */
        virtual void stopHandling() = 0;

    private:
        CriticalSection handlingLock;
        CriticalSection queueLock;
        CriticalSection currentLock;
        AsyncUpdatable* current = nullptr;
        std::vector<AsyncUpdatable*> queue;
    };

} // namespace vx
