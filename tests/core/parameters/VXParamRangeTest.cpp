#include "core/parameters/VXParamRange.h"

#include "VXParamTestHelpers.h"
#include "core/parameters/VXParamUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

namespace vx
{
    namespace
    {
        using test::parseText;
        using test::RecordingParamListener;
        using test::writeToText;

        constexpr double epsilon = 2.220446049250313e-16;
        constexpr double inf = std::numeric_limits<double>::infinity();
        const double nan = std::numeric_limits<double>::quiet_NaN();

        struct RangeFixture : ::testing::Test
        {
            ParamRange param{"Speed", 5.0, ValueRange<double>(0.0, 10.0)};
            RecordingParamListener listener;

            void SetUp() override { param.addListener(listener, false); }
            void TearDown() override { param.removeListener(listener); }
        };

        // --- construction and plain mapping -------------------------------

        TEST_F(RangeFixture, ConstructionClampsTheValueButNotTheDefault)
        {
            EXPECT_DOUBLE_EQ(param.getValueNormalized(), 0.5);

            ParamRange above("Above", 15.0, ValueRange<double>(0.0, 10.0));
            EXPECT_EQ(above.getValue(), 10.0);
            EXPECT_EQ(above.getValueNormalized(), 1.0);
            EXPECT_EQ(above.getDefaultValue(), 15.0);
            EXPECT_TRUE(above.needsToWriteState());

            ParamRange unnamed("", 0.0, ValueRange<double>());
            EXPECT_EQ(unnamed.getName(), "Param");
        }

        TEST_F(RangeFixture, EmptyWindowHoldsItsBoundAndNormalisesToOne)
        {
            param.setStartStopRange(ValueRange<double>(2.0, 2.0), ValueChangeInfo());
            EXPECT_EQ(param.getValue(), 2.0);
            param.setValue(7.0, ValueChangeInfo(ChangeType_Always));
            EXPECT_EQ(param.getValue(), 2.0);
            EXPECT_EQ(param.getValueNormalized(), 1.0);
            EXPECT_EQ(param.normalizeValue(-100.0), 1.0);
        }

        TEST_F(RangeFixture, NormaliseAndDenormaliseRoundTrip)
        {
            param.setStartStopRange(ValueRange<double>(2.0, 8.0), ValueChangeInfo());
            for (double v : {2.0, 3.5, 5.0, 7.25, 8.0})
            {
                ASSERT_TRUE(param.setValue(v, ValueChangeInfo(ChangeType_Always)));
                EXPECT_DOUBLE_EQ(param.getValueNormalized(), param.normalizeValue(v)) << v;
                ASSERT_TRUE(param.setValueNormalized(param.normalizeValue(v), ValueChangeInfo(ChangeType_Always)));
                EXPECT_DOUBLE_EQ(param.getValue(), v) << v;
            }
            EXPECT_DOUBLE_EQ(param.getValueNormalizedMinMax(), 0.8);
            const ValueRange<double> window = param.getStartStopRangeNormalized();
            EXPECT_DOUBLE_EQ(window.min, 0.2);
            EXPECT_DOUBLE_EQ(window.max, 0.8);
            EXPECT_EQ(window.getName(), "range");
        }

        // --- wrapping and clamping ---------------------------------------

        struct NormalizedCase
        {
            const char* name;
            bool wraps;
            double n;
            double expectedNormalized;
        };

        class NormalizedMapping : public ::testing::TestWithParam<NormalizedCase>
        {
        };

        TEST_P(NormalizedMapping, StoresTheWrappedOrClampedPosition)
        {
            const NormalizedCase& c = GetParam();
            ParamRange param("P", 3.0, ValueRange<double>(2.0, 6.0));
            param.setWrapsAroundRange(c.wraps);
            EXPECT_TRUE(param.setValueNormalized(c.n, ValueChangeInfo(ChangeType_Always)));
            if (std::isnan(c.expectedNormalized))
            {
                EXPECT_TRUE(std::isnan(param.getValueNormalized()));
                EXPECT_TRUE(std::isnan(param.getValue()));
                return;
            }
            EXPECT_DOUBLE_EQ(param.getValueNormalized(), c.expectedNormalized);
            EXPECT_DOUBLE_EQ(param.getValue(), 2.0 + 4.0 * c.expectedNormalized);
        }

