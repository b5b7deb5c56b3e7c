#include "core/VXRect.h"

#include <gtest/gtest.h>

namespace
{

    using Rect = vx::RectT<float>;
    using Vec2 = vx::TVec2<float>;

    void expectRectNear(const Rect& actual, const Rect& expected, float tolerance)
    {
        EXPECT_NEAR(actual.x1, expected.x1, tolerance);
        EXPECT_NEAR(actual.y1, expected.y1, tolerance);
        EXPECT_NEAR(actual.x2, expected.x2, tolerance);
        EXPECT_NEAR(actual.y2, expected.y2, tolerance);
    }

    TEST(RectTest, AddPointResetsOrGrows)
    {
        Rect r(-5, -5, 5, 5);
        r.addPoint(2, 3, 0, false);
        EXPECT_EQ(r, Rect(2, 3, 2, 3));
        r.addPoint(-1, 7, 1, false);
        EXPECT_EQ(r, Rect(-1, 3, 2, 7));

        Rect up;
        up.addPoint(0, 0, 0, true);
        up.addPoint(0, 10, 1, true);
        EXPECT_EQ(up.y1, 10.0f) << "a y-up rectangle keeps its top in y1";
        EXPECT_EQ(up.y2, 0.0f);
    }

    TEST(RectTest, AddPointsWithAndWithoutReset)
    {
        const std::vector<Vec2> points = {{1, 1}, {3, -2}};
        Rect grown(0, 0, 2, 2);
        grown.addPoints(points, false);
        EXPECT_EQ(grown, Rect(0, -2, 3, 2));
        Rect replaced(0, 0, 2, 2);
        replaced.addPoints(points, true);
        EXPECT_EQ(replaced, Rect(1, -2, 3, 1));
        Rect untouched(4, 5, 6, 7);
        untouched.addPoints({}, true);
        EXPECT_EQ(untouched, Rect(4, 5, 6, 7));

        const std::vector<Vec2> corners = Rect(1, 2, 3, 4).getCorners();
        ASSERT_EQ(corners.size(), 4u);
        EXPECT_EQ(corners[1], Vec2(3, 2));
        EXPECT_EQ(corners[3], Vec2(1, 4));
        EXPECT_EQ(vx::RectT<int>(1, 2, 3, 4).getCorners()[2], vx::TVec2<int>(3, 4));
    }

    struct FitCase
    {
        const char* name;
        Rect source;
        Rect target;
        bool centre;
        Rect expected;
    };

    using FitProportionalTest = ::testing::TestWithParam<FitCase>;

    TEST_P(FitProportionalTest, FitsUniformly)
    {
        const FitCase& c = GetParam();
        Rect r = c.source;
        r.fitProportional(c.target, c.centre);
        expectRectNear(r, c.expected, 1e-5f);
    }

    INSTANTIATE_TEST_SUITE_P(
        Rect, FitProportionalTest,
        ::testing::Values(FitCase{"wideIntoSquare", {0, 0, 2, 1}, {0, 0, 10, 10}, false, {0, 0, 10, 5}},
                          FitCase{"wideIntoSquareCentred", {0, 0, 2, 1}, {0, 0, 10, 10}, true, {0, 2.5f, 10, 7.5f}},
                          FitCase{
                              "tallIntoSquareCentred", {0, 0, 1, 4}, {10, 10, 30, 30}, true, {17.5f, 10, 22.5f, 30}},
                          FitCase{"tieTakesFullWidth", {0, 0, 1, 1}, {0, 0, 4, 4}, true, {0, 0, 4, 4}},
                          FitCase{"flippedSourceUsesMagnitudes", {2, 1, 0, 0}, {0, 0, 10, 10}, false, {0, 0, 10, 5}},
                          // Nothing to keep proportional: left as it was instead of dividing by 0.
                          FitCase{"zeroWidthUnchanged", {3, 0, 3, 5}, {0, 0, 10, 10}, true, {3, 0, 3, 5}},
                          FitCase{"zeroHeightUnchanged", {0, 2, 5, 2}, {0, 0, 10, 10}, false, {0, 2, 5, 2}}),
        [](const auto& info) { return std::string(info.param.name); });

    struct ShrinkCase
    {
        const char* name;
        Rect source;
        float amount;
        Rect expected;
    };

    using ShrinkRectTest = ::testing::TestWithParam<ShrinkCase>;

    TEST_P(ShrinkRectTest, KeepsTheAspectRatio)
    {
        const ShrinkCase& c = GetParam();
        expectRectNear(vx::shrinkRect(c.source, c.amount), c.expected, 1e-5f);
    }

    INSTANTIATE_TEST_SUITE_P(Rect, ShrinkRectTest,
                             ::testing::Values(ShrinkCase{"wide", {0, 0, 10, 4}, 1, {1, 0.4f, 9, 3.6f}},
                                               ShrinkCase{
                                                   "cappedAtHalfTheShortSide", {0, 0, 10, 4}, 5, {2, 0.8f, 8, 3.2f}},
                                               ShrinkCase{"tall", {0, 0, 4, 10}, 1, {0.4f, 1, 3.6f, 9}},
                                               ShrinkCase{"negativeGrows", {0, 0, 10, 4}, -1, {-1, -0.4f, 11, 4.4f}},
                                               ShrinkCase{"zeroWidthUnchanged", {1, 0, 1, 4}, 1, {1, 0, 1, 4}},
                                               ShrinkCase{"pointUnchanged", {2, 2, 2, 2}, -1, {2, 2, 2, 2}}),
                             [](const auto& info) { return std::string(info.param.name); });

} // namespace
