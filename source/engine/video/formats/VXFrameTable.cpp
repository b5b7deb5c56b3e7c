#include "engine/video/formats/VXFrameTable.h"

#include "core/VXLog.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace vx
{
    namespace
    {
        constexpr std::size_t slotAlignment = 16;
    }

    // ---- FrameAllocator

    FrameAllocator::FrameAllocator(unsigned char count, std::size_t size) : frameSize(size)
    {
        allocate(count);
    }

    FrameAllocator::~FrameAllocator()
    {
        std::free(block);
    }

    std::size_t FrameAllocator::slotSize() const
    {
        // Room for the free-list word, and every frame aligned for any sample type.
        const std::size_t size = std::max(frameSize, sizeof(unsigned char*));
        return (size + slotAlignment - 1) / slotAlignment * slotAlignment;
    }

    void FrameAllocator::initFreeFramePointers(unsigned first)
    {
        // Frames first..numFrames-1 are threaded in address order in front of
        // whatever is free already.
        unsigned char* next = freeHead;
        for (unsigned i = numFrames; i-- > first;)
        {
            unsigned char* frame = block + i * slotSize();
            std::memcpy(frame, &next, sizeof(next));
            next = frame;
        }
        freeHead = next;
        freeFrames += numFrames - first;
    }

    bool FrameAllocator::allocate(unsigned char n)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (freeFrames != numFrames)
            return false;
        unsigned char* fresh = n != 0 ? static_cast<unsigned char*>(std::calloc(n, slotSize())) : nullptr;
        if (fresh == nullptr && n != 0)
        {
            logPrint(logError, "FrameAllocator: no memory for %u frames of %zu bytes.", unsigned(n), frameSize);
            return false;
        }
        std::free(block);
        block = fresh;
        numFrames = n;
        freeFrames = 0;
        freeHead = nullptr;
        initFreeFramePointers(0);
        return true;
    }

    bool FrameAllocator::reallocate(unsigned char n)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (freeFrames != numFrames || n < numFrames)
            return false;
        auto* grown = static_cast<unsigned char*>(std::calloc(n, slotSize()));
        if (grown == nullptr && n != 0)
            return false;
        if (block != nullptr)
            std::memcpy(grown, block, numFrames * slotSize());
        // The free-list words point into the old block: move them along.
        unsigned char** link = &freeHead;
        while (*link != nullptr)
        {
            *link = grown + (*link - block);
            link = reinterpret_cast<unsigned char**>(*link);
        }
        std::free(block);
        block = grown;
        const unsigned old = numFrames;
        numFrames = n;
        initFreeFramePointers(old);
        return true;
    }

    unsigned char* FrameAllocator::getFrame()
    {
        std::lock_guard<std::mutex> hold(lock);
        unsigned char* frame = freeHead;
        if (frame == nullptr)
            return nullptr;
        std::memcpy(&freeHead, frame, sizeof(freeHead));
        --freeFrames;
        return frame;
    }

    void FrameAllocator::releaseFrame(unsigned char* frame)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (frame == nullptr || block == nullptr || frame < block || frame >= block + numFrames * slotSize() ||
            (frame - block) % slotSize() != 0)
            return;
        std::memcpy(frame, &freeHead, sizeof(freeHead));
        freeHead = frame;
        ++freeFrames;
    }

    bool FrameAllocator::containsFrame(const unsigned char* frame) const
    {
        std::lock_guard<std::mutex> hold(lock);
        return frame != nullptr && block != nullptr && frame >= block && frame < block + numFrames * slotSize();
    }

    unsigned FrameAllocator::getNumFreeFrames() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return freeFrames;
    }

    // ---- FrameTableEntry

    FrameTableEntry::FrameTableEntry(unsigned number, std::shared_ptr<FrameAllocator> pool)
        : frameNumber(number), allocator(std::move(pool))
    {
    }

    FrameTableEntry::~FrameTableEntry()
    {
        if (data == nullptr)
            return;
        if (allocator != nullptr)
            allocator->releaseFrame(data);
        else
            std::free(data);
    }

    void FrameTableEntry::setFrameData(unsigned char* newData)
    {
        unsigned char* old = nullptr;
        {
            std::lock_guard<std::mutex> hold(lock);
            if (data != newData)
                old = data;
            data = newData;
            published = true;
        }
        ready.notify_all();
        if (old != nullptr && allocator != nullptr)
            allocator->releaseFrame(old);
        else
            std::free(old);
    }

    unsigned char* FrameTableEntry::getFrameData() const
    {
        std::unique_lock<std::mutex> hold(lock);
        ready.wait(hold, [this] { return published; });
        return data;
    }

    unsigned char* FrameTableEntry::getFrameData(unsigned timeoutMs) const
    {
        std::unique_lock<std::mutex> hold(lock);
        if (! ready.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return published; }))
            return nullptr;
        return data;
    }

    bool FrameTableEntry::hasData() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return published && data != nullptr;
    }

    bool FrameTableEntry::isPublished() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return published;
    }

    void FrameTableEntry::rearm()
    {
        std::lock_guard<std::mutex> hold(lock);
        published = false;
    }

    // ---- FrameTable

    FrameTable::FrameTable(unsigned maximum, std::shared_ptr<FrameAllocator> pool)
        : entries(static_cast<std::size_t>(maximum) + 1), maxIndex(maximum), allocator(std::move(pool))
    {
    }

    FrameTable::FrameTable(unsigned maximum, int blockLength, std::size_t frameSize)
        : FrameTable(maximum, std::make_shared<FrameAllocator>(
                                  static_cast<unsigned char>(std::clamp(2 * blockLength, 0, 255)), frameSize))
    {
    }

    FrameTable::~FrameTable()
    {
        clearAllFrames(false);
    }

    FrameTable::EntryPtr FrameTable::addFrame(unsigned i)
    {
        if (i > maxIndex)
            return nullptr;
        remove(i, false);
        entries[i] = std::make_shared<FrameTableEntry>(i, allocator);
        return entries[i];
    }

    bool FrameTable::contains(unsigned i) const
    {
        return i <= maxIndex && entries[i] != nullptr;
    }

    FrameTable::EntryPtr FrameTable::getFrame(unsigned i) const
    {
        return i <= maxIndex ? entries[i] : nullptr;
    }

    unsigned char* FrameTable::getFreeFrame()
    {
        return allocator != nullptr ? allocator->getFrame() : nullptr;
    }

    void FrameTable::releaseFrame(unsigned char* data)
    {
        if (allocator != nullptr)
            allocator->releaseFrame(data);
    }

    unsigned FrameTable::getFirstNotBufferedFrameOfBlock(unsigned start, int length) const
    {
        if (length < 1)
            return start;
        unsigned frame = start;
        for (int walked = 0; walked < length; ++walked)
        {
            if (! contains(frame))
                return frame;
            if (walked == length - 1)
                return frame + 1;
            frame = frame >= maxIndex ? 0 : frame + 1;
        }
        return frame;
    }

    void FrameTable::getNotBufferedBoundariesInBlock(unsigned start, int length, unsigned& first, unsigned& last) const
    {
        first = getFirstNotBufferedFrameOfBlock(start, length);
        last = first;
        if (first > maxIndex || contains(first))
            return;
        unsigned frame = first;
        for (unsigned steps = 0; steps < maxIndex; ++steps)
        {
            const unsigned next = frame >= maxIndex ? 0 : frame + 1;
            if (contains(next) || next == first)
                break;
            frame = next;
        }
        last = frame;
    }

    void FrameTable::remove(unsigned i, bool wait)
    {
        EntryPtr entry = std::move(entries[i]);
        if (entry == nullptr)
            return;
        if (wait)
            entry->getFrameData();
        // Whoever still waits for it learns that no data will come.
        if (! entry->isPublished())
            entry->setFrameData(nullptr);
    }

    void FrameTable::clearAllFrames(bool wait)
    {
        for (unsigned i = 0; i <= maxIndex; ++i)
            remove(i, wait);
    }

    void FrameTable::clearBefore(unsigned i)
    {
        for (unsigned f = 0; f < i && f <= maxIndex; ++f)
            remove(f, true);
    }

    void FrameTable::clearAfter(unsigned i)
    {
        for (unsigned f = i + 1; f <= maxIndex && f > i; ++f)
            remove(f, true);
    }

    void FrameTable::clearBetween(unsigned a, unsigned b, bool wait)
    {
        if (a > maxIndex || b > maxIndex)
            return;
        unsigned f = a >= maxIndex ? 0 : a + 1;
        for (unsigned steps = 0; f != b && steps <= maxIndex; ++steps)
        {
            remove(f, wait);
            f = f >= maxIndex ? 0 : f + 1;
        }
    }

    unsigned FrameTable::getNumEntries() const
    {
        return static_cast<unsigned>(std::count_if(entries.begin(), entries.end(), [](const EntryPtr& e) { return e != nullptr; }));
    }
}
