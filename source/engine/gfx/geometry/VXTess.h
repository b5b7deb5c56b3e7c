#pragma once

// The polygon tessellator's public face: a tessellator takes closed contours
// of 2D or 3D points and turns the regions a winding rule marks inside into
// triangles (or convex polygons of up to polySize vertices), or into their
// boundary loops. A sweep line over the projected points cuts the outline at
// every crossing and merges coincident points, so self-intersecting contours,
// holes and overlaps are all fine. Plain records and free functions; a
// tessellator is used by one thread at a time. Only making and deleting
// tessellators on the default allocator takes a lock.

namespace vx
{

    /** Where the tessellator takes its memory from. Zero bucket sizes take the
        defaults (512 mesh edges, 512 mesh vertices, 256 mesh faces, 512
        dictionary nodes, 256 regions); every bucket size is clamped to 16-4096.
        extraVertices sizes the event queue beyond the input points: without a
        reallocate function, at most (points + max(8, extraVertices)) / 2
        crossings can wait in the queue at once, and one more fails the call. */
    struct TessAllocator
    {
        void* (*allocate)(void* userData, unsigned int size) = nullptr;
        void* (*reallocate)(void* userData, void* pointer, unsigned int size) = nullptr;
        void (*free)(void* userData, void* pointer) = nullptr;
        void* userData = nullptr;
        int meshEdgeBucketSize = 0;
        int meshVertexBucketSize = 0;
        int meshFaceBucketSize = 0;
        int dictNodeBucketSize = 0;
        int regionBucketSize = 0;
        int extraVertices = 0;
    };

    /** A region is inside when its winding number n is: odd; not 0; above 0;
        below 0; |n| >= 2. Any other value marks nothing inside. */
    enum TessWindingRule : int
    {
        TESS_WINDING_ODD = 0,
        TESS_WINDING_NONZERO = 1,
        TESS_WINDING_POSITIVE = 2,
        TESS_WINDING_NEGATIVE = 3,
        TESS_WINDING_ABS_GEQ_TWO = 4
    };

    /** Output layouts of tessTesselate:
        - polygons: per inside face, polySize vertex indices, unused ones -1;
        - connected polygons: the same followed by polySize neighbour-face
          indices, -1 where the face across an edge is missing or outside;
        - boundary contours: per boundary loop (first vertex, vertex count) into
          a vertex array listing each loop's vertices in order. */
    enum TessElementType : int
    {
        TESS_POLYGONS = 0,
        TESS_CONNECTED_POLYGONS = 1,
        TESS_BOUNDARY_CONTOURS = 2
    };

    /** Index of an unused polygon slot or of a missing neighbour. */
    constexpr int tessUndef = -1;

    /** Coordinates of larger magnitude, NaN or infinite make tessTesselate
        fail: beyond it the float predicates of the sweep overflow. */
    constexpr float tessMaxCoord = 1.0e18f;

    struct Tesselator;

    /** A new tessellator taking memory from alloc (copied), or from malloc,
        realloc and free when alloc is null. Null when out of memory. A
        tessellator keeps the memory of its largest tessellation for the next
        ones, so reusing one for many polygons allocates little. With a null
        alloc this may be the tessellator deleted last on the default
        allocator, emptied, with its memory. */
    Tesselator* tessNewTess(const TessAllocator* alloc);
    /** Frees the tessellator with any contours, output and kept memory; null
        does nothing. One on the default allocator keeping at most a few
        megabytes is instead emptied and kept for the next
        tessNewTess(nullptr), unless another is kept already; it is freed at
        exit. */
    void tessDeleteTess(Tesselator* tess);

    /** Adds one closed contour of count points read as size (2 or 3) floats at
        pointer + i * stride bytes; with size 2 the z coordinate is 0. A count
        below 1 adds nothing. Running out of memory, or a null pointer with
        points to read, is remembered and fails the next tessTesselate. */
    void tessAddContour(Tesselator* tess, int size, const void* pointer, int stride, int count);

    /** Tessellates the contours added since the last call and replaces the
        output. normal may be null (computed from the points). vertexSize is
        clamped to 2-3; polySize must be at least 3. Answers 1 on success, 0 on
        failure (no contour, out of memory, bad arguments, coordinates beyond
        tessMaxCoord); after a failure the counts are 0 and the arrays null.
        Either way the contours are used up. */
    int tessTesselate(Tesselator* tess, int windingRule, int elementType, int polySize, int vertexSize,
                      const float* normal);

    /** The output of the last tessTesselate, owned by the tessellator until the
        next tessTesselate or tessDeleteTess: vertexCount x vertexSize floats and
        the element layout of the element type. */
    int tessGetVertexCount(const Tesselator* tess);
    const float* tessGetVertices(const Tesselator* tess);
    int tessGetElementCount(const Tesselator* tess);
    const int* tessGetElements(const Tesselator* tess);

} // namespace vx
