#include "platform/runloop/VXRunLoop.h"

#include <map>

namespace vx
{
    namespace
    {
        // Loops by thread, never erased: ports hold their loop, and a thread
        // id may come back for a new thread, which then takes the old loop.
        std::mutex registryLock;
        std::map<std::thread::id, std::shared_ptr<RunLoop>>& registry()
        {
            static auto* loops = new std::map<std::thread::id, std::shared_ptr<RunLoop>>();
            return *loops;
        }
    }

    std::shared_ptr<RunLoop> RunLoop::getCurrent()
    {
        const std::thread::id self = std::this_thread::get_id();
        std::lock_guard<std::mutex> hold(registryLock);
        std::shared_ptr<RunLoop>& loop = registry()[self];
        if (loop == nullptr)
            loop = std::make_shared<RunLoop>(self);
        return loop;
    }

    int RunLoop::pumpCurrent()
    {
        return getCurrent()->pump();
    }

    void RunLoop::post(std::function<void()> call)
    {
        std::lock_guard<std::mutex> hold(lock);
        pending.push_back(std::move(call));
    }

    int RunLoop::pump()
    {
        if (! isLoopThread())
            return 0;
        int ran = 0;
        for (;;)
        {
            std::vector<std::function<void()>> calls;
            {
                std::lock_guard<std::mutex> hold(lock);
                calls.swap(pending);
            }
            if (calls.empty())
                return ran;
            for (auto& call : calls)
            {
                call();
                ++ran;
            }
        }
    }

    size_t RunLoop::getNumPending() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return pending.size();
    }
}
