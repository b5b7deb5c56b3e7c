#include "core/VXPolygonUtils.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

    using Vec2 = vx::TVec2<float>;

    struct PolyCase
    {
        const char* name;
        std::vector<Vec2> polygon;
        Vec2 point;
        bool inside;
    };

    using PointInPolyTest = ::testing::TestWithParam<PolyCase>;

    TEST_P(PointInPolyTest, EvenOddRule)
    {
        const PolyCase& c = GetParam();
        EXPECT_EQ(vx::pointInPoly(int(c.polygon.size()), c.polygon.data(), c.point), c.inside);
    }

    const std::vector<Vec2> square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    // A concave "U": the notch between x 1..3 above y 1 is outside.
    const std::vector<Vec2> cup = {{0, 0}, {4, 0}, {4, 4}, {3, 4}, {3, 1}, {1, 1}, {1, 4}, {0, 4}};
    // A self-crossing pentagram: its centre is covered twice, so even-odd leaves it outside.
    const std::vector<Vec2> star = {{0, 3}, {2, -3}, {-3, 1}, {3, 1}, {-2, -3}};

    INSTANTIATE_TEST_SUITE_P(
        PolygonUtils, PointInPolyTest,
        ::testing::Values(PolyCase{"squareCentre", square, {2, 2}, true},
                          PolyCase{"squareOutsideRight", square, {5, 2}, false},
                          PolyCase{"squareOutsideAbove", square, {2, 5}, false},
                          PolyCase{"cupFloor", cup, {2, 0.5f}, true}, PolyCase{"cupNotch", cup, {2, 2}, false},
                          PolyCase{"cupArm", cup, {0.5f, 3}, true}, PolyCase{"starTip", star, {0, 2.5f}, true},
                          PolyCase{"starCentreCoveredTwice", star, {0, 0}, false},
                          PolyCase{"singleVertex", {{1, 1}}, {1, 1}, false}, PolyCase{"empty", {}, {0, 0}, false}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(PointInPolyTest, NegativeCountAndNullAreOutside)
    {
        EXPECT_FALSE(vx::pointInPoly(-3, square.data(), Vec2(2, 2)));
        EXPECT_FALSE(vx::pointInPoly(4, nullptr, Vec2(2, 2)));
    }

} // namespace
