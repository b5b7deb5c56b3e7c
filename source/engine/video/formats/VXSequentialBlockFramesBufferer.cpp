#include "engine/video/formats/VXSequentialBlockFramesBufferer.h"

#include "core/VXTask.h"
#include "core/VXTaskManager.h"
#include "engine/video/formats/VXFrameSource.h"

#include <algorithm>

namespace vx
{
    bool SequentialBlockFramesBufferer::TaskQueue::CompareFramesPriority::test(const Entry& a, const Entry& b) const
    {
        return distance(b.first) < distance(a.first);
    }

    unsigned SequentialBlockFramesBufferer::TaskQueue::CompareFramesPriority::distance(unsigned frame) const
    {
        const unsigned d = frame > *current ? frame - *current : *current - frame;
        return total > d ? std::min(d, total - d) : d;
    }

    namespace
    {
        // The queue's heap order over its entries.
        auto heapOrder(const SequentialBlockFramesBufferer::TaskQueue::CompareFramesPriority& order)
        {
            return [&order](const auto& a, const auto& b) { return order.test({a.frame, a.task}, {b.frame, b.task}); };
        }
    }

    bool oneBehindFourInFrontPredicate(unsigned frame, unsigned current)
    {
        const bool above = current == 0 || frame + 1 >= current;
        return above && frame <= current + 4;
    }

    SequentialBlockFramesBufferer::SequentialBlockFramesBufferer(unsigned behind, unsigned ahead, bool enable,
                                                                 FrameSource& frameSource)
        : FramesBufferer(frameSource),
          framesBehind(behind),
          framesAhead(ahead),
          total(frameSource.getTotalFrames()),
          frameSize(frameSource.getFrameSize()),
          enabled(enable),
          taskManager(TaskManager::getCurrent()),
          liveTasks(std::make_shared<std::atomic<int>>(0))
    {
        if (static_cast<unsigned long long>(framesBehind) + framesAhead + 1 > total)
        {
            framesBehind = 0;
            framesAhead = total > 0 ? total - 1 : 0;
        }
        savedBehind = framesBehind;
        savedAhead = framesAhead;
    }

    SequentialBlockFramesBufferer::~SequentialBlockFramesBufferer()
    {
        clearBuffer();
        inUse.reset();
    }

    bool SequentialBlockFramesBufferer::inBlock(unsigned frame, unsigned start, unsigned end) const
    {
        return start <= end ? frame >= start && frame <= end : frame >= start || frame <= end;
    }

    void SequentialBlockFramesBufferer::frameRequested(unsigned frame)
    {
        prepareFramesAround(frame);
    }

    Task* SequentialBlockFramesBufferer::makeTaskLocked(std::function<void()> function)
    {
        // The token goes when the task manager destroys the task, run or not.
        std::shared_ptr<void> token(nullptr, [counter = liveTasks](void*) { counter->fetch_sub(1); });
        liveTasks->fetch_add(1);
        tasksMade.fetch_add(1, std::memory_order_relaxed);
        return taskManager->constructTask(
            TaskThreadMode::Threaded, 0, [function = std::move(function), token] { function(); }, false);
    }

    bool SequentialBlockFramesBufferer::isCoveredLocked(unsigned frame) const
    {
        if (running.task != nullptr && running.isBlock && inBlock(frame, running.blockStart, running.blockEnd))
            return true;
        return std::any_of(queue.begin(), queue.end(), [&](const QueuedTask& q)
                           { return q.isBlock && inBlock(frame, q.blockStart, q.blockEnd); });
    }

    void SequentialBlockFramesBufferer::abandonUncoveredLocked(unsigned start, unsigned end)
    {
        if (table == nullptr || start > table->getMaxIndex() || end > table->getMaxIndex())
            return;
        for (unsigned frame = start, steps = 0; steps <= table->getMaxIndex(); ++steps)
        {
            FrameTable::EntryPtr entry = table->getFrame(frame);
            if (entry != nullptr && ! entry->hasTask() && ! entry->isPublished() && ! isCoveredLocked(frame))
                entry->setFrameData(nullptr);
            if (frame == end)
                break;
            frame = frame >= table->getMaxIndex() ? 0 : frame + 1;
        }
    }

    void SequentialBlockFramesBufferer::dropLocked(const QueuedTask& dropped)
    {
        // Called once the task is out of the queue and running slots.
        if (dropped.isBlock)
        {
            abandonUncoveredLocked(dropped.blockStart, dropped.blockEnd);
            return;
        }
        FrameTable::EntryPtr entry = table != nullptr ? table->getFrame(dropped.frame) : nullptr;
        if (entry != nullptr && ! entry->isPublished())
        {
            entry->setTask(false);
            if (! isCoveredLocked(dropped.frame))
                entry->setFrameData(nullptr);
        }
    }

