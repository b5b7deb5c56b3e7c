#include "engine/behaviours/VXModifierTimeline.h"

#include "VXBehaviourTestHelpers.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vx
{
    namespace
    {
        using test::frame;
        using test::ScriptedDeltaSource;

        struct Crossing
        {
            const char* name;
            ParamPlayMode mode;
            ParamPlayDirection direction;
            double startPhase;
            double delta;
            double phase;
            std::uint32_t flags;
            ParamPlayDirection directionAfter;
            bool finished;
        };

        using PlayHeadCrossing = ::testing::TestWithParam<Crossing>;

        TEST_P(PlayHeadCrossing, WrapsTurnsOrStopsAtTheWindowEdge)
        {
            const Crossing& c = GetParam();
            ScriptedDeltaSource source;
            source.add(c.delta);
            ModifierTimeline head(source);
            *head.getModeField() = c.mode;
            *head.getDirectionField() = c.direction;
            head.reset(c.startPhase);

            double value = -7.0;
            EXPECT_EQ(head.updateAndApply(frame(40.0, 40.0), value), c.flags);
            EXPECT_NEAR(head.getPhase(), c.phase, 1e-12);
            EXPECT_EQ(value, head.getPhase());
            EXPECT_EQ(head.getPlayDirection(), c.directionAfter);
            EXPECT_EQ(head.isFinished(), c.finished);
        }

        INSTANTIATE_TEST_SUITE_P(
            Table, PlayHeadCrossing,
            ::testing::Values(
                Crossing{"LoopForward", playLoop, playForward, 0.95, 0.1, 0.05, 0x404, playForward, false},
                Crossing{"LoopBackward", playLoop, playBackward, 0.05, 0.1, 0.95, 0x804, playBackward, false},
                Crossing{"LoopFarPastTheEnd", playLoop, playForward, 0.5, 2.75, 0.25, 0x404, playForward, false},
                Crossing{"BounceAtTheEnd", playBounce, playForward, 0.95, 0.1, 0.95, 0x414, playBackward, false},
                Crossing{"BounceAtTheStart", playBounce, playBackward, 0.05, 0.1, 0.05, 0x80C, playForward, false},
                Crossing{"OnceForward", playOnce, playForward, 0.95, 0.1, 1.0, 0x580, playForward, true},
                Crossing{"OnceAndHoldBackward", playOnceAndHold, playBackward, 0.05, 0.1, 0.0, 0x980, playBackward,
                         true},
                Crossing{"InsideMovesQuietly", playLoop, playForward, 0.2, 0.1, 0.3, 0, playForward, false},
                Crossing{"PauseStays", playLoop, playPause, 0.2, 0.1, 0.2, 0, playPause, false},
                Crossing{"MinusOneMeansHold", playLoop, playForward, 0.2, -1.0, 0.2, 0x300, playForward, false}),
            [](const auto& info) { return std::string(info.param.name); });

        struct PlayHead : ::testing::Test
        {
            ScriptedDeltaSource source;
            ModifierTimeline head{source};
            TimeInfo info = frame(40.0, 40.0);
        };

        TEST_F(PlayHead, OnceModeAfterFinishingReportsOnlyTheWrapUntilTheMarkIsCleared)
        {
            *head.getModeField() = playOnce;
            source.add(0.3);
            head.reset(0.9);
            EXPECT_EQ(head.update(info), 0x580u);
            EXPECT_EQ(head.update(info), 0x400u);
            EXPECT_EQ(head.getPhase(), 1.0);
            *head.getDirectionField() = playBackward;
            source.script = {{1.5, -1.0, 0}};
            EXPECT_EQ(head.update(info), 0x900u); // back at the start after finishing: held, no new finish
            EXPECT_EQ(head.getPhase(), 0.0);
        }

        TEST_F(PlayHead, ExactRequestsAreObeyedAndMixedOnesAreNot)
        {
            source.add(0.0, 16);
            EXPECT_EQ(head.update(info), 16u);
            EXPECT_EQ(head.getPlayDirection(), playBackward);
            source.script = {{0.0, -1.0, 24}}; // forward and backward at once: no change
            head.update(info);
            EXPECT_EQ(head.getPlayDirection(), playBackward);
            source.script = {{0.1, -1.0, 32}};
            head.update(info);
            EXPECT_FALSE(head.isAnimating());
        }

        TEST_F(PlayHead, JumpOnlyOnAnExactFourInUpdateButAlsoCombinedInSlices)
        {
            head.reset(0.1);
            source.add(0.0, 4, 0.6);
            EXPECT_EQ(head.update(info), 4u);
            EXPECT_DOUBLE_EQ(head.getPhase(), 0.6);

            head.reset(0.1);
            source.script = {{0.0, 0.6, 12}};
            head.update(info);
            EXPECT_DOUBLE_EQ(head.getPhase(), 0.1);

            head.reset(0.1);
            double values[2] = {0.0, 0.0};
            int flags[2] = {0, 0};
            double value = 0.1;
            TimeInfo sliced = info;
            EXPECT_NE(head.updateAndApply(sliced, values, flags, value, 2) & 4u, 0u);
            EXPECT_DOUBLE_EQ(values[0], 0.6);
            EXPECT_NE(flags[0] & 4, 0);
        }

        TEST_F(PlayHead, NoDurationLeavesThePhaseButTheSlicedFormZeroesIt)
        {
            head.reset(0.4);
            source.add(0.2, 512);
            EXPECT_EQ(head.update(info), 512u);
            EXPECT_EQ(head.getPhase(), 0.4);

            double values[3] = {};
            int flags[3] = {};
            double value = 0.4;
            EXPECT_EQ(head.updateAndApply(info, values, flags, value, 3), 768u);
            EXPECT_EQ(values[2], -1.0);
            EXPECT_EQ(flags[1], 512);
            EXPECT_EQ(value, 0.0);
            EXPECT_EQ(head.getPhase(), 0.0);
        }

        TEST_F(PlayHead, SlicesShareOneSourceCallAndHoldRepeatsTheValue)
        {
            source.add(0.3);
            double values[3] = {};
            int flags[3] = {};
            double value = 0.0;
            head.updateAndApply(info, values, flags, value, 3);
            EXPECT_EQ(source.calls, 1);
            EXPECT_NEAR(values[0], 0.1, 1e-12);
            EXPECT_NEAR(values[2], 0.3, 1e-12);
            EXPECT_NEAR(value, 0.3, 1e-12);

            source.script = {{0.3, -1.0, 256}};
            int held[3] = {};
            EXPECT_EQ(head.updateAndApply(info, values, held, value, 3), 256u);
            EXPECT_EQ(values[1], value);
            EXPECT_EQ(held[2], 256);
        }

        TEST_F(PlayHead, RandomPicksANewPositionAfterItsShareOfTheWindow)
        {
            *head.getDirectionField() = playRandom;
            source.randomDuration = 0.25;
            source.nextRandomPosition = 0.7;
            head.reset(0.2);
            source.add(0.1);
            EXPECT_EQ(head.update(info), 0u);
            EXPECT_EQ(head.update(info), 0u);
            EXPECT_EQ(head.getPhase(), 0.2); // the phase stays while waiting
            EXPECT_EQ(head.update(info), 4u);
            EXPECT_EQ(head.getPhase(), 0.7);
            EXPECT_DOUBLE_EQ(head.getPhaseRemaining(), 0.25);

            head.setPhaseChangesDuringRandom(true);
            head.update(info);
            EXPECT_DOUBLE_EQ(head.getPhase(), 0.8);
        }

        TEST_F(PlayHead, EnteringRandomPicksAPhaseInTheUnitInterval)
        {
            head.reset(5.0);
            head.setPlayDirection(playRandom);
            EXPECT_GE(head.getPhase(), 0.0);
            EXPECT_LT(head.getPhase(), 1.0);
        }

        TEST_F(PlayHead, BeatLoopWrapsInsideItsWindowAndCatchesUpWhenReleased)
        {
            head.setBeatlooperCatchesUp(true);
            source.loopStart = 0.25;
            source.loopEnd = 0.5;
            head.reset(0.45);
            source.add(0.1);
            EXPECT_EQ(head.update(info), 4u); // no 0x400 while looping
            EXPECT_NEAR(head.getPhase(), 0.3, 1e-12);
            EXPECT_TRUE(head.isBeatlooping());
            EXPECT_NEAR(head.getContinuousPhase(), 0.55, 1e-12);

            source.loopStart = -1.0;
            EXPECT_EQ(head.update(info), 4u);
            EXPECT_NEAR(head.getPhase(), 0.65, 1e-12); // the continuous phase, then this frame's move
        }

        // The continuous phase is fmod(previous +- delta, 1.0) exactly, steps
        // that stay below one and steps that pass it alike, in both
        // directions.
        TEST(PlayHeadContinuousPhase, IsTheRunningRemainderExactly)
        {
            const double deltas[] = {0.3, 0.45, 0.9, 1.7, 0.05, 2.25, 0.6, 0.999};
            for (ParamPlayDirection direction : {playForward, playBackward})
            {
                ScriptedDeltaSource source;
                for (double delta : deltas)
                    source.add(delta);
                ModifierTimeline head(source);
                *head.getDirectionField() = direction;
                head.reset(0.2);
                double expected = 0.2;
                for (double delta : deltas)
                {
                    head.update(frame(40.0, 40.0));
                    expected = std::fmod(direction == playForward ? expected + delta : expected - delta, 1.0);
                    EXPECT_EQ(head.getContinuousPhase(), expected) << "delta " << delta;
                }
            }
        }

        struct Fold
        {
            const char* name;
            ParamPlayMode mode;
            double start;
            double end;
            double in;
            double out;
        };

        using AdjustPhase = ::testing::TestWithParam<Fold>;

        TEST_P(AdjustPhase, FoldsIntoTheWindowAndAlwaysEnds)
        {
            const Fold& f = GetParam();
            ScriptedDeltaSource source;
            source.loopStart = f.start;
            source.loopEnd = f.end;
            source.add(0.0);
            ModifierTimeline head(source);
            *head.getModeField() = f.mode;
            head.update(frame(0.0)); // takes the window from the source
            double p = f.in;
            EXPECT_EQ(head.adjustPhase(p), 0);
            EXPECT_NEAR(p, f.out, 1e-12);
        }

        constexpr double infinity = std::numeric_limits<double>::infinity();

        INSTANTIATE_TEST_SUITE_P(Table, AdjustPhase,
                                 ::testing::Values(Fold{"LoopBelow", playLoop, 0.0, 1.0, -0.25, 0.75},
                                                   Fold{"BounceBelow", playBounce, 0.0, 1.0, -0.25, 0.25},
                                                   Fold{"LoopFarAbove", playLoop, 0.0, 1.0, 1e9 + 0.5, 0.5},
                                                   Fold{"BounceFarAbove", playBounce, 0.0, 1.0, 1e6 + 0.25, 0.25},
                                                   Fold{"LoopInfinite", playLoop, 0.0, 1.0, infinity, 1.0},
                                                   Fold{"BounceInfinite", playBounce, 0.0, 1.0, -infinity, 0.0},
                                                   Fold{"LoopZeroWidth", playLoop, 0.5, 0.5, 0.9, 0.5},
                                                   Fold{"BounceZeroWidth", playBounce, 0.5, 0.5, 0.1, 0.5}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST_F(PlayHead, FramesWithoutFiniteTimesMoveNothingAndAreLoggedOnce)
        {
            test::LogRecorder log;
            head.reset(0.3);
            source.add(0.1);
            TimeInfo bad = info;
            bad.deltaTime = std::numeric_limits<double>::quiet_NaN();
            EXPECT_EQ(head.update(bad), 0u);
            EXPECT_EQ(head.update(bad), 0u);
            EXPECT_EQ(head.getPhase(), 0.3);
            EXPECT_EQ(log.count(logWarning), 1u) << log.dump();

            source.script = {{std::numeric_limits<double>::infinity(), -1.0, 0}};
            head.update(info);
            EXPECT_EQ(head.getPhase(), 0.3);
        }

        TEST(DeltaSources, TimeAndBeatsAdvanceAtTheirRates)
        {
            TimelineDeltaSource time;
            EXPECT_DOUBLE_EQ(time.getDelta(frame(100.0, 2500.0)).delta, 0.5);
            time.setRate(2.0);
            time.setSpeedFactor(0.5);
            EXPECT_DOUBLE_EQ(time.getDelta(frame(100.0, 1000.0)).delta, 0.2);

            BeatsDeltaSource beats;
            EXPECT_DOUBLE_EQ(beats.getDelta(test::beatFrame(3.0, 1.0)).delta, 0.25);
            EXPECT_EQ(beats.getDelta(test::beatFrame(3.0, 1.0)).jumpPosition, -1.0);
        }
    }
}
