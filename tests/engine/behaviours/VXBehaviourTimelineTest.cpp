#include "engine/behaviours/VXBehaviourTimeline.h"

#include "VXBehaviourTestHelpers.h"
#include "core/VXTimeUnit.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXAudioBeatmarks.h"
#include "engine/behaviours/VXModifierTimeline.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace vx
{
    namespace
    {
        using test::frame;

        struct BeatsOfClip
        {
            const char* name;
            double durationMs;
            unsigned int beats;
            double tempo;
        };

        using ClipBeats = ::testing::TestWithParam<BeatsOfClip>;

        TEST_P(ClipBeats, DurationGivesBeatsInTheTempoBand)
        {
            ParamRange owner("Position", 0.0, ValueRange<double>());
            BehaviourTimeline timeline(owner, GetParam().durationMs);
            EXPECT_EQ(timeline.getNumBeatsOfClip(), GetParam().beats);
            EXPECT_DOUBLE_EQ(timeline.getClipTempo(), GetParam().tempo);
        }

        INSTANTIATE_TEST_SUITE_P(Table, ClipBeats,
                                 ::testing::Values(BeatsOfClip{"FiveSeconds", 5000.0, 8, 96.0},
                                                   BeatsOfClip{"OneSecond", 1000.0, 2, 120.0},
                                                   BeatsOfClip{"ShortBeat", 375.0, 1, 160.0},
                                                   BeatsOfClip{"NoneFitsKeepsFour", 0.001, 4, 240000000.0}),
                                 [](const auto& info) { return std::string(info.param.name); });

        class FinishedCounter : public TimelineListener
        {
        public:
            void finished(const BehaviourTimelineBase* timeline) override
            {
                ++calls;
                last = timeline;
            }
            int calls = 0;
            const BehaviourTimelineBase* last = nullptr;
        };

        struct Timeline : ::testing::Test
        {
            ParamRange owner{"Position", 0.0, ValueRange<double>(0.0, 10.0)};
            std::shared_ptr<BehaviourTimeline> timeline = std::make_shared<BehaviourTimeline>(owner, 5000.0);
            FinishedCounter counter;

            void SetUp() override
            {
                owner.setBehaviour(timeline);
                timeline->addListener(counter, false);
            }
            void TearDown() override { timeline->removeListener(counter); }

            void setChoice(ParamChoice<int>& choice, const std::string& name)
            {
                ASSERT_TRUE(choice.setValueByName(name, ValueChangeInfo()));
            }
        };

        TEST_F(Timeline, PlaysTheWindowInItsDurationAndCountsLoops)
        {
            owner.update(frame(1250.0, 1250.0));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.25);
            EXPECT_DOUBLE_EQ(owner.getValue(), 2.5);
            owner.update(frame(5000.0, 3750.0 + 500.0));
            EXPECT_NEAR(owner.getValueNormalized(), 0.1, 1e-12);
            EXPECT_EQ(timeline->getLoopCount(), 1);
            EXPECT_EQ(counter.calls, 1); // every flagged update tells the listeners
            EXPECT_EQ(counter.last, timeline.get());

            setChoice(*timeline->getPlayDirectionParam(), "<");
            owner.update(frame(6000.0, 1000.0));
            EXPECT_EQ(timeline->getLoopCount(), 0);
        }

        TEST_F(Timeline, AdaptedDurationPlaysAHalfWindowInHalfTheTime)
        {
            owner.setStartStopRange(ValueRange<double>(0.0, 5.0), ValueChangeInfo());
            EXPECT_DOUBLE_EQ(timeline->getDuration(), 2500.0);
            owner.update(frame(1250.0, 1250.0));
            EXPECT_DOUBLE_EQ(owner.getValue(), 2.5);

            timeline->setDurationAdapts(false);
            EXPECT_DOUBLE_EQ(timeline->getDuration(), 5000.0);
            timeline->setDurationBasedOnParam(true);
            EXPECT_DOUBLE_EQ(timeline->getDuration(), 10.0);
        }

        TEST_F(Timeline, SpeedAndGlobalSpeedScaleTheDelta)
        {
            timeline->getSpeedParam()->setValue(2.0, ValueChangeInfo());
            TimeInfo info = frame(500.0, 500.0);
            info.speed.speed = -3.0;
            EXPECT_DOUBLE_EQ(timeline->getDelta(info).delta, 0.2);
            timeline->setGlobalSpeedEnabled(true);
            EXPECT_DOUBLE_EQ(timeline->getDelta(info).delta, 0.6);
            EXPECT_DOUBLE_EQ(timeline->getDelta(2500.0), 1.0);
        }

        TEST_F(Timeline, GlobalDirectionRequestsActAtOnceOrOnlyAfterAStart)
        {
            timeline->setGlobalSpeedEnabled(true);
            TimeInfo info = frame(40.0, 40.0);
            info.speed.directionRequest = 0x8002;
            owner.update(info);
            EXPECT_EQ(timeline->getPlayHead()->getPlayDirection(), playForward); // not started since

            owner.start(false, TimeUnit());
            owner.update(info);
            EXPECT_EQ(timeline->getPlayHead()->getPlayDirection(), playRandom);
            EXPECT_EQ(timeline->getPlayDirectionParam()->getValue(), playRandom);
            *timeline->getPlayHead()->getDirectionField() = playBackward;
            owner.update(info);
            EXPECT_EQ(timeline->getPlayHead()->getPlayDirection(), playBackward); // used up

            info.speed.directionRequest = 0x4001;
            owner.update(info);
            EXPECT_EQ(timeline->getPlayHead()->getPlayDirection(), playForward);

            info.speed.directionRequest = 1; // the frame record's own default: no apply bit
            *timeline->getPlayHead()->getDirectionField() = playBackward;
            owner.update(info);
            EXPECT_EQ(timeline->getPlayHead()->getPlayDirection(), playBackward);
        }

        TEST_F(Timeline, RestartRewindsOrContinuesByPlayModeAway)
        {
            owner.update(frame(2000.0, 2000.0));
            owner.update(frame(6000.0, 4000.0));
            ASSERT_EQ(timeline->getLoopCount(), 1);
            test::RecordingParamListener listener;
            owner.addListener(listener, false);
            owner.start(true, TimeUnit());
            EXPECT_EQ(owner.getValueNormalized(), 0.0);
            EXPECT_EQ(timeline->getLoopCount(), 0);
            EXPECT_EQ(listener.events().size(), 1u); // always notified, even if unchanged

            setChoice(*timeline->getPlayModeAwayParam(), "continue");
            owner.update(frame(7000.0, 1000.0));
            owner.start(true, TimeUnit());
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.2);
            owner.removeListener(listener);
        }

        TEST_F(Timeline, OnceModeHoldsAtTheEndAndTellsTheListeners)
        {
            setChoice(*timeline->getPlayModeParam(), "once");
            owner.update(frame(6000.0, 6000.0));
            EXPECT_EQ(owner.getValueNormalized(), 1.0);
            EXPECT_EQ(counter.calls, 1);
            EXPECT_FALSE(timeline->getPlayHead()->isFinished()); // cleared after reporting
        }

        TEST_F(Timeline, WindowsWithoutWidthOrDurationStoreNoNaN)
        {
            test::LogRecorder log;
            owner.setMinMaxRange(ValueRange<double>(3.0, 3.0), true, ValueChangeInfo());
            timeline->setDurationBasedOnParam(true);
            EXPECT_EQ(timeline->getDelta(frame(40.0, 40.0)).flags, 512u);
            owner.update(frame(40.0, 40.0));
            EXPECT_FALSE(std::isnan(owner.getValue()));
            EXPECT_FALSE(std::isnan(owner.getValueNormalized()));

            timeline->setOriginalDuration(std::numeric_limits<double>::quiet_NaN());
            timeline->setOriginalDuration(-5.0);
            EXPECT_EQ(timeline->getOriginalDuration(), 0.0);
            timeline->setDurationBasedOnParam(false);
            EXPECT_EQ(timeline->getOriginalDuration(), 5000.0);
            EXPECT_EQ(log.count(logWarning), 2u) << log.dump();
        }

        TEST_F(Timeline, AudioRandomBehaviourTakesOnePositionPerBeatOrMark)
        {
            timeline->setAudioRandomBehaviour();
            EXPECT_DOUBLE_EQ(timeline->getRandomDuration(), 5000.0 / 8.0);
            EXPECT_TRUE(timeline->getPlayHead()->getPhaseChangesDuringRandom());

            auto marks = std::make_shared<AudioBeatmarks<double>>();
            for (double beat : {0.0, 1.0, 2.0, 3.0, 4.0})
                marks->addBeatmark(beat);
            timeline->setBeatmarks(marks);
            timeline->setAudioRandomBehaviour();
            EXPECT_DOUBLE_EQ(timeline->getRandomDuration(), 1000.0);
        }

        TEST_F(Timeline, ElementWithoutBeatsKeepsTheBeatsRecord)
        {
            timeline->getBeats().setManualBeats(7);
            timeline->readState(test::parseText("<BehaviourTimeline name=\"BehaviourTimeline\" durationAdapts=\"0\" "
                                                "originalDuration=\"2000\"/>")
                                    ->first_node(),
                                false);
            EXPECT_EQ(timeline->getBeats().getManualBeats(), 7u);
            EXPECT_FALSE(timeline->getDurationAdapts());
            EXPECT_EQ(timeline->getDuration(), 2000.0);
            EXPECT_EQ(timeline->getNumBeatsOfClip(), 4u);
        }
    }
}
