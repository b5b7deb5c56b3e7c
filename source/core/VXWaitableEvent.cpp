#include "core/VXWaitableEvent.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <pthread.h>

namespace vx
{

    class WaitableEventImpl
    {
    public:
        WaitableEventImpl()
        {
            // Deadlines are measured on the monotonic clock, so a change of the
            // wall clock neither shortens nor stretches a timed wait.
            pthread_condattr_t conditionAttributes;
            pthread_condattr_init(&conditionAttributes);
            pthread_condattr_setclock(&conditionAttributes, CLOCK_MONOTONIC);
            pthread_cond_init(&condition, &conditionAttributes);
            pthread_condattr_destroy(&conditionAttributes);

            pthread_mutexattr_t mutexAttributes;
            pthread_mutexattr_init(&mutexAttributes);
            pthread_mutexattr_setprotocol(&mutexAttributes, PTHREAD_PRIO_INHERIT);
            pthread_mutex_init(&mutex, &mutexAttributes);
            pthread_mutexattr_destroy(&mutexAttributes);
        }

        ~WaitableEventImpl()
        {
            pthread_cond_destroy(&condition);
            pthread_mutex_destroy(&mutex);
        }

        void trigger()
        {
            pthread_mutex_lock(&mutex);
            triggered = true;
            pthread_cond_broadcast(&condition);
            pthread_mutex_unlock(&mutex);
        }

        void reset()
        {
            pthread_mutex_lock(&mutex);
            triggered = false;
            pthread_mutex_unlock(&mutex);
        }

        bool wait()
        {
            WaitScope scope(*this);
            while (! triggered)
                pthread_cond_wait(&condition, &mutex);
            scope.passed = true;
            return true;
        }

        bool wait(unsigned int timeoutMs)
        {
            timespec deadline{};
            clock_gettime(CLOCK_MONOTONIC, &deadline);
            deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
            deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
            if (deadline.tv_nsec >= 1000000000L)
            {
                deadline.tv_nsec -= 1000000000L;
                ++deadline.tv_sec;
            }

            WaitScope scope(*this);
            while (! triggered)
            {
                if (pthread_cond_timedwait(&condition, &mutex, &deadline) == ETIMEDOUT && ! triggered)
                    return false;
            }
            scope.passed = true;
            return true;
        }

    private:
        // Holds the mutex and counts the caller as a waiter for the wait's span.
        // Leaving it also when a thread is cancelled inside the wait (the unwind
        // runs it with the mutex re-taken) keeps the event usable by others.
        struct WaitScope
        {
            explicit WaitScope(WaitableEventImpl& eventImpl) : impl(eventImpl)
            {
                pthread_mutex_lock(&impl.mutex);
                ++impl.waiters;
            }
            ~WaitScope()
            {
                --impl.waiters;
                // The last waiter let through clears the trigger, so one trigger
                // releases everyone waiting at that moment. A timed-out or
                // cancelled wait leaves it as it is.
                if (passed && ! impl.manualReset && impl.waiters == 0)
                    impl.triggered = false;
                pthread_mutex_unlock(&impl.mutex);
            }
            WaitScope(const WaitScope&) = delete;
            WaitScope& operator=(const WaitScope&) = delete;

            WaitableEventImpl& impl;
            bool passed = false;
        };

        pthread_cond_t condition;
        pthread_mutex_t mutex;
        bool triggered = false;
        bool manualReset = false;
        std::uint32_t waiters = 0;
    };

    class WaitableEvent::SingleWaiter
    {
    public:
        WaitableEventImpl impl;
    };

    WaitableEvent::WaitableEvent() : waiter(new SingleWaiter())
    {
    }

    WaitableEvent::~WaitableEvent()
    {
        delete waiter;
    }

    bool WaitableEvent::waitForTrigger() const
    {
        return waiter->impl.wait();
    }

    bool WaitableEvent::waitForTrigger(unsigned int timeoutMs) const
    {
        return waiter->impl.wait(timeoutMs);
    }

    void WaitableEvent::trigger() const
    {
        waiter->impl.trigger();
    }

    void WaitableEvent::reset() const
    {
        waiter->impl.reset();
    }

} // namespace vx
