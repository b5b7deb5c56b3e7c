#pragma once

#include "engine/video/formats/VXFrameTable.h"
#include "engine/video/formats/VXFramesBufferer.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vx
{
    class Task;
    class TaskManager;

    // Keeps a block of frames around the requested one (framesBehind before
    // it, framesAhead after it, wrapping at the ends) decoded ahead of time by
    // a chain of tasks on the Threaded queue of the task manager current at
    // construction, closest to the playhead first, into a frame table over a
    // fixed pool of twice the block. A block's own task drops what the
    // playhead left behind and decodes the closest missing frame itself, so
    // playing on costs one task per frame. At most one task of a bufferer is queued
    // with the task manager or running at a time; the rest wait in the
    // bufferer's own queue. Stale work is dropped or taken back, and every
    // dropped task goes back to the task manager's pool.
    //
    // Requests come from one thread at a time (the reader's lock); getFrame
    // and releaseFrame from the render thread, which may wait in getFrame
    // for a frame on its way. A frame whose work was dropped or failed is
    // answered as null, never waited for without end. Without a task manager
    // nothing is buffered and getFrame answers null.
    //
    // The destructor waits for the task in flight; it must not run on a
    // worker that the task would need.
    class SequentialBlockFramesBufferer : public FramesBufferer
    {
    public:
        SequentialBlockFramesBufferer(unsigned framesBehind, unsigned framesAhead, bool enabled,
                                      FrameSource& frameSource);
        ~SequentialBlockFramesBufferer() override;

        void frameRequested(unsigned frame) override;
        // Null when the frame is not in the table; else waits until its decode
        // is published. The entry stays usable until releaseFrame.
        unsigned char* getFrame(unsigned frame) override;
        void releaseFrame() override;
        // Drops queued work, waits for the task in flight, empties the table.
        void clearBuffer() override;
        // 0 and 1 restore the saved block, 2 and 4 buffer only the requested
        // frame; each change starts afresh.
        void playbackDirectionChanged(ParamPlayDirection direction) override;
        virtual bool needsMoreFrames(int a, int b, int c);

        void loadFrameTable(unsigned maxIndex, int blockLength, std::size_t frameSize);
        void loadFrameTable(unsigned maxIndex, std::shared_ptr<FrameAllocator> allocator);
        unsigned char* getFreeFrame();
        void setBufferSize(std::size_t size);

        // Until no task of this bufferer is queued or running.
        void waitUntilIdle();

        unsigned getFramesBehind() const;
        unsigned getFramesAhead() const;
        unsigned getCurrentFrame() const;
        // Entries in the table (0 without a table) and free frames of its pool.
        unsigned getNumBufferedFrames() const;
        unsigned getNumFreePoolFrames() const;
        // Tasks made by this bufferer that the task manager still holds, and
        // all it ever made.
        int getNumLiveTasks() const;
        unsigned long long getNumTasksMade() const;

        // The queue of (frame, task) pairs waiting to be handed to the task
        // manager, kept as a heap.
        struct TaskQueue
        {
            using Entry = std::pair<unsigned, Task*>;

            // The heap order: closest to the current frame on top, by
            // circular distance over total frames.
            struct CompareFramesPriority
            {
                CompareFramesPriority(const unsigned* currentFrame, unsigned totalFrames)
                    : current(currentFrame), total(totalFrames)
                {
                }
                // b's frame strictly closer than a's; the tasks play no part.
                bool test(const Entry& a, const Entry& b) const;
                unsigned distance(unsigned frame) const;

                const unsigned* current;
                unsigned total;
            };
        };

    private:
        struct QueuedTask
        {
            unsigned frame = 0;
            Task* task = nullptr;
            // A block task (clearFrames) covers [blockStart, blockEnd]; a frame
            // task (doPrepareFrames) decodes frame.
            bool isBlock = false;
            unsigned blockStart = 0;
            unsigned blockEnd = 0;
        };

        void prepareFramesAround(unsigned frame);
        void clearFrames(unsigned blockStart, unsigned blockEnd, unsigned frame);
        void queuePrepareFrameBlock(unsigned start, int length);
        void doPrepareFrames(unsigned first, int count);

        // The rest run with the queue lock held.
        void prepareTaskFinishedLocked();
        void rebuildHeapLocked();
        Task* makeTaskLocked(std::function<void()> function);
        void dropLocked(const QueuedTask& queued);
        // Entries of [start, end] with neither data on its way nor a task
        // coming for them are published as having no data.
        void abandonUncoveredLocked(unsigned start, unsigned end);
        bool isCoveredLocked(unsigned frame) const;
        bool inBlock(unsigned frame, unsigned start, unsigned end) const;
        void clearBufferLocked(std::unique_lock<std::mutex>& hold);

        unsigned framesBehind, framesAhead, savedBehind, savedAhead;
        const unsigned total;
        std::size_t frameSize;
        bool readyToQueue = true;
        const bool enabled;
        TaskManager* const taskManager;
        unsigned current = 0;
        bool stopping = false;

        mutable std::mutex queueLock;
        std::condition_variable idleChanged;
        std::vector<QueuedTask> queue;
        QueuedTask running;
        std::unique_ptr<FrameTable> table;
        std::shared_ptr<std::atomic<int>> liveTasks;
        std::atomic<unsigned long long> tasksMade{0};

        // Only the render thread touches the entry it reads.
        FrameTable::EntryPtr inUse;
    };

    // True when frame lies from current - 1 to current + 4 (the lower bound
    // dropped for current 0).
    bool oneBehindFourInFrontPredicate(unsigned frame, unsigned current);
}
