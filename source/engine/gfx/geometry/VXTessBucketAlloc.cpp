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
        char* firstItem(Bucket* bucket)
        {
            return reinterpret_cast<char*>(bucket) + sizeof(Bucket);
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
        const bool isFirst = ba->buckets == nullptr;
        bucket->next = ba->buckets;
        ba->buckets = bucket;
        ba->unused = firstItem(bucket);
        ba->end = ba->unused + size_t(ba->itemSize) * (ba->itemsPerBucket - (isFirst ? 1 : 0));
        return true;
    }

    void bucketReset(BucketAlloc* ba)
    {
        prependChain(ba->spare, ba->buckets);
        ba->buckets = nullptr;
        ba->freeList = nullptr;
        ba->unused = ba->end = nullptr;
    }

    uint64_t bucketBytes(const BucketAlloc* ba)
    {
        uint64_t buckets = 0;
        for (const Bucket* b = ba->buckets; b != nullptr; b = b->next)
            ++buckets;
        for (const Bucket* b = ba->spare; b != nullptr; b = b->next)
            ++buckets;
        return sizeof(BucketAlloc) + buckets * (sizeof(Bucket) + uint64_t(ba->itemSize) * ba->itemsPerBucket);
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
        ba->unused = ba->end = nullptr;
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
        // Every item the source could still hand out goes on the target's
        // free list: its unused items and the one its first bucket held back.
        for (char* item = source->unused; item != source->end; item += source->itemSize)
            bucketFree(target, item);
        if (source->buckets != nullptr)
        {
            Bucket* first = source->buckets;
            while (first->next != nullptr)
                first = first->next;
            bucketFree(target, firstItem(first) + size_t(source->itemSize) * (source->itemsPerBucket - 1));
        }
        for (void* item = source->freeList; item != nullptr;)
        {
            void* next = *static_cast<void**>(item);
            bucketFree(target, item);
            item = next;
        }
        prependChain(target->buckets, source->buckets);
        prependChain(target->spare, source->spare);
        source->buckets = nullptr;
        source->spare = nullptr;
        TessAllocator* alloc = source->alloc;
        alloc->free(alloc->userData, source);
    }

} // namespace vx
