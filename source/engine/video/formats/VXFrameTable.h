#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace vx
{
    // A fixed pool of equally sized frame buffers in one zeroed allocation,
    // handed out from a free list without further allocation: a free frame's
    // first machine word holds the address of the next free one. At most 255
    // frames. Any thread may take and give back frames.
    class FrameAllocator
    {
    public:
        FrameAllocator(unsigned char numFrames, std::size_t frameSize);
        virtual ~FrameAllocator();
        FrameAllocator(const FrameAllocator&) = delete;
        FrameAllocator& operator=(const FrameAllocator&) = delete;

        // A free frame, or null when the pool is empty.
        virtual unsigned char* getFrame();
        // Gives a frame of this pool back (it is handed out next); pointers
        // from elsewhere are ignored.
        virtual void releaseFrame(unsigned char* frame);

        // A new block of n frames, all free; false (nothing changed) while a
        // frame is handed out or without memory.
        bool allocate(unsigned char n);
        // Grows the block to n frames keeping the free list; false (nothing
        // changed) while a frame is handed out, for n below the count, or
        // without memory.
        bool reallocate(unsigned char n);

        bool containsFrame(const unsigned char* frame) const;
        unsigned getNumFrames() const { return numFrames; }
        unsigned getNumFreeFrames() const;
        std::size_t getFrameSize() const { return frameSize; }

    private:
        void initFreeFramePointers(unsigned first);
        std::size_t slotSize() const;

        mutable std::mutex lock;
        std::size_t frameSize;
        unsigned numFrames = 0;
        unsigned freeFrames = 0;
        unsigned char* block = nullptr;
        unsigned char* freeHead = nullptr;
    };

    // One buffered frame: its number, the decoded bytes once published (null
    // when the frame could not be decoded) and whether a task is on its way
    // to decode it. Published data goes back to the pool when the entry goes.
    class FrameTableEntry
    {
    public:
        FrameTableEntry(unsigned frameNumber, std::shared_ptr<FrameAllocator> allocator);
        ~FrameTableEntry();
        FrameTableEntry(const FrameTableEntry&) = delete;
        FrameTableEntry& operator=(const FrameTableEntry&) = delete;

        void setTask(bool task = true) { hasTaskFlag.store(task); }
        bool hasTask() const { return hasTaskFlag.load(); }

        // Publishes data (null: the frame has no data) and wakes every waiter;
        // data published before goes back to the pool.
        void setFrameData(unsigned char* data);
        // Waits until data is published and answers it.
        unsigned char* getFrameData() const;
        // The same, null when nothing is published within timeoutMs.
        unsigned char* getFrameData(unsigned timeoutMs) const;
        // Published and not null, without waiting.
        bool hasData() const;
        bool isPublished() const;
        // Unpublishes (waiters wait for the next publication); keeps data.
        void rearm();
        unsigned getFrameNumber() const { return frameNumber; }

    private:
        mutable std::mutex lock;
        mutable std::condition_variable ready;
        unsigned frameNumber;
        std::shared_ptr<FrameAllocator> allocator;
        unsigned char* data = nullptr;
        bool published = false;
        std::atomic<bool> hasTaskFlag{false};
    };

    // The buffered frames of one reader, indexed by frame number 0..maxIndex,
    // over one pool. Not locked itself: its owner guards membership. Entries
    // are shared so that a reader of one (getFrame) keeps it alive after it
    // leaves the table; leaving the table publishes an unpublished entry as
    // having no data, so nobody waits for it for ever.
    class FrameTable
    {
    public:
        using EntryPtr = std::shared_ptr<FrameTableEntry>;

        FrameTable(unsigned maxIndex, std::shared_ptr<FrameAllocator> allocator);
        // A pool of twice the block (at most 255 frames).
        FrameTable(unsigned maxIndex, int blockLength, std::size_t frameSize);
        ~FrameTable();
        FrameTable(const FrameTable&) = delete;
        FrameTable& operator=(const FrameTable&) = delete;

        // A new entry for frame i, replacing any; null beyond maxIndex.
        EntryPtr addFrame(unsigned i);
        bool contains(unsigned i) const;
        // Null when absent.
        EntryPtr getFrame(unsigned i) const;

        unsigned char* getFreeFrame();
        void releaseFrame(unsigned char* data);

        // The first frame without an entry, walking length frames from start
        // and wrapping past maxIndex; when all have entries, the frame after
        // the last one walked (not wrapped). A length below 1 answers start.
        unsigned getFirstNotBufferedFrameOfBlock(unsigned start, int length) const;
        // first as above; last = the end of the run of frames without entries
        // that follows it.
        void getNotBufferedBoundariesInBlock(unsigned start, int length, unsigned& first, unsigned& last) const;

        // Removal; with wait, each frame's data is waited for first (only for
        // frames whose decode is on its way).
        void clearAllFrames(bool wait);
        void clearBefore(unsigned i);
        void clearAfter(unsigned i);
        // Entries strictly after a and strictly before b, going forward and
        // wrapping past maxIndex.
        void clearBetween(unsigned a, unsigned b, bool wait);

        unsigned getMaxIndex() const { return maxIndex; }
        unsigned getNumEntries() const;
        FrameAllocator& getAllocator() const { return *allocator; }

    private:
        void remove(unsigned i, bool wait);

        std::vector<EntryPtr> entries;
        unsigned maxIndex;
        std::shared_ptr<FrameAllocator> allocator;
    };
}