        INSTANTIATE_TEST_SUITE_P(RangeParam, NormalizedMapping,
                                 ::testing::Values(NormalizedCase{"ClampAbove", false, 1.5, 1.0},
                                                   NormalizedCase{"ClampHuge", false, 1e300, 1.0},
                                                   NormalizedCase{"ClampPlusInf", false, inf, 1.0},
                                                   NormalizedCase{"ClampNaN", false, nan, nan},
                                                   NormalizedCase{"WrapQuarterAbove", true, 1.25, 0.25},
                                                   NormalizedCase{"WrapTwo", true, 2.0, 1.0},
                                                   NormalizedCase{"WrapMinusOne", true, -1.0, 0.0},
                                                   NormalizedCase{"WrapMinusQuarter", true, -0.25, 0.75},
                                                   NormalizedCase{"WrapManyTurns", true, 1000.25, 0.25},
                                                   NormalizedCase{"WrapManyTurnsBelow", true, -1000.25, 0.75},
                                                   NormalizedCase{"WrapHugeEndsAtBound", true, 1e300, 1.0},
                                                   NormalizedCase{"WrapPlusInfGivesLow", true, inf, 0.0},
                                                   NormalizedCase{"WrapMinusInfGivesLow", true, -inf, 0.0},
                                                   NormalizedCase{"WrapNaNStaysNaN", true, nan, nan}),
                                 [](const ::testing::TestParamInfo<NormalizedCase>& info)
                                 { return std::string(info.param.name); });

        struct ConstrainCase
        {
            const char* name;
            double lo;
            double hi;
            double v;
            double expected;
        };

        class WrapConstrain : public ::testing::TestWithParam<ConstrainCase>
        {
        };

        TEST_P(WrapConstrain, EndsWithTheLoopResult)
        {
            const ConstrainCase& c = GetParam();
            ParamRange param("P", 0.0, ValueRange<double>(-1000.0, 1000.0));
            param.getStartStopRangeReference().set(c.lo, c.hi);
            param.setWrapsAroundRange(true);
            const double result = param.constrainValue(c.v);
            if (std::isnan(c.expected))
                EXPECT_TRUE(std::isnan(result)) << result;
            else
                EXPECT_DOUBLE_EQ(result, c.expected);
        }

        INSTANTIATE_TEST_SUITE_P(RangeParam, WrapConstrain,
                                 ::testing::Values(ConstrainCase{"OneAndAHalfTurns", 0.0, 10.0, 25.0, 5.0},
                                                   ConstrainCase{"ExactTurnStopsAtHigh", 0.0, 10.0, 20.0, 10.0},
                                                   ConstrainCase{"ExactTurnBelowStopsAtLow", 0.0, 10.0, -10.0, 0.0},
                                                   ConstrainCase{"BelowWraps", 0.0, 10.0, -2.5, 7.5},
                                                   ConstrainCase{"FarAbove", 0.0, 10.0, 1e6 + 5.0, 5.0},
                                                   ConstrainCase{"FarBelow", 0.0, 10.0, -1e6 - 2.5, 7.5},
                                                   ConstrainCase{"FarAboveExact", 2.0, 6.0, 4e6 + 2.0, 6.0},
                                                   ConstrainCase{"PlusInfGivesLow", 0.0, 10.0, inf, 0.0},
                                                   ConstrainCase{"NaNStaysNaN", 0.0, 10.0, nan, nan},
                                                   ConstrainCase{"ZeroWidthGivesLow", 3.0, 3.0, 7.0, 3.0},
                                                   ConstrainCase{"NegativeWidthGivesLow", 10.0, 0.0, 5.0, 10.0},
                                                   ConstrainCase{"NaNWidthGivesLow", 0.0, nan, 50.0, 0.0}),
                                 [](const ::testing::TestParamInfo<ConstrainCase>& info)
                                 { return std::string(info.param.name); });

