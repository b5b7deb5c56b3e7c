#include "engine/behaviours/VXBehaviourTimelineSlave.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/behaviours/VXBehaviourBpmBeatLoopr.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <gtest/gtest.h>

namespace vx
{
    namespace
    {
        using test::frame;

        struct Ratio
        {
            const char* name;
            double masterMax;
            double slaveMax;
            double numerator;
            double denominator;
        };

        using SlaveRatio = ::testing::TestWithParam<Ratio>;

        TEST_P(SlaveRatio, FollowsTheRangesMaximums)
        {
            const Ratio& r = GetParam();
            auto master = std::make_shared<ParamRange>("Master", 0.0, ValueRange<double>(0.0, r.masterMax));
            master->setBehaviour(std::make_shared<BehaviourTimeline>(*master, 5000.0));
            ParamRange owner("Slave", 0.0, ValueRange<double>(0.0, r.slaveMax));
            BehaviourTimelineSlave slave(owner, master);
            const auto& params = *slave.getParams();
            EXPECT_EQ(std::static_pointer_cast<ParamRange>(params.getParamByName("numerator"))->getValue(),
                      r.numerator);
            EXPECT_EQ(std::static_pointer_cast<ParamRange>(params.getParamByName("denominator"))->getValue(),
                      r.denominator);
        }

        INSTANTIATE_TEST_SUITE_P(Table, SlaveRatio,
                                 ::testing::Values(Ratio{"Twice", 2.0, 1.0, 2.0, 1.0},
                                                   Ratio{"AThird", 1.0, 3.0, 1.0, 3.0},
                                                   Ratio{"Same", 5.0, 5.0, 1.0, 1.0}),
                                 [](const auto& info) { return std::string(info.param.name); });

        // A master played by a 5000 ms timeline, twice as long as the slave.
        struct Slave : ::testing::Test
        {
            std::shared_ptr<ParamRange> master =
                std::make_shared<ParamRange>("Master", 0.0, ValueRange<double>(0.0, 2.0));
            std::shared_ptr<BehaviourTimeline> masterTimeline = std::make_shared<BehaviourTimeline>(*master, 5000.0);
            ParamRange owner{"Slave", 0.0, ValueRange<double>(0.0, 1.0)};
            std::shared_ptr<BehaviourTimelineSlave> slave;

            void SetUp() override
            {
                master->setBehaviour(masterTimeline);
                slave = std::make_shared<BehaviourTimelineSlave>(owner, master);
                owner.setBehaviour(slave);
            }
            void TearDown() override { owner.removeBehaviour(); }

            std::shared_ptr<Param<bool>> invert() const
            {
                return std::static_pointer_cast<Param<bool>>(slave->getParams()->getParamByName("invert"));
            }
        };

        TEST_F(Slave, FirstUpdateAlreadyRunsAtTheRatio)
        {
            owner.update(frame(1000.0, 1000.0));
            EXPECT_FALSE(slave->hasNewValues());
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.4);
        }

        TEST_F(Slave, TakesTheMastersProgressTimesTheRatio)
        {
            master->update(frame(6500.0, 6500.0)); // one loop and 0.3
            ASSERT_EQ(masterTimeline->getLoopCount(), 1);
            owner.update(frame(6500.0, 16.0));
            EXPECT_TRUE(slave->hasNewValues());
            EXPECT_DOUBLE_EQ(slave->getLocalValues().position, 1.3);
            EXPECT_NEAR(owner.getValueNormalized(), 0.6, 1e-12);
        }

        TEST_F(Slave, InvertTurnsTheDirectionAndMirrorsThePhase)
        {
            invert()->setValue(true, ValueChangeInfo());
            master->update(frame(1000.0, 1000.0)); // 0.2
            owner.update(frame(1000.0, 16.0));
            EXPECT_EQ(slave->getSlaveTimeline()->getPlayHead()->getPlayDirection(), playBackward);
            EXPECT_NEAR(owner.getValueNormalized(), 0.6, 1e-12);
        }

