#include "core/VXSMPTEFrame.h"

#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{

    struct MillisecondsCase
    {
        const char* name;
        double milliseconds;
        unsigned short numerator;
        unsigned short denominator;
        const char* timecode;
    };

    using SMPTEFromMilliseconds = ::testing::TestWithParam<MillisecondsCase>;

    TEST_P(SMPTEFromMilliseconds, GivesTimecode)
    {
        const MillisecondsCase& c = GetParam();
        const vx::SMPTEFrame frame(c.milliseconds, c.numerator, c.denominator);
        EXPECT_EQ(frame.asString(), c.timecode);
        // The milliseconds are kept as given, not recomputed from the timecode.
        EXPECT_EQ(frame.getMilliseconds(), c.milliseconds);
    }

    INSTANTIATE_TEST_SUITE_P(
        Rates, SMPTEFromMilliseconds,
        testing::Values(MillisecondsCase{"Pal1000", 1000.0, 25, 1, "00:00:01.00"},
                        MillisecondsCase{"Pal1040", 1040.0, 25, 1, "00:00:01.01"},
                        MillisecondsCase{"PalOneHour", 3600000.0, 25, 1, "01:00:00.00"},
                        MillisecondsCase{"PalHundredHours", 360000000.0, 25, 1, "100:00:00.00"},
                        // 23 whole frames per second count the seconds at 24000/1001.
                        MillisecondsCase{"FilmRateCountsWholeFrames", 1100.0, 24000, 1001, "00:00:01.03"},
                        MillisecondsCase{"DropSecond", 1000.0, 30000, 1001, "00:00:00.29"},
                        MillisecondsCase{"DropBeforeMinute", 60000.0, 30000, 1001, "00:00:59.29"},
                        MillisecondsCase{"DropMinuteSkipsTwo", 60001.0, 30000, 1001, "00:01:00.02"},
                        MillisecondsCase{"DropTenthMinuteKeeps", 600000.0, 30000, 1001, "00:10:00.18"},
                        MillisecondsCase{"DropSaturatesAtDayEnd", 1e12, 30000, 1001, "23:59:59.29"},
                        MillisecondsCase{"NearDropIsPlain", 60000.0, 2997, 100, "00:01:02.00"}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(SMPTEFrame, HugeTimeKeepsEightBitHoursWithoutOverflow)
    {
        // 9.2e18 frames at most: the hours wrap in 8 bits, nothing undefined.
        const vx::SMPTEFrame frame(1e300, 25, 1);
        EXPECT_LT(frame.getMinutes(), 60);
        EXPECT_LT(frame.getSeconds(), 60);
        EXPECT_LT(frame.getFrames(), 25);
    }

    TEST(SMPTEFrame, TimecodeToMilliseconds)
    {
        EXPECT_DOUBLE_EQ(vx::SMPTEFrame(0, 0, 1, 15, 30, 1).getMilliseconds(), 1500.0);
        // Drop-frame timecodes give their nominal 30 frames-per-second time.
        EXPECT_DOUBLE_EQ(vx::SMPTEFrame(0, 0, 1, 15, 30000, 1001).getMilliseconds(), 1500.0);
        EXPECT_DOUBLE_EQ(vx::SMPTEFrame(1, 2, 3, 4, 25, 1).getMilliseconds(), 3723160.0);
        EXPECT_EQ(vx::SMPTEFrame(1, 2, 3, 4, 25, 1).asString(), "01:02:03.04");
    }

    TEST(SMPTEFrame, DefaultNegativeAndNonFiniteAreZero)
    {
        const vx::SMPTEFrame zero;
        EXPECT_EQ(zero.asString(), "00:00:00.00");
        EXPECT_EQ(zero.getRateNumerator(), 25);
        const vx::SMPTEFrame negative(-5.0, 25, 1);
        EXPECT_EQ(negative.getMilliseconds(), 0.0);
        EXPECT_EQ(negative.asString(), "00:00:00.00");
        // Times that are not numbers are refused with a log line.
        vx::test::LogRecorder log;
        const vx::SMPTEFrame notANumber(std::nan(""), 30000, 1001);
        EXPECT_EQ(notANumber.getMilliseconds(), 0.0);
        EXPECT_EQ(notANumber.asString(), "00:00:00.00");
        EXPECT_EQ(vx::SMPTEFrame(std::numeric_limits<double>::infinity(), 25, 1).getMilliseconds(), 0.0);
        EXPECT_EQ(log.count(vx::logError), 2u) << log.dump();
        EXPECT_EQ(vx::SMPTEFrame(-std::numeric_limits<double>::infinity(), 25, 1).getMilliseconds(), 0.0);
    }

    TEST(SMPTEFrame, ArithmeticKeepsLeftRateAndClampsAtZero)
    {
        const vx::SMPTEFrame pal(1000.0, 25, 1);
        const vx::SMPTEFrame ntsc(500.0, 30000, 1001);
        const vx::SMPTEFrame sum = pal + ntsc;
        EXPECT_EQ(sum.getMilliseconds(), 1500.0);
        EXPECT_EQ(sum.getRateNumerator(), 25);
        EXPECT_EQ(sum.asString(), "00:00:01.12");

        const vx::SMPTEFrame difference = ntsc - pal;
        EXPECT_EQ(difference.getMilliseconds(), 0.0);
        EXPECT_EQ(difference.asString(), "00:00:00.00");
        EXPECT_EQ(difference.getRateDenominator(), 1001);

        vx::SMPTEFrame running(0.0, 25, 1);
        running += 80.0;
        running -= pal;
        EXPECT_EQ(running.getMilliseconds(), 0.0);
        running += pal;
        running -= 40.0;
        EXPECT_EQ(running.asString(), "00:00:00.24");
    }

    TEST(SMPTEFrame, IncrementAddsOneFrameDuration)
    {
        vx::SMPTEFrame pal;
        ++pal;
        EXPECT_DOUBLE_EQ(pal.getMilliseconds(), 40.0);
        EXPECT_EQ(pal.asString(), "00:00:00.01");

        vx::SMPTEFrame drop(0.0, 30000, 1001);
        ++drop;
        EXPECT_DOUBLE_EQ(drop.getMilliseconds(), 1000.0 / 29.97002997002997);
    }

    struct BadRateCase
    {
        const char* name;
        unsigned short numerator;
        unsigned short denominator;
    };

    using SMPTEBadRate = ::testing::TestWithParam<BadRateCase>;

    TEST_P(SMPTEBadRate, IsRefusedAndLoggedInsteadOfDividingByZero)
    {
        const BadRateCase& c = GetParam();
        vx::test::LogRecorder log;
        const vx::SMPTEFrame fromTime(1000.0, c.numerator, c.denominator);
        EXPECT_EQ(fromTime.getRateNumerator(), 25);
        EXPECT_EQ(fromTime.getRateDenominator(), 1);
        EXPECT_EQ(fromTime.asString(), "00:00:01.00");
        const vx::SMPTEFrame fromTimecode(0, 0, 1, 0, c.numerator, c.denominator);
        EXPECT_EQ(fromTimecode.getMilliseconds(), 1000.0);
        EXPECT_EQ(log.count(vx::logError), 2u) << log.dump();
        EXPECT_TRUE(log.contains("below 1 frame per second")) << log.dump();
    }

    INSTANTIATE_TEST_SUITE_P(Rates, SMPTEBadRate,
                             testing::Values(BadRateCase{"ZeroNumerator", 0, 1}, BadRateCase{"ZeroDenominator", 25, 0},
                                             BadRateCase{"BelowOne", 1, 2}, BadRateCase{"BothZero", 0, 0}),
                             [](const auto& info) { return std::string(info.param.name); });

} // namespace
