#pragma once

#include "core/VXScopedLock.h"
#include "core/VXSpinLock.h"

namespace vx
{
    // Hands the newest of a stream of snapshots from one producer thread to
    // one consumer thread: the producer fills the slot at the write index
    // and publishes it by flipping the index; the consumer copies the slot
    // published last. A snapshot published before the previous one was
    // consumed replaces it. Both sides copy under the spin lock, so the
    // copies must be short and must not block.
    template <typename T>
    class PingPongBuffer
    {
    public:
        void publish(const T& snapshot)
        {
            const ScopedSpinLock hold(lock);
            slots[writeIndex] = snapshot;
            writeIndex = 1 - writeIndex;
            hasNewValues = true;
        }

        // Copies the newest unconsumed snapshot into out; false (out
        // untouched) when there is none.
        bool consume(T& out)
        {
            const ScopedSpinLock hold(lock);
            if (! hasNewValues)
                return false;
            out = slots[1 - writeIndex];
            hasNewValues = false;
            return true;
        }

    private:
        T slots[2];
        int writeIndex = 0;
        bool hasNewValues = false;
        SpinLock lock;
    };
}
