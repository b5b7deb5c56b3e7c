#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vx
{
    // A thread's queue of platform notifications. Services that deliver "on
    // the run loop of the thread that registered" post here from any thread;
    // nothing runs until that thread pumps. One loop per thread, made on
    // first use and kept for the life of the process (a late post to the
    // loop of a thread that has ended is held, never run).
    class RunLoop
    {
    public:
        // The calling thread's loop.
        static std::shared_ptr<RunLoop> getCurrent();
        // Pumps the calling thread's loop; answers how many calls ran.
        static int pumpCurrent();

        // Queues call for the loop's thread; any thread.
        void post(std::function<void()> call);
        // Runs the calls queued so far and those they queue, in order, on the
        // calling thread, which must be the loop's (others run nothing and
        // get 0). Answers how many ran.
        int pump();
        size_t getNumPending() const;
        bool isLoopThread() const { return std::this_thread::get_id() == owner; }

        explicit RunLoop(std::thread::id loopThread) : owner(loopThread) {}

    private:
        const std::thread::id owner;
        mutable std::mutex lock;
        std::vector<std::function<void()>> pending;
    };
}
