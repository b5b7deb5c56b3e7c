#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "core/VXScopedPointer.h"
#include "core/VXSpinLock.h"

namespace vx
{
    // Fixed-size object pool: one block, a last-in-first-out stack of its free
    // slots and a spin lock. With chaining enabled an exhausted pool grows an
    // overflow pool of the same shape, one at a time, without limit. Usable
    // from any thread; each pool's free list is changed only under its own
    // lock, and no thread holds two of them at once.
    class PoolAllocator
    {
    public:
        // A count of 0 is taken as 1. The slot size is rounded up so that
        // every slot can hold the free-list link and is aligned for any type.
        PoolAllocator(unsigned int count, unsigned int objectSize);
        ~PoolAllocator();
        PoolAllocator(const PoolAllocator&) = delete;
        PoolAllocator& operator=(const PoolAllocator&) = delete;

        // A free slot, taken from the first pool of the chain that has one;
        // null when the pool is exhausted and chaining is off.
        unsigned char* aquireObject();
        // Gives a slot back to the pool in the chain that owns it; addresses
        // owned by no pool of the chain, or not the start of a slot, are ignored.
        void unaquireObject(unsigned char* object);
        // unaquireObject for several slots, taking each owning pool's lock once.
        void unaquireObjects(unsigned char* const* objects, std::size_t objectCount);
        // True when the address lies in this pool's block or in a chained one.
        // Takes no lock.
        bool containsObject(unsigned char* object) const;

        void enableChaining();
        bool isChainingEnabled() const;

        unsigned int getCount() const { return count; }
        unsigned int getObjectSize() const { return objectSize; }

        // Constructs a T in a free slot; null when no slot is available.
        template <typename T, typename... Args>
        T* construct(Args&&... args)
        {
            static_assert(alignof(T) <= alignof(std::max_align_t), "pool slots are max_align_t aligned");
            if (sizeof(T) > objectSize)
                return nullptr;
            unsigned char* slot = aquireObject();
            if (slot == nullptr)
                return nullptr;
            return new (slot) T(std::forward<Args>(args)...);
        }

    private:
        bool ownsAddress(const unsigned char* object) const;
        bool isSlot(const unsigned char* object) const;
        // Under the lock: pops the free stack; null when empty.
        unsigned char* takeLocked();

        // Read by every thread; written once (the overflow pool: once, under the lock).
        const unsigned int count;
        const unsigned int objectSize;
        const std::size_t totalSize;
        // objectSize - 1 when it is a power of two (slot starts are then told
        // by a mask instead of a division), else 0.
        const std::size_t slotMask;
        unsigned char* block;
        ScopedPointer<PoolAllocator> overflowPool;
        std::atomic<PoolAllocator*> overflowView{nullptr}; // the same, for walks without the lock

        // The free slots are kept apart from the slots, not linked through
        // them: a slot given back by another thread (a task run by a worker)
        // is then written by the next taker without first being read, so the
        // taker does not wait for the slot's line at every take.
        unsigned char** freeStack;

        // Changed under the lock; freeSlots (the free stack's height) is also
        // read without it, so that a take passes over exhausted pools of a
        // chain without locking them.
        alignas(64) SpinLock lock;
        std::atomic<unsigned int> freeSlots;
        bool chainingEnabled = false;
    };
}
