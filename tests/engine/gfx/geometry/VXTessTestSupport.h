#pragma once

// Helpers of the tessellator suites: the mesh consistency checker, an
// allocator that counts and can fail on demand, the winding-number rule and
// seeded input generators.

#include "engine/gfx/geometry/VXTess.h"

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vx
{
    struct TessMesh;
}

namespace vx::test
{

    /** "" when the mesh keeps every invariant of the half-edge structure, else
        what the first broken one is. */
    std::string checkMesh(const TessMesh* mesh);

    /** A malloc-backed allocator record that counts live blocks and bytes and
        fails the allocation numbered failAt (from 0) when it is not negative. */
    struct CountingAllocator
    {
        CountingAllocator(bool withRealloc = true);

        TessAllocator record;
        long live = 0;
        long calls = 0;
        long failAt = -1;
    };

    using Point = std::array<float, 2>;
    using Contour2 = std::vector<Point>;
    using Contours = std::vector<Contour2>;

    /** The winding number of the contours about p (counter-clockwise +1). */
    int windingNumber(const Contours& contours, double x, double y);
    bool isInsideByRule(int windingNumber, int rule);
    /** The contours' total signed area (counter-clockwise positive). */
    double signedArea(const Contours& contours);
    /** Smallest distance from p to any contour edge. */
    double distanceToOutline(const Contours& contours, double x, double y);

    struct Triangle
    {
        std::array<double, 2> a, b, c;
        bool operator==(const Triangle&) const = default;
    };

    double totalArea(const std::vector<Triangle>& triangles);

    /** Our triangles for the contours; empty with ok false when tessTesselate
        answered 0. */
    std::vector<Triangle> tessTriangles(const Contours& contours, int rule, bool* ok = nullptr);
    /** GLU's triangles for the contours under the rule: an independent reference. */
    std::vector<Triangle> referenceTriangles(const Contours& contours, int rule);

    /** Seeded inputs of one kind. */
    enum class Shape
    {
        simple,
        star,
        holes,
        overlaps,
        duplicates,
        collinear,
        huge,
        tiny
    };
    Contours makeContours(Shape shape, std::mt19937& random);
    const char* shapeName(Shape shape);

} // namespace vx::test
