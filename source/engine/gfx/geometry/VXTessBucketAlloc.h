#pragma once

#include "engine/gfx/geometry/VXTess.h"

namespace vx
{

    /** Fixed-size records in blocks ("buckets") of itemsPerBucket items, taken
        from the tessellator's allocator. Freed items go on a free list and are
        reused, so a tessellation makes a few large allocations. Items are at
        least pointer-sized and pointer-aligned. */
    struct BucketAlloc;

    /** Null (nothing left allocated) when the record or its first bucket
        cannot be made. name must outlive the allocator. */
    BucketAlloc* createBucketAlloc(TessAllocator* alloc, const char* name, unsigned int itemSize,
                                   unsigned int itemsPerBucket);
    /** An uninitialised item; null when out of memory. */
    void* bucketAlloc(BucketAlloc* ba);
    /** Returns an item of this allocator to its free list. */
    void bucketFree(BucketAlloc* ba, void* item);
    /** Frees every bucket and the allocator. */
    void deleteBucketAlloc(BucketAlloc* ba);
    /** Moves every bucket and free item of source (same item size) into
        target and deletes source: items of both stay valid and now belong to
        target. */
    void mergeBucketAlloc(BucketAlloc* target, BucketAlloc* source);

    /** Clamps a bucket size to 16-4096; 0 (and anything below) takes the default. */
    int clampBucketSize(int requested, int defaultSize);

} // namespace vx
