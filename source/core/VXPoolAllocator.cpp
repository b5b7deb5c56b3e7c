#include "core/VXPoolAllocator.h"

#include "core/VXScopedLock.h"

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
        if (freeHead != nullptr)
        {
            unsigned char* slot = freeHead;
            freeHead = readLink(slot);
            return slot;
        }
        if (! chainingEnabled)
            return nullptr;
        if (! overflowPool)
        {
            overflowPool.reset(new PoolAllocator(count, objectSize));
            overflowPool->enableChaining();
        }
        // Our lock stays held: chains are locked front to back.
        return overflowPool->aquireObject();
    }

    void PoolAllocator::unaquireObject(unsigned char* object)
    {
        if (object == nullptr)
            return;
        ScopedSpinLock guard(lock);
        if (ownsAddress(object))
        {
            // An address inside a slot is not a slot: linking it would corrupt
            // the free list.
            if (static_cast<std::size_t>(object - block) % objectSize != 0)
                return;
            writeLink(object, freeHead);
            freeHead = object;
        }
        else if (overflowPool)
        {
            overflowPool->unaquireObject(object);
        }
    }

    bool PoolAllocator::containsObject(unsigned char* object) const
    {
        if (object == nullptr)
            return false;
        ScopedSpinLock guard(lock);
        if (ownsAddress(object))
            return true;
        return overflowPool && overflowPool->containsObject(object);
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
