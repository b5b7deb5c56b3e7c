#pragma once

#include "core/VXWaitableEvent.h"

#include <atomic>
#include <string>

namespace vx
{

    /** A named thread with a priority from 0 (normal scheduling) to 10 (highest
        round-robin), a cooperative stop request and a bounded stop. Subclasses
        implement run() and poll isStopRequested(); a subclass must stop its
        thread in its own destructor, since run() belongs to it. */
    class Thread
    {
    public:
        /** The platform side: creates, prioritises and cancels the OS thread. */
        class ThreadPimpl
        {
        public:
            virtual ~ThreadPimpl() = default;
            /** False when the owner is already running or the thread cannot be made. */
            virtual bool startThread(int priority, const std::string& name) = 0;
            virtual bool setPriority(int priority) = 0;
            /** Cancels the OS thread and lets go of it. False when the thread had
                already let go of itself (it is finishing on its own). */
            virtual bool killThread() = 0;
            /** Lets go of the OS thread once it has ended or is ending. */
            virtual void threadFinished() = 0;
            /** Waits until no thread started by this owner is still inside the
                owner's code: one that let go of itself may still be finishing.
                Answers at once when called on the thread itself. */
            virtual void waitUntilLeft() = 0;
            /** True when called on the thread itself. */
            virtual bool isCurrentThread() = 0;

            static ThreadPimpl* create(Thread& owner, std::atomic<bool>& running);
        };

        explicit Thread(const std::string& name);
        /** Stops a running thread with the 250 ms bound. Never delete a Thread
            from its own run(). */
        virtual ~Thread();
        Thread(const Thread&) = delete;
        Thread& operator=(const Thread&) = delete;

        /** Starts run() on a new thread, which carries its name (the OS keeps
            15 characters) once this returns; false when already running. */
        bool startThread(int priority);
        /** Applies to the running thread; false when it cannot be set. */
        bool setPriority(int priority);

        /** Asks run() to return; overrides may also wake a sleeping loop. */
        virtual void requestThreadStop();
        /** Requests a stop and waits without limit; once it answers true the
            thread no longer touches this object. Called on the thread itself it
            only requests the stop and answers false. */
        virtual bool stopThreadNow();
        /** As above, waiting at most timeoutMs; on time-out the thread is
            cancelled and the answer is false. */
        virtual bool stopThreadNow(unsigned int timeoutMs);

        bool isThreadRunning() const { return running.load(); }
        bool isStopRequested() const { return stopRequested.load(std::memory_order_relaxed); }
        const std::string& getThreadName() const { return name; }
        /** Takes effect at the next start. */
        void setThreadName(const std::string& newName) { name = newName; }

        /** Called on the thread when run() returns, or by a stop that timed out. */
        virtual void threadFinished();

        static void sleep(int milliseconds);
        static void* getCurrentThreadID();

        /** Set once by the embedding application; null (unset) at load. */
        static void* messageThreadID;
        static void* audioThreadID;
        static void* renderThreadID;
        static void* controlThreadID;

        static bool isThisMessageThread();
        static bool isThisAudioThread();
        static bool isThisRenderThread();
        static bool isThisControlThread();

    protected:
        virtual void run() = 0;

    private:
        friend class ThreadPimplPosix;

        // Waits until a run asked to stop has ended and left; clears the request.
        void awaitFinish();

        std::atomic<bool> stopRequested{false};
        ThreadPimpl* pimpl;
        std::string name;
        std::atomic<bool> running{false};
        WaitableEvent finishedEvent;
    };

} // namespace vx
