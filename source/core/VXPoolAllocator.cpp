#include "core/VXPoolAllocator.h"

#include "core/VXScopedLock.h"

#include <functional>

namespace vx
{
    namespace
    {
        constexpr unsigned int slotAlignment = alignof(std::max_align_t);
        // The block starts on a cache line, so a slot of a line's size or a
        // divisor of it never straddles two: objects made on one thread and
        // destroyed on another (tasks) then move one line between processors.
        constexpr std::align_val_t blockAlignment{64};

        unsigned int roundedSlotSize(unsigned int requested)
        {
            const unsigned long long atLeast = requested < sizeof(void*) ? sizeof(void*) : requested;
            return static_cast<unsigned int>((atLeast + slotAlignment - 1) / slotAlignment * slotAlignment);
        }

    }

    PoolAllocator::PoolAllocator(unsigned int count, unsigned int objectSize)
        : count(count == 0 ? 1 : count), objectSize(roundedSlotSize(objectSize)),
          totalSize(static_cast<std::size_t>(this->count) * this->objectSize),
          slotMask((this->objectSize & (this->objectSize - 1)) == 0 ? this->objectSize - 1 : 0),
          block(static_cast<unsigned char*>(::operator new(totalSize, blockAlignment))),
          freeStack(new unsigned char*[this->count]), freeSlots(this->count)
    {
        // The block's start on top, so the first slots handed out run upwards.
        for (unsigned int i = 0; i < this->count; ++i)
            freeStack[i] = block + static_cast<std::size_t>(this->count - 1 - i) * this->objectSize;
    }

    PoolAllocator::~PoolAllocator()
    {
        delete[] freeStack;
        ::operator delete(block, blockAlignment);
    }

    unsigned char* PoolAllocator::takeLocked()
    {
        const unsigned int height = freeSlots.load(std::memory_order_relaxed);
        if (height == 0)
            return nullptr;
        freeSlots.store(height - 1, std::memory_order_relaxed);
        // The next slot out was most likely given back by another thread:
        // fetching its line now spares the next taker the wait for it.
        if (height > 3)
            __builtin_prefetch(freeStack[height - 4], 1);
        return freeStack[height - 1];
    }

    unsigned char* PoolAllocator::aquireObject()
    {
        // Front to back, each pool under its own lock only: a pool the count
        // shows exhausted is passed over unlocked (a slot given back to it just
        // now is found by the next take).
        for (PoolAllocator* pool = this;;)
        {
            if (pool->freeSlots.load(std::memory_order_relaxed) != 0)
            {
                ScopedSpinLock guard(pool->lock);
                if (unsigned char* slot = pool->takeLocked())
                    return slot;
            }
            if (PoolAllocator* next = pool->overflowView.load(std::memory_order_acquire))
            {
                pool = next;
                continue;
            }
            // The chain's last pool grows the next one, under its lock, so
            // that only one is ever made.
            ScopedSpinLock guard(pool->lock);
            if (unsigned char* slot = pool->takeLocked())
                return slot;
            if (! pool->chainingEnabled)
                return nullptr;
            if (! pool->overflowPool)
            {
                pool->overflowPool.reset(new PoolAllocator(count, objectSize));
                pool->overflowPool->enableChaining();
                pool->overflowView.store(pool->overflowPool.get(), std::memory_order_release);
            }
            pool = pool->overflowPool.get();
        }
    }

    void PoolAllocator::unaquireObject(unsigned char* object)
    {
        if (object == nullptr)
            return;
        for (PoolAllocator* pool = this; pool != nullptr; pool = pool->overflowView.load(std::memory_order_acquire))
        {
            if (! pool->ownsAddress(object))
                continue;
            if (pool->isSlot(object))
            {
                ScopedSpinLock guard(pool->lock);
                const unsigned int height = pool->freeSlots.load(std::memory_order_relaxed);
                // Only a slot given back twice could overflow the stack.
                if (height < pool->count)
                {
                    pool->freeStack[height] = object;
                    pool->freeSlots.store(height + 1, std::memory_order_relaxed);
                }
            }
            return;
        }
    }

    void PoolAllocator::unaquireObjects(unsigned char* const* objects, std::size_t objectCount)
    {
        for (PoolAllocator* pool = this; pool != nullptr; pool = pool->overflowView.load(std::memory_order_acquire))
        {
            bool owned = false;
            for (std::size_t i = 0; i < objectCount && ! owned; ++i)
                owned = objects[i] != nullptr && pool->ownsAddress(objects[i]);
            if (! owned)
                continue;
            ScopedSpinLock guard(pool->lock);
            unsigned int height = pool->freeSlots.load(std::memory_order_relaxed);
            for (std::size_t i = 0; i < objectCount; ++i)
            {
                unsigned char* object = objects[i];
                if (object != nullptr && pool->ownsAddress(object) && pool->isSlot(object) && height < pool->count)
                    pool->freeStack[height++] = object;
            }
            pool->freeSlots.store(height, std::memory_order_relaxed);
        }
    }

    // An address inside a slot is not a slot: linking it would corrupt the
    // free list.
    bool PoolAllocator::isSlot(const unsigned char* object) const
    {
        const std::size_t offset = static_cast<std::size_t>(object - block);
        return slotMask != 0 ? (offset & slotMask) == 0 : offset % objectSize == 0;
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
