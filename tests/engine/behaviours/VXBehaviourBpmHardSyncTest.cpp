#include "engine/behaviours/VXBehaviourBpmHardSync.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamTestHelpers.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace vx
{
    namespace
    {
        using test::beatFrame;

        struct HardSync : ::testing::Test
        {
            ParamRange owner{"Gain", 0.0, ValueRange<double>()};
            std::shared_ptr<BehaviourBpmHardSync> sync = std::make_shared<BehaviourBpmHardSync>(owner);

            void SetUp() override { owner.setBehaviour(sync); }
        };

        TEST_F(HardSync, ValueIsTheBeatClocksPlaceInTheCycle)
        {
            owner.update(beatFrame(9.0, 0.1));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.25);
            sync->getPlayDirectionParam()->setValueByName("<", ValueChangeInfo());
            owner.update(beatFrame(9.0, 0.1));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.75);

            sync->getBeatsParam()->setValue(0.5, ValueChangeInfo());
            sync->getPlayDirectionParam()->setValueByName(">", ValueChangeInfo());
            owner.update(beatFrame(20.25, 0.1));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.5);
        }

        TEST_F(HardSync, BounceTurnsOncePerCycleAtTheWrap)
        {
            sync->getPlayModeParam()->setValueByName("bounce", ValueChangeInfo());
            std::vector<double> values;
            for (double beat : {1.0, 3.0, 5.0, 7.0, 9.0})
            {
                owner.update(beatFrame(beat, 2.0));
                values.push_back(owner.getValueNormalized());
            }
            EXPECT_EQ(values, (std::vector<double>{0.25, 0.75, 0.75, 0.25, 0.25}));
            EXPECT_EQ(sync->getPlayDirectionParam()->getValue(), 1);
        }

        TEST_F(HardSync, EventsHalveAndDoubleTheCycle)
        {
            sync->getDivideTwoParam()->triggerTrue();
            EXPECT_EQ(sync->getBeatsParam()->getValue(), 2.0);
            sync->getMultiplyTwoParam()->triggerTrue();
            sync->getMultiplyTwoParam()->triggerTrue();
            EXPECT_EQ(sync->getBeatsParam()->getValue(), 8.0);
        }

        TEST_F(HardSync, BeatsOfTheCycleAsPhases)
        {
            sync->getBeatsParam()->setValue(4.7, ValueChangeInfo());
            EXPECT_EQ(sync->getBeats(), (std::set<double>{0.0, 0.25, 0.5, 0.75}));
            sync->getBeatsParam()->setValue(0.5, ValueChangeInfo());
            EXPECT_TRUE(sync->getBeats().empty());
        }

        TEST_F(HardSync, StoredDirectionItDoesNotOfferKeepsTheOneItHad)
        {
            sync->getPlayDirectionParam()->setValueByName("<", ValueChangeInfo());
            sync->readState(
                test::parseText("<BehaviourBpmHardSync name=\"BehaviourBpmHardSync\"><Params name=\"Params\">"
                                "<ParamChoice name=\"playDirection\" value=\"3\"/></Params>"
                                "</BehaviourBpmHardSync>")
                    ->first_node(),
                false);
            EXPECT_EQ(sync->getPlayDirectionParam()->getValue(), 0);
        }

        TEST_F(HardSync, ChangingTheDirectionMirrorsTheValueAtOnce)
        {
            owner.update(beatFrame(1.0, 0.1));
            sync->getPlayDirectionParam()->setValueByName("<", ValueChangeInfo());
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.75);
        }
    }
}
