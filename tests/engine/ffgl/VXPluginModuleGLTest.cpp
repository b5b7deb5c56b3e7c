// The headless host's parameters in their own units: placed where the
// plugin's display text shows them, whatever curve the display follows.

#include "support/gl/VXGLTestFixture.h"
#include "vxffglhost/VXPluginModule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
    using vx::host::PluginModule;

    class PluginModuleGLTest : public vx::test::GLTest
    {
    protected:
        void load(const char* path)
        {
            host = std::make_unique<PluginModule>(path);
            ASSERT_TRUE(host->load());
            ASSERT_TRUE(host->instantiate(64, 48));
        }

        void TearDown() override
        {
            host.reset();
            GLTest::TearDown();
        }

        // Sets in units; false with what the host said on stderr.
        bool set(const std::string& name, const std::string& value, std::string* said = nullptr)
        {
            testing::internal::CaptureStderr();
            const bool done = host->setParameter(name, value, false);
            const std::string text = testing::internal::GetCapturedStderr();
            if (said != nullptr)
                *said = text;
            return done;
        }

        // The value the host shows for a parameter.
        std::string shown(const std::string& name) const
        {
            const std::string line = host->describeCurrentValues() + " ";
            const std::size_t at = line.find(" " + name + "=");
            if (at == std::string::npos)
                return "?";
            const std::size_t from = at + name.size() + 2;
            return line.substr(from, line.find(' ', from) - from);
        }

        std::unique_ptr<PluginModule> host;
    };

    // The display effect (VXDisplayEffectModule.cpp): Frequency 0, Depth 1,
    // Falloff 2, Level 3, Decay 4.
    class DisplayEffectGLTest : public PluginModuleGLTest
    {
    protected:
        void SetUp() override
        {
            PluginModuleGLTest::SetUp();
#ifdef VX_FFGL_DISPLAY_MODULE_PATH
            load(VX_FFGL_DISPLAY_MODULE_PATH);
#else
            GTEST_SKIP() << "the display effect is not part of this build";
#endif
        }
    };

    // A logarithmic display: the value is found on its curve, both ends reach.
    TEST_F(DisplayEffectGLTest, HoldsWhatACurvedDisplayShows)
    {
        auto hertz = [&] { return 20.0 * std::pow(1000.0, double(host->getNormalised(0))); };
        for (const double asked : {1000.0, 440.0, 20000.0, 20.0, 19999.9, 12345.6})
        {
            char text[32];
            std::snprintf(text, sizeof text, "%g", asked);
            SCOPED_TRACE(text);
            ASSERT_TRUE(set("Frequency", text));
            EXPECT_NEAR(hertz(), asked, 0.01);
            EXPECT_EQ(shown("Frequency"), text);
            char display[32];
            std::snprintf(display, sizeof display, "%.1f", asked);
            EXPECT_EQ(host->getDisplay(0), display);
        }
        std::string said;
        const float kept = host->getNormalised(0);
        EXPECT_FALSE(set("frequency", "25000", &said));
        EXPECT_NE(said.find("\"Frequency\" lies in 20 .. 20000, not 25000"), std::string::npos) << said;
        EXPECT_FALSE(set("Frequency", "19.9", &said));
        EXPECT_EQ(host->getNormalised(0), kept);
    }

    TEST_F(DisplayEffectGLTest, HoldsWhatAFallingDisplayShows)
    {
        for (const double asked : {1.2, 0.5, 1.5, 0.777})
        {
            char text[32];
            std::snprintf(text, sizeof text, "%g", asked);
            SCOPED_TRACE(text);
            ASSERT_TRUE(set("Falloff", text));
            EXPECT_NEAR(host->getNormalised(2), 1.5 - asked, 2e-6);
            EXPECT_EQ(shown("Falloff"), text);
        }
        std::string said;
        EXPECT_FALSE(set("Falloff", "1.6", &said));
        EXPECT_NE(said.find("lies in 0.5 .. 1.5, not 1.6"), std::string::npos) << said;
    }

    // A coarse display (0.003 to 0.012 as "0.00" and "0.01"): the host holds
    // a value the text shows and shows that text, no more.
    TEST_F(DisplayEffectGLTest, ShowsNoMoreThanACoarseDisplayShows)
    {
        auto depth = [&] { return 0.003 + 0.009 * double(host->getNormalised(1)); };
        ASSERT_TRUE(set("Depth", "0.003"));
        EXPECT_LT(depth(), 0.005);
        EXPECT_EQ(host->getDisplay(1), "0.00");
        EXPECT_EQ(shown("Depth"), "0.00");
        for (const char* asked : {"0.012", "0.008"})
        {
            SCOPED_TRACE(asked);
            ASSERT_TRUE(set("Depth", asked));
            EXPECT_GE(depth(), 0.005);
            EXPECT_EQ(shown("Depth"), "0.01");
        }
        std::string said;
        EXPECT_FALSE(set("Depth", "0.02", &said));
        EXPECT_NE(said.find("\"Depth\" lies in 0.00 .. 0.01, not 0.02"), std::string::npos) << said;
        EXPECT_EQ(shown("Depth"), "0.01");
    }

    // A display that truncates ("%d" of 100 times the value) shows 100 at the
    // very top only, and each whole number from where it is reached.
    TEST_F(DisplayEffectGLTest, HoldsWhatATruncatingDisplayShows)
    {
        for (const char* asked : {"100", "0", "57", "99", "1"})
        {
            SCOPED_TRACE(asked);
            ASSERT_TRUE(set("Level", asked));
            EXPECT_EQ(host->getDisplay(3), asked);
            EXPECT_EQ(shown("Level"), asked);
            if (std::string(asked) == "100")
            {
                EXPECT_EQ(host->getNormalised(3), 1.0f) << "only 1 shows 100";
            }
        }
        // What the top text shows is held where it shows.
        ASSERT_TRUE(set("Level", "99.7"));
        EXPECT_EQ(shown("Level"), "100");
        ASSERT_TRUE(set("Level", "1"));
        std::string said;
        EXPECT_FALSE(set("Level", "100.6", &said));
        EXPECT_NE(said.find(" .. 100, not 100.6"), std::string::npos) << said;
        EXPECT_EQ(host->getDisplay(3), "1");
    }

    struct DisplayCase
    {
        const char* name;
        std::uint32_t index;
    };

    class DisplayTextGLTest : public DisplayEffectGLTest, public testing::WithParamInterface<DisplayCase>
    {
    };

    // Whatever a display shows, at 65 points from one end to the other, is
    // taken back as a value in units, and the display shows it again.
    TEST_P(DisplayTextGLTest, TakesBackEveryTextItShows)
    {
        const DisplayCase& c = GetParam();
        std::vector<std::string> texts;
        for (int i = 0; i <= 64; ++i)
        {
            char position[32];
            std::snprintf(position, sizeof position, "%.9g", i / 64.0);
            ASSERT_TRUE(host->setParameter(c.name, position, true));
            const std::string text = host->getDisplay(c.index);
            if (texts.empty() || texts.back() != text)
                texts.push_back(text);
        }
        for (const std::string& text : texts)
        {
            SCOPED_TRACE(text);
            std::string said;
            EXPECT_TRUE(set(c.name, text, &said)) << said;
            EXPECT_EQ(host->getDisplay(c.index), text);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Displays, DisplayTextGLTest,
                             testing::Values(DisplayCase{"Frequency", 0}, DisplayCase{"Depth", 1},
                                             DisplayCase{"Falloff", 2}, DisplayCase{"Level", 3},
                                             DisplayCase{"Decay", 4}),
                             [](const auto& info) { return std::string(info.param.name); });

    class TruncatingDisplayGLTest : public DisplayTextGLTest
    {
    };

    // A display that truncates, rising or falling, shows 0 at its low end and
    // nothing below it: nothing below is taken, and a refusal names 0, the
    // text at that end; at the other end, what 100 shows is held.
    TEST_P(TruncatingDisplayGLTest, TakesNothingPastItsEnds)
    {
        const DisplayCase& c = GetParam();
        ASSERT_TRUE(set(c.name, "57"));
        for (const char* asked : {"-0.4", "-1", "100.6"})
        {
            SCOPED_TRACE(asked);
            std::string said;
            EXPECT_FALSE(set(c.name, asked, &said));
            EXPECT_NE(said.find("lies in 0 .. 100, not " + std::string(asked)), std::string::npos) << said;
            EXPECT_EQ(host->getDisplay(c.index), "57");
            EXPECT_EQ(shown(c.name), "57");
        }
        ASSERT_TRUE(set(c.name, "0"));
        EXPECT_EQ(host->getDisplay(c.index), "0");
        ASSERT_TRUE(set(c.name, "99.7"));
        EXPECT_EQ(host->getDisplay(c.index), "100");
    }

    INSTANTIATE_TEST_SUITE_P(Displays, TruncatingDisplayGLTest,
                             testing::Values(DisplayCase{"Level", 3}, DisplayCase{"Decay", 4}),
                             [](const auto& info) { return std::string(info.param.name); });

    // Kelvo's ranges are straight lines shown with two decimals: every value
    // of them is held as asked, and shown so, at nine points of each.
    TEST_F(PluginModuleGLTest, HoldsKelvosValuesAsAsked)
    {
#ifndef VX_KELVO_MODULE_PATH
        GTEST_SKIP() << "the Kelvo module is not part of this build";
#else
        load(VX_KELVO_MODULE_PATH);
        struct Range
        {
            const char* name;
            std::uint32_t index;
            double low, high;
        };
        const Range ranges[] = {{"Size", 0, 0.5, 3.0},
                                {"Speed", 1, 0.2, 3.0},
                                {"Amount", 2, 1.0, 50.0},
                                {"Spread", 3, 0.005, 0.5},
                                {"Threshold", 4, 0.25, 1.0}};
        for (const Range& range : ranges)
            for (const double fraction : {0.0, 0.013, 0.1, 0.25, 0.377, 0.5, 0.71, 0.9, 1.0})
            {
                char asked[32];
                std::snprintf(asked, sizeof asked, "%.4g", range.low + fraction * (range.high - range.low));
                SCOPED_TRACE(std::string(range.name) + "=" + asked);
                ASSERT_TRUE(set(range.name, asked));
                EXPECT_NEAR(host->getNormalised(range.index), (std::stod(asked) - range.low) / (range.high - range.low),
                            2e-6);
                EXPECT_EQ(shown(range.name), asked);
            }
#endif
    }
}
