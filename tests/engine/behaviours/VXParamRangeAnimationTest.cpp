#include "core/parameters/VXParamRange.h"

#include "VXBehaviourTestHelpers.h"
#include "core/VXTimeInfo.h"
#include "core/VXTimeUnit.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXBehaviourBasic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vx
{
    namespace
    {
        using test::RecordingBehaviour;
        using test::RecordingParamListener;
        using test::StepModifier;

        struct Animated : ::testing::Test
        {
            ParamRange param{"Speed", 5.0, ValueRange<double>(0.0, 10.0)};
            std::shared_ptr<RecordingBehaviour> behaviour;
            std::shared_ptr<StepModifier> modifier = std::make_shared<StepModifier>(0.1);
            RecordingParamListener listener;

            void SetUp() override
            {
                behaviour = std::make_shared<RecordingBehaviour>(param, "BehaviourLFO");
                behaviour->addModifier(modifier);
                param.addListener(listener, false);
                param.setBehaviour(behaviour);
            }
            void TearDown() override { param.removeListener(listener); }
        };

        TEST_F(Animated, SettingTheBehaviourRebasesItAndNotifies)
        {
            EXPECT_EQ(modifier->resets, (std::vector<double>{0.5}));
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"state(6)"}));
            EXPECT_EQ(param.getBehaviour(), behaviour);
        }

        TEST_F(Animated, AnimationAdvancesFromWhereTheHostLeftIt)
        {
            listener.clear();
            EXPECT_TRUE(param.update(test::frame(40.0)));
            EXPECT_DOUBLE_EQ(param.getValueNormalized(), 0.6);
            EXPECT_DOUBLE_EQ(param.getValue(), 6.0);
            const auto calls = listener.recorded();
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_TRUE(calls[0].isValue);
            EXPECT_EQ(calls[0].info.source, ChangeSourceAnimation);
            EXPECT_EQ(calls[0].info.time, 40.0);

            // The animation's own change does not re-base the chain.
            param.update(test::frame(80.0));
            EXPECT_DOUBLE_EQ(param.getValueNormalized(), 0.7);
            EXPECT_EQ(modifier->resets.size(), 1u);

            // A host change does: the animation continues from there.
            param.setValueNormalized(0.2, ValueChangeInfo(ChangeType_OnChange, ChangeSourceOSC));
            EXPECT_EQ(modifier->resets.back(), 0.2);
            param.update(test::frame(120.0));
            EXPECT_DOUBLE_EQ(param.getValueNormalized(), 0.3);

            // So does setValue, which goes through the normalised setter.
            param.setValue(9.0, ValueChangeInfo());
            EXPECT_DOUBLE_EQ(modifier->resets.back(), 0.9);
        }

        TEST_F(Animated, EditingUserHoldsTheValueAndDragsTheAnimationAlong)
        {
            param.setUserState(ParamBase::UserState_Editing);
            param.setValueNormalized(0.25, ValueChangeInfo());
            listener.clear();
            EXPECT_FALSE(param.update(test::frame(40.0)));
            EXPECT_EQ(param.getValueNormalized(), 0.25);
            EXPECT_EQ(modifier->updates, 0);
            EXPECT_EQ(modifier->resets.back(), 0.25);
            EXPECT_TRUE(listener.events().empty());

            param.setUserState(ParamBase::UserState_None);
            param.update(test::frame(80.0));
            EXPECT_DOUBLE_EQ(param.getValueNormalized(), 0.35);
        }

        TEST_F(Animated, PausedChainUpdatesButLeavesTheValue)
        {
            modifier->animating = false;
            EXPECT_TRUE(param.update(test::frame(40.0)));
            EXPECT_EQ(modifier->updates, 1);
            EXPECT_EQ(modifier->applies, 0);
            EXPECT_EQ(param.getValueNormalized(), 0.5);

            modifier->flags = 0;
            EXPECT_FALSE(param.update(test::frame(80.0)));
        }

        TEST_F(Animated, WindowChangesReachTheBehaviour)
        {
            param.setStartStopRange(ValueRange<double>(2.0, 8.0), ValueChangeInfo());
            param.setMinMaxRange(ValueRange<double>(0.0, 20.0), false, ValueChangeInfo());
            EXPECT_EQ(behaviour->rangeChanges, 2);
            // The window update re-bases the chain at the clamped position.
            EXPECT_DOUBLE_EQ(modifier->resets.back(), 0.5);
        }

        TEST_F(Animated, RemovingAndNullBehavioursLeaveABasicOne)
        {
            listener.clear();
            param.removeBehaviour();
            EXPECT_NE(param.behaviour<BehaviourBasic>(), nullptr);
            EXPECT_TRUE(listener.events().empty());
            EXPECT_FALSE(param.update(test::frame(40.0)));

            param.setBehaviour(behaviour);
            listener.clear();
            param.setBehaviour(std::shared_ptr<BehaviourDouble>());
            EXPECT_NE(param.behaviour<BehaviourBasic>(), nullptr);
            EXPECT_EQ(listener.events(), (std::vector<std::string>{"state(6)"}));

            param.setBehaviour(behaviour);
            param.resetBehaviour(false);
            EXPECT_NE(param.behaviour<BehaviourBasic>(), nullptr);
            EXPECT_EQ(param.behaviour<RecordingBehaviour>(), nullptr);
        }

        TEST_F(Animated, BehaviourFollowsTheParameterPath)
        {
            param.setPath("/fx/speed");
            EXPECT_EQ(behaviour->getPath(), "/fx/speed/behaviourlfo");
            EXPECT_EQ(behaviour->getParams()->getPath(), "/fx/speed/behaviourlfo/params");
        }

        // --- start and stop on time units ---------------------------------

        TEST_F(Animated, StartAndStopReachTheBehaviourAtOnceOrInTheFrameAfterTheirTime)
        {
            param.start(true, TimeUnit());
            EXPECT_TRUE(param.isPlaying());
            param.stop(TimeUnit());
            EXPECT_EQ(behaviour->starts, (std::vector<bool>{true}));
            EXPECT_EQ(behaviour->stops, 1);

            // Beat 4 at 120 bpm is 2000 ms.
            param.start(false, TimeUnit::withPosition(4.0));
            param.update(test::frame(1990.0));
            EXPECT_FALSE(param.isPlaying());
            param.update(test::frame(2010.0));
            EXPECT_EQ(behaviour->starts, (std::vector<bool>{true, false}));
            EXPECT_TRUE(param.isPlaying());

            // A later stop replaces a pending start.
            param.start(false, TimeUnit::withTimestamp(3000.0));
            param.stop(TimeUnit::withTimestamp(3000.0));
            param.update(test::frame(3001.0));
            EXPECT_EQ(behaviour->starts.size(), 2u);
            EXPECT_EQ(behaviour->stops, 2);
            EXPECT_FALSE(param.isPlaying());
        }

        // Readers on another thread keep a valid behaviour while the owner's
        // thread replaces it over and over.
        TEST(RangeParamBehaviourSwap, ReadersAlwaysSeeALiveBehaviour)
        {
            ParamRange param("P", 0.5, ValueRange<double>());
            std::atomic<bool> done{false};
            std::atomic<int> reads{0};
            std::thread reader(
                [&]
                {
                    while (! done)
                    {
                        const std::shared_ptr<BehaviourDouble> current = param.getBehaviour();
                        ASSERT_NE(current, nullptr);
                        EXPECT_EQ(&current->getOwner(), &param);
                        reads += current->getElementName().empty() ? 0 : 1;
                    }
                });
            for (int i = 0; i < 500; ++i)
            {
                if (i % 2 == 0)
                    param.setBehaviour(std::make_shared<RecordingBehaviour>(param, "BehaviourLFO"));
                else
                    param.removeBehaviour();
            }
            while (reads == 0)
                std::this_thread::yield();
            done = true;
            reader.join();
        }

        TEST(RangeParamHandler, ANullHandlerIsReplacedByOne)
        {
            ParamRange param("B", 0.0, ValueRange<double>(), nullptr);
            param.start(true, TimeUnit::withTimestamp(5.0));
            param.update(test::frame(6.0));
            EXPECT_TRUE(param.isPlaying());
        }
    }
}
