#pragma once

#include "engine/gfx/geometry/VXTess.h"

// The tessellator's half-edge mesh. Every edge is a pair of half-edges; a
// half-edge knows its origin, its left face, and the next half-edges
// counter-clockwise around its origin (onext) and around its left face
// (lnext). An edge's destination is its partner's origin and its right face
// its partner's left face. Vertices, faces and edge pairs live in circular
// lists behind dummy heads and come from the mesh's bucket allocators.
//
// Operations answer non-zero or a pointer on success and 0 or null when an
// allocation fails; the records they need are taken before anything changes,
// so a failed operation leaves the mesh as it was.

namespace vx
{

    struct BucketAlloc;
    struct TessHalfEdge;
    struct ActiveRegion;

    struct TessVertex
    {
        TessVertex* next;
        TessVertex* prev;
        TessHalfEdge* anEdge; // one half-edge leaving this vertex
        float coords[3];
        float s, t;   // projected coordinates
        int pqHandle; // event-queue handle
        int n;        // output number
    };

    struct TessFace
    {
        TessFace* next;
        TessFace* prev;
        TessHalfEdge* anEdge; // one half-edge of its loop (lface == this)
        TessFace* trail;
        int n; // output number
        bool marked;
        bool inside;
    };

    struct TessHalfEdge
    {
        TessHalfEdge* next; // global list: next pair; in the partner, the previous pair's partner
        TessHalfEdge* sym;  // the other half of the edge
        TessHalfEdge* onext;
        TessHalfEdge* lnext;
        TessVertex* org;
        TessFace* lface;
        ActiveRegion* activeRegion; // the sweep's region whose upper edge this is
        int winding;                // change in winding number crossing from the right face to the left
    };

    /** Both halves of one edge, allocated together; e is the one in the
        global list. */
    struct TessEdgePair
    {
        TessHalfEdge e;
        TessHalfEdge eSym;
    };

    struct TessMesh
    {
        TessVertex vHead;
        TessFace fHead;
        TessEdgePair eHead;
        BucketAlloc* edgeBucket;
        BucketAlloc* vertexBucket;
        BucketAlloc* faceBucket;
    };

    // Derived navigation.
    inline TessVertex* dst(const TessHalfEdge* e)
    {
        return e->sym->org;
    }
    inline TessFace* rface(const TessHalfEdge* e)
    {
        return e->sym->lface;
    }
    inline TessHalfEdge* oprev(const TessHalfEdge* e)
    {
        return e->sym->lnext;
    }
    inline TessHalfEdge* lprev(const TessHalfEdge* e)
    {
        return e->onext->sym;
    }
    inline TessHalfEdge* dprev(const TessHalfEdge* e)
    {
        return e->lnext->sym;
    }
    inline TessHalfEdge* rprev(const TessHalfEdge* e)
    {
        return e->sym->onext;
    }
    inline TessHalfEdge* dnext(const TessHalfEdge* e)
    {
        return rprev(e)->sym;
    }
    inline TessHalfEdge* rnext(const TessHalfEdge* e)
    {
        return oprev(e)->sym;
    }

    /** An empty mesh; the edge, vertex and face bucket sizes of alloc are
        clamped to 16-4096 and written back. */
    TessMesh* tessMeshNewMesh(TessAllocator* alloc);
    /** Frees the mesh with everything in it. */
    void tessMeshDeleteMesh(TessAllocator* alloc, TessMesh* mesh);
    /** Empties the mesh, whatever state it is in, keeping its buckets for the
        records of the next one. */
    void tessMeshReset(TessMesh* mesh);
    /** Moves mesh2's vertices, faces and edges into mesh1 and frees mesh2. */
    TessMesh* tessMeshUnion(TessAllocator* alloc, TessMesh* mesh1, TessMesh* mesh2);

    /** A new edge between two new vertices on one new face (a loop of one edge). */
    TessHalfEdge* tessMeshMakeEdge(TessMesh* mesh);
    /** Exchanges a->onext and b->onext: merges two vertex rings or splits one,
        and joins two face loops or splits one. */
    int tessMeshSplice(TessMesh* mesh, TessHalfEdge* a, TessHalfEdge* b);
    /** Moves e in the ring around its origin to just before eNext (another
        half-edge of the ring, not e->onext already), leaving the mesh as
        tessMeshSplice(mesh, oprev(e), e) and then
        tessMeshSplice(mesh, oprev(eNext), e) would, face records included,
        while walking only the half-edges whose face changes. */
    int tessMeshMoveInRing(TessMesh* mesh, TessHalfEdge* e, TessHalfEdge* eNext);
    /** Removes the edge, joining or splitting faces and killing vertices that
        become isolated. */
    int tessMeshDelete(TessMesh* mesh, TessHalfEdge* eDel);
    /** A new edge from dst(a) to a new vertex, on a's left face. */
    TessHalfEdge* tessMeshAddEdgeVertex(TessMesh* mesh, TessHalfEdge* a);
    /** Splits a into a and a new edge following it, with a new vertex between. */
    TessHalfEdge* tessMeshSplitEdge(TessMesh* mesh, TessHalfEdge* a);
    /** A new edge from dst(a) to org(b). Different left faces merge; on one
        face the face splits and the new face lies left of the new edge. */
    TessHalfEdge* tessMeshConnect(TessMesh* mesh, TessHalfEdge* a, TessHalfEdge* b);
    /** Destroys the face: edges with no face left on either side go, and
        vertices they leave isolated. */
    void tessMeshZapFace(TessMesh* mesh, TessFace* fZap);

    /** Merges neighbouring inside faces while the result has at most
        maxVertsPerFace vertices and stays convex. */
    int tessMeshMergeConvexFaces(TessMesh* mesh, int maxVertsPerFace);
    /** Triangulates one monotone face. */
    int tessMeshTessellateMonoRegion(TessMesh* mesh, TessFace* face);
    /** Triangulates every inside face. */
    int tessMeshTessellateInterior(TessMesh* mesh);
    /** Zaps every face that is not inside. */
    void tessMeshDiscardExterior(TessMesh* mesh);
    /** Boundary edges get winding +value (inside on their left) or -value;
        the others get 0, or are deleted with keepOnlyBoundary. */
    int tessMeshSetWindingNumber(TessMesh* mesh, int value, bool keepOnlyBoundary);

} // namespace vx