        TEST_F(Slave, OnlyTheNewestSnapshotCounts)
        {
            master->update(frame(500.0, 500.0));
            master->update(frame(1000.0, 500.0));
            owner.update(frame(1000.0, 16.0));
            EXPECT_DOUBLE_EQ(slave->getLocalValues().position, 0.2);
            owner.update(frame(1016.0, 16.0));
            EXPECT_FALSE(slave->hasNewValues());
        }

        TEST_F(Slave, ChangeBeforeTheFrameIsCaughtUpForTheRestOfTheFrame)
        {
            master->update(frame(1000.0, 1000.0)); // 0.2 at 1000 ms
            owner.update(frame(1010.0, 20.0));     // 10 of the 20 ms came after the change
            EXPECT_NEAR(owner.getValueNormalized(), 0.4 + 2.0 * 10.0 / 5000.0, 1e-12);
        }

        TEST_F(Slave, WhileTheMasterIsEditedItsPositionIsTakenDirectly)
        {
            master->setUserState(ParamBase::UserState_Editing);
            owner.update(frame(100.0, 16.0));
            master->setValueNormalized(0.35, ValueChangeInfo(ChangeType_OnChange, ChangeSourceGUI, 50.0));
            owner.update(frame(116.0, 16.0));
            EXPECT_NEAR(owner.getValueNormalized(), 0.7, 1e-12);
            owner.update(frame(132.0, 16.0));
            EXPECT_NEAR(owner.getValueNormalized(), 0.7, 1e-12); // not advancing while edited

            master->setUserState(ParamBase::UserState_None);
            owner.update(frame(148.0, 16.0));
            owner.update(frame(164.0, 16.0));
            EXPECT_GT(owner.getValueNormalized(), 0.7);
        }

        TEST_F(Slave, FollowsTheMastersWindowAndPlayMode)
        {
            master->setStartStopRange(ValueRange<double>(0.5, 1.5), ValueChangeInfo());
            masterTimeline->getPlayModeParam()->setValueByName("bounce", ValueChangeInfo());
            owner.update(frame(16.0, 16.0));
            EXPECT_DOUBLE_EQ(owner.getStartStopRange().min, 0.25);
            EXPECT_DOUBLE_EQ(owner.getStartStopRange().max, 0.75);
            EXPECT_EQ(slave->getSlaveTimeline()->getPlayHead()->getPlayMode(), playBounce);
        }

        TEST(SlaveOfBeatLoop, SharesTheMastersBeats)
        {
            auto master = std::make_shared<ParamRange>("Master", 0.0, ValueRange<double>(0.0, 4000.0));
            auto loopr = std::make_shared<BehaviourBpmBeatLoopr>(*master, 4000.0);
            master->setBehaviour(loopr);
            ParamRange owner("Slave", 0.0, ValueRange<double>(0.0, 4000.0));
            BehaviourTimelineSlave slave(owner, master);
            const auto timeline = std::dynamic_pointer_cast<BehaviourBpmBeatLoopr>(slave.getSlaveTimeline());
            ASSERT_NE(timeline, nullptr);
            EXPECT_EQ(timeline->getBeatsParam(), loopr->getBeatsParam());
        }

        TEST(SlaveWithoutTimeline, StaysInert)
        {
            auto master = std::make_shared<ParamRange>("Master", 0.5, ValueRange<double>());
            ParamRange owner("Slave", 0.25, ValueRange<double>());
            auto slave = std::make_shared<BehaviourTimelineSlave>(owner, master);
            owner.setBehaviour(slave);
            EXPECT_EQ(slave->getSlaveTimeline(), nullptr);
            master->setValueNormalized(0.9, ValueChangeInfo());
            EXPECT_FALSE(owner.update(frame(100.0, 100.0)));
            EXPECT_EQ(owner.getValueNormalized(), 0.25);
            EXPECT_FALSE(slave->isAnimating());
            owner.removeBehaviour();

            BehaviourTimelineSlave orphan(owner, nullptr);
            EXPECT_EQ(orphan.update(frame(200.0, 100.0)), 0u);
        }
    }
}
