#include "core/parameters/VXParamPoints.h"

#include "core/VXTime.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <string>

namespace vx
{
    namespace
    {
        // Six cue points over a position from 0 to 10 s played by a 5 s
        // timeline, at its middle.
        struct CuePoints : ::testing::Test
        {
            std::shared_ptr<ParamRange> position =
                std::make_shared<ParamRange>("Position", 5.0, ValueRange<double>(0.0, 10.0));
            std::shared_ptr<BehaviourTimeline> timeline = std::make_shared<BehaviourTimeline>(*position, 5000.0);
            ParamPoints cues{"CuePoints", 6};

            void SetUp() override
            {
                position->setBehaviour(timeline);
                cues.setParam(position);
            }

            // Fires an event as if it had happened agoMs before now.
            void fire(ParamEvent& event, double agoMs)
            {
                cues.valueChanged(event, ChangeInfo(StateChange_Value, getTickCount() - agoMs));
            }
            void pause() { timeline->getPlayDirectionParam()->setValueByName("||", ValueChangeInfo()); }
        };

        TEST_F(CuePoints, NewListIsEmptyAndNamedByItsCount)
        {
            EXPECT_EQ(cues.getElementName(), "ParamPoints6");
            EXPECT_EQ(cues.getNumPoints(), 6);
            for (unsigned int i = 0; i < 6; ++i)
                EXPECT_EQ(cues.getPoint(i)->getValue(), -1.0);
            EXPECT_EQ(cues.getPoint(6), nullptr);
            EXPECT_EQ(cues.getSetParam(6), nullptr);
            EXPECT_EQ(cues.getJumpParam(7), nullptr);
            EXPECT_EQ(cues.getJumpParam(0)->getTriggerType(), ParamEvent::triggerOnTrue);
            EXPECT_FALSE(cues.needsToWriteState());
        }

        TEST_F(CuePoints, SetStepsBackAlongThePlayingTimeline)
        {
            fire(*cues.getSetParam(1), 1000.0); // 1 s ago the head was 0.2 earlier
            EXPECT_NEAR(cues.getPoint(1)->getValue(), 3.0, 0.05);
            EXPECT_EQ(cues.getValue(), cues.getPoint(1)->getValue());

            timeline->getPlayDirectionParam()->setValueByName("<", ValueChangeInfo());
            fire(*cues.getSetParam(2), 1000.0);
            EXPECT_NEAR(cues.getPoint(2)->getValue(), 7.0, 0.05);

            fire(*cues.getSetParam(3), 15000.0); // three windows back, folded by the loop
            EXPECT_NEAR(cues.getPoint(3)->getValue(), 5.0, 0.05);
        }

        TEST_F(CuePoints, PausedRandomOrDurationlessTimelinesStoreTheCurrentPosition)
        {
            pause();
            fire(*cues.getSetParam(0), 1000.0);
            EXPECT_EQ(cues.getPoint(0)->getValue(), 5.0);

            timeline->getPlayDirectionParam()->setValueByName("R", ValueChangeInfo());
            fire(*cues.getSetParam(1), 1000.0);
            EXPECT_EQ(cues.getPoint(1)->getValue(), 5.0);

            timeline->getPlayDirectionParam()->setValueByName(">", ValueChangeInfo());
            timeline->setDurationBasedOnParam(true);
            position->setMinMaxRange(ValueRange<double>(4.0, 4.0), true, ValueChangeInfo());
            fire(*cues.getSetParam(2), 1000.0);
            EXPECT_EQ(cues.getPoint(2)->getValue(), 4.0);
        }

        // A timeline of no duration over a real window: stepping back would
        // take an infinite delta and land on an edge of the window.
        TEST(CuePointsZeroDuration, SetStoresTheCurrentPosition)
        {
            auto position = std::make_shared<ParamRange>("Position", 5.0, ValueRange<double>(0.0, 10.0));
            position->setBehaviour(std::make_shared<BehaviourTimeline>(*position, 0.0));
            ParamPoints cues("CuePoints", 1);
            cues.setParam(position);
            cues.valueChanged(*cues.getSetParam(0), ChangeInfo(StateChange_Value, getTickCount() - 1000.0));
            EXPECT_EQ(cues.getPoint(0)->getValue(), 5.0);
        }

