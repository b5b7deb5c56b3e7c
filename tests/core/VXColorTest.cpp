#include "core/VXColor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace
{

    using vx::Color;

    // The constants are constant-initialised: usable in constant expressions.
    static_assert(Color::turquoise.g == 0.88f);
    static_assert(Color::transparentBlack.a == 0.0f && Color::black.a == 1.0f);

    struct PackCase
    {
        const char* name;
        float value;
        uint32_t byte;
    };

    using PackChannelTest = ::testing::TestWithParam<PackCase>;

    // Each channel is truncated toward zero and wraps through its low 8 bits.
    TEST_P(PackChannelTest, TruncatesAndWraps)
    {
        const PackCase& c = GetParam();
        EXPECT_EQ(vx::GET_CHANNEL1(vx::PACKCOLOR(c.value, 0, 0, 0)), c.byte);
        EXPECT_EQ(vx::GET_CHANNEL2(vx::PACKCOLOR(0, c.value, 0, 0)), c.byte);
        EXPECT_EQ(vx::GET_CHANNEL3(vx::PACKCOLOR(0, 0, c.value, 0)), c.byte);
        EXPECT_EQ(vx::GET_CHANNEL4(vx::PACKCOLOR(0, 0, 0, c.value)), c.byte);
    }

    INSTANTIATE_TEST_SUITE_P(Color, PackChannelTest,
                             ::testing::Values(PackCase{"zero", 0.0f, 0}, PackCase{"one", 1.0f, 255},
                                               PackCase{"half", 0.5f, 127}, PackCase{"almostOne", 0.999f, 254},
                                               PackCase{"slightlyAboveOne", 1.01f, 1},
                                               PackCase{"smallNegative", -0.1f, 231}, PackCase{"negativeOne", -1.0f, 1},
                                               PackCase{"huge", 1.0e30f, 0}, PackCase{"hugeNegative", -1.0e30f, 0},
                                               PackCase{"nan", std::numeric_limits<float>::quiet_NaN(), 0},
                                               PackCase{"infinity", std::numeric_limits<float>::infinity(), 0}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(ColorTest, PacksRedInTheLowByteAndUnpacksBothByteOrders)
    {
        EXPECT_EQ(Color::red.rgba(), 4278190335u);
        EXPECT_EQ(vx::GET_CHANNEL3(Color::red.bgra()), 255u);
        EXPECT_EQ(Color::red.argb(), vx::PACKCOLOR(1, 1, 0, 0));
        const uint32_t value = 68u | (51u << 8) | (34u << 16) | (17u << 24);
        const Color little(value);
        EXPECT_FLOAT_EQ(little.r, 68.0f / 255.0f);
        EXPECT_FLOAT_EQ(little.a, 17.0f / 255.0f);
        const Color big = Color::fromBigEndianRGBA(value);
        EXPECT_FLOAT_EQ(big.r, 17.0f / 255.0f);
        EXPECT_FLOAT_EQ(big.b, 51.0f / 255.0f);
        for (uint32_t byte = 0; byte < 256; ++byte)
        {
            const uint32_t packed = byte | ((255 - byte) << 8) | (byte << 16) | ((byte ^ 0x5A) << 24);
            ASSERT_EQ(Color(packed).rgba(), packed) << "byte " << byte;
        }
    }

    TEST(ColorTest, StreamFormIsThePackedNumberAndBadTextChangesNothing)
    {
        std::ostringstream out;
        out << Color::red;
        Color read;
        std::istringstream in(out.str());
        in >> read;
        EXPECT_EQ(read, Color::red);
        Color untouched = Color::blue;
        std::istringstream bad("nonsense");
        bad >> untouched;
        EXPECT_TRUE(bad.fail());
        EXPECT_EQ(untouched, Color::blue);
    }

    TEST(ColorTest, ArithmeticClampsAllFourChannelsButKeepsNaN)
    {
        EXPECT_EQ(Color(0.8f, 0.8f, 0.8f, 1.0f) + Color(0.5f, 0.5f, 0.5f, 0.5f), Color::white);
        EXPECT_EQ(Color(0.2f, 0.2f, 0.2f, 0.2f) - Color(0.5f, 0.1f, 0.5f, 0.5f), Color(0.0f, 0.1f, 0.0f, 0.0f));
        EXPECT_EQ(Color(0.5f, 0.5f, 0.5f, 0.5f) / 0.25f, Color::white);
        EXPECT_EQ(Color(1, 1, 1, 1).mul(0.5f, true), Color(0.5f, 0.5f, 0.5f, 1.0f)) << "alpha kept";
        Color nan(std::nanf(""), 2.0f, -1.0f, 0.5f);
        nan.clampColor();
        EXPECT_TRUE(std::isnan(nan.r));
        EXPECT_EQ(nan.g, 1.0f);
        EXPECT_EQ(nan.b, 0.0f);
    }

    TEST(ColorTest, PremultipliesAndMeasures)
    {
        EXPECT_EQ(Color(0.8f, 0.4f, 0.2f, 0.5f).premultiplied(), Color(0.4f, 0.2f, 0.1f, 0.5f));
        EXPECT_FLOAT_EQ(Color(0.2f, 0.4f, 0.6f, 1.0f).distance(Color(0.2f, 0.4f, 0.6f, 0.25f)), 0.75f);
        EXPECT_NEAR(Color::white.luminosity(), 1.0f, 1e-6f);
        EXPECT_FLOAT_EQ(Color(0, 1, 0, 0.3f).luminosity(), 0.59f);
    }

    TEST(ColorTest, RandomColoursStayInTheUnitRange)
    {
        std::srand(7);
        for (int i = 0; i < 100; ++i)
        {
            Color c(5, 5, 5, 5);
            c.random();
            ASSERT_TRUE(c.r >= 0.0f && c.r < 1.0f && c.b < 1.0f && c.a == 1.0f);
            ASSERT_LT(Color::getRandom(true).a, 1.0f);
            ASSERT_EQ(Color::getRandom(false).a, 1.0f);
        }
    }

    struct HsvCase
    {
        const char* name;
        Color rgb;
        vx::TVec3<float> hsv;
    };

    using HsvTest = ::testing::TestWithParam<HsvCase>;

    TEST_P(HsvTest, ConvertsBothWays)
    {
        const HsvCase& c = GetParam();
        const vx::TVec3<float> hsv = c.rgb.toHSV();
        EXPECT_NEAR(hsv.x, c.hsv.x, 1e-6f);
        EXPECT_NEAR(hsv.y, c.hsv.y, 1e-6f);
        EXPECT_NEAR(hsv.z, c.hsv.z, 1e-6f);

        Color back = c.rgb.withAlpha(0.3f);
        back.HSV(hsv);
        EXPECT_NEAR(back.r, c.rgb.r, 1e-5f);
        EXPECT_NEAR(back.g, c.rgb.g, 1e-5f);
        EXPECT_NEAR(back.b, c.rgb.b, 1e-5f);
        EXPECT_EQ(back.a, 0.3f) << "HSV leaves alpha alone";
    }

    INSTANTIATE_TEST_SUITE_P(Color, HsvTest,
                             ::testing::Values(HsvCase{"red", Color::red, {0.0f, 1.0f, 1.0f}},
                                               HsvCase{"green", Color::green, {1.0f / 3.0f, 1.0f, 1.0f}},
                                               HsvCase{"blue", Color::blue, {2.0f / 3.0f, 1.0f, 1.0f}},
                                               HsvCase{"magenta", Color(1, 0, 1), {5.0f / 6.0f, 1.0f, 1.0f}},
                                               HsvCase{"black", Color::black, {0.0f, 0.0f, 0.0f}},
                                               HsvCase{"grey", Color(0.4f), {0.0f, 0.0f, 0.4f}},
                                               HsvCase{"orange", Color::orange, {1.0f / 12.0f, 1.0f, 1.0f}},
                                               HsvCase{"darkTeal", Color(0.1f, 0.5f, 0.4f), {0.4583333f, 0.8f, 0.5f}}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(ColorTest, HsvBuildersAndClampRule)
    {
        const Color red = Color::getHSV(0, 1, 1);
        EXPECT_EQ(red, Color(1, 0, 0, 0)) << "alpha of getHSV is 0";
        // A hue of exactly 1 lands in the last sector: (v, p, v), not red.
        EXPECT_EQ(Color::getHSV(1, 1, 1), Color(1, 0, 1, 0));
        const Color nearlyRed = Color::getHSVClamped(1, 1, 1);
        EXPECT_EQ(nearlyRed.r, 1.0f);
        EXPECT_EQ(nearlyRed.g, 0.0f);
        EXPECT_NEAR(nearlyRed.b, 0.006f, 1e-5f);

        float h = 1.0f, s = 0.0f, v = 0.0f;
        Color::clampHSV(&h, &s, &v);
        EXPECT_EQ(h, 0.999f);
        EXPECT_EQ(s, 0.001f);
        EXPECT_EQ(v, 0.001f);
        h = 0.9999f;
        Color::clampHSV(&h, &s, &v);
        EXPECT_EQ(h, 0.9999f) << "only exact equality is clamped";

        const vx::TVec3<float> clamped = Color::black.toHSVClamped();
        EXPECT_EQ(clamped, vx::TVec3<float>(0.0f, 0.001f, 0.001f));
        // A hue out of range must not reach an undefined integer conversion.
        Color wild = Color::getHSV(1.0e20f, 0.5f, 1.0f);
        EXPECT_EQ(wild.a, 0.0f);
    }

} // namespace
