#include "core/VXCurveUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace
{

    using Vec2 = vx::TVec2<float>;
    using Vec2d = vx::TVec2<double>;

    void expectNear(const Vec2& actual, const Vec2& expected, float tolerance)
    {
        EXPECT_NEAR(actual.x, expected.x, tolerance);
        EXPECT_NEAR(actual.y, expected.y, tolerance);
    }

    // Roots come from the chord of a polygon flat to within 4.37114e-5 along the axis.
    constexpr double rootTolerance = 5e-5;

    Vec2d cubicAt(const Vec2d* V, double t)
    {
        const double s = 1.0 - t;
        return V[0] * (s * s * s) + V[1] * (3 * s * s * t) + V[2] * (3 * s * t * t) + V[3] * (t * t * t);
    }

    TEST(CurveUtilsTest, BezierCurveSplitsByDeCasteljau)
    {
        const Vec2d V[4] = {{0, 0}, {1, 2}, {3, 2}, {4, 0}};
        Vec2d left[4], right[4];
        const Vec2d mid = vx::bezierCurve(V, 3, 0.5, left, right);
        EXPECT_DOUBLE_EQ(mid.x, 2.0);
        EXPECT_DOUBLE_EQ(mid.y, 1.5);
        EXPECT_EQ(left[0], V[0]);
        EXPECT_EQ(left[3], mid);
        EXPECT_EQ(right[0], mid);
        EXPECT_EQ(right[3], V[3]);
        // The left half at u runs the curve at u / 2.
        const Vec2d a = vx::bezierCurve(left, 3, 0.3, nullptr, nullptr);
        const Vec2d b = cubicAt(V, 0.15);
        EXPECT_NEAR(a.x, b.x, 1e-12);
        EXPECT_NEAR(a.y, b.y, 1e-12);
        EXPECT_EQ(vx::bezierCurve(V, 9, 0.5, nullptr, nullptr), Vec2d()) << "degree beyond the table";
    }

    TEST(CurveUtilsTest, BezierFormHasTheExpectedRoots)
    {
        // A straight cubic along x with evenly spaced control points: B(s) = (3s, 0), so the
        // foot of p = (1.2, 5) is at s = 0.4, where (B - p) . B' changes sign.
        const Vec2d V[4] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}};
        const std::unique_ptr<Vec2d[]> w(vx::convertToBezierForm(Vec2d(1.2, 5), V));
        for (int i = 0; i <= 5; ++i)
            EXPECT_DOUBLE_EQ(w[i].x, i / 5.0);
        // (B(s) - p) . B'(s) = (3s - 1.2) * 3 = 9s - 3.6: Bernstein coefficients -3.6 + 9 i / 5.
        for (int i = 0; i <= 5; ++i)
            EXPECT_NEAR(w[i].y, -3.6 + 9.0 * i / 5.0, 1e-12) << i;
        double roots[5];
        ASSERT_EQ(vx::findRoots(w.get(), 5, roots, 0), 1);
        EXPECT_NEAR(roots[0], 0.4, rootTolerance);
    }

    TEST(CurveUtilsTest, FindRootsOfPositivePolygonIsEmpty)
    {
        const Vec2d w[6] = {{0, 1}, {0.2, 2}, {0.4, 0}, {0.6, 3}, {0.8, 1}, {1, 5}};
        double roots[5];
        EXPECT_EQ(vx::findRoots(w, 5, roots, 0), 0);
        EXPECT_EQ(vx::findRoots(w, 0, roots, 0), 0);
    }

    TEST(CurveUtilsTest, FindRootsOfLowerDegreeReadsOnlyItsPoints)
    {
        // A degree-2 polygon alone in its array (ASan would catch a read of w[5]). The
        // polynomial (1 - t)^2 - t^2 = 1 - 2t crosses at 0.5; the depth limit forces the
        // mid-point answer straight away.
        const auto w = std::make_unique<Vec2d[]>(3);
        w[0] = {0, 1};
        w[1] = {0.5, 0};
        w[2] = {1, -1};
        double roots[2];
        ASSERT_EQ(vx::findRoots(w.get(), 2, roots, vx::MAXDEPTH), 1);
        EXPECT_DOUBLE_EQ(roots[0], 0.5);
        ASSERT_EQ(vx::findRoots(w.get(), 2, roots, 0), 1);
        EXPECT_NEAR(roots[0], 0.5, 1e-9);
    }

    TEST(CurveUtilsTest, FindRootsReportsSeveralCrossingsAscending)
    {
        // (t - 0.2)(t - 0.5)(t - 0.9) = -0.09 + 0.73 t - 1.6 t^2 + t^3 in Bernstein form of degree 3.
        const Vec2d w[4] = {
            {0, -0.09}, {1 / 3.0, -0.09 + 0.73 / 3}, {2 / 3.0, -0.09 + 2 * 0.73 / 3 - 1.6 / 3}, {1, 0.04}};
        double roots[3];
        ASSERT_EQ(vx::findRoots(w, 3, roots, 0), 3);
        EXPECT_NEAR(roots[0], 0.2, rootTolerance);
        EXPECT_NEAR(roots[1], 0.5, rootTolerance);
        EXPECT_NEAR(roots[2], 0.9, rootTolerance);
    }

    TEST(CurveUtilsTest, TouchingAndCloseRoots)
    {
        // (t - 0.5)^2 touches zero without crossing it: no root.
        const Vec2d touching[3] = {{0, 0.25}, {0.5, -0.25}, {1, 0.25}};
        double roots[2];
        EXPECT_EQ(vx::findRoots(touching, 2, roots, 0), 0);

        // Lowering the middle point by 1e-8 splits it into two crossings 0.5 -+ sqrt(2e-8) / 2.
        const Vec2d close[3] = {{0, 0.25}, {0.5, -0.25 - 1e-8}, {1, 0.25}};
        ASSERT_EQ(vx::findRoots(close, 2, roots, 0), 2);
        const double half = std::sqrt(2e-8) / 2;
        EXPECT_NEAR(roots[0], 0.5 - half, rootTolerance);
        EXPECT_NEAR(roots[1], 0.5 + half, rootTolerance);
        EXPECT_LT(roots[0], roots[1]);
    }

    TEST(CurveUtilsTest, NearestPointOnCurveBeyondItsEnds)
    {
        const Vec2 q0(0, 0), q1(1, 2), q2(3, 2), q3(4, 0);
        float t = -1.0f;
        expectNear(vx::nearestPointOnCurve(&t, Vec2(6, -1), q0, q1, q2, q3), q3, 0.0f);
        EXPECT_EQ(t, 1.0f);
        expectNear(vx::nearestPointOnCurve(&t, Vec2(-1, -1), q0, q1, q2, q3), q0, 0.0f);
        EXPECT_EQ(t, 0.0f);

        // t may be null.
        expectNear(vx::nearestPointOnCurve(nullptr, Vec2(6, -1), q0, q1, q2, q3), q3, 0.0f);
    }

    TEST(CurveUtilsTest, NearestPointOnCurveIsNoWorseThanDenseSampling)
    {
        std::mt19937 rng(2024);
        std::uniform_real_distribution<double> coordinate(-10.0, 10.0);
        for (int trial = 0; trial < 300; ++trial)
        {
            Vec2d V[4];
            for (Vec2d& v : V)
                v = Vec2d(coordinate(rng), coordinate(rng));
            const Vec2d p(coordinate(rng), coordinate(rng));
            float t = -1.0f;
            const Vec2d found = vx::nearestPointOnCurve(&t, p, V);
            ASSERT_GE(t, 0.0f);
            ASSERT_LE(t, 1.0f);
            double sampledBest = 1e300;
            for (int i = 0; i <= 2000; ++i)
                sampledBest = std::min(sampledBest, (p - cubicAt(V, i / 2000.0)).length());
            ASSERT_LE((p - found).length(), sampledBest + 1e-6) << "trial " << trial;
        }
    }

    struct FittingCase
    {
        const char* name;
        bool centre;
        Vec2 from;
        Vec2 to;
    };

    using FittingMatrixTest = ::testing::TestWithParam<FittingCase>;

    TEST_P(FittingMatrixTest, MapsSourceIntoDestination)
    {
        const FittingCase& c = GetParam();
        const auto m = vx::getFittingMatrix(vx::RectT<float>(0, 0, 2, 1), vx::RectT<float>(0, 0, 10, 10), c.centre);
        expectNear(m * c.from, c.to, 1e-5f);
    }

    INSTANTIATE_TEST_SUITE_P(CurveUtils, FittingMatrixTest,
                             ::testing::Values(FittingCase{"centredOrigin", true, {0, 0}, {0, 2.5f}},
                                               FittingCase{"centredFarCorner", true, {2, 1}, {10, 7.5f}},
                                               FittingCase{"topLeftOrigin", false, {0, 0}, {0, 0}},
                                               FittingCase{"topLeftFarCorner", false, {2, 1}, {10, 5}}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(CurveUtilsTest, FittingMatrixOfDegenerateSourceIsIdentity)
    {
        const auto m = vx::getFittingMatrix(vx::RectT<float>(1, 1, 1, 5), vx::RectT<float>(0, 0, 10, 10), true);
        EXPECT_EQ(m, vx::TMatrix3x3<float>());
    }

    struct SegmentCase
    {
        const char* name;
        Vec2 p;
        Vec2 a;
        Vec2 b;
        Vec2 nearest;
    };

    using SegmentTest = ::testing::TestWithParam<SegmentCase>;

    TEST_P(SegmentTest, NearestPointAndDistance)
    {
        const SegmentCase& c = GetParam();
        expectNear(vx::nearestPointOnSegment(c.p, c.a, c.b), c.nearest, 1e-6f);
        const float d = (c.p - c.nearest).length();
        EXPECT_NEAR(vx::distanceToSegment(c.p, c.a, c.b), d, 1e-5f);
        EXPECT_NEAR(vx::squareDistanceToSegment(c.p, c.a, c.b), d * d, 1e-4f);
    }

    INSTANTIATE_TEST_SUITE_P(CurveUtils, SegmentTest,
                             ::testing::Values(SegmentCase{"middle", {5, 5}, {0, 0}, {10, 0}, {5, 0}},
                                               SegmentCase{"beforeStart", {-3, 1}, {0, 0}, {10, 0}, {0, 0}},
                                               SegmentCase{"pastEnd", {12, -4}, {0, 0}, {10, 0}, {10, 0}},
                                               SegmentCase{"diagonal", {0, 2}, {0, 0}, {2, 2}, {1, 1}},
                                               SegmentCase{"zeroLength", {3, 4}, {1, 1}, {1, 1}, {1, 1}}),
                             [](const auto& info) { return std::string(info.param.name); });

} // namespace
