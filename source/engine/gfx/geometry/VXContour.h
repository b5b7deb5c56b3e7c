#pragma once

#include "core/VXMatrix3x3.h"
#include "core/VXRect.h"
#include "core/VXVec2.h"

#include <vector>

namespace vx
{

    /** A 2D path of line and cubic Bezier segments. Each segment owns the
        points it starts with (a line its start, a cubic its start and two
        control points) and ends at the next segment's start; in a closed ring
        the last segment ends at point 0. An open polyline of k points has k - 1
        segments, a closed one k. A plain value.

        Every operation is safe on any content: positions and segments out of
        range answer (0, 0) or do nothing, and segment types that claim more
        points than there are wrap around instead of reading past the end. */
    class Contour
    {
    public:
        enum SegmentType : int
        {
            LINE = 0,
            CUBIC = 1
        };

        /** Points each segment type owns: line 1, cubic 3, types 2 and 3 none. */
        static const int segmentTypePointCounts[4];

        /** Whether a point lies within tolerance of the outline, and the
            nearest outline point found. */
        struct IntersectResult
        {
            bool hit = false;
            TVec2<float> point;
        };

        Contour() = default;
        Contour(const Contour&) = default;
        Contour& operator=(const Contour&) = default;
        explicit Contour(const RectT<float>& rect);

        // ---- Building.

        /** Appends p with no segment: the start of a path. */
        void moveTo(const TVec2<float>& p);
        /** Appends a line segment (when points already exist), then p. */
        void addPoint(const TVec2<float>& p);
        void addPoint(float x, float y);
        void lineTo(const TVec2<float>& p);
        void addPoints(const std::vector<TVec2<float>>& points);
        /** addPoint for each of the other contour's points (its types and
            flag are ignored). */
        void append(const Contour& other);
        /** On a non-empty contour: c1, c2, end and one cubic segment. */
        void curveTo(const TVec2<float>& c1, const TVec2<float>& c2, const TVec2<float>& end);
        /** The quadratic through q as a cubic, on a non-empty contour. */
        void quadTo(const TVec2<float>& q, const TVec2<float>& end);
        /** One cubic for the arc of radius r about centre from angle a1 to a2
            (radians); the current point should be centre + r (cos a1, sin a1). */
        void arcSegmentAsCubicBezier(const TVec2<float>& centre, float r, float a1, float a2);
        /** With at least 3 points and not yet closed: the closing line. */
        void close();
        /** With at least 3 points: drops the last point (a repeat of the first)
            and marks the contour closed. */
        void makeRing();
        /** Inserts p at point index i with a line segment; at or past the end,
            or on an empty contour, appends it. A negative index does nothing. */
        void insertPoint(int i, const TVec2<float>& p);
        /** Removes segment i's type and its points. */
        void removeSegment(int i);
        void clear();
        /** Keeps the last n points, dropping as many leading segment types. */
        void limitSize(int n);
        /** Reverses the points; the segment types stay in their order. */
        void reverse();
        /** p -> (p - origin) * factor + origin per component. */
        void scale(const TVec2<float>& factor, const TVec2<float>& origin);
        void transform(const TMatrix3x3<float>& m);

        // ---- Shapes (each clears first).

        /** (x, y), (x, y + h), (x + w, y + h), (x + w, y), closed. */
        void rect(float x, float y, float w, float h);
        void rect(const RectT<float>& r);
        /** (x, y), (x + w, y), (x + w, y + h), (x, y + h), closed. */
        static Contour makeRect(float x, float y, float w, float h);
        /** Four cubics through 12 points, closed. */
        void circle(float cx, float cy, float r);
        /** n corners from startAngle, closed. */
        void regularPolygon(const TVec2<float>& centre, float r, int n, float startAngle);

        // ---- Queries.

        bool isClosed() const { return closed; }
        const std::vector<TVec2<float>>& getPoints() const { return points; }
        const std::vector<SegmentType>& getSegmentTypes() const { return segmentTypes; }
        int getNumPoints() const { return int(points.size()); }
        int getNumSegments() const { return int(segmentTypes.size()); }
        bool hasCurves() const;
        bool isLinearOnly() const;

        /** The point of segment i at t in [0, 1]; (0, 0) for a segment out of
            range or of another type. */
        TVec2<float> getSegmentPosition(int i, float t) const;
        /** The point at t along the segments (t <= 0 the first point, t >= 1 the
            last); (0, 0) for an empty contour. */
        TVec2<float> getPosition(float t) const;
        /** Adaptive subdivision into a polyline; s is the scale (the flatness
            tolerance is 0.5 / s). Each segment gives its start point and, for a
            cubic, the points between; an open contour ends with its last point,
            a closed one does not repeat point 0. */
        std::vector<TVec2<float>> subdivide(float s) const;
        /** Length of subdivide(1.0) without the closing gap. */
        float calcLength() const;
        /** The box of all stored points, control points included. */
        RectT<float> computeBoundingBox() const;
        /** The box of the curve itself (cubic extremes solved). */
        RectT<float> computePreciseBoundingBox() const;
        /** The mean of the stored points; (0, 0) when there are none. */
        TVec2<float> getCentroid() const;
        /** Even-odd inside test against the segments (curves solved exactly). */
        bool isPointIn(const TVec2<float>& p) const;
        /** The first segment closer than tol to p, else -1. */
        int getSegmentIndex(const TVec2<float>& p, float tol) const;
        bool isVertexOnOutline(const TVec2<float>& p, float tol) const;
        IntersectResult intersect(const TVec2<float>& p, float tol) const;

        // ---- Editing.

        /** Splits the first segment within tol of p at the nearest point. */
        bool addVertexAt(const TVec2<float>& p, float tol);
        /** Removes the first segment whose start lies within tol of p; never
            below 3 segments for a closed contour. */
        bool removeVertexAt(const TVec2<float>& p, float tol);
        /** Every segment becomes a line; control points go. */
        void forceLinear();
        /** Every line becomes a cubic with control points at its thirds. */
        void forceBezier();
        /** Replaces the contour by subdivide(s) as lines, closed again when it was. */
        void subdivideCurves(float s);
        /** Vertex reduction and Douglas-Peucker within tol; open, lines only. */
        void simplify(float tol);

    private:
        /** The first point index of every segment. */
        std::vector<int> segmentStarts() const;
        int pointCountOf(int segment) const;
        /** Point k, wrapped around the point count (the contour has points). */
        const TVec2<float>& wrapped(int k) const { return points[size_t(k % int(points.size()))]; }
        /** The index of the first point no segment owns (an open contour's end). */
        int ownedPointCount() const;

        bool closed = false;
        std::vector<TVec2<float>> points;
        std::vector<SegmentType> segmentTypes;
    };

    /** A list of contours, filled as one (holes and overlaps by winding). */
    class Shape
    {
    public:
        std::vector<Contour> contours;
    };

} // namespace vx
