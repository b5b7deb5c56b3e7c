#pragma once

namespace vx
{

    // Decides whether a queued task may run now. A refused task stays queued in
    // its place and the queue is fetched again after the retry time-out at most.
    // canExecuteNow is called by the fetching thread with the queue's fetch lock
    // held: it must be quick, and must not fetch from, unqueue from or count the
    // same queue (queueing is fine).
    class TaskGuard
    {
    public:
        virtual ~TaskGuard() = default;

        virtual bool canExecuteNow() = 0;

        unsigned int getRetryTimeout() const { return retryTimeout; }

    protected:
        unsigned int retryTimeout = 10; // ms
    };

} // namespace vx
