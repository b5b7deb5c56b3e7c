#include "engine/behaviours/VXBehaviourDouble.h"

#include "VXBehaviourTestHelpers.h"
#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXBehaviourBasic.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    namespace
    {
        using test::parseText;
        using test::RecordingBehaviour;
        using test::StepModifier;
        using test::writeToText;

        // Maps v to v * factor + offset; reports fixed flags.
        class AffineModifier : public ParamModifier
        {
        public:
            AffineModifier(double factorToUse, double offsetToAdd, std::uint32_t flagsToReport)
                : factor(factorToUse), offset(offsetToAdd), flags(flagsToReport)
            {
            }
            void apply(double& v) override { v = v * factor + offset; }
            std::uint32_t update(const TimeInfo& info) override
            {
                times.push_back(info.time);
                deltas.push_back(info.deltaTime);
                return flags;
            }

            double factor;
            double offset;
            std::uint32_t flags;
            std::vector<double> times;
            std::vector<double> deltas;
        };

        struct Chain : ::testing::Test
        {
            ParamRange owner{"Owner", 0.5, ValueRange<double>(0.0, 10.0)};
            RecordingBehaviour behaviour{owner, "BehaviourLFO"};
            TimeInfo frame{100.0};

            Chain()
            {
                frame.deltaTime = 40.0;
                frame.tempo.beatDelta = 0.08;
            }
        };

        TEST_F(Chain, EmptyChainDoesNothing)
        {
            EXPECT_TRUE(behaviour.isEmpty());
            EXPECT_EQ(behaviour.update(frame), 0u);
            EXPECT_EQ(behaviour.apply(0.3), 0.3);
            EXPECT_FALSE(behaviour.isAnimating());
            EXPECT_EQ(behaviour.directionChanges, 0);
            double values[2] = {0.0, 0.0};
            int flags[2] = {0, 0};
            EXPECT_EQ(behaviour.updateSliced(frame, values, flags, 0.5, 2), 0u);
            EXPECT_EQ(frame.deltaTime, 40.0);
            EXPECT_EQ(behaviour.getSpeed(frame), 1.0);
        }

        TEST_F(Chain, FlagsAreOredAndReportedOnce)
        {
            behaviour.addModifier(std::make_shared<AffineModifier>(1.0, 0.0, 0u));
            EXPECT_EQ(behaviour.update(frame), 0u);
            EXPECT_EQ(behaviour.directionChanges, 0);

            behaviour.addModifier(std::make_shared<AffineModifier>(1.0, 0.0, 2u));
            behaviour.addModifier(std::make_shared<AffineModifier>(1.0, 0.0, 8u));
            EXPECT_EQ(behaviour.update(frame), 10u);
            EXPECT_EQ(behaviour.directionChanges, 1);
        }

        TEST_F(Chain, ApplyAndResetRunInChainOrder)
        {
            behaviour.addModifier(std::make_shared<AffineModifier>(2.0, 0.0, 0u));
            behaviour.addModifier(std::make_shared<AffineModifier>(1.0, 1.0, 0u));
            EXPECT_EQ(behaviour.apply(1.0), 3.0);

            auto first = std::make_shared<StepModifier>();
            auto second = std::make_shared<StepModifier>();
            behaviour.addModifier(first);
            behaviour.addModifier(second);
            behaviour.resetModifiers(0.75);
            EXPECT_EQ(first->resets, (std::vector<double>{0.75}));
            EXPECT_EQ(second->resets, (std::vector<double>{0.75}));
        }

        TEST_F(Chain, SlicedUpdateWithSeveralModifiersProducesEachSlice)
        {
            auto doubling = std::make_shared<AffineModifier>(2.0, 0.0, 1u);
            auto adding = std::make_shared<AffineModifier>(1.0, 0.5, 4u);
            behaviour.addModifier(doubling);
            behaviour.addModifier(adding);

            double values[3] = {-1.0, -1.0, -1.0};
            int flags[3] = {0, 0, 0};
            EXPECT_EQ(behaviour.updateSliced(frame, values, flags, 1.0, 3), 5u);
            EXPECT_EQ(values[0], 2.5);
            EXPECT_EQ(values[1], 5.5);
            EXPECT_EQ(values[2], 11.5);
            EXPECT_EQ(flags[2], 5);
            EXPECT_EQ(behaviour.directionChanges, 1);
            // Each slice is seen at its own time, a third of the frame apart.
            ASSERT_EQ(doubling->times.size(), 3u);
            EXPECT_DOUBLE_EQ(doubling->times[1] - doubling->times[0], 40.0 / 3.0);
            EXPECT_DOUBLE_EQ(doubling->deltas[0], 40.0 / 3.0);
            EXPECT_DOUBLE_EQ(static_cast<double>(frame.tempo.beatPosition), 0.08);
        }

        TEST_F(Chain, SlicedUpdateWithOneModifierMapsTheCallersValues)
        {
            auto adding = std::make_shared<AffineModifier>(1.0, 0.25, 2u);
            behaviour.addModifier(adding);
            double values[2] = {1.0, 2.0};
            int flags[2] = {0, 0};
            EXPECT_EQ(behaviour.updateSliced(frame, values, flags, 99.0, 2), 2u);
            EXPECT_EQ(values[0], 1.25);
            EXPECT_EQ(values[1], 2.25);
            EXPECT_EQ(frame.deltaTime, 20.0);
            EXPECT_EQ(frame.time, 140.0);
        }

        TEST_F(Chain, SlicedUpdateWithoutSlicesLeavesTheFrameAlone)
        {
            AffineModifier single(1.0, 1.0, 1u);
            double value = 0.0;
            EXPECT_EQ(single.updateAndApply(frame, nullptr, nullptr, value, 0), 0u);
            EXPECT_EQ(frame.deltaTime, 40.0);
            EXPECT_EQ(frame.tempo.beatDelta, 0.08);

            behaviour.addModifier(std::make_shared<AffineModifier>(1.0, 0.0, 1u));
            behaviour.addModifier(std::make_shared<AffineModifier>(1.0, 0.0, 1u));
            EXPECT_EQ(behaviour.updateSliced(frame, nullptr, nullptr, 0.0, -3), 0u);
            EXPECT_EQ(frame.deltaTime, 40.0);
            EXPECT_EQ(frame.time, 100.0);
        }

        TEST_F(Chain, ParamsAreReadFromTheirChildOnly)
        {
            behaviour.rate->setValue(3.0, ValueChangeInfo());
            behaviour.readState(parseText("<BehaviourLFO name=\"BehaviourLFO\"/>")->first_node(), false);
            EXPECT_EQ(behaviour.rate->getValue(), 3.0);

            behaviour.readState(parseText("<BehaviourLFO name=\"BehaviourLFO\"><Other/>"
                                          "<Params name=\"Params\"><Param name=\"Rate\" value=\"0.5\"/></Params>"
                                          "</BehaviourLFO>")
                                    ->first_node(),
                                false);
            EXPECT_EQ(behaviour.rate->getValue(), 0.5);
            EXPECT_TRUE(behaviour.needsToWriteState());
        }

        TEST(BasicBehaviour, ForcedWriteLeavesTheWindowAtTheMinMaxRange)
        {
            ParamRange owner("Owner", 5.0, ValueRange<double>(0.0, 10.0));
            BehaviourBasic basic(owner);
            owner.setMinMaxRange(ValueRange<double>(0.0, 20.0), false, ValueChangeInfo());
            owner.setStartStopRange(ValueRange<double>(2.0, 8.0), ValueChangeInfo());
            EXPECT_EQ(writeToText(basic, true), "<BehaviourBasic name=\"BehaviourBasic\"/>\n");
            EXPECT_EQ(owner.getStartStopRange(), ValueRange<double>(0.0, 20.0));
            EXPECT_EQ(owner.getStartStopRange().getName(), "startStop");
        }

        TEST(BasicBehaviour, ReadSavesTheWindowAndOpensTheOwners)
        {
            ParamRange owner("Owner", 5.0, ValueRange<double>(0.0, 10.0));
            BehaviourBasic basic(owner);
            owner.setStartStopRange(ValueRange<double>(2.0, 8.0), ValueChangeInfo());
            basic.readState(parseText("<BehaviourBasic name=\"BehaviourBasic\"/>")->first_node(), false);
            EXPECT_EQ(basic.getSavedWindow(), ValueRange<double>(2.0, 8.0));
            EXPECT_EQ(owner.getStartStopRange(), ValueRange<double>(0.0, 10.0));
        }
    }
}
