#include "platform/dispatch/VXDispatchQueue.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vx
{
    namespace
    {
        // The queue's state is shared with its thread, which may outlive the
        // queue object when a block dropped the last holder.
        struct WorkerState
        {
            explicit WorkerState(const std::string& queueLabel) : label(queueLabel) {}

            void run()
            {
                workerId.store(std::this_thread::get_id());
                pthread_setname_np(pthread_self(), label.substr(0, 15).c_str());
                std::unique_lock<std::mutex> hold(lock);
                for (;;)
                {
                    wake.wait(hold, [this] { return stopping || ! blocks.empty(); });
                    if (blocks.empty())
                        return; // stopping, everything run
                    std::function<void()> block = std::move(blocks.front());
                    blocks.pop_front();
                    hold.unlock();
                    block();
                    block = nullptr;
                    hold.lock();
                }
            }

            const std::string label;
            std::mutex lock;
            std::condition_variable wake;
            std::deque<std::function<void()>> blocks;
            bool stopping = false;
            std::atomic<std::thread::id> workerId{};
        };

        class WorkerQueue : public DispatchQueue
        {
        public:
            explicit WorkerQueue(const std::string& queueLabel) : state(std::make_shared<WorkerState>(queueLabel))
            {
                worker = std::thread([shared = state] { shared->run(); });
            }

            ~WorkerQueue() override
            {
                {
                    std::lock_guard<std::mutex> hold(state->lock);
                    state->stopping = true;
                }
                state->wake.notify_all();
                if (std::this_thread::get_id() == worker.get_id())
                    worker.detach(); // the last holder was a block of this queue
                else
                    worker.join();
            }

            void async(std::function<void()> block) override
            {
                {
                    std::lock_guard<std::mutex> hold(state->lock);
                    state->blocks.push_back(std::move(block));
                }
                state->wake.notify_one();
            }

            void sync(std::function<void()> block) override
            {
                if (isCurrent())
                {
                    block();
                    return;
                }
                std::mutex doneLock;
                std::condition_variable doneSignal;
                bool done = false;
                async(
                    [&]
                    {
                        block();
                        std::lock_guard<std::mutex> hold(doneLock);
                        done = true;
                        doneSignal.notify_all();
                    });
                std::unique_lock<std::mutex> hold(doneLock);
                doneSignal.wait(hold, [&] { return done; });
            }

            bool isCurrent() const override { return std::this_thread::get_id() == state->workerId.load(); }
            const std::string& getLabel() const override { return state->label; }

        private:
            std::shared_ptr<WorkerState> state;
            std::thread worker;
        };

        std::atomic<DispatchQueue::Factory> installedFactory{nullptr};
    }

    std::shared_ptr<DispatchQueue> DispatchQueue::createWorkerQueue(const std::string& label)
    {
        return std::make_shared<WorkerQueue>(label);
    }

    std::shared_ptr<DispatchQueue> DispatchQueue::createSerial(const std::string& label)
    {
        if (Factory factory = installedFactory.load())
            return factory(label);
        return createWorkerQueue(label);
    }

    void DispatchQueue::setFactory(Factory factory)
    {
        installedFactory.store(factory);
    }
}