        TEST_F(RangeFixture, ExtremeValuesReturnAtOnceWithADefinedValue)
        {
            for (bool wraps : {false, true})
            {
                param.setWrapsAroundRange(wraps);
                for (double v : {1e300, inf, -inf})
                {
                    param.setValue(v, ValueChangeInfo(ChangeType_Always));
                    const double expected = wraps ? (v == 1e300 ? param.getValue() : 0.0) : (v > 0.0 ? 10.0 : 0.0);
                    EXPECT_EQ(param.getValue(), expected) << v << " wraps " << wraps;
                    EXPECT_GE(param.getValue(), 0.0) << v;
                    EXPECT_LE(param.getValue(), 10.0) << v;
                }
                // NaN is kept (and notified as a change); a finite value
                // recovers the parameter.
                listener.clear();
                EXPECT_TRUE(param.setValue(nan, ValueChangeInfo()));
                EXPECT_TRUE(std::isnan(param.getValue()));
                EXPECT_EQ(listener.events().size(), 1u);
                EXPECT_TRUE(param.setValueNormalized(0.25, ValueChangeInfo()));
                EXPECT_DOUBLE_EQ(param.getValue(), 2.5);
            }
        }

        // --- change types ------------------------------------------------

        TEST_F(RangeFixture, RepeatedNormalizedValueIsIgnoredUnderTypeZero)
        {
            EXPECT_TRUE(param.setValueNormalized(0.7, ValueChangeInfo(ChangeType_OnChange)));
            EXPECT_FALSE(param.setValueNormalized(0.7, ValueChangeInfo(ChangeType_OnChange)));
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"value(0)"}));

            // Type 1 stores without notifying and still answers true.
            EXPECT_TRUE(param.setValueNormalized(0.2, ValueChangeInfo(ChangeType_Silent)));
            EXPECT_DOUBLE_EQ(param.getValue(), 2.0);
            EXPECT_EQ(listener.events().size(), 1u);
        }

        TEST_F(RangeFixture, RawComparisonComesBeforeTheDefaultChangeType)
        {
            param.setDefaultChangeType(ChangeType_Always);
            EXPECT_FALSE(param.setValue(5.0, ValueChangeInfo()));
            EXPECT_TRUE(listener.events().empty());

            EXPECT_TRUE(param.setValue(5.0, ValueChangeInfo(ChangeType_Always)));
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"value(0)"}));

            // A different raw value that clamps onto the current one still
            // notifies under a default type of 2.
            param.setValue(10.0, ValueChangeInfo());
            listener.clear();
            EXPECT_TRUE(param.setValue(12.0, ValueChangeInfo()));
            EXPECT_EQ(listener.events().size(), 1u);
        }

        // --- window setters ----------------------------------------------

        TEST_F(RangeFixture, StartStopRangeIsConfinedAndAlwaysNotifies)
        {
            param.setStartStopRange(ValueRange<double>(-5.0, 20.0), ValueChangeInfo());
            EXPECT_EQ(param.getStartStopRange(), ValueRange<double>(0.0, 10.0));
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"value(0)"}));

            param.setStartStopRange(ValueRange<double>(6.0, 8.0), ValueChangeInfo());
            EXPECT_EQ(param.getValue(), 6.0);
            EXPECT_EQ(param.getValueNormalized(), 0.0);
        }

        TEST_F(RangeFixture, MinAndMaxSettersIgnoreCrossingValues)
        {
            param.setMinValue(10.0, ValueChangeInfo());
            param.setMaxValue(0.0, ValueChangeInfo());
            EXPECT_EQ(param.getMinMaxRange(), ValueRange<double>(0.0, 10.0));
            EXPECT_TRUE(listener.events().empty());

            param.setMaxValue(4.0, ValueChangeInfo());
            EXPECT_EQ(param.getMinMaxRange(), ValueRange<double>(0.0, 4.0));
            EXPECT_EQ(param.getStartStopRange(), ValueRange<double>(0.0, 4.0));
            EXPECT_EQ(param.getValue(), 4.0);
            EXPECT_EQ(param.getValueNormalized(), 1.0);

            param.setMinMaxRange(ValueRange<double>(-2.0, 2.0), true, ValueChangeInfo());
            EXPECT_EQ(param.getStartStopRange(), ValueRange<double>(-2.0, 2.0));
            EXPECT_EQ(param.getValue(), 2.0);
        }

        TEST_F(RangeFixture, StartAndStopKeepAnEpsilonApart)
        {
            ParamRange unit("Unit", 0.5, ValueRange<double>(0.0, 1.0));
            unit.setStartValue(5.0, ValueChangeInfo());
            EXPECT_EQ(unit.getStartStopRange(), ValueRange<double>(1.0 - epsilon, 1.0));
            EXPECT_LT(unit.getStartStopRange().min, unit.getStartStopRange().max);

            unit.setStartStopRange(ValueRange<double>(0.0, 1.0), ValueChangeInfo());
            unit.setStopValue(-5.0, ValueChangeInfo());
            EXPECT_EQ(unit.getStartStopRange(), ValueRange<double>(0.0, epsilon));

            param.setStartValue(5.0, ValueChangeInfo());
            EXPECT_EQ(param.getStartStopRange(), ValueRange<double>(5.0, 10.0));
            // Next to 10 the epsilon vanishes: a start beyond the stop closes
            // the window.
            param.setStartValue(50.0, ValueChangeInfo());
            EXPECT_EQ(param.getStartStopRange(), ValueRange<double>(10.0, 10.0));
            EXPECT_EQ(param.getValue(), 10.0);
            EXPECT_EQ(param.getValueNormalized(), 1.0);
        }

        TEST_F(RangeFixture, NormalizedWindowSetterTouchesNothingElse)
        {
            param.setStartStopRangeNormalized(ValueRange<double>(-0.5, 0.4), ValueChangeInfo());
            EXPECT_EQ(param.getStartStopRange(), ValueRange<double>(0.0, 4.0));
            EXPECT_EQ(param.getValue(), 5.0);
            EXPECT_EQ(param.getValueNormalized(), 0.5);
            EXPECT_TRUE(listener.events().empty());
        }

        // --- snap to default ---------------------------------------------

        TEST_F(RangeFixture, SnapsToTheDefaultWithinHalfASnapDistance)
        {
            param.setValueNormalizedWithDefaultSnap(0.52, 0.05, ValueChangeInfo());
            EXPECT_EQ(param.getValue(), 5.0);
            EXPECT_EQ(param.getValueNormalized(), 0.52);

            param.setValueNormalizedWithDefaultSnap(0.48, 0.05, ValueChangeInfo());
            EXPECT_EQ(param.getValue(), 5.0);
            // 0.3 away from the default is beyond half the snap distance.
            param.setValueNormalizedWithDefaultSnap(0.47, 0.05, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(param.getValue(), 4.7);

            param.setValueNormalizedWithDefaultSnap(0.6, 0.05, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(param.getValue(), 6.0);

            // Notified every time, also when the value stayed at the default.
            EXPECT_EQ(listener.events().size(), 4u);

            // The same n again is ignored under type 0.
            param.setValueNormalizedWithDefaultSnap(0.6, 0.05, ValueChangeInfo());
            EXPECT_EQ(listener.events().size(), 4u);
        }

        // --- defaults table and reset ------------------------------------

        TEST(RangeParamDefaults, RowReplacesTheDefaultRange)
        {
            ParamRange::defaults.setRangeForName("RangeTest Inside", {-1.0, 1.0});
            ParamRange::defaults.setRangeForName("RangeTest Wider", {-100.0, 100.0});

            ParamRange inside("RangeTest Inside", 5.0, ValueRange<double>(-10.0, 10.0));
            EXPECT_EQ(inside.getDefaultRange(), ValueRange<double>(-1.0, 1.0));
            EXPECT_EQ(inside.getMinMaxRange(), ValueRange<double>(-1.0, 1.0));
            EXPECT_EQ(inside.getStartStopRange(), ValueRange<double>(-1.0, 1.0));
            EXPECT_EQ(inside.getValue(), 1.0);

            ParamRange wider("RangeTest Wider", 50.0, ValueRange<double>(-10.0, 10.0));
            EXPECT_EQ(wider.getDefaultRange(), ValueRange<double>(-100.0, 100.0));
            EXPECT_EQ(wider.getMinMaxRange(), ValueRange<double>(-10.0, 10.0));
            EXPECT_EQ(wider.getValue(), 10.0);

            EXPECT_EQ(ParamRange::defaults.getRangeForName("RangeTest Missing"), nullptr);
        }

        TEST_F(RangeFixture, ResetSetsRangesDefaultAndValue)
        {
            param.setValue(9.0, ValueChangeInfo());
            listener.clear();
            param.reset(30.0, ValueRange<double>(0.0, 20.0));
            EXPECT_EQ(param.getDefaultRange(), ValueRange<double>(0.0, 20.0));
            EXPECT_EQ(param.getStartStopRange(), ValueRange<double>(0.0, 20.0));
            EXPECT_EQ(param.getDefaultValue(), 20.0);
            EXPECT_EQ(param.getValue(), 20.0);
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"value(0)"}));

            param.reset(1.0, param.getDefaultRange());
            EXPECT_EQ(param.getDefaultRange(), ValueRange<double>(0.0, 20.0));
            EXPECT_EQ(param.getValue(), 1.0);
        }

        // --- XML ---------------------------------------------------------

        TEST_F(RangeFixture, UnchangedParameterWritesNothing)
        {
            EXPECT_FALSE(param.needsToWriteState());
            EXPECT_EQ(writeToText(param, false), "");
            EXPECT_EQ(writeToText(param, true), "<ParamRange name=\"Speed\" default=\"5\" value=\"5\">\n"
                                                "\t<ValueRange name=\"defaultRange\" min=\"0\" max=\"10\"/>\n"
                                                "</ParamRange>\n");
        }

        TEST_F(RangeFixture, NarrowedWindowRoundTripsByteExact)
        {
            param.setStartStopRange(ValueRange<double>(2.0, 8.0), ValueChangeInfo());
            param.setValue(7.25, ValueChangeInfo());
            const std::string text = writeToText(param, false);
            EXPECT_EQ(text, "<ParamRange name=\"Speed\" default=\"5\" value=\"7.25\">\n"
                            "\t<ValueRange name=\"defaultRange\" min=\"0\" max=\"10\"/>\n"
                            "\t<ValueRange name=\"startStop\" min=\"2\" max=\"8\"/>\n"
                            "</ParamRange>\n");

            ParamRange copy("Speed", 5.0, ValueRange<double>(0.0, 10.0));
            const auto document = parseText(text);
            copy.readState(document->first_node(), false);
            EXPECT_EQ(copy.getStartStopRange(), ValueRange<double>(2.0, 8.0));
            EXPECT_EQ(copy.getValue(), 7.25);
            EXPECT_DOUBLE_EQ(copy.getValueNormalized(), 5.25 / 6.0);
            EXPECT_EQ(writeToText(copy, false), text);
        }

        TEST(RangeParamXml, MissingRangesFallBackInOrder)
        {
            ParamRange onlyMinMax("P", 0.5, ValueRange<double>());
            onlyMinMax.readState(
                parseText("<ParamRange name=\"P\"><ValueRange name=\"minMax\" min=\"-4\" max=\"4\"/></ParamRange>")
                    ->first_node(),
                false);
            EXPECT_EQ(onlyMinMax.getMinMaxRange(), ValueRange<double>(-4.0, 4.0));
            EXPECT_EQ(onlyMinMax.getStartStopRange(), ValueRange<double>(-4.0, 4.0));
            EXPECT_EQ(onlyMinMax.getDefaultRange(), ValueRange<double>(0.0, 1.0));

            ParamRange onlyDefault("P", 0.5, ValueRange<double>());
            onlyDefault.readState(
                parseText("<ParamRange name=\"P\"><ValueRange name=\"defaultRange\" min=\"1\" max=\"3\"/></ParamRange>")
                    ->first_node(),
                false);
            EXPECT_EQ(onlyDefault.getDefaultRange(), ValueRange<double>(1.0, 3.0));
            EXPECT_EQ(onlyDefault.getMinMaxRange(), ValueRange<double>(1.0, 3.0));
            EXPECT_EQ(onlyDefault.getStartStopRange(), ValueRange<double>(1.0, 3.0));

            ParamRange none("P", 0.5, ValueRange<double>(0.0, 2.0));
            none.setStartStopRange(ValueRange<double>(0.5, 1.5), ValueChangeInfo());
            none.readState(parseText("<ParamRange name=\"P\" value=\"1\"/>")->first_node(), false);
            EXPECT_EQ(none.getStartStopRange(), ValueRange<double>(0.5, 1.5));
            EXPECT_EQ(none.getValue(), 1.0);
            EXPECT_DOUBLE_EQ(none.getValueNormalized(), 0.5);
        }

        TEST_F(RangeFixture, ReadingNotifiesBehaviourThenValueThenRead)
        {
            param.readState(parseText("<ParamRange name=\"Speed\" value=\"6\"/>")->first_node(), false);
            const std::vector<std::string> events = listener.events();
            ASSERT_GE(events.size(), 3u);
            EXPECT_EQ(events.front(), "state(6)");
            EXPECT_EQ(events[events.size() - 2], "value(512)");
            EXPECT_EQ(events.back(), "state(4)");

            listener.clear();
            param.readState(parseText("<ParamRange name=\"Speed\" value=\"6\"/>")->first_node(), false);
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"state(6)", "state(4)"}));
        }

        TEST(RangeParamXml, FactoryRecreatesFromTheElement)
        {
            const auto document = parseText("<ParamRange name=\"Gain\" storage=\"0\" default=\"2\" value=\"3\">"
                                            "<ValueRange name=\"defaultRange\" min=\"0\" max=\"4\"/>"
                                            "<ValueRange name=\"startStop\" min=\"1\" max=\"4\"/>"
                                            "</ParamRange>");
            std::unique_ptr<ParamBase> created(ParamUtils::createParamFromXmlNode(*document->first_node()));
            auto* range = dynamic_cast<ParamRange*>(created.get());
            ASSERT_NE(range, nullptr);
            EXPECT_EQ(range->getName(), "Gain");
            EXPECT_EQ(range->getDefaultRange(), ValueRange<double>(0.0, 4.0));
            EXPECT_EQ(range->getMinMaxRange(), ValueRange<double>(0.0, 4.0));
            EXPECT_EQ(range->getStartStopRange(), ValueRange<double>(1.0, 4.0));
            EXPECT_EQ(range->getDefaultValue(), 2.0);
            EXPECT_EQ(range->getValue(), 3.0);
            EXPECT_DOUBLE_EQ(range->getValueNormalized(), 2.0 / 3.0);

            EXPECT_EQ(ParamRange::createParamFromXmlNode(nullptr), nullptr);
        }

        TEST(RangeParamXml, StorageNeverStillSavesAChangedWindow)
        {
            ParamRange param("P", 0.5, ValueRange<double>());
            param.setStorage(XmlCapable::storageNever);
            param.setValue(0.75, ValueChangeInfo());
            EXPECT_FALSE(param.needsToWriteState());
            param.setStartStopRange(ValueRange<double>(0.25, 1.0), ValueChangeInfo());
            EXPECT_TRUE(param.needsToWriteState());
        }

        TEST(RangeParamValueRange, NormaliseDenormaliseAndConfine)
        {
            const ValueRange<double> outer(2.0, 6.0);
            const ValueRange<double> inner(3.0, 5.0);
            EXPECT_EQ(outer.normalize(inner), ValueRange<double>(0.25, 0.75));
            EXPECT_EQ(outer.denormalize(outer.normalize(inner)), inner);
            EXPECT_EQ(ValueRange<double>(2.0, 2.0).normalize(inner), ValueRange<double>(1.0, 1.0));
            EXPECT_EQ(ValueRange<double>(2.0, 2.0).denormalize(inner), ValueRange<double>(2.0, 2.0));
            EXPECT_EQ(ValueRange<double>::confine(ValueRange<double>(7.0, 1.0), outer), ValueRange<double>(6.0, 2.0));
            const ValueRange<double> withNaN = ValueRange<double>::confine(ValueRange<double>(nan, 1.0), outer);
            EXPECT_TRUE(std::isnan(withNaN.min));

            // Assignment keeps the target's name.
            ValueRange<double> named(0.0, 1.0, "minMax");
            named = inner;
            EXPECT_EQ(named.getName(), "minMax");
            EXPECT_EQ(named, inner);
            // Integer bounds convert.
            EXPECT_EQ(ValueRange<double>(1, 3), ValueRange<double>(1.0, 3.0));
        }
    }
}