    void SequentialBlockFramesBufferer::rebuildHeapLocked()
    {
        const TaskQueue::CompareFramesPriority order{&current, total};
        std::make_heap(queue.begin(), queue.end(), heapOrder(order));
    }

    void SequentialBlockFramesBufferer::prepareFramesAround(unsigned frame)
    {
        std::unique_lock<std::mutex> hold(queueLock);
        if (taskManager == nullptr || total == 0 || stopping || frame >= total)
            return;
        const unsigned behind = framesBehind, ahead = framesAhead;
        const int blockLength = static_cast<int>(behind + ahead + 1);
        if (table == nullptr)
            table = std::make_unique<FrameTable>(total - 1, blockLength, frameSize);

        const unsigned blockStart = static_cast<unsigned>((frame + total - behind % total) % total);
        const unsigned blockEnd = static_cast<unsigned>((static_cast<unsigned long long>(frame) + ahead) % total);
        const bool currentChanged = current != frame;
        current = frame;

        // Work is needed for a frame without an entry, one whose decode
        // failed or was given up, or one that nothing will fill.
        unsigned firstNeeding = total;
        for (unsigned k = 0, x = blockStart; k < static_cast<unsigned>(blockLength); ++k, x = (x + 1) % total)
        {
            FrameTable::EntryPtr entry = table->getFrame(x);
            const bool needs = entry == nullptr || (entry->isPublished() && ! entry->hasData() && ! entry->hasTask()) ||
                               (! entry->isPublished() && ! entry->hasTask() && ! isCoveredLocked(x));
            if (needs)
            {
                firstNeeding = x;
                break;
            }
        }
        if (firstNeeding == total)
        {
            if (currentChanged)
                rebuildHeapLocked();
            return;
        }

        const TaskQueue::CompareFramesPriority order{&current, total};
        QueuedTask block;
        block.frame = table->getFirstNotBufferedFrameOfBlock(blockStart, blockLength);
        if (block.frame >= total || table->contains(block.frame))
            block.frame = firstNeeding;
        block.isBlock = true;
        block.blockStart = blockStart;
        block.blockEnd = blockEnd;
        block.task = makeTaskLocked([this, blockStart, blockEnd, frame] { clearFrames(blockStart, blockEnd, frame); });

        for (unsigned k = 0, x = blockStart; k < static_cast<unsigned>(blockLength); ++k, x = (x + 1) % total)
        {
            FrameTable::EntryPtr entry = table->getFrame(x);
            if (entry == nullptr)
                table->addFrame(x);
            else if (entry->isPublished() && ! entry->hasData() && ! entry->hasTask())
                entry->rearm(); // decoded again by this block
        }

        if (running.task == nullptr)
        {
            running = block;
            block.task->setPriority(static_cast<signed char>(std::min(order.distance(block.frame), 127u)));
            taskManager->queueTask(block.task);
            return;
        }

        bool tookBack = false;
        QueuedTask previous = running;
        if (inBlock(running.frame, blockStart, blockEnd))
            running.task->setPriority(static_cast<signed char>(std::min(order.distance(running.frame), 127u)));
        else if (taskManager->unqueueTask(*running.task, false))
        {
            running = QueuedTask();
            tookBack = true;
        }

        queue.push_back(block);
        rebuildHeapLocked();
        if (tookBack)
        {
            dropLocked(previous);
            prepareTaskFinishedLocked();
        }
    }

    void SequentialBlockFramesBufferer::clearFrames(unsigned blockStart, unsigned blockEnd, unsigned)
    {
        int length = 0;
        {
            std::unique_lock<std::mutex> hold(queueLock);
            const QueuedTask self = running;
            if (stopping || table == nullptr || ! inBlock(current, blockStart, blockEnd))
            {
                // Stale: the playhead left this block. Its frames that no
                // other work covers are given up.
                running = QueuedTask();
                abandonUncoveredLocked(self.blockStart, self.blockEnd);
                prepareTaskFinishedLocked();
                return;
            }

            std::vector<QueuedTask> kept, dropped;
            for (const QueuedTask& q : queue)
                (inBlock(q.frame, blockStart, blockEnd) ? kept : dropped).push_back(q);
            queue = std::move(kept);
            for (const QueuedTask& q : dropped)
                taskManager->destructTask(q.task);
            for (const QueuedTask& q : dropped)
                dropLocked(q);
            rebuildHeapLocked();
            // Frames outside the block go back to the pool.
            table->clearBetween(blockEnd, blockStart, false);
            length = static_cast<int>(framesBehind + framesAhead + 1);
        }
        queuePrepareFrameBlock(blockStart, length);
    }

