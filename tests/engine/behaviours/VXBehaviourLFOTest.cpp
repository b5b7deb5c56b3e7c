#include "engine/behaviours/VXBehaviourLFO.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamChoice.h"
#include "engine/behaviours/VXModifierAnimated.h"
#include "engine/behaviours/VXModifierLFO.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace vx
{
    namespace
    {
        using test::beatFrame;
        using test::frame;

        struct Sample
        {
            const char* name;
            ModifierLFO::Waveform waveform;
            double phase;
            double value;
        };

        using Waveforms = ::testing::TestWithParam<Sample>;

        TEST_P(Waveforms, ShapeThePhase)
        {
            ModifierLFO lfo;
            lfo.setWaveform(GetParam().waveform);
            double v = GetParam().phase;
            lfo.apply(v);
            EXPECT_NEAR(v, GetParam().value, 1e-12);

            lfo.setInvert(true);
            v = GetParam().phase;
            lfo.apply(v);
            EXPECT_NEAR(v, 1.0 - GetParam().value, 1e-12);
        }

        INSTANTIATE_TEST_SUITE_P(Table, Waveforms,
                                 ::testing::Values(Sample{"SineAtZero", ModifierLFO::sine, 0.0, 0.5},
                                                   Sample{"SineAtAQuarter", ModifierLFO::sine, 0.25, 0.0},
                                                   Sample{"SineAtThreeQuarters", ModifierLFO::sine, 0.75, 1.0},
                                                   Sample{"TriangleAtZero", ModifierLFO::triangle, 0.0, 0.5},
                                                   Sample{"TriangleAtAQuarter", ModifierLFO::triangle, 0.25, 0.0},
                                                   Sample{"TriangleAtThreeQuarters", ModifierLFO::triangle, 0.75, 1.0},
                                                   Sample{"TriangleAtAnEighth", ModifierLFO::triangle, 0.125, 0.25},
                                                   Sample{"SawAtZero", ModifierLFO::saw, 0.0, 0.0},
                                                   Sample{"SawClampsAbove", ModifierLFO::saw, 1.5, 1.0},
                                                   Sample{"SquareBelowHalf", ModifierLFO::square, 0.49, 0.0},
                                                   Sample{"SquareAtHalf", ModifierLFO::square, 0.5, 1.0},
                                                   Sample{"SineClampsBelow", ModifierLFO::sine, -0.3, 0.5},
                                                   Sample{"UnknownIsSaw", static_cast<ModifierLFO::Waveform>(9), 0.3,
                                                          0.3}),
                                 [](const auto& info) { return std::string(info.param.name); });

        TEST(ModifierLFO, OffHoldsTheLastOutputAndAlternatesWhenInverted)
        {
            ModifierLFO lfo;
            lfo.setWaveform(ModifierLFO::off);
            EXPECT_FALSE(lfo.isAnimating());
            double v = 0.8;
            lfo.apply(v);
            EXPECT_EQ(v, 0.0);
            lfo.setWaveform(ModifierLFO::saw);
            v = 0.3;
            lfo.apply(v);
            lfo.setWaveform(ModifierLFO::off);
            lfo.setInvert(true);
            v = 0.9;
            lfo.apply(v);
            EXPECT_DOUBLE_EQ(v, 0.7);
            lfo.apply(v);
            EXPECT_DOUBLE_EQ(v, 0.3);
        }

        // Sine and triangle are the formulas themselves, bit for bit, across
        // the cycle: the triangle's phase shift wraps at a quarter.
        TEST(ModifierLFO, SineAndTriangleEqualTheirFormulasExactly)
        {
            std::vector<double> phases;
            for (int i = 0; i <= 4096; ++i)
                phases.push_back(i / 4096.0);
            for (double p : {0.25, 0.75, 1.0})
            {
                phases.push_back(std::nextafter(p, 0.0));
                phases.push_back(std::nextafter(p, 2.0));
            }
            std::mt19937 random(7);
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            for (int i = 0; i < 4096; ++i)
                phases.push_back(unit(random));

            ModifierLFO sine;
            ModifierLFO triangle;
            triangle.setWaveform(ModifierLFO::triangle);
            for (double phase : phases)
            {
                const double x = phase > 1.0 ? 1.0 : phase;
                const double t = std::fmod(x + 0.75, 1.0);
                double v = phase;
                sine.apply(v);
                EXPECT_EQ(v, 0.5 * std::sin(2.0 * std::numbers::pi * (x - 0.5)) + 0.5) << "phase " << phase;
                v = phase;
                triangle.apply(v);
                EXPECT_EQ(v, t < 0.5 ? 2.0 * t : (t - 0.5) * -2.0 + 1.0) << "phase " << phase;
            }
        }

        TEST(ModifierAnimated, WrapsByWholeCyclesAndReportsIt)
        {
            ModifierAnimated phase;
            phase.reset(0.9);
            phase.getTimelineSource().setRate(2.0);
            EXPECT_EQ(phase.update(frame(1000.0, 1000.0)), 4u); // 0.9 + 0.4
            EXPECT_NEAR(phase.getValue(), 0.3, 1e-12);
            phase.reset(0.1);
            phase.getTimelineSource().setRate(-1.5);
            EXPECT_EQ(phase.update(frame(1000.0, 1000.0)), 4u);
            EXPECT_NEAR(phase.getValue(), 0.8, 1e-12);
            phase.reset(0.5);
            phase.getTimelineSource().setRate(1.0);
            EXPECT_EQ(phase.update(frame(1000.0, 2500.0)), 0u); // exactly 1 stays
            EXPECT_EQ(phase.getValue(), 1.0);
        }

        TEST(ModifierAnimated, SlicesStepEvenlyAndNoSlicesChangeNothing)
        {
            ModifierAnimated phase;
            double values[4] = {};
            int flags[4] = {};
            double unused = 0.0;
            TimeInfo info = frame(1000.0, 5000.0);
            EXPECT_EQ(phase.updateAndApply(info, values, flags, unused, 4), 0u);
            EXPECT_DOUBLE_EQ(values[0], 0.25);
            EXPECT_DOUBLE_EQ(values[3], 1.0);
            EXPECT_EQ(phase.updateAndApply(info, values, flags, unused, 0), 0u);
            EXPECT_DOUBLE_EQ(phase.getValue(), 1.0);
        }

        struct LFO : ::testing::Test
        {
            ParamRange owner{"Gain", 0.0, ValueRange<double>(0.0, 10.0)};
            std::shared_ptr<BehaviourLFO> lfo = std::make_shared<BehaviourLFO>(owner, 5000.0);

            void SetUp() override { owner.setBehaviour(lfo); }
        };

        TEST_F(LFO, FreeRunningSineAtExactSamplePoints)
        {
            owner.update(frame(1250.0, 1250.0)); // phase 0.25
            EXPECT_NEAR(owner.getValueNormalized(), 0.0, 1e-12);
            owner.update(frame(3750.0, 2500.0)); // phase 0.75
            EXPECT_NEAR(owner.getValueNormalized(), 1.0, 1e-12);
            EXPECT_NEAR(owner.getValue(), 10.0, 1e-10);
        }

        TEST_F(LFO, ParametersReachTheModifiers)
        {
            lfo->getSpeedParam()->setValue(2.0, ValueChangeInfo());
            lfo->getWaveformParam()->setValueByName("Saw", ValueChangeInfo());
            owner.update(frame(16.67, 16.67));
            EXPECT_NEAR(owner.getValueNormalized(), 0.006668, 1e-9);

            lfo->getSpeedParam()->setValue(0.0, ValueChangeInfo());
            owner.update(frame(1000.0, 1000.0));
            EXPECT_NEAR(owner.getValueNormalized(), 0.006668, 1e-9);

            lfo->getWaveformParam()->setValueByName("Off", ValueChangeInfo());
            EXPECT_FALSE(lfo->isAnimating());
        }

        TEST_F(LFO, TempoSyncedRunsOneCyclePerBeatsBeats)
        {
            lfo->getTempoSyncedParam()->setValue(true, ValueChangeInfo());
            EXPECT_EQ(lfo->getAnimatedModifier()->getDeltaSourceType(), DeltaSource::beats);
            lfo->getBeatsParam()->setValue(8.0, ValueChangeInfo());
            lfo->getWaveformParam()->setValueByName("Square", ValueChangeInfo());
            owner.update(beatFrame(2.0, 2.0)); // a quarter cycle
            EXPECT_EQ(owner.getValueNormalized(), 0.0);
            owner.update(beatFrame(6.0, 4.0)); // three quarters
            EXPECT_EQ(owner.getValueNormalized(), 1.0);
            lfo->getTempoSyncedParam()->setValue(false, ValueChangeInfo());
            EXPECT_EQ(lfo->getAnimatedModifier()->getDeltaSourceType(), DeltaSource::timeline);
        }

        TEST_F(LFO, AHostChangeRestartsTheOscillatorThere)
        {
            lfo->getWaveformParam()->setValueByName("Saw", ValueChangeInfo());
            owner.setValueNormalized(0.6, ValueChangeInfo());
            owner.update(frame(500.0, 500.0));
            EXPECT_NEAR(owner.getValueNormalized(), 0.7, 1e-12);
        }

        TEST_F(LFO, ReadingStateReachesTheModifiers)
        {
            auto read = std::make_shared<BehaviourLFO>(owner, 5000.0);
            lfo->getWaveformParam()->setValueByName("Triangle", ValueChangeInfo());
            lfo->getTempoSyncedParam()->setValue(true, ValueChangeInfo());
            XmlDocument document;
            read->readState(lfo->writeState(document, false), false);
            EXPECT_EQ(read->getLFOModifier()->getWaveform(), ModifierLFO::triangle);
            EXPECT_EQ(read->getAnimatedModifier()->getDeltaSourceType(), DeltaSource::beats);
        }

        TEST_F(LFO, BadFramesStoreNoNaN)
        {
            TimeInfo bad = frame(100.0, std::numeric_limits<double>::infinity());
            owner.update(bad);
            EXPECT_NEAR(owner.getValueNormalized(), 0.5, 1e-12);
        }
    }
}
