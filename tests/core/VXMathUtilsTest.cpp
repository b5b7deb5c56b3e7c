#include "core/VXMathUtils.h"

#include <gtest/gtest.h>

#include <climits>

namespace
{

    using vx::MathUtils;
    using Vec2 = vx::TVec2<float>;

    struct HitCase
    {
        const char* name;
        Vec2 p1, p2, p3, p4;
        bool hit;
    };

    using SegmentsHitTest = ::testing::TestWithParam<HitCase>;

    TEST_P(SegmentsHitTest, Hits)
    {
        const HitCase& c = GetParam();
        EXPECT_EQ(MathUtils::doLineSegmentsHit(c.p1, c.p2, c.p3, c.p4), c.hit);
        EXPECT_EQ(MathUtils::doLineSegmentsHit(c.p3, c.p4, c.p1, c.p2), c.hit) << "symmetric";
    }

    INSTANTIATE_TEST_SUITE_P(MathUtils, SegmentsHitTest,
                             ::testing::Values(HitCase{"crossing", {0, 0}, {2, 2}, {0, 2}, {2, 0}, true},
                                               HitCase{"collinearApart", {0, 0}, {1, 0}, {2, 0}, {3, 0}, true},
                                               HitCase{"parallel", {0, 0}, {1, 0}, {0, 1}, {1, 1}, false},
                                               HitCase{"touchingEnds", {0, 0}, {1, 1}, {1, 1}, {2, 0}, true},
                                               HitCase{"tJunction", {0, 0}, {2, 0}, {1, 0}, {1, 5}, true},
                                               HitCase{
                                                   "linesCrossOutsideSegments", {0, 0}, {1, 1}, {3, 0}, {2, 1}, false}),
                             [](const auto& info) { return std::string(info.param.name); });

    struct GcdCase
    {
        const char* name;
        int a, b, gcd;
    };

    using GcdTest = ::testing::TestWithParam<GcdCase>;

    TEST_P(GcdTest, Euclid)
    {
        const GcdCase& c = GetParam();
        EXPECT_EQ(MathUtils::greatestCommonDenominator(c.a, c.b), c.gcd);
        EXPECT_EQ(MathUtils::greatestCommonDenominator(c.b, c.a), c.gcd);
    }

    INSTANTIATE_TEST_SUITE_P(MathUtils, GcdTest,
                             ::testing::Values(GcdCase{"twelveEighteen", 12, 18, 6}, GcdCase{"equal", 7, 7, 7},
                                               GcdCase{"coprime", 35, 64, 1},
                                               // A zero argument must not be used as a divisor.
                                               GcdCase{"zero", 9, 0, 9}, GcdCase{"bothZero", 0, 0, 0},
                                               GcdCase{"negative", -12, 18, 6}, GcdCase{"intMin", INT_MIN, 6, 2}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(LinspaceTest, EvenStepsEndingExactlyAndNoneBelowOne)
    {
        EXPECT_EQ(vx::linspace(0, 1, 5), (std::vector<float>{0, 0.25f, 0.5f, 0.75f, 1}));
        EXPECT_EQ(vx::linspace(3, 7, 1), std::vector<float>{7});
        EXPECT_EQ(vx::linspace(1, -1, 3), (std::vector<float>{1, 0, -1}));
        const std::vector<float> tenths = vx::linspace(0, 1, 11);
        ASSERT_EQ(tenths.size(), 11u);
        EXPECT_EQ(tenths.back(), 1.0f) << "the last value is end exactly despite accumulated rounding";
        EXPECT_NEAR(tenths[3], 0.3f, 1e-6f);
        EXPECT_TRUE(vx::linspace(0, 1, 0).empty());
        EXPECT_TRUE(vx::linspace(0, 1, -4).empty());
    }

} // namespace
