#pragma once

#include "core/VXSpinLock.h"
#include "core/VXWaitableEvent.h"

#include <cstdint>
#include <vector>

namespace vx
{

    /** One thread's hold on a lock and how often it entered. */
    struct ReentryCount
    {
        void* threadID = nullptr;
        std::uint32_t count = 0;
    };

    /** A reader/writer lock, re-entrant per thread for both sides. The writer may
        also read; a sole reader may upgrade to writer; waiting writers keep new
        reader threads out (a thread already reading always re-enters). Two readers
        that both try to upgrade wait for each other: callers must not do that.
        Blocked threads wait on an event and re-check at least every 100 ms. */
    class ReadWriteCriticalSection
    {
    public:
        ReadWriteCriticalSection();
        virtual ~ReadWriteCriticalSection();
        ReadWriteCriticalSection(const ReadWriteCriticalSection&) = delete;
        ReadWriteCriticalSection& operator=(const ReadWriteCriticalSection&) = delete;

        bool tryEnterRead() const;
        void enterRead() const;
        /** Logs an error and changes nothing when the caller holds no read entry. */
        void exitRead() const;

        bool tryEnterWrite() const;
        void enterWrite() const;
        /** Logs an error and changes nothing when the caller is not the writer. */
        void exitWrite() const;

    private:
        struct Record
        {
            WaitableEvent event;
            SpinLock lock;
            std::uint32_t waitingWriters = 0;
            std::uint32_t waitingReaders = 0; // releases trigger the event only when someone waits
            void* writerID = nullptr;
            std::uint32_t writerCount = 0;
            std::vector<ReentryCount> readers;
        };

        // Under the record's lock; admitRead takes the read entry when it answers true.
        bool admitRead(void* threadID) const;
        bool canWrite(void* threadID) const;

        Record* record;
    };

} // namespace vx
