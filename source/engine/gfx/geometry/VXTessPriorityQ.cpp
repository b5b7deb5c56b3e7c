#include "engine/gfx/geometry/VXTessPriorityQ.h"

#include "engine/gfx/geometry/VXTessGeom.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace vx
{

    namespace
    {
        // The sweep always orders by tesvertLeq: called directly it inlines,
        // which halves the cost of sorting the input vertices.
        template <typename Queue>
        bool leq(const Queue* pq, PQkey a, PQkey b)
        {
            return pq->leq == &tesvertLeq ? tesvertLeq(a, b) : pq->leq(a, b);
        }

        // The key at a place of the sorted array; null once deleted.
        PQkey sortedKey(const PriorityQ* pq, int index)
        {
            return pq->keys[pq->order[index].key];
        }

        void* allocateArray(TessAllocator* alloc, int count, std::size_t itemSize)
        {
            const uint64_t bytes = uint64_t(count < 1 ? 1 : count) * itemSize;
            if (bytes > UINT_MAX)
                return nullptr;
            return alloc->allocate(alloc->userData, unsigned(bytes));
        }

        void* reallocateArray(TessAllocator* alloc, void* pointer, int count, std::size_t itemSize)
        {
            const uint64_t bytes = uint64_t(count < 1 ? 1 : count) * itemSize;
            if (bytes > UINT_MAX)
                return nullptr;
            return alloc->reallocate(alloc->userData, pointer, unsigned(bytes));
        }

        void floatDown(PriorityQHeap* pq, int curr)
        {
            PQnode* n = pq->nodes;
            PQhandleElem* h = pq->handles;
            const int hCurr = n[curr].handle;
            for (;;)
            {
                int child = curr << 1;
                if (child < pq->size && leq(pq, h[n[child + 1].handle].key, h[n[child].handle].key))
                    ++child;
                const int hChild = child <= pq->size ? n[child].handle : 0;
                if (child > pq->size || leq(pq, h[hCurr].key, h[hChild].key))
                {
                    n[curr].handle = hCurr;
                    h[hCurr].node = curr;
                    break;
                }
                n[curr].handle = hChild;
                h[hChild].node = curr;
                curr = child;
            }
        }

        void floatUp(PriorityQHeap* pq, int curr)
        {
            PQnode* n = pq->nodes;
            PQhandleElem* h = pq->handles;
            const int hCurr = n[curr].handle;
            for (;;)
            {
                const int parent = curr >> 1;
                const int hParent = n[parent].handle;
                if (parent == 0 || leq(pq, h[hParent].key, h[hCurr].key))
                {
                    n[curr].handle = hCurr;
                    h[hCurr].node = curr;
                    break;
                }
                n[curr].handle = hParent;
                h[hParent].node = curr;
                curr = parent;
            }
        }
    }

    //==============================================================================
    namespace
    {
        // Arrays of at least count items, replaced (contents dropped) when
        // smaller; false when out of memory, which leaves them null.
        template <typename T>
        bool ensureRoom(TessAllocator* alloc, T*& array, int& capacity, int count)
        {
            if (array != nullptr && capacity >= count)
                return true;
            if (array != nullptr)
                alloc->free(alloc->userData, array);
            array = static_cast<T*>(allocateArray(alloc, count, sizeof(T)));
            capacity = array != nullptr ? count : 0;
            return array != nullptr;
        }

        bool resetHeap(TessAllocator* alloc, PriorityQHeap* pq, int size)
        {
            pq->size = 0;
            pq->max = size < 1 ? 1 : size;
            int nodesCapacity = pq->capacity;
            int handlesCapacity = pq->capacity;
            const bool ok = ensureRoom(alloc, pq->nodes, nodesCapacity, pq->max + 1) &&
                            ensureRoom(alloc, pq->handles, handlesCapacity, pq->max + 1);
            pq->capacity = std::min(nodesCapacity, handlesCapacity);
            if (! ok)
                return false;
            pq->initialized = false;
            pq->freeList = 0;
            // Slot 1 answers "no key" while the heap is empty.
            pq->nodes[1].handle = 1;
            pq->handles[1].key = nullptr;
            pq->handles[1].node = 1;
            return true;
        }
    }

    PriorityQHeap* pqHeapNewPriorityQ(TessAllocator* alloc, int size, PQleq leq)
    {
        auto* pq = static_cast<PriorityQHeap*>(alloc->allocate(alloc->userData, sizeof(PriorityQHeap)));
        if (pq == nullptr)
            return nullptr;
        pq->nodes = nullptr;
        pq->handles = nullptr;
        pq->capacity = 0;
        pq->leq = leq;
        if (! resetHeap(alloc, pq, size))
        {
            pqHeapDeletePriorityQ(alloc, pq);
            return nullptr;
        }
        return pq;
    }

    void pqHeapDeletePriorityQ(TessAllocator* alloc, PriorityQHeap* pq)
    {
        if (pq->handles != nullptr)
            alloc->free(alloc->userData, pq->handles);
        if (pq->nodes != nullptr)
            alloc->free(alloc->userData, pq->nodes);
        alloc->free(alloc->userData, pq);
    }

    void pqHeapInit(PriorityQHeap* pq)
    {
        for (int i = pq->size; i >= 1; --i)
            floatDown(pq, i);
        pq->initialized = true;
    }

    int pqHeapInsert(TessAllocator* alloc, PriorityQHeap* pq, PQkey keyNew)
    {
        const int curr = pq->size + 1;
        if (curr * 2 > pq->max)
        {
            if (alloc->reallocate == nullptr || pq->max > INT_MAX / 4)
                return pqInvalidHandle;
            const int newMax = pq->max << 1;
            if (pq->capacity < newMax + 1)
            {
                auto* nodes = static_cast<PQnode*>(reallocateArray(alloc, pq->nodes, newMax + 1, sizeof(PQnode)));
                if (nodes == nullptr)
                    return pqInvalidHandle;
                pq->nodes = nodes;
                auto* handles =
                    static_cast<PQhandleElem*>(reallocateArray(alloc, pq->handles, newMax + 1, sizeof(PQhandleElem)));
                if (handles == nullptr)
                    return pqInvalidHandle;
                pq->handles = handles;
                pq->capacity = newMax + 1;
            }
            pq->max = newMax;
        }
        pq->size = curr;

        int freeHandle;
        if (pq->freeList == 0)
            freeHandle = curr;
        else
        {
            freeHandle = pq->freeList;
            pq->freeList = pq->handles[freeHandle].node;
        }
        pq->nodes[curr].handle = freeHandle;
        pq->handles[freeHandle].node = curr;
        pq->handles[freeHandle].key = keyNew;
        if (pq->initialized)
            floatUp(pq, curr);
        return freeHandle;
    }

    PQkey pqHeapExtractMin(PriorityQHeap* pq)
    {
        PQnode* n = pq->nodes;
        PQhandleElem* h = pq->handles;
        const int hMin = n[1].handle;
        PQkey min = h[hMin].key;
        if (pq->size > 0)
        {
            n[1].handle = n[pq->size].handle;
            h[n[1].handle].node = 1;
            h[hMin].key = nullptr;
            h[hMin].node = pq->freeList;
            pq->freeList = hMin;
            if (--pq->size > 0)
                floatDown(pq, 1);
        }
        return min;
    }

    void pqHeapDelete(PriorityQHeap* pq, int hCurr)
    {
        PQnode* n = pq->nodes;
        PQhandleElem* h = pq->handles;
        const int curr = h[hCurr].node;
        n[curr].handle = n[pq->size].handle;
        h[n[curr].handle].node = curr;
        if (curr <= --pq->size)
        {
            if (curr <= 1 || leq(pq, h[n[curr >> 1].handle].key, h[n[curr].handle].key))
                floatDown(pq, curr);
            else
                floatUp(pq, curr);
        }
        h[hCurr].key = nullptr;
        h[hCurr].node = pq->freeList;
        pq->freeList = hCurr;
    }

    //==============================================================================
    PriorityQ* pqNewPriorityQ(TessAllocator* alloc, int size, PQleq leq)
    {
        auto* pq = static_cast<PriorityQ*>(alloc->allocate(alloc->userData, sizeof(PriorityQ)));
        if (pq == nullptr)
            return nullptr;
        pq->heap = pqHeapNewPriorityQ(alloc, size, leq);
        pq->keys = nullptr;
        pq->keysCapacity = 0;
        pq->order = nullptr;
        pq->orderCapacity = 0;
        pq->leq = leq;
        if (pq->heap == nullptr || ! pqReset(alloc, pq, size))
        {
            pqDeletePriorityQ(alloc, pq);
            return nullptr;
        }
        return pq;
    }

    bool pqReset(TessAllocator* alloc, PriorityQ* pq, int size)
    {
        pq->size = 0;
        pq->max = size < 1 ? 1 : size;
        pq->initialized = false;
        return resetHeap(alloc, pq->heap, size) && ensureRoom(alloc, pq->keys, pq->keysCapacity, pq->max);
    }

    void pqDeletePriorityQ(TessAllocator* alloc, PriorityQ* pq)
    {
        if (pq->heap != nullptr)
            pqHeapDeletePriorityQ(alloc, pq->heap);
        if (pq->order != nullptr)
            alloc->free(alloc->userData, pq->order);
        if (pq->keys != nullptr)
            alloc->free(alloc->userData, pq->keys);
        alloc->free(alloc->userData, pq);
    }

    namespace
    {
        // Quicksort of the sorted array into decreasing order with an explicit
        // stack; the smaller part is pushed, so 64 entries cover any size.
        // Pivots are random; ranges of up to 11 entries are finished by
        // insertion sort. less(x, y) says x comes strictly before y.
        template <typename Less>
        void sortDecreasing(PQsorted* first, PQsorted* last, Less less)
        {
            const auto greater = [&less](const PQsorted& x, const PQsorted& y) { return less(y, x); };
            struct Range
            {
                PQsorted* p;
                PQsorted* r;
            };
            Range stack[64];
            Range* top = stack;
            unsigned int seed = 2016473283u;
            if (last - first > 1)
                *top++ = {first, last - 1};
            while (top != stack)
            {
                --top;
                PQsorted* p = top->p;
                PQsorted* r = top->r;
                while (r > p + 10)
                {
                    seed = seed * 1539415821u + 1u;
                    PQsorted* i = p + seed % unsigned(r - p + 1);
                    const PQsorted piv = *i;
                    *i = *p;
                    *p = piv;
                    i = p - 1;
                    PQsorted* j = r + 1;
                    do
                    {
                        do
                            ++i;
                        while (greater(*i, piv));
                        do
                            --j;
                        while (less(*j, piv));
                        std::swap(*i, *j);
                    } while (i < j);
                    std::swap(*i, *j); // undo the last swap
                    if (i - p < r - j)
                    {
                        *top++ = {j + 1, r};
                        r = i - 1;
                    }
                    else
                    {
                        *top++ = {p, i - 1};
                        p = j + 1;
                    }
                }
                for (PQsorted* i = p + 1; i <= r; ++i)
                {
                    const PQsorted piv = *i;
                    PQsorted* j = i;
                    for (; j > p && less(*(j - 1), piv); --j)
                        *j = *(j - 1);
                    *j = piv;
                }
            }
        }
    }

    bool pqInit(TessAllocator* alloc, PriorityQ* pq)
    {
        if (! ensureRoom(alloc, pq->order, pq->orderCapacity, pq->size + 1))
            return false;
        for (int i = 0; i < pq->size; ++i)
            pq->order[i] = {pq->keys[i]->s, pq->keys[i]->t, i};

        // The sweep's order compares the copied coordinates, which keeps the
        // sort within one array; any other order goes through the keys.
        if (pq->leq == &tesvertLeq)
            sortDecreasing(pq->order, pq->order + pq->size,
                           [](const PQsorted& x, const PQsorted& y) { return x.s < y.s || (x.s == y.s && x.t < y.t); });
        else
            sortDecreasing(pq->order, pq->order + pq->size,
                           [pq](const PQsorted& x, const PQsorted& y)
                           { return ! pq->leq(pq->keys[y.key], pq->keys[x.key]); });
        pq->max = pq->size;
        pq->initialized = true;
        pqHeapInit(pq->heap);
        return true;
    }

    int pqInsert(TessAllocator* alloc, PriorityQ* pq, PQkey keyNew)
    {
        if (pq->initialized)
            return pqHeapInsert(alloc, pq->heap, keyNew);

        const int curr = pq->size;
        if (curr >= pq->max)
        {
            if (alloc->reallocate == nullptr || pq->max > INT_MAX / 4)
                return pqInvalidHandle;
            const int newMax = pq->max << 1;
            if (pq->keysCapacity < newMax)
            {
                auto* keys = static_cast<PQkey*>(reallocateArray(alloc, pq->keys, newMax, sizeof(PQkey)));
                if (keys == nullptr)
                    return pqInvalidHandle;
                pq->keys = keys;
                pq->keysCapacity = newMax;
            }
            pq->max = newMax;
        }
        pq->keys[curr] = keyNew;
        pq->size = curr + 1;
        return -(curr + 1);
    }

    PQkey pqExtractMin(PriorityQ* pq)
    {
        if (pq->size == 0)
            return pqHeapExtractMin(pq->heap);
        PQkey sortMin = sortedKey(pq, pq->size - 1);
        if (! pqHeapIsEmpty(pq->heap))
        {
            PQkey heapMin = pqHeapMinimum(pq->heap);
            if (leq(pq, heapMin, sortMin))
                return pqHeapExtractMin(pq->heap);
        }
        do
        {
            --pq->size;
        } while (pq->size > 0 && sortedKey(pq, pq->size - 1) == nullptr);
        return sortMin;
    }

    PQkey pqMinimum(const PriorityQ* pq)
    {
        if (pq->size == 0)
            return pqHeapMinimum(pq->heap);
        PQkey sortMin = sortedKey(pq, pq->size - 1);
        if (! pqHeapIsEmpty(pq->heap))
        {
            PQkey heapMin = pqHeapMinimum(pq->heap);
            if (leq(pq, heapMin, sortMin))
                return heapMin;
        }
        return sortMin;
    }

    bool pqIsEmpty(const PriorityQ* pq)
    {
        return pq->size == 0 && pqHeapIsEmpty(pq->heap);
    }

    uint64_t pqBytes(const PriorityQ* pq)
    {
        const PriorityQHeap* heap = pq->heap;
        return sizeof(PriorityQ) + sizeof(PriorityQHeap) +
               uint64_t(heap->capacity) * (sizeof(PQnode) + sizeof(PQhandleElem)) +
               uint64_t(pq->keysCapacity) * sizeof(PQkey) + uint64_t(pq->orderCapacity) * sizeof(PQsorted);
    }

    void pqDelete(PriorityQ* pq, int curr)
    {
        // 0 is no handle: the vertex is not queued (any more).
        if (curr > 0)
        {
            if (curr <= pq->heap->max && pq->heap->handles[curr].key != nullptr)
                pqHeapDelete(pq->heap, curr);
            return;
        }
        if (curr == 0 || -(curr + 1) >= pq->max)
            return;
        curr = -(curr + 1);
        pq->keys[curr] = nullptr;
        while (pq->size > 0 && sortedKey(pq, pq->size - 1) == nullptr)
            --pq->size;
    }

} // namespace vx