    void SequentialBlockFramesBufferer::queuePrepareFrameBlock(unsigned start, int length)
    {
        std::unique_lock<std::mutex> hold(queueLock);
        if (! readyToQueue || ! enabled || stopping || length < 1 || table == nullptr)
        {
            const QueuedTask self = running;
            running = QueuedTask();
            if (self.isBlock)
                abandonUncoveredLocked(self.blockStart, self.blockEnd);
            prepareTaskFinishedLocked();
            return;
        }

        std::vector<unsigned> missing;
        for (int k = 0; k < length; ++k)
        {
            const unsigned frame = static_cast<unsigned>((static_cast<unsigned long long>(start) + k) % total);
            FrameTable::EntryPtr entry = table->getFrame(frame);
            if (entry == nullptr)
                entry = table->addFrame(frame);
            if (entry->hasTask() || entry->hasData())
                continue;
            entry->setTask(true);
            entry->rearm();
            missing.push_back(frame);
        }
        if (missing.empty())
        {
            prepareTaskFinishedLocked();
            return;
        }

        // The frame closest to the playhead is decoded by this task itself:
        // playing on, a step leaves one frame to decode and costs one task.
        const TaskQueue::CompareFramesPriority order{&current, total};
        const auto closest = std::min_element(missing.begin(), missing.end(), [&](unsigned a, unsigned b)
                                              { return order.distance(a) < order.distance(b); });
        const unsigned inlineFrame = *closest;
        missing.erase(closest);
        for (const unsigned frame : missing)
        {
            QueuedTask work;
            work.frame = frame;
            work.task = makeTaskLocked([this, frame] { doPrepareFrames(frame, 1); });
            queue.push_back(work);
        }
        rebuildHeapLocked();
        hold.unlock();
        doPrepareFrames(inlineFrame, 1);
    }

    void SequentialBlockFramesBufferer::doPrepareFrames(unsigned first, int count)
    {
        if (first == total)
            first = 0;
        int prepared = count;
        if (! source.prepareFrames(first, prepared, nullptr))
            prepared = 0;
        prepared = std::clamp(prepared, 0, count);

        std::vector<unsigned char*> frames;
        {
            std::unique_lock<std::mutex> hold(queueLock);
            for (int j = 0; j < prepared && table != nullptr; ++j)
            {
                unsigned char* frame = table->getFreeFrame();
                if (frame == nullptr)
                    break; // the pool ran dry
                frames.push_back(frame);
            }
        }

        std::vector<char> decoded(frames.size(), 0);
        for (std::size_t j = 0; j < frames.size(); ++j)
        {
            unsigned char* target = frames[j];
            decoded[j] = source.decompressPreparedFrame(static_cast<int>(j), &target) && target == frames[j];
        }

        std::unique_lock<std::mutex> hold(queueLock);
        for (int j = 0; j < count; ++j)
        {
            const unsigned frameNumber = static_cast<unsigned>((static_cast<unsigned long long>(first) + j) % total);
            FrameTable::EntryPtr entry = table != nullptr ? table->getFrame(frameNumber) : nullptr;
            const bool have = static_cast<std::size_t>(j) < frames.size();
            if (have && decoded[j] && entry != nullptr)
            {
                entry->setFrameData(frames[j]);
                continue;
            }
            if (have && table != nullptr)
                table->releaseFrame(frames[j]);
            if (entry != nullptr && ! entry->hasData())
            {
                // No data for this frame this time; a later request retries it.
                entry->setTask(false);
                entry->setFrameData(nullptr);
            }
        }
        prepareTaskFinishedLocked();
    }

    void SequentialBlockFramesBufferer::prepareTaskFinishedLocked()
    {
        running = QueuedTask();
        if (! enabled || stopping)
        {
            std::vector<QueuedTask> dropped = std::move(queue);
            queue.clear();
            for (const QueuedTask& q : dropped)
                taskManager->destructTask(q.task);
            for (const QueuedTask& q : dropped)
                dropLocked(q);
        }
        if (queue.empty())
        {
            idleChanged.notify_all();
            return;
        }
        const TaskQueue::CompareFramesPriority order{&current, total};
        std::pop_heap(queue.begin(), queue.end(), heapOrder(order));
        running = queue.back();
        queue.pop_back();
        running.task->setPriority(static_cast<signed char>(std::min(order.distance(running.frame), 127u)));
        taskManager->queueTask(running.task);
    }

    unsigned char* SequentialBlockFramesBufferer::getFrame(unsigned frame)
    {
        FrameTable::EntryPtr entry;
        {
            std::unique_lock<std::mutex> hold(queueLock);
            if (table != nullptr)
                entry = table->getFrame(frame);
        }
        if (entry == nullptr)
            return nullptr;
        // Outside the lock: the decode publishes under it.
        unsigned char* data = entry->getFrameData();
        inUse = std::move(entry);
        return data;
    }

