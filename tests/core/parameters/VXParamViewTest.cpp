#include "core/parameters/VXParamView.h"

#include <gtest/gtest.h>

namespace
{
    using namespace vx;

    TEST(ParamView, IntegerUnitsFillOrRoundTheIncrement)
    {
        ParamView automatic;
        automatic.setDisplayUnits(ParamView::unitsInteger);
        EXPECT_EQ(automatic.getIncrement(), ParamView::incrementDefaultInt);
        EXPECT_EQ(automatic.getNumDecimals(), 2);

        ParamView manual;
        manual.setIncrement(2.6);
        manual.setDisplayUnits(ParamView::unitsInteger);
        EXPECT_EQ(manual.getIncrement(), 3.0);
        EXPECT_EQ(manual.getNumDecimals(), 0);

        manual.setIncrement(-2.5);
        manual.setDisplayUnits(ParamView::unitsInteger);
        EXPECT_EQ(manual.getIncrement(), -3.0) << "halves away from zero";
    }

    TEST(ParamView, UnitDefaultsNeverReplaceAHandSetStep)
    {
        ParamView percent;
        percent.setIncrement(0.5);
        percent.setDisplayUnits(ParamView::unitsPercent);
        EXPECT_EQ(percent.getIncrement(), 0.5);
        EXPECT_EQ(ParamView().withDisplayUnits(ParamView::unitsPercent).getIncrement(),
                  ParamView::incrementDefaultPercent);

        const ParamView degrees(ParamView::controlTypeHue, ParamView::unitsDegrees, ParamView::subTypeDefault, 99);
        EXPECT_EQ(degrees.getIncrement(), ParamView::incrementDefaultDegrees);
        EXPECT_EQ(degrees.getControlType(), ParamView::controlTypeHue);
        EXPECT_EQ(degrees.getDisplaySuffix(), " \xC2\xB0");
    }

    TEST(ParamView, FrameRatesAndMilliseconds)
    {
        ParamView view;
        view.setDisplayUnits(ParamView::unitsMilliseconds);
        EXPECT_EQ(view.getDisplayFrameRate(), 1000.0f);
        EXPECT_EQ(view.getDisplaySuffix(), " ms");

        view.setIncrement(4.0);
        view.setDisplayFramerate(25.0f);
        EXPECT_EQ(view.getDisplayUnits(), ParamView::unitsFrames);
        EXPECT_EQ(view.getDisplayFrameRate(), 25.0f);
        EXPECT_EQ(view.getIncrement(), 4.0);
        EXPECT_EQ(view.getDisplaySuffix(), "");
    }

    TEST(ParamView, CopiesDropSectionsButAssignmentKeepsThem)
    {
        ParamView view(ParamView::visibilityHidden);
        view.setComboboxSections({{"Blur", "Filters"}, {"Glow", "Light"}, {"Blur", "Again"}});
        view.setChoiceSeparatedSections({{0, 1}, {2}});
        view.setGroup("Colour");

        const ParamView grouped = view.withGroup("Other");
        EXPECT_EQ(grouped.getGroup(), "Other");
        EXPECT_EQ(grouped.getVisibility(), ParamView::visibilityHidden);
        EXPECT_TRUE(grouped.getComboboxSections().empty());
        EXPECT_TRUE(grouped.getChoiceSeparatedSections().empty());
        EXPECT_EQ(view.getGroup(), "Colour") << "the original stays";

        ParamView assigned;
        assigned = view;
        EXPECT_EQ(assigned.getComboboxSections().size(), 3u);
        EXPECT_EQ(assigned.getChoiceSeparatedSections().size(), 2u);
        const ParamView::ComboboxSection* blur = assigned.getComboboxSectionForChoice("Blur");
        ASSERT_NE(blur, nullptr);
        EXPECT_EQ(blur->second, "Filters");
        EXPECT_EQ(assigned.getComboboxSectionForChoice("blur"), nullptr);
    }

    struct DisplayCase
    {
        const char* name;
        double value;
        int decimals;
        const char* expected;
    };

    class ParamViewDisplayValue : public testing::TestWithParam<DisplayCase>
    {
    };

    TEST_P(ParamViewDisplayValue, UsesFixedDecimals)
    {
        ParamView view;
        view.setDisplayUnits(ParamView::unitsPercent);
        view.setValueMultiplier(100.0);
        view.setNumDecimals(GetParam().decimals);
        EXPECT_EQ(view.getDisplayValue(GetParam().value), GetParam().expected);
    }

    INSTANTIATE_TEST_SUITE_P(Values, ParamViewDisplayValue,
                             testing::Values(DisplayCase{"Half", 0.5, 2, "0.50"},
                                             DisplayCase{"HalfNoDecimals", 0.5, 0, "0"},
                                             DisplayCase{"OneDecimal", 12.345, 1, "12.3"},
                                             DisplayCase{"Negative", -1.25, 3, "-1.250"},
                                             DisplayCase{"NegativeCountMeansNone", 2.75, -4, "3"}),
                             [](const testing::TestParamInfo<DisplayCase>& info) { return info.param.name; });
}
