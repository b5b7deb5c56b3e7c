#include "engine/gfx/geometry/VXTessBucketAlloc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vx
{

    namespace
    {
        // A bucket is this header followed by its items.
        struct Bucket
        {
            Bucket* next;
        };
    }

    struct BucketAlloc
    {
        void* freeList;
        Bucket* buckets;
        unsigned int itemSize;
        unsigned int itemsPerBucket;
        const char* name;
        TessAllocator* alloc;
    };

    namespace
    {
        void*& linkOf(void* item)
        {
            return *static_cast<void**>(item);
        }

        bool createBucket(BucketAlloc* ba)
        {
            const uint64_t bytes = uint64_t(sizeof(Bucket)) + uint64_t(ba->itemSize) * ba->itemsPerBucket;
            auto* bucket = static_cast<Bucket*>(ba->alloc->allocate(ba->alloc->userData, unsigned(bytes)));
            if (bucket == nullptr)
                return false;
            bucket->next = ba->buckets;
            ba->buckets = bucket;

            // Thread the items onto the free list from the last to the first; the
            // last one links to the old head, so the list starts at the first.
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
            return true;
        }
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
        ba->itemSize = itemSize;
        ba->itemsPerBucket = std::max(itemsPerBucket, 1u);
        ba->name = name;
        ba->alloc = alloc;
        if (! createBucket(ba))
        {
            alloc->free(alloc->userData, ba);
            return nullptr;
        }
        return ba;
    }

    void* bucketAlloc(BucketAlloc* ba)
    {
        // The item whose link is null (the highest of the first bucket) ends the
        // list; it is never handed out, a fresh bucket comes first.
        if (ba->freeList == nullptr || linkOf(ba->freeList) == nullptr)
            if (! createBucket(ba))
                return nullptr;
        void* item = ba->freeList;
        ba->freeList = linkOf(item);
        return item;
    }

    void bucketFree(BucketAlloc* ba, void* item)
    {
        linkOf(item) = ba->freeList;
        ba->freeList = item;
    }

    void deleteBucketAlloc(BucketAlloc* ba)
    {
        TessAllocator* alloc = ba->alloc;
        Bucket* bucket = ba->buckets;
        while (bucket != nullptr)
        {
            Bucket* next = bucket->next;
            alloc->free(alloc->userData, bucket);
            bucket = next;
        }
        alloc->free(alloc->userData, ba);
    }

    void mergeBucketAlloc(BucketAlloc* target, BucketAlloc* source)
    {
        if (source->buckets != nullptr)
        {
            Bucket* last = source->buckets;
            while (last->next != nullptr)
                last = last->next;
            last->next = target->buckets;
            target->buckets = source->buckets;
        }
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
        TessAllocator* alloc = source->alloc;
        alloc->free(alloc->userData, source);
    }

} // namespace vx