    void SequentialBlockFramesBufferer::releaseFrame()
    {
        inUse.reset();
    }

    void SequentialBlockFramesBufferer::clearBufferLocked(std::unique_lock<std::mutex>& hold)
    {
        stopping = true;
        std::vector<QueuedTask> dropped = std::move(queue);
        queue.clear();
        if (taskManager != nullptr)
            for (const QueuedTask& q : dropped)
                taskManager->destructTask(q.task);
        idleChanged.wait(hold, [this] { return running.task == nullptr; });
        table.reset();
        stopping = false;
    }

    void SequentialBlockFramesBufferer::clearBuffer()
    {
        std::unique_lock<std::mutex> hold(queueLock);
        clearBufferLocked(hold);
    }

    void SequentialBlockFramesBufferer::waitUntilIdle()
    {
        std::unique_lock<std::mutex> hold(queueLock);
        idleChanged.wait(hold, [this] { return running.task == nullptr && queue.empty(); });
    }

    void SequentialBlockFramesBufferer::playbackDirectionChanged(ParamPlayDirection direction)
    {
        std::unique_lock<std::mutex> hold(queueLock);
        const int d = static_cast<int>(direction);
        if (d == playBackward || d == playForward)
        {
            if (framesBehind == savedBehind && framesAhead == savedAhead)
                return;
            clearBufferLocked(hold);
            framesBehind = savedBehind;
            framesAhead = savedAhead;
        }
        else if (d == playRandom || d == 4)
        {
            clearBufferLocked(hold);
            // Saved only from the full block, so a second random request
            // keeps what the first saved.
            if (framesBehind != 0 || framesAhead != 0)
            {
                savedBehind = framesBehind;
                savedAhead = framesAhead;
            }
            framesBehind = 0;
            framesAhead = 0;
        }
        else
            return;
        hold.unlock();
        initializeBuffer();
    }

    bool SequentialBlockFramesBufferer::needsMoreFrames(int a, int b, int c)
    {
        const unsigned ua = static_cast<unsigned>(a), ub = static_cast<unsigned>(b), uc = static_cast<unsigned>(c);
        if (ub != 0 && ub - framesBehind > ua)
            return ub - 1 - uc + framesAhead >= ua;
        if (framesAhead + ub >= ua)
            return true;
        return ub - 1 - uc + framesAhead >= ua;
    }

    void SequentialBlockFramesBufferer::loadFrameTable(unsigned maxIndex, int blockLength, std::size_t size)
    {
        std::unique_lock<std::mutex> hold(queueLock);
        table = std::make_unique<FrameTable>(maxIndex, blockLength, size);
    }

    void SequentialBlockFramesBufferer::loadFrameTable(unsigned maxIndex, std::shared_ptr<FrameAllocator> allocator)
    {
        std::unique_lock<std::mutex> hold(queueLock);
        table = std::make_unique<FrameTable>(maxIndex, std::move(allocator));
    }

    unsigned char* SequentialBlockFramesBufferer::getFreeFrame()
    {
        std::unique_lock<std::mutex> hold(queueLock);
        return table != nullptr ? table->getFreeFrame() : nullptr;
    }

    void SequentialBlockFramesBufferer::setBufferSize(std::size_t size)
    {
        std::unique_lock<std::mutex> hold(queueLock);
        frameSize = size;
        readyToQueue = true;
    }

    unsigned SequentialBlockFramesBufferer::getFramesBehind() const
    {
        std::unique_lock<std::mutex> hold(queueLock);
        return framesBehind;
    }

    unsigned SequentialBlockFramesBufferer::getFramesAhead() const
    {
        std::unique_lock<std::mutex> hold(queueLock);
        return framesAhead;
    }

    unsigned SequentialBlockFramesBufferer::getCurrentFrame() const
    {
        std::unique_lock<std::mutex> hold(queueLock);
        return current;
    }

    unsigned SequentialBlockFramesBufferer::getNumBufferedFrames() const
    {
        std::unique_lock<std::mutex> hold(queueLock);
        return table != nullptr ? table->getNumEntries() : 0;
    }

    unsigned SequentialBlockFramesBufferer::getNumFreePoolFrames() const
    {
        std::unique_lock<std::mutex> hold(queueLock);
        return table != nullptr ? table->getAllocator().getNumFreeFrames() : 0;
    }

    int SequentialBlockFramesBufferer::getNumLiveTasks() const
    {
        return liveTasks->load();
    }

    unsigned long long SequentialBlockFramesBufferer::getNumTasksMade() const
    {
        return tasksMade.load(std::memory_order_relaxed);
    }
}
