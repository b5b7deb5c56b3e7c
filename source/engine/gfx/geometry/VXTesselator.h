#pragma once

#include "engine/gfx/geometry/VXTess.h"

// The tessellator record, shared by the front-end, the sweep and the output.

namespace vx
{

    struct BucketAlloc;
    struct Dict;
    struct PriorityQ;
    struct TessMesh;
    struct DictNode;
    struct TessHalfEdge;
    struct TessVertex;

    /** The region between an edge crossing the sweep line and the next edge
        below it. */
    struct ActiveRegion
    {
        TessHalfEdge* eUp; // upper edge, directed right to left
        DictNode* nodeUp;  // its dictionary node
        int windingNumber; // of the region
        bool inside;       // by the winding rule
        bool sentinel;     // one of the two bounding regions
        bool dirty;        // its edges need checking for order and crossings
        bool fixUpperEdge; // eUp is a temporary edge to be replaced
    };

    /** Called when two vertices merge or a crossing makes a new vertex, with
        the new coordinates and the weights of the (up to four) vertices they
        come from. */
    using TessCombine = void (*)(const float coords[3], const float weights[4]);

    /** A block from the allocator record, kept and reused while large enough. */
    struct TessBuffer
    {
        void* data = nullptr;
        unsigned int bytes = 0;
    };

    /** The tessellator keeps the memory of its last tessellation for the next
        one: the emptied mesh with its buckets and the output arrays, and once
        it is reused also the dictionary and the event queue. tessDeleteTess
        gives it all back, or, for a tessellator on the default allocator,
        parks it with that memory for the next tessNewTess(nullptr). */
    struct Tesselator
    {
        TessMesh* mesh = nullptr;
        TessMesh* spareMesh = nullptr; // emptied when the next contour comes
        bool reused = false;           // tessellating again with kept memory
        bool parkable = false;         // on the default allocator: parked when deleted
        bool outOfMemory = false;
        bool badInput = false; // a contour could not be read

        float normal[3] = {};
        float sUnit[3] = {};
        float tUnit[3] = {};
        float bmin[2] = {};
        float bmax[2] = {};

        int windingRule = TESS_WINDING_ODD;

        Dict* dict = nullptr;
        PriorityQ* pq = nullptr;
        TessVertex* event = nullptr;
        BucketAlloc* regionPool = nullptr;

        TessCombine combine = nullptr;

        // The output: null and 0 unless the last tessTesselate succeeded. The
        // arrays it points into are kept with their capacities.
        float* vertices = nullptr;
        int vertexCount = 0;
        int* elements = nullptr;
        int elementCount = 0;
        TessBuffer vertexBuffer;
        TessBuffer elementBuffer;

        TessAllocator alloc;
    };

    /** Thrown by the sweep when memory runs out or the mesh turns out broken;
        caught in tessTesselate, which answers 0. */
    struct TessFailure
    {
    };

    /** Projects the mesh's vertices onto the plane of the normal (computed
        when it is (0, 0, 0), then oriented so that the contours' total signed
        area is positive) into s and t, and records their bounds. False when a
        coordinate is NaN, infinite or beyond tessMaxCoord. */
    bool tessProjectPolygon(Tesselator* tess);

    /** The sweep: cuts the projected mesh at every crossing, merges
        coincident vertices and marks every face inside or outside by the
        winding rule. Answers false when the event queue cannot be built and
        throws TessFailure on any later failure. */
    bool tessComputeInterior(Tesselator* tess);
    /** Frees the dictionary and the event queue and makes every region free
        again: after a failed sweep, after a tessellator's first one, and when
        the tessellator goes. */
    void tessReleaseSweep(Tesselator* tess);

} // namespace vx
