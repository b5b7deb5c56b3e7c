#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vx
{
    // A serial queue: blocks run one at a time, in the order queued, on a
    // thread of the queue's own. Made through the installed factory (the
    // backend); the default runs a worker thread per queue. Dropping the last
    // holder runs what is still queued, then stops the thread (from a block
    // of the queue itself the thread ends after that block instead).
    class DispatchQueue
    {
    public:
        virtual ~DispatchQueue() = default;

        // dispatch_queue_create (label, serial).
        static std::shared_ptr<DispatchQueue> createSerial(const std::string& label);

        // dispatch_async: any thread.
        virtual void async(std::function<void()> block) = 0;
        // dispatch_sync: runs block on the queue and waits for it; from the
        // queue's own thread it runs at once.
        virtual void sync(std::function<void()> block) = 0;
        // Whether the calling thread is the queue's.
        virtual bool isCurrent() const = 0;
        virtual const std::string& getLabel() const = 0;

        using Factory = std::shared_ptr<DispatchQueue> (*)(const std::string& label);
        // The backend; null restores the worker-thread queue.
        static void setFactory(Factory factory);

        // The worker-thread queue, whatever the factory.
        static std::shared_ptr<DispatchQueue> createWorkerQueue(const std::string& label);
    };
}
