#pragma once

#include "engine/gfx/geometry/VXTess.h"

// The sweep's edge dictionary: the active regions in the order of their
// upper edges along the sweep line, as a sorted circular list behind a head
// node whose key is null. Searches walk from the head, insertions from a
// nearby node, which is where the sweep inserts.

namespace vx
{

    struct BucketAlloc;
    struct Tesselator;
    struct ActiveRegion;

    using DictKey = ActiveRegion*;
    using DictLeq = bool (*)(Tesselator* frame, DictKey k1, DictKey k2);

    struct DictNode
    {
        DictKey key;
        DictNode* next;
        DictNode* prev;
    };

    struct Dict
    {
        DictNode head;
        Tesselator* frame;
        BucketAlloc* nodePool;
        DictLeq leq;
    };

    /** The dictionary-node bucket size of alloc is clamped to 16-4096 and
        written back. Null when out of memory. */
    Dict* dictNewDict(TessAllocator* alloc, Tesselator* frame, DictLeq leq);
    void dictDeleteDict(TessAllocator* alloc, Dict* dict);
    /** Inserts key after the first node at or before node (walking backwards)
        that is the head or not above key. Null when out of memory. */
    DictNode* dictInsertBefore(Dict* dict, DictNode* node, DictKey key);
    void dictDelete(Dict* dict, DictNode* node);
    /** The first node from the head on that is the head or not below key. */
    DictNode* dictSearch(Dict* dict, DictKey key);

    inline DictNode* dictInsert(Dict* dict, DictKey key)
    {
        return dictInsertBefore(dict, &dict->head, key);
    }
    inline DictNode* dictMin(Dict* dict)
    {
        return dict->head.next;
    }

} // namespace vx
