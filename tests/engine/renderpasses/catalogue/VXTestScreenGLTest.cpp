#include "engine/renderpasses/catalogue/VXTestScreen.h"

#include "VXCatalogueTestSupport.h"

namespace vx::test
{
    namespace
    {
        using TestScreenGLTest = CatalogueGLTest;

        // Keeps every text the card formats, in drawing order.
        class RecordingTestScreen : public TestScreen
        {
        public:
            std::vector<std::string> texts;

        protected:
            void drawFormattedText(Renderer& renderer, const Font& font, float x, float y, const Color& colour) override
            {
                texts.emplace_back(getFormattedText());
                TestScreen::drawFormattedText(renderer, font, x, y, colour);
            }
        };

        // The card's pixels run top-down; read-back rows bottom-up.
        PixelRGBA8 cardAt(const Picture& out, int height, int x, int yDown)
        {
            return out.at(x, height - 1 - yDown);
        }

        // Grey field (0.5, 0.5 blended off), then 0.7 x 0.7 added by the grid.
        const PixelRGBA8 field = px(0.5, 0.5, 0.5, 0.5);
        const PixelRGBA8 gridBar = px(0.5 + 0.49, 0.5 + 0.49, 0.5 + 0.49, 0.5 + 0.49);
        const PixelRGBA8 dark = px(0.2, 0.2, 0.2, 1.0);

        TEST_F(TestScreenGLTest, ClassDataParametersAndState)
        {
            TestScreen pass, fresh;
            expectClassData(pass, {"TestScreen", "Test Screen", "TestScreen", "Test Screen", "TestScreen"},
                            "Generator");
            expectParams(pass, {{"bypassed", "Param"},
                                {"Hours", "ParamRange", 0, 23, 0},
                                {"Minutes", "ParamRange", 0, 59, 0},
                                {"Seconds", "ParamRange", 0, 59, 0},
                                {"Frames", "ParamRange", 0, 10000, 0}});
            setRange(pass, "Minutes", 12);
            expectXmlRoundTrip(pass, fresh);
        }

        TEST_F(TestScreenGLTest, FullHDCardHasItsGridCrossAndRings)
        {
            RecordingTestScreen pass;
            pass.setColor(Color(1.0f, 0.0f, 0.0f, 1.0f));
            pass.setSize(1920, 1080);
            const Picture out = run(pass);
            ASSERT_GE(out.width, 1920);
            const auto at = [&](int x, int y) { return cardAt(out, 1080, x, y); };

            // Vertical bars at 960 +- 40k, one pixel wide; between them the field.
            for (const int x : {40, 200, 920, 1000, 1880})
            {
                EXPECT_TRUE(isNear(at(x, 120), gridBar, 2)) << x << ": " << at(x, 120);
                EXPECT_TRUE(isNear(at(x + 1, 125), field, 1)) << x + 1 << ": " << at(x + 1, 125);
            }
            EXPECT_TRUE(isNear(at(20, 110), field, 1)) << "no bar left of the first";
            // Horizontal bars at 540 +- 40k.
            for (const int y : {20, 100, 500, 580, 1060})
            {
                EXPECT_TRUE(isNear(at(300, y), gridBar, 2)) << y << ": " << at(300, y);
                EXPECT_TRUE(isNear(at(310, y + 1), field, 1)) << y + 1 << ": " << at(310, y + 1);
            }
            // The centre cross: four pixels on the +x and +y side of the lines.
            for (const int d : {0, 3})
            {
                EXPECT_TRUE(isNear(at(960 + d, 200), dark, 1)) << at(960 + d, 200);
                EXPECT_TRUE(isNear(at(300, 540 + d), dark, 1)) << at(300, 540 + d);
            }
            EXPECT_TRUE(isNear(at(964, 210), field, 1)) << at(964, 210);

            // Rings of radius 540 centred at x 960, 2040 and -120 (y 540).
            const auto onRing = [&](double cx, double angleDegrees)
            {
                const double a = angleDegrees * M_PI / 180.0;
                return at(int(std::lround(cx + 540.0 * std::cos(a))), int(std::lround(540.0 + 540.0 * std::sin(a))));
            };
            for (const double angle : {-60.0, -100.0, 63.0})
                EXPECT_TRUE(isNear(onRing(960.0, angle), dark, 1)) << angle << ": " << onRing(960.0, angle);
            for (const double angle : {-146.0, 154.0})
                EXPECT_TRUE(isNear(onRing(2040.0, angle), dark, 1)) << angle << ": " << onRing(2040.0, angle);
            for (const double angle : {-34.0, 26.0})
                EXPECT_TRUE(isNear(onRing(-120.0, angle), dark, 1)) << angle << ": " << onRing(-120.0, angle);
            EXPECT_TRUE(isNear(at(1210, 130), field, 1)) << "inside the centre ring: " << at(1210, 130);

            // Labels every 40 pixels along both centre lines, then size and time.
            ASSERT_EQ(pass.texts.size(), size_t(48 + 27 + 2));
            EXPECT_EQ(pass.texts[0], "0");
            EXPECT_EQ(pass.texts[47], "1880");
            EXPECT_EQ(pass.texts[48], "0");
            EXPECT_EQ(pass.texts[74], "1040");
            EXPECT_EQ(pass.texts[75], "Size 1920 x 1080");
            EXPECT_EQ(pass.texts[76], "00:00:00:00");
            EXPECT_EQ(pass.getColor(), Color::white);
            pass.release();
        }

        struct TimecodeCase
        {
            const char* name;
            double hours, minutes, seconds, frames;
            const char* expected;
        };

        class TestScreenTimecodeTest : public TestScreenGLTest, public ::testing::WithParamInterface<TimecodeCase>
        {
        };

        TEST_P(TestScreenTimecodeTest, FormatsTheTruncatedParameters)
        {
            const TimecodeCase& c = GetParam();
            RecordingTestScreen pass;
            setRange(pass, "Hours", c.hours);
            setRange(pass, "Minutes", c.minutes);
            setRange(pass, "Seconds", c.seconds);
            setRange(pass, "Frames", c.frames);
            pass.setSize(64, 48);
            run(pass);
            ASSERT_FALSE(pass.texts.empty());
            EXPECT_EQ(pass.texts.back(), c.expected);
            pass.release();
        }

        INSTANTIATE_TEST_SUITE_P(Table, TestScreenTimecodeTest,
                                 ::testing::Values(TimecodeCase{"AllZero", 0, 0, 0, 0, "00:00:00:00"},
                                                   TimecodeCase{"WideFrames", 1, 2, 3, 10000, "01:02:03:10000"},
                                                   TimecodeCase{"FractionsTruncate", 0, 0, 2.9, 0.99, "00:00:02:00"}),
                                 [](const ::testing::TestParamInfo<TimecodeCase>& info) { return info.param.name; });

        TEST_F(TestScreenGLTest, APictureNarrowerThanTheGridKeepsItsCentreBarAndLabelZero)
        {
            RecordingTestScreen pass;
            pass.setSize(30, 30);
            const Picture out = run(pass);
            EXPECT_TRUE(isNear(cardAt(out, 30, 15, 2), dark, 1)) << cardAt(out, 30, 15, 2);
            EXPECT_EQ(pass.texts, (std::vector<std::string>{"0", "0", "Size 30 x 30", "00:00:00:00"}));
            pass.release();
        }
    }
}
