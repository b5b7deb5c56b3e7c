#include "engine/gfx/geometry/VXContour.h"

#include "engine/gfx/geometry/VXPolygon.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx
{
    namespace
    {
        using V = TVec2<float>;

        void expectNear(const V& a, const V& b, float tolerance = 1e-4f)
        {
            EXPECT_NEAR(a.x, b.x, tolerance);
            EXPECT_NEAR(a.y, b.y, tolerance);
        }

        Contour openPolyline(std::initializer_list<V> points)
        {
            Contour c;
            for (const V& p : points)
                c.addPoint(p);
            return c;
        }

        TEST(ContourTest, BuildersKeepPointAndSegmentCounts)
        {
            Contour circle;
            circle.circle(0, 0, 1);
            EXPECT_EQ(circle.getNumPoints(), 12);
            EXPECT_EQ(circle.getNumSegments(), 4);
            EXPECT_TRUE(circle.isClosed());
            EXPECT_TRUE(circle.hasCurves());

            Contour polyline = openPolyline({{0, 0}, {1, 0}, {2, 0}});
            EXPECT_EQ(polyline.getNumSegments(), 2);
            polyline.close();
            EXPECT_EQ(polyline.getNumSegments(), 3);
            polyline.close();
            EXPECT_EQ(polyline.getNumSegments(), 3) << "closing twice adds no segment";

            Contour empty;
            empty.quadTo({1, 1}, {2, 2});
            empty.curveTo({1, 1}, {2, 2}, {3, 3});
            EXPECT_EQ(empty.getNumPoints(), 0) << "curves need a start point";

            Contour hexagon;
            hexagon.regularPolygon({10, 10}, 5, 6, 0);
            EXPECT_EQ(hexagon.getNumPoints(), 6);
            EXPECT_TRUE(hexagon.isClosed());
            expectNear(hexagon.getPoints()[0], {15, 10});
            expectNear(hexagon.getPoints()[3], {5, 10});
        }

        TEST(ContourTest, RectOrdersAndSubdivision)
        {
            Contour r;
            r.rect(0, 0, 10, 5);
            const std::vector<V> expected{{0, 0}, {0, 5}, {10, 5}, {10, 0}};
            EXPECT_EQ(r.subdivide(1.0f), expected);
            EXPECT_EQ(Contour::makeRect(0, 0, 10, 5).getPoints(), (std::vector<V>{{0, 0}, {10, 0}, {10, 5}, {0, 5}}));
            EXPECT_FLOAT_EQ(r.calcLength(), 20.0f) << "without the closing gap";

            // An open path keeps its end point.
            const Contour polyline = openPolyline({{0, 0}, {1, 0}, {2, 0}});
            EXPECT_EQ(polyline.subdivide(1.0f).size(), 3u);
            EXPECT_FLOAT_EQ(polyline.calcLength(), 2.0f);
        }

        TEST(ContourTest, CircleSubdivisionStaysOnTheCircle)
        {
            Contour circle;
            circle.circle(0, 0, 100);
            for (float scale : {0.5f, 1.0f, 4.0f})
            {
                const auto points = circle.subdivide(scale);
                EXPECT_GT(points.size(), 12u);
                for (const V& p : points)
                    EXPECT_NEAR(p.length(), 100.0f, 0.1f) << "scale " << scale;
                // Finer scale, more points.
                if (scale > 1.0f)
                {
                    EXPECT_GT(points.size(), circle.subdivide(1.0f).size());
                }
            }
        }

        TEST(ContourTest, BoundingBoxes)
        {
            Contour c;
            c.moveTo({0, 0});
            c.curveTo({0, 10}, {10, 10}, {10, 0});
            const RectT<float> loose = c.computeBoundingBox();
            EXPECT_EQ(loose, RectT<float>(0, 0, 10, 10)) << "control points included";
            c.close();
            const RectT<float> precise = c.computePreciseBoundingBox();
            EXPECT_NEAR(precise.y2, 7.5f, 1e-4f) << "the curve's own top";
            EXPECT_EQ(precise.x1, 0.0f);
            EXPECT_EQ(precise.x2, 10.0f);
            EXPECT_EQ(Contour().computeBoundingBox(), RectT<float>());
        }

        TEST(ContourTest, InsideTestOverLinesAndCurves)
        {
            Contour circle;
            circle.circle(0, 0, 10);
            EXPECT_TRUE(circle.isPointIn({0, 0}));
            EXPECT_TRUE(circle.isPointIn({9.5f, 0.5f}));
            EXPECT_FALSE(circle.isPointIn({9.9f, 9.9f}));
            EXPECT_FALSE(circle.isPointIn({20, 0}));

            // Quadratics stored as cubics: the cubic coefficient is rounding
            // noise that must not make spurious roots.
            Contour rounded;
            rounded.moveTo({0, 0});
            rounded.quadTo({50, -30}, {100, 0});
            rounded.lineTo({100, 50});
            rounded.quadTo({50, 80}, {0, 50});
            rounded.close();
            for (float x = 1.0f; x < 100.0f; x += 7.0f)
            {
                EXPECT_TRUE(rounded.isPointIn({x, 25})) << x;
                EXPECT_FALSE(rounded.isPointIn({x, -30})) << x;
                EXPECT_FALSE(rounded.isPointIn({x, 80})) << x;
            }
            Contour lines = openPolyline({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
            lines.close();
            lines.forceBezier();
            EXPECT_TRUE(lines.isPointIn({5, 5}));
            EXPECT_FALSE(lines.isPointIn({5, 15}));
        }

        TEST(ContourTest, SegmentHitsAndIntersection)
        {
            Contour square;
            square.rect(0, 0, 10, 10);
            EXPECT_EQ(square.getSegmentIndex({0.2f, 5}, 0.5f), 0);
            EXPECT_EQ(square.getSegmentIndex({5, 10.1f}, 0.5f), 1);
            EXPECT_EQ(square.getSegmentIndex({5, 5}, 0.5f), -1);
            EXPECT_TRUE(square.isVertexOnOutline({10, 5}, 0.1f));
            const auto hit = square.intersect({10.3f, 5}, 0.5f);
            EXPECT_TRUE(hit.hit);
            expectNear(hit.point, {10, 5});
            EXPECT_FALSE(square.intersect({5, 5}, 0.5f).hit);
        }

        TEST(ContourTest, AddAndRemoveVertices)
        {
            Contour square;
            square.rect(0, 0, 10, 10);
            ASSERT_TRUE(square.addVertexAt({0.1f, 5}, 0.5f));
            EXPECT_EQ(square.getNumPoints(), 5);
            EXPECT_EQ(square.getNumSegments(), 5);
            expectNear(square.getPoints()[1], {0, 5});
            EXPECT_FALSE(square.addVertexAt({5, 5}, 0.5f));

            // Splitting a cubic keeps the curve's shape.
            Contour curve;
            curve.moveTo({0, 0});
            curve.curveTo({0, 10}, {10, 10}, {10, 0});
            curve.close();
            const V mid = curve.getSegmentPosition(0, 0.5f);
            const V quarter = curve.getSegmentPosition(0, 0.25f);
            ASSERT_TRUE(curve.addVertexAt(mid, 0.5f));
            EXPECT_EQ(curve.getNumSegments(), 3);
            EXPECT_EQ(curve.getNumPoints(), 7);
            expectNear(curve.getPoints()[3], mid, 1e-3f);
            expectNear(curve.getSegmentPosition(0, 0.5f), quarter, 1e-2f);

            Contour triangle = openPolyline({{0, 0}, {10, 0}, {5, 5}});
            triangle.close();
            EXPECT_FALSE(triangle.removeVertexAt({0, 0}, 1)) << "a closed triangle keeps its vertices";
            EXPECT_TRUE(square.removeVertexAt({0, 5}, 0.5f));
            EXPECT_EQ(square.getNumPoints(), 4);
            EXPECT_EQ(square.getNumSegments(), 4);
        }

        TEST(ContourTest, LinearAndBezierConversions)
        {
            Contour square;
            square.rect(0, 0, 3, 3);
            square.forceBezier();
            EXPECT_EQ(square.getNumPoints(), 12);
            expectNear(square.getPoints()[1], {0, 1});
            expectNear(square.getPoints()[2], {0, 2});
            square.forceLinear();
            EXPECT_EQ(square.getPoints(), (std::vector<V>{{0, 0}, {0, 3}, {3, 3}, {3, 0}}));
            EXPECT_TRUE(square.isLinearOnly());

            Contour circle;
            circle.circle(0, 0, 50);
            circle.subdivideCurves(1.0f);
            EXPECT_TRUE(circle.isClosed());
            EXPECT_TRUE(circle.isLinearOnly());
            EXPECT_EQ(circle.getNumSegments(), circle.getNumPoints());
        }

        TEST(ContourTest, SimplifyKeepsCornersAndSpacing)
        {
            // A zigzag of unit steps: Douglas-Peucker keeps its corners, the
            // last pass only those more than 2 apart.
            Contour zigzag;
            for (int i = 0; i <= 20; ++i)
                zigzag.addPoint(float(i), (i / 3) % 2 == 0 ? 0.0f : 3.0f);
            zigzag.simplify(0.5f);
            const auto& points = zigzag.getPoints();
            ASSERT_GE(points.size(), 2u);
            EXPECT_EQ(points.front(), V(0, 0));
            for (size_t i = 1; i < points.size(); ++i)
                EXPECT_GT((points[i] - points[i - 1]).squareLength(), 4.0f) << i;
            EXPECT_FALSE(zigzag.isClosed());
            EXPECT_EQ(zigzag.getNumSegments(), zigzag.getNumPoints() - 1);

            Contour straight = openPolyline({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
            straight.simplify(0.1f);
            EXPECT_EQ(straight.getPoints(), (std::vector<V>{{0, 0}, {4, 0}}));
        }

        TEST(ContourTest, EditingOperations)
        {
            Contour c = openPolyline({{0, 0}, {1, 0}, {2, 0}});
            c.insertPoint(3, {3, 0});
            EXPECT_EQ(c.getNumPoints(), 4) << "at the end: appended once";
            c.insertPoint(1, {0.5f, 0});
            EXPECT_EQ(c.getPoints()[1], V(0.5f, 0));
            EXPECT_EQ(c.getNumSegments(), 4);
            c.limitSize(2);
            EXPECT_EQ(c.getPoints(), (std::vector<V>{{2, 0}, {3, 0}}));
            c.scale({2, 3}, {1, 1});
            EXPECT_EQ(c.getPoints()[0], V(3, -2));
            TMatrix3x3<float> m;
            m.m[6] = 1;
            m.m[7] = 2;
            c.transform(m);
            EXPECT_EQ(c.getPoints()[0], V(4, 0));
            c.reverse();
            EXPECT_EQ(c.getPoints()[1], V(4, 0));
        }

        // Contents that do not add up (types claiming more points than exist,
        // indices out of range, no points) answer (0, 0) or nothing.
        TEST(ContourTest, OutOfRangeAndEmptyAreSafe)
        {
            Contour empty;
            EXPECT_EQ(empty.getCentroid(), V());
            EXPECT_EQ(empty.getPosition(0.5f), V());
            EXPECT_TRUE(empty.subdivide(1.0f).empty());
            EXPECT_FALSE(empty.isPointIn({0, 0}));
            EXPECT_EQ(empty.getSegmentIndex({0, 0}, 1), -1);

            Contour circle;
            circle.circle(0, 0, 10);
            EXPECT_EQ(circle.getSegmentPosition(-1, 0.5f), V());
            EXPECT_EQ(circle.getSegmentPosition(4, 0.5f), V());
            circle.removeSegment(7);
            circle.insertPoint(-3, {1, 1});
            EXPECT_EQ(circle.getNumPoints(), 12);

            // Dropping leading points of a curved contour leaves types that
            // claim more points than remain.
            circle.limitSize(5);
            EXPECT_EQ(circle.getNumPoints(), 5);
            (void)circle.subdivide(1.0f);
            (void)circle.computePreciseBoundingBox();
            (void)circle.isPointIn({0, 0});
            (void)circle.intersect({0, 0}, 1.0f);
            circle.forceBezier();
            circle.forceLinear();
            circle.removeSegment(0);
            SUCCEED();
        }

        TEST(PolygonTest, RectsCentresAndEdges)
        {
            const Polygon rect(RectT<float>(0, 0, 4, 2));
            EXPECT_TRUE(rect.isRect());
            EXPECT_EQ(rect.getCenter(), V(2, 1));
            EXPECT_FALSE(Polygon({{0, 0}, {1, 0}, {0, 1}}).isRect());
            EXPECT_FALSE(Polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0.5f}}).isRect());
            EXPECT_FALSE(Polygon({{0, 0}, {2, 0}, {3, 1}, {0, 1}}).isRect());
            EXPECT_EQ(Polygon().getCenter(), V());

            int edges = 0;
            V last;
            rect.forEachEdge(
                [&](const V&, const V& b)
                {
                    ++edges;
                    last = b;
                });
            EXPECT_EQ(edges, 4);
            EXPECT_EQ(last, V(0, 0)) << "the closing edge comes last";
        }

    } // namespace
} // namespace vx
