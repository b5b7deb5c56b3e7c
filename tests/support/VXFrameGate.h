#pragma once

// Frame memory for the movie decoders that is handed out only while open:
// closed, a decoder waits in it for the test, which may let a given number
// of frames out meanwhile. One for the process (frames it gave may outlive a
// test in the texture cache), the decoders' allocator while a test holds a
// Use. Paced, it also slows each picture a decoder decodes.

#include "engine/video/formats/avfoundation/VXMediaBackend.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

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
                get().setPace(std::chrono::milliseconds(0));
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

        // Paced, each picture a decoder decodes takes at least the pace
        // (a decoder slower than a clip's rate), and its frame is recorded.
        void pictureDecoded(long frame) override
        {
            std::chrono::milliseconds wait{0};
            {
                std::lock_guard<std::mutex> hold(lock);
                wait = pace;
                if (wait.count() > 0)
                    decodedFrames.push_back({frame, std::chrono::steady_clock::now()});
            }
            if (wait.count() > 0)
                std::this_thread::sleep_for(wait);
        }
        // Zero for none; the record starts afresh.
        void setPace(std::chrono::milliseconds perPicture)
        {
            std::lock_guard<std::mutex> hold(lock);
            pace = perPicture;
            decodedFrames.clear();
        }
        // The pictures decoded while paced, in decoding order: their frame
        // and when.
        struct Decoded
        {
            long frame;
            std::chrono::steady_clock::time_point at;
        };
        std::vector<Decoded> decoded()
        {
            std::lock_guard<std::mutex> hold(lock);
            return decodedFrames;
        }

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
        std::chrono::milliseconds pace{0};
        std::vector<Decoded> decodedFrames;
    };
}
