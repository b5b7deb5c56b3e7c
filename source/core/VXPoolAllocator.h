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
    // Fixed-size object pool: one block, an intrusive last-in-first-out free
    // list and a spin lock. With chaining enabled an exhausted pool grows an
    // overflow pool of the same shape, one at a time, without limit. Usable
    // from any thread; a chain is always locked from its first pool onwards.
    // The thread that takes slots gives them back onto the free list; other
    // threads (task workers) push them onto a lock-free stack, which a take
    // moves onto the free list when that runs empty. So givers never wait for
    // the takers' lock, and takers fetch given-back slots in batches.
    class PoolAllocator
    {
    public:
        // A count of 0 is taken as 1. The slot size is rounded up so that
        // every slot can hold the free-list link and is aligned for any type.
        PoolAllocator(unsigned int count, unsigned int objectSize);
        ~PoolAllocator();
        PoolAllocator(const PoolAllocator&) = delete;
        PoolAllocator& operator=(const PoolAllocator&) = delete;

        // A free slot, or null when the pool is exhausted and chaining is off.
        unsigned char* aquireObject();
        // Gives a slot back to the pool in the chain that owns it; addresses
        // owned by no pool of the chain, or not the start of a slot, are ignored.
        // Takes no lock.
        void unaquireObject(unsigned char* object);
        // unaquireObject for several slots, with one push per owning pool.
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
        // Pushes first..last, already linked, onto the given-back stack.
        void pushGivenBack(unsigned char* first, unsigned char* last);

        // Read by every thread; written once (the overflow pool: once, under the lock).
        const unsigned int count;
        const unsigned int objectSize;
        const std::size_t totalSize;
        unsigned char* block;
        ScopedPointer<PoolAllocator> overflowPool;
        std::atomic<PoolAllocator*> overflowView{nullptr}; // the same, for lock-free walks
        std::atomic<void*> taker{nullptr};                 // the thread taking slots; rarely changes

        // The takers' line.
        alignas(64) SpinLock lock;
        unsigned char* freeHead;
        bool chainingEnabled = false;

        // The givers' line.
        alignas(64) std::atomic<unsigned char*> givenBack{nullptr};
    };
}
