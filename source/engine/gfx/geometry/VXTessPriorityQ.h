#pragma once

#include "engine/gfx/geometry/VXTess.h"

#include <cstdint>

// The sweep's event queue of vertices, smallest (by tesvertLeq) first. The
// input vertices are inserted before pqInit and sorted once; vertices made
// while sweeping go into a binary heap beside the sorted array. Handles of the
// sorted array are negative, -(index + 1); heap handles are positive.

namespace vx
{

    struct TessVertex;
    using PQkey = TessVertex*;
    using PQleq = bool (*)(const TessVertex*, const TessVertex*);

    constexpr int pqInvalidHandle = 0x0FFFFFFF;

    struct PQnode
    {
        int handle;
    };

    struct PQhandleElem
    {
        PQkey key;
        int node;
    };

    struct PriorityQHeap
    {
        PQnode* nodes;         // max + 1 entries, 1-based heap of handles
        PQhandleElem* handles; // max + 1 entries
        int size;
        int max;
        int freeList; // free handle slots, linked through node
        bool initialized;
        PQleq leq;
        int capacity; // entries allocated in nodes and handles, at least max + 1
    };

    /** An entry of the sorted array: a key's index with its coordinates,
        copied so that sorting stays within the array. */
    struct PQsorted
    {
        float s, t;
        int key;
    };

    struct PriorityQ
    {
        PriorityQHeap* heap;
        PQkey* keys;
        PQsorted* order; // the keys sorted in decreasing order, made by pqInit
        int size;
        int max;
        bool initialized;
        PQleq leq;
        int keysCapacity;  // at least max
        int orderCapacity; // at least size + 1 once initialised
    };

    PriorityQHeap* pqHeapNewPriorityQ(TessAllocator* alloc, int size, PQleq leq);
    void pqHeapDeletePriorityQ(TessAllocator* alloc, PriorityQHeap* pq);
    void pqHeapInit(PriorityQHeap* pq);
    /** pqInvalidHandle when the heap is full and cannot grow. */
    int pqHeapInsert(TessAllocator* alloc, PriorityQHeap* pq, PQkey keyNew);
    PQkey pqHeapExtractMin(PriorityQHeap* pq);
    void pqHeapDelete(PriorityQHeap* pq, int handle);
    inline PQkey pqHeapMinimum(const PriorityQHeap* pq)
    {
        return pq->handles[pq->nodes[1].handle].key;
    }
    inline bool pqHeapIsEmpty(const PriorityQHeap* pq)
    {
        return pq->size == 0;
    }

    /** A queue with room for size keys before it must grow. */
    PriorityQ* pqNewPriorityQ(TessAllocator* alloc, int size, PQleq leq);
    /** Empties the queue as if new with room for size keys, keeping its arrays
        where they are large enough. False when out of memory: the queue can
        then only be deleted. */
    bool pqReset(TessAllocator* alloc, PriorityQ* pq, int size);
    void pqDeletePriorityQ(TessAllocator* alloc, PriorityQ* pq);
    /** Sorts the keys inserted so far; false when out of memory. */
    bool pqInit(TessAllocator* alloc, PriorityQ* pq);
    /** pqInvalidHandle when the queue is full and cannot grow. */
    int pqInsert(TessAllocator* alloc, PriorityQ* pq, PQkey keyNew);
    /** Null when empty. */
    PQkey pqExtractMin(PriorityQ* pq);
    PQkey pqMinimum(const PriorityQ* pq);
    bool pqIsEmpty(const PriorityQ* pq);
    /** Bytes the queue holds from its allocator record, its arrays at their
        capacities included. */
    uint64_t pqBytes(const PriorityQ* pq);
    /** Removes a queued key; handle 0 (nothing queued) does nothing. */
    void pqDelete(PriorityQ* pq, int handle);

} // namespace vx
