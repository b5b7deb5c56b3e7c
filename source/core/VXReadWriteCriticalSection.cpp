#include "core/VXReadWriteCriticalSection.h"

#include "core/VXLog.h"
#include "core/VXThread.h"

#include <algorithm>

namespace vx
{

    namespace
    {
        constexpr unsigned int pollIntervalMs = 100;
    }

    ReadWriteCriticalSection::ReadWriteCriticalSection() : record(new Record())
    {
        record->readers.reserve(16);
    }

    ReadWriteCriticalSection::~ReadWriteCriticalSection()
    {
        delete record;
    }

    // Called under the record's lock; on true the read entry is taken.
    bool ReadWriteCriticalSection::admitRead(void* me) const
    {
        for (ReentryCount& reader : record->readers)
        {
            if (reader.threadID == me)
            {
                ++reader.count;
                return true;
            }
        }
        if (record->writerCount + record->waitingWriters == 0 || record->writerID == me)
        {
            record->readers.push_back({me, 1});
            return true;
        }
        return false;
    }

    bool ReadWriteCriticalSection::tryEnterRead() const
    {
        void* const me = Thread::getCurrentThreadID();
        record->lock.enter();
        const bool admitted = admitRead(me);
        record->lock.exit();
        return admitted;
    }

    void ReadWriteCriticalSection::enterRead() const
    {
        void* const me = Thread::getCurrentThreadID();
        record->lock.enter();
        // Waiters count themselves under the lock before waiting, so a release
        // that sees none needs no trigger; a trigger made before a counted waiter
        // reaches the event stays pending and lets its wait through.
        while (! admitRead(me))
        {
            ++record->waitingReaders;
            record->lock.exit();
            record->event.waitForTrigger(pollIntervalMs);
            record->lock.enter();
            --record->waitingReaders;
        }
        record->lock.exit();
    }

    void ReadWriteCriticalSection::exitRead() const
    {
        void* const me = Thread::getCurrentThreadID();
        record->lock.enter();
        auto mine = std::find_if(record->readers.begin(), record->readers.end(),
                                 [me](const ReentryCount& reader) { return reader.threadID == me; });
        if (mine == record->readers.end())
        {
            record->lock.exit();
            logEscapedError("exitRead", 87, "Trying to release a read lock you dont have.");
            return;
        }
        const bool released = --mine->count == 0;
        if (released)
            record->readers.erase(mine);
        const bool anyoneWaiting = record->waitingReaders + record->waitingWriters != 0;
        record->lock.exit();
        if (released && anyoneWaiting)
            record->event.trigger();
    }

    // Called under the record's lock.
    bool ReadWriteCriticalSection::canWrite(void* me) const
    {
        if (record->writerCount != 0)
            return record->writerID == me;
        return record->readers.empty() || (record->readers.size() == 1 && record->readers.front().threadID == me);
    }

    bool ReadWriteCriticalSection::tryEnterWrite() const
    {
        void* const me = Thread::getCurrentThreadID();
        record->lock.enter();
        const bool admitted = canWrite(me);
        if (admitted)
        {
            ++record->writerCount;
            record->writerID = me;
        }
        record->lock.exit();
        return admitted;
    }

    void ReadWriteCriticalSection::enterWrite() const
    {
        void* const me = Thread::getCurrentThreadID();
        record->lock.enter();
        while (! canWrite(me))
        {
            ++record->waitingWriters;
            record->lock.exit();
            record->event.waitForTrigger(pollIntervalMs);
            record->lock.enter();
            --record->waitingWriters;
        }
        ++record->writerCount;
        record->writerID = me;
        record->lock.exit();
    }

    void ReadWriteCriticalSection::exitWrite() const
    {
        void* const me = Thread::getCurrentThreadID();
        record->lock.enter();
        if (record->writerCount == 0 || record->writerID != me)
        {
            record->lock.exit();
            logEscapedError("exitWrite", 126, "Trying to release a write lock you dont have.");
            return;
        }
        const bool released = --record->writerCount == 0;
        if (released)
            record->writerID = nullptr;
        const bool anyoneWaiting = record->waitingReaders + record->waitingWriters != 0;
        record->lock.exit();
        if (released && anyoneWaiting)
            record->event.trigger();
    }

} // namespace vx
