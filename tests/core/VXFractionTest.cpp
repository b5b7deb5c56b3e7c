#include "core/VXFraction.h"

#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{

    struct FractionCase
    {
        const char* name;
        double value;
        int64_t numerator;
        uint64_t denominator;
    };

    using FractionTest = ::testing::TestWithParam<FractionCase>;

    TEST_P(FractionTest, Approximates)
    {
        const FractionCase& c = GetParam();
        vx::test::LogRecorder log;
        const vx::Fraction f(c.value);
        EXPECT_EQ(f.getIntegral(), 0);
        EXPECT_EQ(f.getNumerator(), c.numerator);
        EXPECT_EQ(f.getDenominator(), c.denominator);
        EXPECT_EQ(log.count(), 0u) << log.dump();
    }

    INSTANTIATE_TEST_SUITE_P(
        Fraction, FractionTest,
        ::testing::Values(FractionCase{"zero", 0.0, 0, 1}, FractionCase{"half", 0.5, 1, 2},
                          FractionCase{"third", 1.0 / 3.0, 1, 3}, FractionCase{"threeQuartersIsCoarse", 0.75, 2, 3},
                          FractionCase{"one", 1.0, 1, 1}, FractionCase{"two", 2.0, 2, 1},
                          FractionCase{"twoAndHalfIsCoarse", 2.5, 2, 1},
                          FractionCase{"justBelowTenIsCoarse", 9.9, 5, 1},
                          // 1 / x within the tolerance of 0: the nearest whole number, never d / 0.
                          FractionCase{"ten", 10.0, 10, 1}, FractionCase{"large", 123.4, 123, 1},
                          // Negative values mirror the positive ones instead of looping forever.
                          FractionCase{"negativeHalf", -0.5, -1, 2}, FractionCase{"negativeTwo", -2.0, -2, 1}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(FractionTest, EveryDenominatorIsNonZeroAcrossTheRange)
    {
        for (double x = -50.0; x <= 50.0; x += 0.01)
        {
            const vx::Fraction f(x);
            ASSERT_NE(f.getDenominator(), 0u) << x;
            // The tolerance is 0.1 on x below 1 and on 1 / x above it; both bound this.
            if (std::abs(x) < 1.0)
            {
                ASSERT_NEAR(f.asDecimalNumber(), x, 0.1 + 1e-12) << x;
            }
        }
    }

    TEST(FractionTest, NonFiniteValuesAreRefusedWithALogLine)
    {
        for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), 1e300})
        {
            vx::test::LogRecorder log;
            const vx::Fraction f(bad);
            EXPECT_EQ(f.getNumerator(), 0);
            EXPECT_EQ(f.getDenominator(), 1u);
            ASSERT_EQ(log.count(vx::logError), 1u) << log.dump();
            EXPECT_TRUE(log.contains("Fraction")) << log.dump();
        }
        EXPECT_DOUBLE_EQ(vx::Fraction().asDecimalNumber(), 0.0) << "a default fraction divides by 1";
    }

} // namespace
