#include "engine/behaviours/VXBehaviourBpmBeatLoopr.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamEvent.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/behaviours/VXAudioBeatmarks.h"
#include "engine/behaviours/VXModifierTimeline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vx
{
    namespace
    {
        using test::beatFrame;

        // A clip of 4000 ms on a position parameter in milliseconds: 8 beats.
        struct BeatLoop : ::testing::Test
        {
            ParamRange owner{"Position", 0.0, ValueRange<double>(0.0, 4000.0)};
            std::shared_ptr<BehaviourBpmBeatLoopr> loopr = std::make_shared<BehaviourBpmBeatLoopr>(owner, 4000.0);

            void SetUp() override { owner.setBehaviour(loopr); }

            void chooseLoop(const std::string& name)
            {
                ASSERT_TRUE(loopr->getBeatLoopParam()->setValueByName(name, ValueChangeInfo()));
            }
        };

        TEST_F(BeatLoop, ClipSpansItsBeatsAndPlaysAtTheRateThatKeepsThemOnTheBeat)
        {
            EXPECT_EQ(loopr->getBeatsParam()->getValue(), 8.0);
            EXPECT_EQ(loopr->getDuration(), 4000.0);
            loopr->getSyncModeParam()->setValueByName("BPM", ValueChangeInfo());
            EXPECT_DOUBLE_EQ(loopr->getNumBeats(), 8.0);
            TimeInfo info = beatFrame(0.0, 0.0);
            EXPECT_DOUBLE_EQ(loopr->getSpeed(info), 1.0);
            info.tempo.bpm = 60.0;
            EXPECT_DOUBLE_EQ(loopr->getSpeed(info), 0.5);

            owner.update(beatFrame(2.0, 2.0));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.25);
        }

        TEST_F(BeatLoop, MultiplyingTheBeatsHalvesThePace)
        {
            loopr->getMultiplyTwoParam()->triggerTrue();
            EXPECT_EQ(loopr->getBeatsParam()->getValue(), 16.0);
            owner.update(beatFrame(2.0, 2.0));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.125);
            loopr->getSyncModeParam()->setValueByName("BPM", ValueChangeInfo());
            loopr->getDivideTwoParam()->triggerTrue();
            EXPECT_EQ(loopr->getBpmParam()->getValue(), 60.0);
        }

        TEST_F(BeatLoop, LoopWindowIsAlignedAroundThePhaseAndStaysWhileChosen)
        {
            double start = 0.0;
            double end = 1.0;
            chooseLoop("1/2 Beat");
            EXPECT_TRUE(loopr->updateBeatloop(0.30, start, end));
            EXPECT_DOUBLE_EQ(start, 0.25);
            EXPECT_DOUBLE_EQ(end, 0.3125);
            EXPECT_TRUE(loopr->updateBeatloop(0.9, start, end));
            EXPECT_DOUBLE_EQ(start, 0.25);

            chooseLoop("1/2 Beat"); // the same choice again switches the loop off
            EXPECT_FALSE(loopr->updateBeatloop(0.9, start, end));
            EXPECT_EQ(start, 0.0);
            EXPECT_EQ(end, 1.0);

            loopr->getBeatsParam()->setValue(2.0, ValueChangeInfo());
            chooseLoop("4 Beats");
            EXPECT_TRUE(loopr->updateBeatloop(0.6, start, end));
            EXPECT_EQ(start, 0.0);
            EXPECT_EQ(end, 1.0);
        }

        TEST_F(BeatLoop, PlayHeadLoopsTheSectionAndCatchesUpWhenReleased)
        {
            loopr->getCatchUpParam()->setValue(true, ValueChangeInfo());
            EXPECT_TRUE(loopr->getPlayHead()->getBeatlooperCatchesUp());
            owner.update(beatFrame(2.0, 2.0)); // phase 0.25
            chooseLoop("1 Beats");             // 0.25 .. 0.375
            for (double beat = 2.5; beat <= 4.01; beat += 0.5)
                owner.update(beatFrame(beat, 0.5));
            EXPECT_GE(owner.getValueNormalized(), 0.25);
            EXPECT_LE(owner.getValueNormalized(), 0.375);

            chooseLoop("Off");
            owner.update(beatFrame(4.5, 0.5));
            EXPECT_NEAR(owner.getValueNormalized(), 4.5 / 8.0, 1e-12);
        }

        TEST_F(BeatLoop, BeatClockJumpsAndHoldsReachThePlayHead)
        {
            TimeInfo jump = beatFrame(10.0, 0.0);
            jump.tempo.beatJump = true;
            const DeltaSource::Result result = loopr->getDelta(jump);
            EXPECT_EQ(result.flags, 4u);
            EXPECT_DOUBLE_EQ(result.jumpPosition, 1.25);
            owner.update(jump);
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.25);

            TimeInfo hold = beatFrame(11.0, 1.0);
            hold.tempo.beatHold = true;
            owner.update(hold);
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.25);
        }

        TEST_F(BeatLoop, RandomJumpsWholeBeatsWithinTheClip)
        {
            std::srand(7);
            for (int i = 0; i < 50; ++i)
            {
                double elapsed = 0.2;
                double position = 0.5;
                loopr->getRandomPosition(elapsed, position);
                EXPECT_DOUBLE_EQ(elapsed, 0.2 - 0.125);
                const double beats = (position - 0.5) * 8.0;
                EXPECT_GE(beats, -2.0);
                EXPECT_LE(beats, 1.0);
                EXPECT_DOUBLE_EQ(beats, std::round(beats));
            }
        }

        TEST_F(BeatLoop, ClipWithoutBeatsMovesNothingAndStoresNoNaN)
        {
            loopr->getSyncModeParam()->setValueByName("BPM", ValueChangeInfo());
            owner.setMinMaxRange(ValueRange<double>(0.0, 0.0), true, ValueChangeInfo());
            EXPECT_EQ(loopr->getDelta(beatFrame(1.0, 1.0)).flags, 512u);
            EXPECT_EQ(loopr->getSpeed(beatFrame(1.0, 1.0)), 0.0);
            owner.update(beatFrame(1.0, 1.0));
            EXPECT_FALSE(std::isnan(owner.getValueNormalized()));
            double start = 0.0;
            double end = 1.0;
            chooseLoop("2 Beats");
            loopr->updateBeatloop(0.5, start, end);
            EXPECT_EQ(start, 0.0);
            EXPECT_EQ(end, 1.0);
        }

        // A window of no width leaves nothing to play in either sync mode: the
        // only request is "no duration", whatever the beat clock does.
        struct EmptyWindowCase
        {
            const char* name;
            const char* syncMode;
            bool beatJump;
            bool beatHold;
        };

        void PrintTo(const EmptyWindowCase& frameCase, std::ostream* out)
        {
            *out << frameCase.name;
        }

        class BeatLoopEmptyWindow : public BeatLoop, public ::testing::WithParamInterface<EmptyWindowCase>
        {
        };

        TEST_P(BeatLoopEmptyWindow, AsksOnlyForNoDuration)
        {
            const EmptyWindowCase& frameCase = GetParam();
            ASSERT_TRUE(loopr->getSyncModeParam()->setValueByName(frameCase.syncMode, ValueChangeInfo()));
            owner.setMinMaxRange(ValueRange<double>(0.0, 0.0), true, ValueChangeInfo());
            TimeInfo frame = beatFrame(10.0, 1.0);
            frame.tempo.beatJump = frameCase.beatJump;
            frame.tempo.beatHold = frameCase.beatHold;
            EXPECT_EQ(loopr->getDelta(frame).flags, 512u);
            owner.update(frame);
            EXPECT_FALSE(std::isnan(owner.getValueNormalized()));
        }

        INSTANTIATE_TEST_SUITE_P(Frames, BeatLoopEmptyWindow,
                                 ::testing::Values(EmptyWindowCase{"BeatsJump", "Beats", true, false},
                                                   EmptyWindowCase{"BeatsHold", "Beats", false, true},
                                                   EmptyWindowCase{"BeatsJumpAndHold", "Beats", true, true},
                                                   EmptyWindowCase{"BeatsPlain", "Beats", false, false},
                                                   EmptyWindowCase{"BpmJump", "BPM", true, false},
                                                   EmptyWindowCase{"BpmHold", "BPM", false, true}),
                                 [](const ::testing::TestParamInfo<EmptyWindowCase>& info)
                                 { return std::string(info.param.name); });

        TEST_F(BeatLoop, DefaultsFollowTheBeatMarksAndTheDuration)
        {
            auto marks = std::make_shared<AudioBeatmarks<double>>();
            marks->setBpm(90.0);
            loopr->setBeatmarks(marks);
            EXPECT_EQ(loopr->getBpmParam()->getValue(), 90.0);

            loopr->setOriginalDuration(8000.0); // 12 beats at 90 bpm
            EXPECT_EQ(loopr->getBeatsParam()->getValue(), 12.0);
            EXPECT_EQ(loopr->getBeatsParam()->getDefaultValue(), 12.0);

            ParamRange other("Position", 0.0, ValueRange<double>(0.0, 4000.0));
            BehaviourBpmBeatLoopr read(other, 4000.0);
            read.readState(test::parseText("<BehaviourBpmBeatLoopr name=\"BehaviourBpmBeatLoopr\" "
                                           "originalDuration=\"6000\"><Beats_d name=\"Beats_d\">"
                                           "<AudioBeatmarksDOUBLE name=\"AudioBeatmarksDOUBLE\" bpm=\"100\"/>"
                                           "</Beats_d></BehaviourBpmBeatLoopr>")
                               ->first_node(),
                           false);
            EXPECT_EQ(read.getBeatsParam()->getValue(), 10.0);
            EXPECT_EQ(read.getBpmParam()->getValue(), 100.0);
        }
    }
}
