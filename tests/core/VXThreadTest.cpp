#include "core/VXThread.h"
#include "core/VXSystem.h"
#include "core/VXWaitableEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

namespace
{

    // Holds a thread inside its own naming of itself, the first thing it
    // does, while armed for that name: what it is called then, the starter
    // alone gave it.
    class SelfNamingHold
    {
    public:
        explicit SelfNamingHold(const std::string& name)
        {
            std::lock_guard<std::mutex> hold(lock);
            heldName = name;
            holding = true;
            isHeld = false;
        }
        ~SelfNamingHold() { release(); }

        void release()
        {
            std::lock_guard<std::mutex> hold(lock);
            holding = false;
            changed.notify_all();
        }

        // The held thread, once it is there (a watchdog of 30 s).
        bool waitUntilHeld(pthread_t& thread)
        {
            std::unique_lock<std::mutex> hold(lock);
            if (! changed.wait_for(hold, std::chrono::seconds(30), [] { return isHeld; }))
                return false;
            thread = heldThread;
            return true;
        }

        // On every naming: holds the caller when it names itself the armed name.
        static void pass(pthread_t thread, const char* name)
        {
            if (! pthread_equal(thread, pthread_self()))
                return;
            std::unique_lock<std::mutex> hold(lock);
            if (! holding || heldName.compare(0, 15, name) != 0)
                return;
            heldThread = thread;
            isHeld = true;
            changed.notify_all();
            changed.wait(hold, [] { return ! holding; });
        }

    private:
        static inline std::mutex lock;
        static inline std::condition_variable changed;
        static inline std::string heldName;
        static inline bool holding = false;
        static inline bool isHeld = false;
        static inline pthread_t heldThread{};
    };

} // namespace

// This program's naming of threads comes before the C library's, through the
// hold above.
extern "C" int pthread_setname_np(pthread_t thread, const char* name) noexcept
{
    using Naming = int (*)(pthread_t, const char*);
    static const Naming next = reinterpret_cast<Naming>(dlsym(RTLD_NEXT, "pthread_setname_np"));
    SelfNamingHold::pass(thread, name);
    return next(thread, name);
}

namespace
{

    // Runs a scripted body; counts stop requests and finished runs.
    class ScriptedThread : public vx::Thread
    {
    public:
        enum class Body
        {
            pollStopFlag, // loops until asked to stop
            returnAtOnce,
            ignoreStop, // sleeps forever; only cancellation ends it
            stopItself  // asks to stop itself, then loops until asked
        };

        explicit ScriptedThread(Body bodyToRun, const std::string& name = "scripted")
            : vx::Thread(name), body(bodyToRun)
        {
        }
        ~ScriptedThread() override { stopThreadNow(30000); }

        void requestThreadStop() override
        {
            ++stopRequests;
            vx::Thread::requestThreadStop();
        }

        void waitUntilStarted()
        {
            while (! started)
                vx::Thread::sleep(1);
        }

        std::atomic<int> stopRequests{0};
        std::atomic<int> runsStarted{0};
        std::atomic<int> runsEnded{0};
        std::atomic<bool> selfStopAnswer{true};
        std::string osName;

    protected:
        void run() override
        {
            ++runsStarted;
            char buffer[64] = {};
            pthread_getname_np(pthread_self(), buffer, sizeof(buffer));
            osName = buffer;
            started = true;
            switch (body)
            {
                case Body::returnAtOnce:
                    break;
                case Body::pollStopFlag:
                    while (! isStopRequested())
                        vx::Thread::sleep(1);
                    break;
                case Body::ignoreStop:
                    for (;;)
                        vx::Thread::sleep(5);
                case Body::stopItself:
                    selfStopAnswer = stopThreadNow();
                    while (! isStopRequested())
                        vx::Thread::sleep(1);
                    break;
            }
            ++runsEnded;
        }

    private:
        Body body;
        std::atomic<bool> started{false};
    };

    TEST(Thread, StopOfAThreadNeverStartedAnswersAtOnce)
    {
        ScriptedThread thread(ScriptedThread::Body::pollStopFlag);
        EXPECT_FALSE(thread.isThreadRunning());
        EXPECT_TRUE(thread.stopThreadNow());
        EXPECT_TRUE(thread.stopThreadNow(10));
        EXPECT_EQ(thread.stopRequests, 0);
    }

    TEST(Thread, StopWaitsForRunToReturn)
    {
        ScriptedThread thread(ScriptedThread::Body::pollStopFlag);
        ASSERT_TRUE(thread.startThread(0));
        thread.waitUntilStarted();
        EXPECT_TRUE(thread.isThreadRunning());
        EXPECT_TRUE(thread.stopThreadNow());
        EXPECT_EQ(thread.runsEnded, 1);
        EXPECT_FALSE(thread.isThreadRunning());
        EXPECT_FALSE(thread.isStopRequested());
        EXPECT_EQ(thread.stopRequests, 1);
    }

