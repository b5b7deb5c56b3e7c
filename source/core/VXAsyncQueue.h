#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXScopedLock.h"

#include <cstdint>
#include <vector>

namespace vx
{

    /** Hands items from any number of producers to one consumer. */
    template <typename T>
    class AsyncQueue
    {
    public:
        void push(const T& item)
        {
            ScopedLock hold(lock);
            items[writeIndex].push_back(item);
        }

        /** The items pushed since the previous pop, in push order. The answer
            stays valid (and is the consumer's) until the next pop. */
        std::vector<T>& pop()
        {
            // Only the consumer writes the index and touches the other vector (the
            // batch the previous pop answered), so neither needs the lock here.
            const std::uint8_t other = static_cast<std::uint8_t>(1 - writeIndex);
            items[other].clear();
            ScopedLock hold(lock);
            const std::uint8_t written = writeIndex;
            writeIndex = other;
            return items[written];
        }

    private:
        CriticalSection lock;
        std::uint8_t writeIndex = 0;
        std::vector<T> items[2];
    };

} // namespace vx
