#include "engine/gfx/geometry/VXTessBucketAlloc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vx
{

    // A bucket is this header followed by its items.
    struct Bucket
    {
        Bucket* next;
    };

    namespace
    {
        void*& linkOf(void* item)
        {
            return *static_cast<void**>(item);
        }

        // Threads the bucket's items onto the free list from the last to the
        // first; the last one links to the old head, so the list starts at the
        // first.
        void threadItems(BucketAlloc* ba, Bucket* bucket)
        {
            char* first = reinterpret_cast<char*>(bucket) + sizeof(Bucket);
            char* item = first + size_t(ba->itemSize) * ba->itemsPerBucket;
            void* head = ba->freeList;
            do
            {
                item -= ba->itemSize;
                linkOf(item) = head;
                head = item;
            } while (item != first);
            ba->freeList = head;
        }

        void freeBuckets(BucketAlloc* ba, Bucket* bucket)
        {
            while (bucket != nullptr)
            {
                Bucket* next = bucket->next;
                ba->alloc->free(ba->alloc->userData, bucket);
                bucket = next;
            }
        }

        // Puts the chain from first on in front of list.
        void prependChain(Bucket*& list, Bucket* first)
        {
            if (first == nullptr)
                return;
            Bucket* last = first;
            while (last->next != nullptr)
                last = last->next;
            last->next = list;
            list = first;
        }
    }

    bool bucketGrow(BucketAlloc* ba)
    {
        // A bucket emptied by bucketReset serves before a new one is made.
        Bucket* bucket = ba->spare;
        if (bucket != nullptr)
            ba->spare = bucket->next;
        else
        {
            const uint64_t bytes = uint64_t(sizeof(Bucket)) + uint64_t(ba->itemSize) * ba->itemsPerBucket;
            bucket = static_cast<Bucket*>(ba->alloc->allocate(ba->alloc->userData, unsigned(bytes)));
            if (bucket == nullptr)
                return false;
        }
        bucket->next = ba->buckets;
        ba->buckets = bucket;
        threadItems(ba, bucket);
        return true;
    }

    void bucketReset(BucketAlloc* ba)
    {
        // Each bucket is threaded again only when needed, so the allocator
        // hands out items exactly as a new one would.
        prependChain(ba->spare, ba->buckets);
        ba->buckets = nullptr;
        ba->freeList = nullptr;
    }

    int clampBucketSize(int requested, int defaultSize)
    {
        if (requested <= 0)
            requested = defaultSize;
        return std::clamp(requested, 16, 4096);
    }

    BucketAlloc* createBucketAlloc(TessAllocator* alloc, const char* name, unsigned int itemSize,
                                   unsigned int itemsPerBucket)
    {
        auto* ba = static_cast<BucketAlloc*>(alloc->allocate(alloc->userData, sizeof(BucketAlloc)));
        if (ba == nullptr)
            return nullptr;
        // Every item holds the free-list link while free and may hold pointers.
        constexpr unsigned int align = sizeof(void*);
        itemSize = std::max<unsigned int>(itemSize, align);
        itemSize = (itemSize + align - 1) / align * align;
        ba->freeList = nullptr;
        ba->buckets = nullptr;
        ba->spare = nullptr;
        ba->itemSize = itemSize;
        ba->itemsPerBucket = std::max(itemsPerBucket, 1u);
        ba->name = name;
        ba->alloc = alloc;
        if (! bucketGrow(ba))
        {
            alloc->free(alloc->userData, ba);
            return nullptr;
        }
        return ba;
    }

    void deleteBucketAlloc(BucketAlloc* ba)
    {
        freeBuckets(ba, ba->buckets);
        freeBuckets(ba, ba->spare);
        ba->alloc->free(ba->alloc->userData, ba);
    }

    void mergeBucketAlloc(BucketAlloc* target, BucketAlloc* source)
    {
        prependChain(target->buckets, source->buckets);
        prependChain(target->spare, source->spare);
        // The source's free items go in front, its last one (null link) now
        // leading on into the target's list.
        if (source->freeList != nullptr)
        {
            void* tail = source->freeList;
            while (linkOf(tail) != nullptr)
                tail = linkOf(tail);
            linkOf(tail) = target->freeList;
            target->freeList = source->freeList;
        }
        source->buckets = nullptr;
        source->spare = nullptr;
        TessAllocator* alloc = source->alloc;
        alloc->free(alloc->userData, source);
    }

} // namespace vx
