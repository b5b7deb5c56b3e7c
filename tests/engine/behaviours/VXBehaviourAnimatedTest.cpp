#include "engine/behaviours/VXBehaviourAnimated.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXBehaviourExpression.h"
#include "engine/behaviours/VXBehaviourPoints.h"
#include "engine/behaviours/VXEnvelopeModifier.h"
#include "engine/behaviours/VXKeyFrame.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <gtest/gtest.h>

#include <vector>

namespace vx
{
    namespace
    {
        using test::beatFrame;
        using test::frame;

        struct AnimatedBehaviour : ::testing::Test
        {
            ParamRange owner{"Position", 0.0, ValueRange<double>()};
            std::shared_ptr<BehaviourAnimated> animated = std::make_shared<BehaviourAnimated>(owner, 5000.0);

            void SetUp() override { owner.setBehaviour(animated); }
            void TearDown() override { owner.removeBehaviour(); }
        };

        TEST_F(AnimatedBehaviour, TempoSyncedPhaseIsThePlaceInTheBeatCycle)
        {
            owner.update(beatFrame(6.0, 0.1));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.5);
            owner.update(beatFrame(9.0, 0.1));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.25);
        }

        TEST_F(AnimatedBehaviour, BounceTurnsAtEachWrapOfTheBeatPosition)
        {
            animated->getPlayModeParam()->setValueByName("bounce", ValueChangeInfo());
            std::vector<double> values;
            for (double beat : {1.0, 3.0, 5.0, 7.0, 9.0})
            {
                owner.update(beatFrame(beat, 2.0));
                values.push_back(owner.getValueNormalized());
            }
            EXPECT_EQ(values, (std::vector<double>{0.25, 0.75, 0.75, 0.25, 0.25}));
        }

        TEST_F(AnimatedBehaviour, BeatsEventsAreLimitedByTheRange)
        {
            animated->getBeatsParam()->setValue(1024.0, ValueChangeInfo());
            animated->getMultiplyTwoParam()->triggerTrue();
            EXPECT_EQ(animated->getBeatsParam()->getValue(), 1024.0);
            animated->getDivideTwoParam()->triggerTrue();
            EXPECT_EQ(animated->getBeatsParam()->getValue(), 512.0);
        }

        TEST_F(AnimatedBehaviour, FreeRunningContinuesWhereTheValueStands)
        {
            owner.update(beatFrame(2.0, 0.1)); // 0.5
            animated->getTempoSyncedParam()->setValue(false, ValueChangeInfo());
            owner.update(frame(1250.0, 500.0));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.6);
        }

        TEST_F(AnimatedBehaviour, LinkedParameterIsTheClock)
        {
            auto clock = std::make_shared<ParamRange>("Clock", 0.0, ValueRange<double>(0.0, 100.0));
            ASSERT_TRUE(animated->link(clock, false, false));
            clock->setValue(5.0, ValueChangeInfo());
            owner.update(beatFrame(0.0, 0.0)); // the frame's beat position takes over again here
            clock->setValue(7.0, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(animated->getPlayHead()->getPhase(), 0.75);
            animated->unlink();
            EXPECT_EQ(clock->getBehaviour()->getLinkCount(), 0);
        }

        TEST(Points, KeyframesShapeThePhaseAndRoundTrip)
        {
            ParamRange owner("Position", 0.0, ValueRange<double>());
            auto points = std::make_shared<BehaviourPoints>(owner, 5000.0);
            owner.setBehaviour(points);
            points->readState(test::parseText("<BehaviourPoints name=\"BehaviourPoints\"><points>"
                                              "<point x=\"1\" y=\"0\" curve=\"1\"/>"
                                              "<point x=\"0.5\" y=\"2\"/>"
                                              "<point x=\"0\" y=\"1\" curve=\"1\"/>"
                                              "</points></BehaviourPoints>")
                                  ->first_node(),
                              false);
            Animation& animation = points->getEnvelope()->getAnimation();
            ASSERT_EQ(animation.getNumKeyFrames(), 2u);
            owner.update(beatFrame(2.0, 0.1)); // tempo-synced phase 0.5 through the curve
            EXPECT_NEAR(owner.getValueNormalized(), animation[0.5], 1e-12);
            EXPECT_NEAR(owner.getValueNormalized(), 0.5, 0.01);

            const std::string text = test::writeToText(*points, false);
            EXPECT_NE(text.find("<point x=\"0\" y=\"1\" curve=\"1\"/>"), std::string::npos) << text;
            ParamRange other("Position", 0.0, ValueRange<double>());
            BehaviourPoints copy(other, 5000.0);
            copy.readState(test::parseText(text)->first_node(), false);
            EXPECT_EQ(test::writeToText(copy, false), text);
            owner.removeBehaviour();
        }

        TEST(Expression, KeepsItsTextAndAnimatesAsTheTimeline)
        {
            ParamRange owner("Position", 0.0, ValueRange<double>());
            auto expression = std::make_shared<BehaviourExpression>(owner, 5000.0);
            owner.setBehaviour(expression);
            EXPECT_FALSE(expression->getTempoSyncedParam()->getValue());
            EXPECT_EQ(expression->getExpressionParam()->getValue(), "sin(x * pi)+1.0");
            expression->getExpressionParam()->setValue("anything at all", ValueChangeInfo());
            owner.update(frame(1000.0, 1000.0));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.2);
            owner.removeBehaviour();
        }
    }
}
