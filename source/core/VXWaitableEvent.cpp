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
        pthread_mutex_lock(&mutex);
        ++waiters;
        while (!triggered)
            pthread_cond_wait(&condition, &mutex);
        leave();
        pthread_mutex_unlock(&mutex);
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

        pthread_mutex_lock(&mutex);
        ++waiters;
        while (!triggered)
        {
            if (pthread_cond_timedwait(&condition, &mutex, &deadline) == ETIMEDOUT && !triggered)
            {
                --waiters;
                pthread_mutex_unlock(&mutex);
                return false;
            }
        }
        leave();
        pthread_mutex_unlock(&mutex);
        return true;
    }

private:
    // The last waiter to leave clears the trigger, so one trigger releases
    // everyone waiting at that moment.
    void leave()
    {
        --waiters;
        if (!manualReset && waiters == 0)
            triggered = false;
    }

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
