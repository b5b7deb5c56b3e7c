#include "core/VXOrientedRect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace
{

    using vx::OrientedRect;
    using Mat3 = vx::TMatrix3x3<float>;
    using Rect = vx::RectT<float>;
    using Vec2 = vx::TVec2<float>;

    constexpr float pi = 3.14159265358979f;

    void expectNear(const Vec2& actual, const Vec2& expected, float tolerance)
    {
        EXPECT_NEAR(actual.x, expected.x, tolerance);
        EXPECT_NEAR(actual.y, expected.y, tolerance);
    }

    Vec2 centreOf(const OrientedRect& r)
    {
        return {r.getBasis().m[6], r.getBasis().m[7]};
    }

    bool isMultipleOfHundredthDegree(float angle)
    {
        const double steps = double(angle) / 0.00017453;
        return std::abs(steps - std::round(steps)) < 1e-3;
    }

    TEST(OrientedRectTest, FromRectAtOrientationZeroIsTheRectangle)
    {
        const OrientedRect r(Rect(1, 2, 5, 4));
        EXPECT_FLOAT_EQ(r.getWidth(), 4.0f);
        EXPECT_FLOAT_EQ(r.getHeight(), 2.0f);
        EXPECT_EQ(r.getRect(), Rect(1, 2, 5, 4));
        expectNear(centreOf(r), Vec2(3, 3), 0.0f);
    }

    TEST(OrientedRectTest, RotateKeepsSizeWhileSetOrientationRefits)
    {
        OrientedRect rotated(Rect(-1, -0.5f, 1, 0.5f));
        rotated.rotate(pi / 2);
        EXPECT_NEAR(rotated.getWidth(), 2.0f, 1e-5f);
        EXPECT_NEAR(rotated.getHeight(), 1.0f, 1e-5f);
        EXPECT_FLOAT_EQ(rotated.getOrientation(), pi / 2);
        EXPECT_NEAR(rotated.getRect().y2 - rotated.getRect().y1, 2.0f, 1e-5f);

        OrientedRect refitted(Rect(-1, -0.5f, 1, 0.5f));
        refitted.setOrientation(pi / 2);
        EXPECT_NEAR(refitted.getWidth(), 1.0f, 1e-5f);
        EXPECT_NEAR(refitted.getHeight(), 2.0f, 1e-5f);
        // A 45 degree turn refits to the bounding square of the old corners' diagonal frame.
        OrientedRect grown(Rect(-1, -1, 1, 1));
        grown.setOrientation(pi / 4);
        EXPECT_NEAR(grown.getWidth(), 2.0f * std::sqrt(2.0f), 1e-5f);
    }

    TEST(OrientedRectTest, ScaleAlongOwnAxesAboutAnAnchor)
    {
        OrientedRect r(Rect(-1, -0.5f, 1, 0.5f));
        r.rotate(pi / 6);
        const Vec2 anchor = r.getCorners()[0];
        r.scale(anchor, 3.0f, 2.0f);
        EXPECT_NEAR(r.getWidth(), 6.0f, 1e-4f);
        EXPECT_NEAR(r.getHeight(), 2.0f, 1e-4f);
        EXPECT_NEAR(r.getOrientation(), pi / 6, 1e-6f);
        expectNear(r.getCorners()[0], anchor, 1e-4f);

        r.setWidth(4.0f);
        r.setHeight(1.0f);
        EXPECT_NEAR(r.getWidth(), 4.0f, 1e-4f);
        EXPECT_NEAR(r.getHeight(), 1.0f, 1e-4f);
    }

    struct ScaleOffsetCase
    {
        const char* name;
        float width;
        float offsetX;
        float expectedWidth;
        float expectedScale;
    };

    using ScaleOffsetTest = ::testing::TestWithParam<ScaleOffsetCase>;

    TEST_P(ScaleOffsetTest, NeverShorterThanOne)
    {
        const ScaleOffsetCase& c = GetParam();
        OrientedRect r(Rect(0, 0, c.width, 1));
        const Mat3 m = r.scaleOffset(Vec2(0, 0), Vec2(c.offsetX, 0));
        EXPECT_NEAR(r.getWidth(), c.expectedWidth, 1e-5f);
        EXPECT_NEAR(m.m[0], c.expectedScale, 1e-5f);
        EXPECT_GT(r.getHeight(), 0.0f);
    }

    INSTANTIATE_TEST_SUITE_P(OrientedRect, ScaleOffsetTest,
                             ::testing::Values(ScaleOffsetCase{"grows", 2.0f, 1.0f, 3.0f, 1.5f},
                                               ScaleOffsetCase{"shortToMinusOne", 2.0f, -1.5f, 1.0f, -0.5f},
                                               ScaleOffsetCase{"flippedToMinusOne", 2.0f, -2.5f, 1.0f, -0.5f},
                                               ScaleOffsetCase{"tinyToOne", 0.2f, 0.5f, 1.0f, 5.0f}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(OrientedRectTest, ZeroSidedRectangleIsNotScaled)
    {
        OrientedRect r(Rect(0, 0, 0, 2));
        EXPECT_EQ(r.scaleOffset(Vec2(0, 0), Vec2(1, 1)), Mat3());
        EXPECT_EQ(r.setWidth(5.0f), Mat3());
        EXPECT_EQ(r.getWidth(), 0.0f);
        EXPECT_EQ(r.getHeight(), 2.0f);
        EXPECT_FALSE(std::isnan(r.getCorners()[2].x));
        r.setHeight(4.0f);
        EXPECT_NEAR(r.getHeight(), 4.0f, 1e-6f);
    }

    TEST(OrientedRectTest, MirroringTransformKeepsPositiveSize)
    {
        OrientedRect r(Rect(1, 1, 3, 2));
        r.rotate(0.3f);
        Mat3 mirror;
        mirror.m[0] = -1.0f;
        r.applyTransform(mirror);
        EXPECT_NEAR(r.getWidth(), 2.0f, 1e-4f);
        EXPECT_NEAR(r.getHeight(), 1.0f, 1e-4f);
        EXPECT_TRUE(isMultipleOfHundredthDegree(r.getOrientation())) << r.getOrientation();
        // The mirrored x axis (-cos, sin) is flipped back before its angle is read.
        EXPECT_NEAR(r.getOrientation(), -0.3f, 1e-4f);
        EXPECT_EQ(r.getTransform(), Mat3()) << "the pending transform is cleared";
    }

    TEST(OrientedRectTest, TransformRoundsOrientationAndPendingTransformApplies)
    {
        OrientedRect r(Rect(-2, -1, 2, 1));
        Mat3 turn;
        turn.rotate(0.123456f);
        r.getTransform() = turn;
        const OrientedRect preview = r.getTransformed();
        EXPECT_FLOAT_EQ(r.getOrientation(), 0.0f) << "getTransformed leaves the original alone";
        EXPECT_NE(r.getTransform(), Mat3());
        r.applyTransform();
        EXPECT_FLOAT_EQ(r.getOrientation(), preview.getOrientation());
        EXPECT_TRUE(isMultipleOfHundredthDegree(r.getOrientation()));
        EXPECT_NEAR(r.getOrientation(), 0.123456f, 0.0001f);
        EXPECT_NEAR(r.getWidth(), 4.0f, 1e-3f);
    }

    TEST(OrientedRectTest, CollapsingTransformLeavesNoNaN)
    {
        OrientedRect r(Rect(0, 0, 2, 2));
        Mat3 collapse;
        collapse.scale(0.0f);
        r.applyMatrix(collapse, true);
        EXPECT_EQ(r.getWidth(), 0.0f);
        for (const Vec2& c : r.getCorners())
            EXPECT_FALSE(std::isnan(c.x) || std::isnan(c.y));
    }

    TEST(OrientedRectTest, ComputeFitsPointsAtCurrentOrientation)
    {
        OrientedRect r;
        r.setOrientation(pi / 4);
        const float s = std::sqrt(2.0f);
        r.compute({{0, 0}, {1, 1}, {0, 2}, {-1, 1}});
        EXPECT_NEAR(r.getWidth(), s, 1e-5f);
        EXPECT_NEAR(r.getHeight(), s, 1e-5f);
        expectNear(centreOf(r), Vec2(0, 1), 1e-5f);

        OrientedRect empty(Rect(5, 5, 8, 9));
        empty.compute({});
        expectNear(centreOf(empty), Vec2(0, 0), 0.0f);
        EXPECT_FLOAT_EQ(empty.getWidth(), 3.0f);
        EXPECT_FLOAT_EQ(empty.getHeight(), 4.0f);
    }

    TEST(OrientedRectTest, RectMatrixMapsUnitSquare)
    {
        OrientedRect r(Rect(0, 0, 4, 2));
        r.rotate(0.5f);
        const Mat3 m = r.getRectMatrix();
        const std::vector<Vec2> corners = r.getCorners();
        expectNear(m * Vec2(0, 0), corners[0], 1e-5f);
        expectNear(m * Vec2(1, 0), corners[1], 1e-5f);
        expectNear(m * Vec2(1, 1), corners[2], 1e-5f);
        expectNear(m * Vec2(0, 1), corners[3], 1e-5f);

        OrientedRect other(Rect(10, 10, 11, 13));
        other.rotate(-0.25f);
        const Mat3 into = r.getTransformationInto(other);
        const std::vector<Vec2> target = other.getCorners();
        for (size_t i = 0; i < 4; ++i)
            expectNear(into * corners[i], target[i], 1e-4f);
    }

    TEST(OrientedRectTest, FittingMatrixPlacesRectInside)
    {
        OrientedRect r(Rect(-4, -2, 4, 2));
        const Rect dst(10, 10, 12, 12);
        const Mat3 m = r.getFittingMatrix(dst);
        // A 2 x 2 square into an 8 x 4 rectangle: scaled by 2, centred on the origin.
        expectNear(m * Vec2(11, 11), Vec2(0, 0), 1e-5f);
        expectNear(m * Vec2(10, 10), Vec2(-2, -2), 1e-5f);
        expectNear(m * Vec2(12, 12), Vec2(2, 2), 1e-5f);
        EXPECT_EQ(r.getFittingMatrix(Rect(3, 3, 3, 9)), Mat3()) << "zero-width dst";
    }

    TEST(OrientedRectTest, PointInside)
    {
        OrientedRect r(Rect(-2, -1, 2, 1));
        r.rotate(pi / 4);
        EXPECT_TRUE(r.isPointIn(Vec2(0, 0)));
        EXPECT_TRUE(r.isPointIn(Vec2(1.2f, 1.2f)));
        EXPECT_FALSE(r.isPointIn(Vec2(1.5f, 0.0f)));
        EXPECT_FALSE(r.isPointIn(Vec2(1.9f, -0.1f)));
    }

    struct IntersectCase
    {
        const char* name;
        Vec2 offset;
        float rotation;
        bool expected;
    };

    using IntersectsTest = ::testing::TestWithParam<IntersectCase>;

    TEST_P(IntersectsTest, SeparatingAxis)
    {
        const IntersectCase& c = GetParam();
        const OrientedRect a(Rect(0, 0, 2, 1));
        OrientedRect b(Rect(0, 0, 2, 1));
        b.rotate(c.rotation);
        b.translate(c.offset);
        EXPECT_EQ(a.intersects(b), c.expected);
        EXPECT_EQ(b.intersects(a), c.expected);
    }

    INSTANTIATE_TEST_SUITE_P(OrientedRect, IntersectsTest,
                             ::testing::Values(IntersectCase{"same", {0, 0}, 0.0f, true},
                                               IntersectCase{"touchingEdge", {2, 0}, 0.0f, true},
                                               IntersectCase{"smallGapX", {2.001f, 0}, 0.0f, false},
                                               IntersectCase{"smallGapY", {0, 1.001f}, 0.0f, false},
                                               IntersectCase{"rotatedOverlap", {1.5f, 0.5f}, pi / 4, true},
                                               // Bounding boxes overlap, but the diamond's edge passes the corner.
                                               IntersectCase{"rotatedNearCornerApart", {1.85f, 1.35f}, pi / 4, false},
                                               IntersectCase{"rotatedNearCornerTouching", {1.6f, 1.1f}, pi / 4, true}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(OrientedRectTest, OrthogonalAtQuarterTurnsOnly)
    {
        for (float angle : {0.0f, pi / 2, pi, 3 * pi / 2, pi / 4})
        {
            OrientedRect r;
            r.setOrientation(angle);
            EXPECT_EQ(r.isOrthogonal(), angle != pi / 4) << angle;
        }
    }

    TEST(OrientedRectTest, RandomTransformsKeepCornersConsistent)
    {
        std::mt19937 rng(77);
        std::uniform_real_distribution<float> value(-3.0f, 3.0f);
        for (int i = 0; i < 100; ++i)
        {
            OrientedRect r(Rect(value(rng), value(rng), value(rng) + 4.0f, value(rng) + 4.0f));
            r.rotate(value(rng));
            r.translate(Vec2(value(rng), value(rng)));
            r.scale(1.0f + std::abs(value(rng)), 1.0f + std::abs(value(rng)));
            const std::vector<Vec2> c = r.getCorners();
            ASSERT_NEAR((c[1] - c[0]).length(), r.getWidth(), 1e-3f);
            ASSERT_NEAR((c[3] - c[0]).length(), r.getHeight(), 1e-3f);
            ASSERT_NEAR((c[1] - c[0]).dot(c[3] - c[0]), 0.0f, 1e-3f);
            const Vec2 mid = (c[0] + c[2]) * 0.5f;
            ASSERT_TRUE(r.isPointIn(mid));
            ASSERT_TRUE(r.intersects(r));
        }
    }

} // namespace
