#include "engine/gfx/geometry/VXTessDict.h"

#include "engine/gfx/geometry/VXTessBucketAlloc.h"

namespace vx
{

    Dict* dictNewDict(TessAllocator* alloc, Tesselator* frame, DictLeq leq)
    {
        auto* dict = static_cast<Dict*>(alloc->allocate(alloc->userData, sizeof(Dict)));
        if (dict == nullptr)
            return nullptr;
        dict->head.key = nullptr;
        dict->head.next = &dict->head;
        dict->head.prev = &dict->head;
        dict->frame = frame;
        dict->leq = leq;
        alloc->dictNodeBucketSize = clampBucketSize(alloc->dictNodeBucketSize, 512);
        dict->nodePool = createBucketAlloc(alloc, "Dict", sizeof(DictNode), unsigned(alloc->dictNodeBucketSize));
        if (dict->nodePool == nullptr)
        {
            alloc->free(alloc->userData, dict);
            return nullptr;
        }
        return dict;
    }

    void dictDeleteDict(TessAllocator* alloc, Dict* dict)
    {
        deleteBucketAlloc(dict->nodePool);
        alloc->free(alloc->userData, dict);
    }

    DictNode* dictInsertBefore(Dict* dict, DictNode* node, DictKey key)
    {
        do
        {
            node = node->prev;
        } while (node->key != nullptr && ! dict->leq(dict->frame, node->key, key));

        auto* newNode = static_cast<DictNode*>(bucketAlloc(dict->nodePool));
        if (newNode == nullptr)
            return nullptr;
        newNode->next = node->next;
        node->next->prev = newNode;
        newNode->prev = node;
        node->next = newNode;
        newNode->key = key;
        return newNode;
    }

    void dictDelete(Dict* dict, DictNode* node)
    {
        node->next->prev = node->prev;
        node->prev->next = node->next;
        bucketFree(dict->nodePool, node);
    }

    DictNode* dictSearch(Dict* dict, DictKey key)
    {
        DictNode* node = &dict->head;
        do
        {
            node = node->next;
        } while (node->key != nullptr && ! dict->leq(dict->frame, key, node->key));
        return node;
    }

} // namespace vx