    TEST(Thread, StartWhileRunningIsRefused)
    {
        ScriptedThread thread(ScriptedThread::Body::pollStopFlag);
        ASSERT_TRUE(thread.startThread(0));
        thread.waitUntilStarted();
        testing::internal::CaptureStdout();
        EXPECT_FALSE(thread.startThread(0));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "VXThread: thread already running\n");
        EXPECT_TRUE(thread.stopThreadNow(30000));
        EXPECT_EQ(thread.runsStarted, 1);
    }

    // A run that ended on its own leaves its finish behind; a restarted thread's
    // stop must still wait for the new run.
    TEST(Thread, RestartAfterRunEndedOnItsOwnStopsTheNewRun)
    {
        struct TwoRuns : vx::Thread
        {
            TwoRuns() : vx::Thread("two runs") {}
            ~TwoRuns() override { stopThreadNow(); }
            void run() override
            {
                if (++runs == 1)
                    return;
                while (! isStopRequested())
                    vx::Thread::sleep(1);
                secondRunEnded = true;
            }
            std::atomic<int> runs{0};
            std::atomic<bool> secondRunEnded{false};
        } thread;

        ASSERT_TRUE(thread.startThread(0));
        while (thread.isThreadRunning())
            vx::Thread::sleep(1);
        ASSERT_TRUE(thread.startThread(0));
        EXPECT_TRUE(thread.stopThreadNow(30000));
        EXPECT_TRUE(thread.secondRunEnded);
        EXPECT_FALSE(thread.isThreadRunning());
    }

    TEST(Thread, RunIgnoringTheStopIsCancelledAfterTheTimeout)
    {
        ScriptedThread thread(ScriptedThread::Body::ignoreStop);
        ASSERT_TRUE(thread.startThread(0));
        thread.waitUntilStarted();
        EXPECT_FALSE(thread.stopThreadNow(100));
        EXPECT_FALSE(thread.isThreadRunning());
        EXPECT_FALSE(thread.isStopRequested());
        EXPECT_EQ(thread.runsEnded, 0);
        // The cancelled thread was let go of; the object can start again.
        ASSERT_TRUE(thread.startThread(0));
        EXPECT_FALSE(thread.stopThreadNow(50));
    }

    // A thread cancelled inside a wait must leave the event usable by others.
    TEST(Thread, CancelledWhileWaitingLeavesTheEventUsable)
    {
        struct Waiter : vx::Thread
        {
            explicit Waiter(const vx::WaitableEvent& shared) : vx::Thread("waiter"), event(shared) {}
            ~Waiter() override { stopThreadNow(); }
            void run() override
            {
                waiting.trigger();
                for (;;)
                    event.waitForTrigger(); // ignores the stop request
            }
            const vx::WaitableEvent& event;
            vx::WaitableEvent waiting;
        };

        vx::WaitableEvent shared;
        Waiter waiter(shared);
        ASSERT_TRUE(waiter.startThread(0));
        ASSERT_TRUE(waiter.waiting.waitForTrigger(10000));
        EXPECT_FALSE(waiter.stopThreadNow(20));
        EXPECT_FALSE(waiter.isThreadRunning());

        shared.trigger();
        EXPECT_TRUE(shared.waitForTrigger(0));
        EXPECT_FALSE(shared.waitForTrigger(0)) << "the cancelled waiter still counts as waiting";
    }

    // A run that ended on its own reports "not running" before its finish is
    // done; a stop must not answer (and let the object be freed) before then.
    TEST(Thread, StopWaitsUntilAFinishingThreadHasLeft)
    {
        struct SlowFinish : vx::Thread
        {
            SlowFinish() : vx::Thread("slow finish") {}
            ~SlowFinish() override { stopThreadNow(); }
            void run() override {}
            void threadFinished() override
            {
                vx::Thread::threadFinished();
                inTail.trigger();
                mayLeave.waitForTrigger();
                tailDone = true;
            }
            vx::WaitableEvent inTail;
            vx::WaitableEvent mayLeave;
            std::atomic<bool> tailDone{false};
        } thread;

        ASSERT_TRUE(thread.startThread(0));
        ASSERT_TRUE(thread.inTail.waitForTrigger(10000));
        EXPECT_FALSE(thread.isThreadRunning());

        std::atomic<bool> stopped{false};
        bool tailDoneAtStop = false;
        std::thread stopper(
            [&]
            {
                EXPECT_TRUE(thread.stopThreadNow(10));
                tailDoneAtStop = thread.tailDone;
                stopped = true;
            });
        // Only a chance for a premature answer to show; the order is checked below.
        vx::Thread::sleep(20);
        EXPECT_FALSE(stopped);
        thread.mayLeave.trigger();
        stopper.join();
        EXPECT_TRUE(tailDoneAtStop);
    }

    TEST(Thread, StopCalledOnTheThreadItselfOnlyRequests)
    {
        ScriptedThread thread(ScriptedThread::Body::stopItself);
        ASSERT_TRUE(thread.startThread(0));
        while (thread.isThreadRunning())
            vx::Thread::sleep(1);
        EXPECT_FALSE(thread.selfStopAnswer);
        EXPECT_EQ(thread.runsEnded, 1);
        EXPECT_TRUE(thread.stopThreadNow());
    }

    TEST(Thread, OsNameIsCutButTheThreadKeepsItsName)
    {
        const std::string longName = "a thread name longer than fifteen";
        ScriptedThread thread(ScriptedThread::Body::returnAtOnce, longName);
        ASSERT_TRUE(thread.startThread(0));
        thread.waitUntilStarted();
        EXPECT_TRUE(thread.stopThreadNow(30000));
        EXPECT_EQ(thread.osName, longName.substr(0, 15));
        EXPECT_EQ(thread.getThreadName(), longName);
    }

    // Anyone may look a thread up by its name as soon as it was started, before
    // the thread has done anything itself.
    TEST(Thread, StartedThreadCarriesItsNameBeforeItRuns)
    {
        const std::string longName = "named by its starter";
        ScriptedThread thread(ScriptedThread::Body::returnAtOnce, longName);
        SelfNamingHold hold(longName);
        ASSERT_TRUE(thread.startThread(0));
        pthread_t handle{};
        ASSERT_TRUE(hold.waitUntilHeld(handle));
        char osName[16] = {};
        ASSERT_EQ(pthread_getname_np(handle, osName, sizeof(osName)), 0);
        EXPECT_EQ(std::string(osName), longName.substr(0, 15));
        hold.release();
        thread.waitUntilStarted();
        EXPECT_TRUE(thread.stopThreadNow(30000));
        EXPECT_EQ(thread.osName, longName.substr(0, 15));
    }

    TEST(Thread, PriorityIsClampedAndNormalSchedulingAlwaysAvailable)
    {
        ScriptedThread thread(ScriptedThread::Body::pollStopFlag);
        EXPECT_FALSE(thread.setPriority(0)) << "no thread to apply it to";
        ASSERT_TRUE(thread.startThread(0));
        thread.waitUntilStarted();
        EXPECT_TRUE(thread.setPriority(0));
        EXPECT_TRUE(thread.setPriority(-3));
        // Round-robin may be refused without privileges; 11 acts as 10 either way.
        EXPECT_EQ(thread.setPriority(11), thread.setPriority(10));
        EXPECT_TRUE(thread.isThreadRunning());
        EXPECT_TRUE(thread.stopThreadNow(30000));
    }

    TEST(Thread, IdentitiesAnswerFalseUntilSetAndOnlyOnTheirThread)
    {
        EXPECT_FALSE(vx::Thread::isThisMessageThread());
        EXPECT_FALSE(vx::Thread::isThisAudioThread());
        EXPECT_FALSE(vx::Thread::isThisRenderThread());
        EXPECT_FALSE(vx::Thread::isThisControlThread());

        vx::Thread::renderThreadID = vx::Thread::getCurrentThreadID();
        EXPECT_TRUE(vx::Thread::isThisRenderThread());
        EXPECT_FALSE(vx::Thread::isThisMessageThread());
        bool elsewhere = true;
        std::thread other([&] { elsewhere = vx::Thread::isThisRenderThread(); });
        other.join();
        EXPECT_FALSE(elsewhere);
        vx::Thread::renderThreadID = nullptr;
        EXPECT_FALSE(vx::Thread::isThisRenderThread());
    }

    TEST(System, ParallelThreadsNeverZero)
    {
        EXPECT_GE(vx::System::getNumParallelThreads(), 1u);
    }

    TEST(WaitableEvent, PendingTriggerLetsExactlyTheNextWaitThrough)
    {
        vx::WaitableEvent event;
        EXPECT_FALSE(event.waitForTrigger(0));
        event.trigger();
        EXPECT_TRUE(event.waitForTrigger(0));
        EXPECT_FALSE(event.waitForTrigger(0));

        event.trigger();
        event.reset();
        EXPECT_FALSE(event.waitForTrigger(0));

        event.trigger();
        EXPECT_TRUE(event.waitForTrigger());
        // A timed-out wait leaves a later trigger pending.
        EXPECT_FALSE(event.waitForTrigger(10));
        event.trigger();
        EXPECT_TRUE(event.waitForTrigger(0));
    }

    // Two events passed back and forth: a lost wake-up or a trigger that lets two
    // waits through breaks the strict alternation.
    TEST(WaitableEvent, PingPongAlternatesStrictly)
    {
        vx::WaitableEvent ping;
        vx::WaitableEvent pong;
        constexpr int rounds = 2000;
        int shared = 0;
        std::thread partner(
            [&]
            {
                for (int i = 0; i < rounds; ++i)
                {
                    ping.waitForTrigger();
                    EXPECT_EQ(shared, 2 * i + 1);
                    ++shared;
                    pong.trigger();
                }
            });
        for (int i = 0; i < rounds; ++i)
        {
            EXPECT_EQ(shared, 2 * i);
            ++shared;
            ping.trigger();
            pong.waitForTrigger();
        }
        partner.join();
        EXPECT_EQ(shared, 2 * rounds);
    }

} // namespace
