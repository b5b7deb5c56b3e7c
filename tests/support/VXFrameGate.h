#pragma once

// Frame memory for the movie decoders that is handed out only while open:
// closed, a decoder waits in it for the test, which may let a given number
// of frames out meanwhile. One for the process (frames it gave may outlive a
// test in the texture cache), the decoders' allocator while a test holds a
// Use.

#include "engine/video/formats/avfoundation/VXMediaBackend.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace vx::test
{
    class FrameGate final : public av::FrameAllocator
    {
    public:
        struct Use
        {
            Use() { av::FrameAllocator::setCurrent(&get()); }
            ~Use()
            {
                get().setOpen(true);
                av::FrameAllocator::setCurrent(nullptr);
            }
        };

        static FrameGate& get()
        {
            static FrameGate gate;
            return gate;
        }

        void* allocate(std::size_t size) override
        {
            std::unique_lock<std::mutex> hold(lock);
            ++waiting;
            changed.notify_all();
            changed.wait(hold, [this] { return open || admitted > 0; });
            if (! open)
                --admitted;
            --waiting;
            ++passed;
            changed.notify_all();
            return std::aligned_alloc(64, (size + 63) / 64 * 64);
        }
        void deallocate(void* block) override { std::free(block); }

        void setOpen(bool isOpen)
        {
            std::lock_guard<std::mutex> hold(lock);
            open = isOpen;
            admitted = 0;
            changed.notify_all();
        }
        // Closed, lets count more frames out (open, every frame goes out
        // uncounted: nothing to admit, and nothing for awaitAdmitted to
        // wait for).
        void admit(int count)
        {
            std::lock_guard<std::mutex> hold(lock);
            if (open)
                return;
            admitted += count;
            changed.notify_all();
        }
        // Decoders waiting in the closed gate now.
        int waiters()
        {
            std::lock_guard<std::mutex> hold(lock);
            return waiting;
        }
        // Until the frames admitted are out, the time-out at most.
        bool awaitAdmitted(std::chrono::seconds timeout)
        {
            std::unique_lock<std::mutex> hold(lock);
            return changed.wait_for(hold, timeout, [this] { return admitted == 0; });
        }
        // Until a decoder waits in the closed gate, the time-out at most.
        bool awaitWaiter(std::chrono::milliseconds timeout)
        {
            std::unique_lock<std::mutex> hold(lock);
            return changed.wait_for(hold, timeout, [this] { return waiting > 0; });
        }
        // Closed, lets one frame out, then waits until a decoder waits for
        // the next, the time-out at most.
        bool passOne(std::chrono::seconds timeout)
        {
            std::unique_lock<std::mutex> hold(lock);
            const unsigned long target = passed + 1;
            ++admitted;
            changed.notify_all();
            return changed.wait_for(hold, timeout, [&] { return passed >= target && waiting > 0; });
        }

    private:
        std::mutex lock;
        std::condition_variable changed;
        bool open = true;
        int waiting = 0, admitted = 0;
        unsigned long passed = 0;
    };
}
