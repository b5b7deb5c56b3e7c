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

    bool ReadWriteCriticalSection::tryEnterRead() const
    {
        void* const me = Thread::getCurrentThreadID();
        record->lock.enter();
        for (ReentryCount& reader : record->readers)
        {
            if (reader.threadID == me)
            {
                ++reader.count;
                record->lock.exit();
                return true;
            }
        }
        if (record->writerCount + record->waitingWriters == 0 || record->writerID == me)
        {
            record->readers.push_back({me, 1});
            record->lock.exit();
            return true;
        }
        record->lock.exit();
        return false;
    }

    void ReadWriteCriticalSection::enterRead() const
    {
        while (! tryEnterRead())
            record->event.waitForTrigger(pollIntervalMs);
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
        record->lock.exit();
        if (released)
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
        record->lock.exit();
        if (released)
            record->event.trigger();
    }

} // namespace vx
