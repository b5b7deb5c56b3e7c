#include "core/VXScopedLock.h"

#include "core/VXThread.h"

namespace vx
{

    ScopedReadLock::ScopedReadLock(const ReadWriteCriticalSection& lockToHold) : lock(&lockToHold)
    {
        // The audio thread must never sleep on the lock's event.
        if (Thread::isThisAudioThread())
        {
            while (! lock->tryEnterRead())
            {
            }
        }
        else
        {
            lock->enterRead();
        }
    }

} // namespace vx
