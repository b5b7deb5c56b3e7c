#pragma once

#include "engine/gfx/geometry/VXTess.h"

#include <cstdint>

namespace vx
{

    struct Bucket;

    /** Fixed-size records in blocks ("buckets") of itemsPerBucket items, taken
        from the tessellator's allocator. Freed items go on a free list and are
        reused first; then the newest bucket's unused items are handed out in
        order. A tessellation so makes a few large allocations and touches
        only the items it uses. Items are at least pointer-sized and
        pointer-aligned.

        The first bucket holds back its last item: the allocator makes its
        second bucket when all but one of the first bucket's items are in use,
        as one threading each bucket's items onto a list ended by a null link
        would. */
    struct BucketAlloc
    {
        void* freeList; // freed items, each starting with the link to the next
        char* unused;   // the newest bucket's items never handed out, up to end
        char* end;
        Bucket* buckets;
        Bucket* spare; // emptied by bucketReset, used again before new ones
        unsigned int itemSize;
        unsigned int itemsPerBucket;
        const char* name;
        TessAllocator* alloc;
    };

    /** Null (nothing left allocated) when the record or its first bucket
        cannot be made. name must outlive the allocator. */
    BucketAlloc* createBucketAlloc(TessAllocator* alloc, const char* name, unsigned int itemSize,
                                   unsigned int itemsPerBucket);
    /** Takes a spare bucket, or makes one, for the next items; false when out
        of memory. */
    bool bucketGrow(BucketAlloc* ba);

    /** An uninitialised item; null when out of memory. Inline: every mesh
        operation of the sweep takes its records here. */
    inline void* bucketAlloc(BucketAlloc* ba)
    {
        void* item = ba->freeList;
        if (item != nullptr)
        {
            ba->freeList = *static_cast<void**>(item);
            return item;
        }
        if (ba->unused == ba->end && ! bucketGrow(ba))
            return nullptr;
        item = ba->unused;
        ba->unused += ba->itemSize;
        return item;
    }

    /** Returns an item of this allocator to its free list. */
    inline void bucketFree(BucketAlloc* ba, void* item)
    {
        *static_cast<void**>(item) = ba->freeList;
        ba->freeList = item;
    }

    /** Makes every item free again, keeping the buckets: whatever records
        were in use are forgotten, and items come out as from a new allocator. */
    void bucketReset(BucketAlloc* ba);
    /** Frees every bucket and the allocator. */
    void deleteBucketAlloc(BucketAlloc* ba);
    /** Moves every bucket and free item of source (same item size) into
        target and deletes source: items of both stay valid and now belong to
        target. */
    void mergeBucketAlloc(BucketAlloc* target, BucketAlloc* source);

    /** Bytes the allocator holds from its allocator record: its buckets in
        use and spare, and its own record. */
    uint64_t bucketBytes(const BucketAlloc* ba);

    /** Clamps a bucket size to 16-4096; 0 (and anything below) takes the default. */
    int clampBucketSize(int requested, int defaultSize);

} // namespace vx
