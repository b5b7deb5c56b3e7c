#include "core/VXThread.h"

#include "core/VXLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace vx
{

    void* Thread::messageThreadID = nullptr;
    void* Thread::audioThreadID = nullptr;
    void* Thread::renderThreadID = nullptr;
    void* Thread::controlThreadID = nullptr;

    // The POSIX side of a Thread. The handle is guarded by handleLock because the
    // thread lets go of it itself when run() returns while a timed-out stop may
    // cancel it from another thread: whoever clears the handle first finishes.
    class ThreadPimplPosix : public Thread::ThreadPimpl
    {
    public:
        ThreadPimplPosix(Thread& ownerThread, std::atomic<bool>& runningFlag) : owner(ownerThread), running(runningFlag)
        {
        }

        ~ThreadPimplPosix() override
        {
            waitUntilLeft();
            std::lock_guard<std::mutex> hold(handleLock);
            if (hasHandle)
                pthread_detach(handle);
        }

        bool startThread(int priority, const std::string& name) override
        {
            std::lock_guard<std::mutex> hold(handleLock);
            if (running.load())
            {
                std::puts("VXThread: thread already running");
                return false;
            }
            threadName = name;
            // Set before the thread exists, so a run() that returns at once
            // cannot have its finish overwritten by the start.
            running.store(true);
            threadsInside.fetch_add(1);
            const int result = pthread_create(&handle, nullptr, &ThreadPimplPosix::entry, this);
            if (result != 0)
            {
                threadsInside.fetch_sub(1);
                running.store(false);
                logPrint(logError, "VXThread: could not create thread '%s' (error %i).", name.c_str(), result);
                return false;
            }
            hasHandle = true;
            // Named before start returns, whenever the new thread first runs.
            // The handle stays valid meanwhile: the thread lets go of it only
            // under handleLock.
            pthread_setname_np(handle, osName().c_str());
            applyPriority(priority);
            return true;
        }

        bool setPriority(int priority) override
        {
            std::lock_guard<std::mutex> hold(handleLock);
            return hasHandle && applyPriority(priority);
        }

        bool killThread() override
        {
            pthread_t victim;
            {
                std::lock_guard<std::mutex> hold(handleLock);
                if (! hasHandle)
                    return false;
                victim = handle;
                hasHandle = false;
                pthread_cancel(victim);
            }
            // Cancellation takes effect at the thread's next cancellation point
            // and then unwinds run(), which may still touch the owner: wait for
            // that (outside the lock, which a run() just returning may need),
            // within a bound, before the owner is finished and perhaps freed. A
            // thread that never reaches a cancellation point is let go of.
            timespec deadline{};
            clock_gettime(CLOCK_REALTIME, &deadline);
            deadline.tv_sec += cancelJoinSeconds;
            if (pthread_timedjoin_np(victim, nullptr, &deadline) != 0)
            {
                pthread_detach(victim);
                logPrint(logError, "VXThread: cancelled thread '%s' did not end within %i s; left running.",
                         threadName.c_str(), cancelJoinSeconds);
            }
            // Ended or abandoned: either way nothing more to wait for.
            threadsInside.fetch_sub(1, std::memory_order_release);
            return true;
        }

        void threadFinished() override { releaseHandle(); }

        void waitUntilLeft() override
        {
            // The thread itself cannot wait for its own exit.
            if (isCurrentThread())
                return;
            // The window is the tail of threadFinished: yield first, then back
            // off to short sleeps in case the finisher was preempted.
            for (int round = 0; threadsInside.load(std::memory_order_acquire) != 0; ++round)
            {
                if (round < 64)
                    sched_yield();
                else
                    usleep(200);
            }
        }

        bool isCurrentThread() override { return currentPimpl == this; }

    private:
        // False when a stop already cancelled and let go of the thread.
        bool releaseHandle()
        {
            std::lock_guard<std::mutex> hold(handleLock);
            if (! hasHandle)
                return false;
            pthread_detach(handle);
            hasHandle = false;
            return true;
        }

        static void* entry(void* context)
        {
            auto* self = static_cast<ThreadPimplPosix*>(context);
            // Marks this thread as the owner's for as long as it runs the owner's
            // code, including a cancellation's unwinding.
            struct CurrentMark
            {
                explicit CurrentMark(ThreadPimplPosix* pimpl) { currentPimpl = pimpl; }
                ~CurrentMark() { currentPimpl = nullptr; }
            } mark(self);
            // The starter named it already; naming itself as well covers a
            // system where that failed (naming another thread goes through
            // /proc, naming oneself does not).
            pthread_setname_np(pthread_self(), self->osName().c_str());
            try
            {
                self->owner.run();
            }
            catch (...)
            {
                // Cancelled by a stop that timed out (anything else ends the
                // process when it leaves this function). The unwinder skips the
                // epilogues that would clear the address checker's marks on the
                // abandoned frames; clear them before the thread's own exit code
                // reuses that stack.
#if defined(__SANITIZE_ADDRESS__)
                unpoisonStackBelow(__builtin_frame_address(0));
#endif
                throw;
            }
            // A stop that timed out while run() was returning owns the finish and
            // may already be freeing the object: touch nothing more then.
            if (self->releaseHandle())
            {
                self->owner.threadFinished();
                self->threadsInside.fetch_sub(1, std::memory_order_release);
            }
            return nullptr;
        }

        // The OS keeps at most 15 characters; the Thread keeps the full name.
        std::string osName() const
        {
            return threadName.substr(0, 15);
        }

#if defined(__SANITIZE_ADDRESS__)
        // Clears the checker's marks from the stack's low end up to the given
        // frame. (Its own no-return hook is no use here: it calls an intercepted
        // function whose output lies in the very region still marked, and
        // reports it.)
        static void unpoisonStackBelow(void* frame)
        {
            pthread_attr_t attributes;
            if (pthread_getattr_np(pthread_self(), &attributes) != 0)
                return;
            void* low = nullptr;
            size_t size = 0;
            const bool known = pthread_attr_getstack(&attributes, &low, &size) == 0;
            pthread_attr_destroy(&attributes);
            char* const here = static_cast<char*>(frame);
            if (known && here > static_cast<char*>(low) && here <= static_cast<char*>(low) + size)
                __asan_unpoison_memory_region(low, size_t(here - static_cast<char*>(low)));
        }
#endif

        // Called with handleLock held.
        bool applyPriority(int priority)
        {
            priority = std::clamp(priority, 0, 10);
            int currentPolicy = 0;
            sched_param parameters{};
            if (pthread_getschedparam(handle, &currentPolicy, &parameters) != 0)
                return false;
            const int policy = priority == 0 ? SCHED_OTHER : SCHED_RR;
            const int minimum = sched_get_priority_min(policy);
            const int maximum = sched_get_priority_max(policy);
            parameters.sched_priority = minimum + ((maximum - minimum) * priority) / 10;
            // Without the privilege for round-robin this fails and the thread
            // keeps its scheduling.
            return pthread_setschedparam(handle, policy, &parameters) == 0;
        }

        // Generous: a loaded machine may take a while to schedule the cancelled
        // thread; only a thread that never reaches a cancellation point uses it up.
        static constexpr int cancelJoinSeconds = 10;

        // The pimpl whose thread is the calling one (null on other threads).
        static thread_local const ThreadPimplPosix* currentPimpl;

        Thread& owner;
        std::atomic<bool>& running;
        // Threads started and not yet done with the owner (more than one only
        // while a finished run is leaving as the next one starts).
        std::atomic<int> threadsInside{0};
        std::mutex handleLock;
        pthread_t handle{};
        bool hasHandle = false;
        std::string threadName;
    };

    thread_local const ThreadPimplPosix* ThreadPimplPosix::currentPimpl = nullptr;

    Thread::ThreadPimpl* Thread::ThreadPimpl::create(Thread& owner, std::atomic<bool>& running)
    {
        return new ThreadPimplPosix(owner, running);
    }

    Thread::Thread(const std::string& threadName) : pimpl(nullptr), name(threadName)
    {
        pimpl = ThreadPimpl::create(*this, running);
    }

    Thread::~Thread()
    {
        stopThreadNow(250);
        delete pimpl;
    }

    bool Thread::startThread(int priority)
    {
        if (running.load())
        {
            std::puts("VXThread: thread already running");
            return false;
        }
        stopRequested.store(false);
        // A finish left over from an earlier run must not satisfy the next stop.
        finishedEvent.reset();
        return pimpl->startThread(priority, name);
    }

    bool Thread::setPriority(int priority)
    {
        return pimpl->setPriority(priority);
    }

    void Thread::requestThreadStop()
    {
        stopRequested.store(true);
    }

    bool Thread::stopThreadNow()
    {
        if (! running.load())
        {
            // A run that ended on its own may still be leaving threadFinished.
            pimpl->waitUntilLeft();
            return true;
        }
        if (pimpl->isCurrentThread())
        {
            // Waiting here would wait for ourselves.
            requestThreadStop();
            return false;
        }
        requestThreadStop();
        awaitFinish();
        return true;
    }

    bool Thread::stopThreadNow(unsigned int timeoutMs)
    {
        if (! running.load())
        {
            pimpl->waitUntilLeft();
            return true;
        }
        if (pimpl->isCurrentThread())
        {
            requestThreadStop();
            return false;
        }
        requestThreadStop();

        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;)
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (! finishedEvent.waitForTrigger(static_cast<unsigned int>(std::max<long long>(left, 0))))
                break;
            if (! running.load())
            {
                pimpl->waitUntilLeft();
                stopRequested.store(false);
                return true;
            }
        }

        if (pimpl->killThread())
        {
            threadFinished();
            stopRequested.store(false);
            return false;
        }
        // The thread let go of itself just now and is finishing: wait for it.
        awaitFinish();
        return true;
    }

    void Thread::awaitFinish()
    {
        // A trigger only counts once the run has really ended: one left by an
        // earlier run racing a restart is skipped.
        do
            finishedEvent.waitForTrigger();
        while (running.load());
        pimpl->waitUntilLeft();
        stopRequested.store(false);
    }

    void Thread::threadFinished()
    {
        pimpl->threadFinished();
        running.store(false);
        stopRequested.store(false);
        finishedEvent.trigger();
    }

    void Thread::sleep(int milliseconds)
    {
        if (milliseconds > 0)
            usleep(static_cast<useconds_t>(milliseconds) * 1000);
    }

    void* Thread::getCurrentThreadID()
    {
        return reinterpret_cast<void*>(pthread_self());
    }

    bool Thread::isThisMessageThread()
    {
        return messageThreadID != nullptr && getCurrentThreadID() == messageThreadID;
    }

    bool Thread::isThisAudioThread()
    {
        return audioThreadID != nullptr && getCurrentThreadID() == audioThreadID;
    }

    bool Thread::isThisRenderThread()
    {
        return renderThreadID != nullptr && getCurrentThreadID() == renderThreadID;
    }

    bool Thread::isThisControlThread()
    {
        return controlThreadID != nullptr && getCurrentThreadID() == controlThreadID;
    }

} // namespace vx
