#pragma once

#include "core/VXVec2.h"
#include "core/VXVec3.h"
#include "engine/gfx/geometry/VXMesh2d.h"

#include <cstdint>
#include <vector>

namespace vx
{

    class Contour;
    class Geometry;
    class Shape;

    /** The tessellator's winding rule: a region is inside when its winding
        number is odd, not 0, above 0, below 0, or at least 2 in magnitude. */
    enum Winding : int
    {
        WINDING_ODD = 0,
        WINDING_NONZERO = 1,
        WINDING_POSITIVE = 2,
        WINDING_NEGATIVE = 3,
        WINDING_ABS_GEQ_TWO = 4
    };

    /** The 3D counterpart of Mesh2d; triangulate3d fills vertices and indices. */
    class Mesh3d
    {
    public:
        std::vector<uint32_t> colors;
        std::vector<TVec3<float>> vertices;
        std::vector<TVec2<float>> uvs;
        std::vector<int> indices;
    };

    // Triangles of the regions the winding rule marks inside, three indices
    // per triangle (following each face's loop) into vertices that include
    // the crossings of the outline. A failed tessellation (out of memory,
    // coordinates that are not finite or beyond 1e18) gives an empty mesh
    // and a log line.

    /** One contour of n points; empty for fewer than 3. */
    Mesh2d triangulate(const TVec2<float>* points, int n, Winding winding);
    /** The contour subdivided with scale s; empty for 2 points or fewer. */
    Mesh2d triangulate(const Contour& contour, Winding winding, float s);
    /** Every contour of at least 3 points, subdivided, filled together. */
    Mesh2d triangulate(const Shape& shape, Winding winding, float s);
    Mesh3d triangulate3d(const std::vector<TVec3<float>>& points, Winding winding);
    /** Replaces the geometry's buffers with a "POS3" vertex buffer (z = 0) and
        a 32-bit index buffer of the triangles. False for fewer than 3 points,
        a failed tessellation or failed buffers (the geometry is left empty). */
    bool triangulate(Geometry* geometry, const TVec2<float>* points, int n, Winding winding);

} // namespace vx
