#include "engine/gfx/geometry/VXTriangulate.h"

#include "engine/gfx/geometry/VXContour.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx
{
    namespace
    {
        using V = TVec2<float>;

        double meshArea(const Mesh2d& mesh)
        {
            double area = 0.0;
            for (size_t i = 0; i + 2 < mesh.indices.size(); i += 3)
            {
                const V& a = mesh.vertices[size_t(mesh.indices[i])];
                const V& b = mesh.vertices[size_t(mesh.indices[i + 1])];
                const V& c = mesh.vertices[size_t(mesh.indices[i + 2])];
                area += std::fabs(double(b.x - a.x) * (c.y - a.y) - double(c.x - a.x) * (b.y - a.y)) / 2.0;
            }
            return area;
        }

        TEST(TriangulateTest, PointListsContoursAndShapes)
        {
            const V square[] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            const Mesh2d mesh = triangulate(square, 4, WINDING_ODD);
            EXPECT_EQ(mesh.indices.size(), 6u);
            EXPECT_EQ(mesh.vertices.size(), 4u);
            EXPECT_TRUE(triangulate(square, 2, WINDING_ODD).empty());

            // Figure eight: both lobes under odd, one under positive.
            const V eight[] = {{0, 0}, {2, 2}, {2, 0}, {0, 2}};
            EXPECT_NEAR(meshArea(triangulate(eight, 4, WINDING_ODD)), 2.0, 1e-6);
            EXPECT_NEAR(meshArea(triangulate(eight, 4, WINDING_POSITIVE)), 1.0, 1e-6);

            Contour circle;
            circle.circle(0, 0, 10);
            EXPECT_NEAR(meshArea(triangulate(circle, WINDING_NONZERO, 1.0f)), 314.159, 3.0) << "an inscribed polyline";
            Contour two;
            two.addPoint(0, 0);
            two.addPoint(1, 1);
            EXPECT_TRUE(triangulate(two, WINDING_ODD, 1.0f).empty());

            Shape ring;
            ring.contours.push_back(Contour::makeRect(0, 0, 10, 10));
            ring.contours.push_back(Contour::makeRect(2, 2, 6, 6));
            EXPECT_NEAR(meshArea(triangulate(ring, WINDING_ODD, 1.0f)), 64.0, 1e-4);
            EXPECT_NEAR(meshArea(triangulate(ring, WINDING_NONZERO, 1.0f)), 100.0, 1e-4) << "same orientation";

            test::LogRecorder log;
            Shape shortOnes;
            shortOnes.contours.push_back(two);
            EXPECT_TRUE(triangulate(shortOnes, WINDING_ODD, 1.0f).empty());
            EXPECT_TRUE(triangulate(Shape(), WINDING_ODD, 1.0f).empty());
            EXPECT_EQ(log.count(), 0u) << "nothing to fill is no error";
        }

        TEST(TriangulateTest, ThreeDimensionsAndFailures)
        {
            const std::vector<TVec3<float>> tilted{{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0}};
            const Mesh3d mesh = triangulate3d(tilted, WINDING_ODD);
            EXPECT_EQ(mesh.indices.size(), 6u);
            ASSERT_EQ(mesh.vertices.size(), 4u);
            for (const auto& v : mesh.vertices)
                EXPECT_EQ(v.z, v.x) << "z comes through";

            test::LogRecorder log;
            const V bad[] = {{0, 0}, {INFINITY, 0}, {1, 1}};
            EXPECT_TRUE(triangulate(bad, 3, WINDING_ODD).empty());
            EXPECT_TRUE(log.contains("tessellation failed"));
        }

    } // namespace
} // namespace vx
