#pragma once

#include "core/VXCriticalSection.h"
#include "core/VXReadWriteCriticalSection.h"
#include "core/VXSpinLock.h"

namespace vx
{

    /** Enters a CriticalSection or SpinLock for the guard's lifetime. */
    template <typename LockType>
    class ScopedLockT
    {
    public:
        explicit ScopedLockT(const LockType& lockToHold) : lock(&lockToHold) { lock->enter(); }
        ~ScopedLockT() { lock->exit(); }
        ScopedLockT(const ScopedLockT&) = delete;
        ScopedLockT& operator=(const ScopedLockT&) = delete;

    private:
        const LockType* lock;
    };

    using ScopedLock = ScopedLockT<CriticalSection>;
    using ScopedSpinLock = ScopedLockT<SpinLock>;

    /** Holds the read side. On the audio thread it never sleeps on the lock's
        event: it retries until admitted. */
    class ScopedReadLock
    {
    public:
        explicit ScopedReadLock(const ReadWriteCriticalSection& lockToHold);
        ~ScopedReadLock() { lock->exitRead(); }
        ScopedReadLock(const ScopedReadLock&) = delete;
        ScopedReadLock& operator=(const ScopedReadLock&) = delete;

    private:
        const ReadWriteCriticalSection* lock;
    };

    /** Holds the write side. */
    class ScopedWriteLock
    {
    public:
        explicit ScopedWriteLock(const ReadWriteCriticalSection& lockToHold) : lock(&lockToHold) { lock->enterWrite(); }
        ~ScopedWriteLock() { lock->exitWrite(); }
        ScopedWriteLock(const ScopedWriteLock&) = delete;
        ScopedWriteLock& operator=(const ScopedWriteLock&) = delete;

    private:
        const ReadWriteCriticalSection* lock;
    };

} // namespace vx
