#include "core/VXPoolAllocator.h"

#include "core/VXScopedLock.h"
#include "core/VXThread.h"

#include <cstring>
#include <functional>

namespace vx
{
    namespace
    {
        constexpr unsigned int slotAlignment = alignof(std::max_align_t);

        unsigned int roundedSlotSize(unsigned int requested)
        {
            const unsigned long long atLeast = requested < sizeof(void*) ? sizeof(void*) : requested;
            return static_cast<unsigned int>((atLeast + slotAlignment - 1) / slotAlignment * slotAlignment);
        }

        // The link lives in a free slot's first bytes; memcpy keeps the access
        // free of aliasing and alignment assumptions.
        unsigned char* readLink(const unsigned char* slot)
        {
            unsigned char* next;
            std::memcpy(&next, slot, sizeof(next));
            return next;
        }

        void writeLink(unsigned char* slot, unsigned char* next)
        {
            std::memcpy(slot, &next, sizeof(next));
        }
    }

    PoolAllocator::PoolAllocator(unsigned int count, unsigned int objectSize)
        : count(count == 0 ? 1 : count), objectSize(roundedSlotSize(objectSize)),
          totalSize(static_cast<std::size_t>(this->count) * this->objectSize), block(new unsigned char[totalSize]),
          freeHead(block)
    {
        // Address order, so the first slots handed out run upwards from the start.
        for (unsigned int i = 0; i < this->count; ++i)
        {
            unsigned char* slot = block + static_cast<std::size_t>(i) * this->objectSize;
            writeLink(slot, i + 1 < this->count ? slot + this->objectSize : nullptr);
        }
    }

    PoolAllocator::~PoolAllocator()
    {
        delete[] block;
    }

    unsigned char* PoolAllocator::aquireObject()
    {
        ScopedSpinLock guard(lock);
        void* const me = Thread::getCurrentThreadID();
        if (taker.load(std::memory_order_relaxed) != me)
            taker.store(me, std::memory_order_relaxed);
        // Slots other threads gave back are taken as a batch, once the free list
        // is empty: one exchange for many slots rather than a line fetched from
        // another processor at every take.
        if (freeHead == nullptr)
            freeHead = givenBack.exchange(nullptr, std::memory_order_acquire);
        if (freeHead != nullptr)
        {
            unsigned char* slot = freeHead;
            freeHead = readLink(slot);
            if (freeHead != nullptr)
                __builtin_prefetch(freeHead, 1);
            return slot;
        }
        if (! chainingEnabled)
            return nullptr;
        if (! overflowPool)
        {
            overflowPool.reset(new PoolAllocator(count, objectSize));
            overflowPool->enableChaining();
            overflowView.store(overflowPool.get(), std::memory_order_release);
        }
        // Our lock stays held: chains are locked front to back.
        return overflowPool->aquireObject();
    }

    void PoolAllocator::unaquireObject(unsigned char* object)
    {
        if (object == nullptr)
            return;
        for (PoolAllocator* pool = this; pool != nullptr; pool = pool->overflowView.load(std::memory_order_acquire))
        {
            if (! pool->ownsAddress(object))
                continue;
            if (! pool->isSlot(object))
                return;
            // The thread that takes slots gives back onto the free list (last in,
            // first out); others push onto the given-back stack without a lock.
            if (pool->taker.load(std::memory_order_relaxed) == Thread::getCurrentThreadID() && pool->lock.tryEnter())
            {
                writeLink(object, pool->freeHead);
                pool->freeHead = object;
                pool->lock.exit();
                return;
            }
            pool->pushGivenBack(object, object);
            return;
        }
    }

    void PoolAllocator::unaquireObjects(unsigned char* const* objects, std::size_t objectCount)
    {
        for (PoolAllocator* pool = this; pool != nullptr; pool = pool->overflowView.load(std::memory_order_acquire))
        {
            unsigned char* first = nullptr;
            unsigned char* last = nullptr;
            for (std::size_t i = 0; i < objectCount; ++i)
            {
                unsigned char* object = objects[i];
                if (object == nullptr || ! pool->ownsAddress(object) || ! pool->isSlot(object))
                    continue;
                writeLink(object, first);
                if (first == nullptr)
                    last = object;
                first = object;
            }
            if (first != nullptr)
                pool->pushGivenBack(first, last);
        }
    }

    void PoolAllocator::pushGivenBack(unsigned char* first, unsigned char* last)
    {
        // Only pushes and take-alls: no slot is popped alone, so a stale head
        // cannot be reinstated (no ABA).
        unsigned char* head = givenBack.load(std::memory_order_relaxed);
        do
            writeLink(last, head);
        while (! givenBack.compare_exchange_weak(head, first, std::memory_order_release, std::memory_order_relaxed));
    }

    // An address inside a slot is not a slot: linking it would corrupt the
    // free list.
    bool PoolAllocator::isSlot(const unsigned char* object) const
    {
        return static_cast<std::size_t>(object - block) % objectSize == 0;
    }

    bool PoolAllocator::containsObject(unsigned char* object) const
    {
        if (object == nullptr)
            return false;
        for (const PoolAllocator* pool = this; pool != nullptr;
             pool = pool->overflowView.load(std::memory_order_acquire))
            if (pool->ownsAddress(object))
                return true;
        return false;
    }

    void PoolAllocator::enableChaining()
    {
        ScopedSpinLock guard(lock);
        chainingEnabled = true;
    }

    bool PoolAllocator::isChainingEnabled() const
    {
        ScopedSpinLock guard(lock);
        return chainingEnabled;
    }

    bool PoolAllocator::ownsAddress(const unsigned char* object) const
    {
        // Compared as ordered addresses: plain < on unrelated pointers is unspecified.
        std::less<const unsigned char*> before;
        return ! before(object, block) && before(object, block + totalSize);
    }
}