        TEST_F(CuePoints, JumpOnAnEmptyPointRecordsInsteadOfMoving)
        {
            pause();
            cues.getJumpParam(0)->triggerTrue();
            EXPECT_EQ(cues.getPoint(0)->getValue(), 5.0);
            EXPECT_EQ(cues.getValue(), 5.0);
            EXPECT_FALSE(cues.update(TimeInfo(100.0)));
        }

        TEST_F(CuePoints, JumpMovesThePositionAtTheNextUpdateWhenInsideTheWindow)
        {
            pause();
            position->setValue(2.0, ValueChangeInfo());
            fire(*cues.getSetParam(0), 0.0);
            position->setValue(10.0, ValueChangeInfo());
            fire(*cues.getSetParam(1), 0.0);
            position->setValue(6.0, ValueChangeInfo());

            cues.getJumpParam(0)->triggerTrue();
            EXPECT_EQ(position->getValue(), 6.0); // not yet
            cues.getJumpParam(1)->triggerTrue();  // the later jump wins
            EXPECT_TRUE(cues.update(TimeInfo(100.0)));
            EXPECT_EQ(position->getValue(), 10.0); // exactly on the window's stop
            EXPECT_FALSE(cues.update(TimeInfo(116.0)));

            position->setStartStopRange(ValueRange<double>(5.0, 8.0), ValueChangeInfo());
            fire(*cues.getJumpParam(0), 0.0);
            EXPECT_EQ(cues.getValue(), 2.0);
            EXPECT_FALSE(cues.update(TimeInfo(132.0)));
            EXPECT_EQ(position->getValue(), 8.0);
        }

        TEST_F(CuePoints, EmptyWindowAnswersItsValue)
        {
            position->setStartStopRange(ValueRange<double>(3.0, 3.0), ValueChangeInfo());
            EXPECT_EQ(cues.getPositionValue(getTickCount() - 500.0), 3.0);
        }

        TEST_F(CuePoints, PathsHangBelowTheList)
        {
            cues.setPath("/source/cuepoints");
            EXPECT_EQ(cues.getSetParams()->getPath(), "/source/cuepoints/setparams");
            EXPECT_EQ(cues.getJumpParams()->getPath(), "/source/cuepoints/jumpparams");
            EXPECT_EQ(cues.getPoint(0)->getPath(), "/source/cuepoints/position1");
            EXPECT_EQ(cues.getSetParam(5)->getPath(), "/source/cuepoints/setparams/set6");
        }

        TEST_F(CuePoints, StoredPointsRoundTripIntoAListOfTheSameCount)
        {
            pause();
            fire(*cues.getSetParam(2), 0.0);
            ASSERT_TRUE(cues.needsToWriteState());
            const std::string text = test::writeToText(cues, false);
            EXPECT_EQ(text, "<ParamPoints6 name=\"CuePoints\" default=\"0\" value=\"5\">\n"
                            "\t<Param name=\"position3\" default=\"-1\" value=\"5\"/>\n"
                            "</ParamPoints6>\n");
            ParamPoints copy("CuePoints", 6);
            copy.readState(test::parseText(text)->first_node(), false);
            EXPECT_EQ(copy.getPoint(2)->getValue(), 5.0);
            EXPECT_EQ(copy.getPoint(1)->getValue(), -1.0);
            EXPECT_EQ(test::writeToText(copy, false), text);

            ParamPoints other("CuePoints", 4);
            other.readState(test::parseText(text)->first_node(), true);
            EXPECT_EQ(other.getPoint(2)->getValue(), 5.0);
        }

        TEST(CuePointsUnset, EventsBeforeTheParameterAreIgnored)
        {
            test::LogRecorder log;
            ParamPoints cues("CuePoints", 2);
            cues.getSetParam(0)->triggerTrue();
            cues.getJumpParam(1)->triggerTrue();
            EXPECT_EQ(cues.getPoint(0)->getValue(), -1.0);
            EXPECT_FALSE(cues.update(TimeInfo(10.0)));
            EXPECT_EQ(log.count(logWarning), 2u) << log.dump();
        }

        TEST(CuePointsNone, ZeroPointsMakeNoEvents)
        {
            ParamPoints cues("CuePoints", 0);
            EXPECT_EQ(cues.getElementName(), "ParamPoints0");
            EXPECT_EQ(cues.getSetParams()->getNumParams(), 0);
            EXPECT_FALSE(cues.needsToWriteState());
            ParamPoints negative("CuePoints", -3);
            EXPECT_EQ(negative.getNumPoints(), 0);
        }
    }
}
