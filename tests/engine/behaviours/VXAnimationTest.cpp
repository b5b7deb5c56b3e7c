#include "engine/behaviours/VXAnimation.h"

#include "engine/behaviours/VXEasing.h"
#include "engine/behaviours/VXEnvelopeModifier.h"
#include "engine/behaviours/VXKeyFrame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace vx
{
    namespace
    {
        // Each curve at x = 0.05, 0.2, 0.5, 0.8 and 0.95: both halves of the
        // in-out curves and every piece of the bounces.
        struct CurveCase
        {
            int curve;
            double values[5];
        };

        const CurveCase curveCases[] = {
            {1, {0.05, 0.2, 0.5, 0.8, 0.95}},
            {2, {0.0025, 0.04, 0.25, 0.64, 0.9025}},
            {3, {0.0975, 0.36, 0.75, 0.96, 0.9975}},
            {4, {0.05, 0.2, 0.5, 0.8, 0.95}},
            {5, {0.000125, 0.008, 0.125, 0.512, 0.857375}},
            {6, {0.142625, 0.488, 0.875, 0.992, 0.999875}},
            {7, {0.0005, 0.032, 0.5, 0.968, 0.9995}},
            {8, {0.003082689665, 0.04894356131, 0.2928933298, 0.6909830653, 0.9215409199}},
            {9, {0.07845908008, 0.3090169347, 0.7071066702, 0.9510564387, 0.9969173103}},
            {10, {0.006155827247, 0.09549146591, 0.499999843, 0.9045083496, 0.9938441236}},
            {11, {0.001250782228, 0.02020410289, 0.1339745962, 0.4, 0.6877501001}},
            {12, {0.3122498999, 0.6, 0.8660254038, 0.9797958971, 0.9987492178}},
            {13, {0.002506281447, 0.0417424305, 0.5, 0.9582575695, 0.9974937186}},
            {14, {0.001381067932, 0.00390625, 0.03125, 0.25, 0.7071067812}},
            {15, {0.2928932188, 0.75, 0.96875, 0.99609375, 0.9986189321}},
            {16, {0.0009765625, 0.0078125, 0.5, 0.9921875, 0.9990234375}},
            {17, {0.001342908906, -0.003160222895, 0.02209708063, 0.146946405, 0.1650704287}},
            {18, {0.83492879, 0.8530538248, 0.9779028943, 1.00316022, 0.9986570907}},
            {19, {0.0004433501468, -0.007430128485, 0.5, 1.007430131, 0.9995566508}},
            {20, {-0.007696721702, -0.1095570301, -0.375, 0.04177147309, 0.7087616986}},
            {21, {0.2912383014, 0.9582285269, 1.375, 1.10955703, 1.007696722}},
            {22, {-0.01495084673, -0.1582112877, 0.5000003139, 1.158211288, 1.014950847}},
            {23, {0.027, 0.08775623269, 0.28125, 0.6975, 0.98109375}},
            {24, {0.01890625, 0.3025, 0.71875, 0.9122437673, 0.973}},
            {25, {0, 0.1365, 0.5, 0.8635, 1}},
            {26, {6.25e-06, 0.0016, 0.0625, 0.4096, 0.81450625}},
            {27, {0.18549375, 0.5904, 0.9375, 0.9984, 0.99999375}},
            {28, {5e-05, 0.0128, 0.5, 0.9872, 0.99995}},
            {29, {3.125e-07, 0.00032, 0.03125, 0.32768, 0.7737809375}},
            {30, {0.2262190625, 0.67232, 0.96875, 0.99968, 0.9999996875}},
            {31, {5e-06, 0.00512, 0.5, 0.99488, 0.999995}},
            {32, {0.05, 0.2, 0.5, 0.8, 0.95}},
            {33, {0, 0, 0, 0, 0}},
        };

        using Curves = ::testing::TestWithParam<CurveCase>;

        TEST_P(Curves, MatchTheirFormula)
        {
            Animation animation(1000);
            KeyFrame keyframe(animation, 1.0, 1.0, GetParam().curve);
            const double xs[5] = {0.05, 0.2, 0.5, 0.8, 0.95};
            for (int i = 0; i < 5; ++i)
                EXPECT_NEAR(keyframe.getEasing()(xs[i]), GetParam().values[i], 1e-9) << "x = " << xs[i];
        }

        INSTANTIATE_TEST_SUITE_P(Table, Curves, ::testing::ValuesIn(curveCases),
                                 [](const auto& info) { return "Curve" + std::to_string(info.param.curve); });

        TEST(Easing, ExactEnds)
        {
            EXPECT_EQ(ExponentialEaseIn(0.0), 0.0);
            EXPECT_EQ(ExponentialEaseOut(1.0), 1.0);
            EXPECT_EQ(ExponentialEaseInOut(0.0), 0.0);
            EXPECT_EQ(ExponentialEaseInOut(1.0), 1.0);
            EXPECT_NEAR(BounceEaseOut(1.0), 1.0, 1e-12);
        }

        TEST(KeyFrame, UnchangingCurveNumbersKeepTheEasing)
        {
            Animation animation(1000);
            KeyFrame keyframe(animation, 0.5, 1.0, 4);
            EXPECT_EQ(keyframe.getEasing(), &LinearInterpolation<double>);
            keyframe.setCurve(7);
            keyframe.setCurve(32);
            EXPECT_EQ(keyframe.getCurve(), 32);
            EXPECT_EQ(keyframe.getEasing(), &CubicEaseInOut<double>);
            keyframe.setCurve(99);
            EXPECT_EQ(keyframe.getEasing(), &CubicEaseInOut<double>);
        }

        TEST(Animation, BakesSixtySamplesPerSecond)
        {
            Animation animation(1000);
            animation.insert(std::make_unique<KeyFrame>(animation, 1.0, 1.0, 1));
            animation.insert(std::make_unique<KeyFrame>(animation, 0.0, 0.0, 1));
            const std::vector<double>& samples = animation.getSamples();
            ASSERT_EQ(samples.size(), 60u);
            EXPECT_DOUBLE_EQ(samples[1], 1.0 / 60.0);
            EXPECT_DOUBLE_EQ(animation[1.0], 59.0 / 60.0);
            EXPECT_DOUBLE_EQ(animation[0.5], 0.5 * (29.0 / 60.0 + 30.0 / 60.0));
        }

        TEST(Animation, ReadsBeforeTheFirstSampleAreClamped)
        {
            Animation animation(1000);
            animation.insert(std::make_unique<KeyFrame>(animation, 0.0, 0.2, 1));
            animation.insert(std::make_unique<KeyFrame>(animation, 1.0, 1.0, 1));
            EXPECT_DOUBLE_EQ(animation[-3.0], 0.2);
            EXPECT_DOUBLE_EQ(animation[std::numeric_limits<double>::quiet_NaN()], 0.2);
            EXPECT_DOUBLE_EQ(animation[-std::numeric_limits<double>::infinity()], 0.2);
            Animation empty(1000);
            EXPECT_EQ(empty[0.5], 0.0);
        }

        TEST(Animation, InsertionOrderDoesNotMatter)
        {
            const double phases[] = {0.0, 0.3, 0.55, 1.0};
            const double values[] = {0.0, 0.9, 0.2, 1.0};
            Animation forward(2000);
            Animation backward(2000);
            for (int i = 0; i < 4; ++i)
            {
                forward.insert(std::make_unique<KeyFrame>(forward, phases[i], values[i], 5 + i));
                backward.insert(std::make_unique<KeyFrame>(backward, phases[3 - i], values[3 - i], 8 - i));
            }
            EXPECT_EQ(forward.getSamples(), backward.getSamples());
            EXPECT_EQ(forward.findFrameForPhase(0.3)->getPhase(), 0.55);
            EXPECT_EQ(forward.findFrameForPhase(1.0), nullptr);
            EXPECT_EQ(forward.findFrameForPhase(-0.1), nullptr);
            EXPECT_DOUBLE_EQ(forward(0.1, 1.0), 0.9);
            EXPECT_EQ(forward(2.0, 1.0), 0.0);
        }

        TEST(Animation, FindsTheSegmentAsTheLinearDefinitionDoes)
        {
            std::srand(99);
            Animation animation(1000);
            for (int i = 0; i < 37; ++i)
            {
                const double phase = static_cast<double>(std::rand() % 20) / 19.0; // duplicates too
                animation.insert(std::make_unique<KeyFrame>(animation, phase, 0.0, 1));
            }
            for (int i = 0; i < 500; ++i)
            {
                const double p = static_cast<double>(std::rand() % 1200) / 1000.0 - 0.1;
                KeyFrame* expected = nullptr;
                for (std::size_t k = 1; k < animation.getNumKeyFrames() && expected == nullptr; ++k)
                    if (animation.getKeyFrame(k - 1)->getPhase() <= p && p < animation.getKeyFrame(k)->getPhase())
                        expected = animation.getKeyFrame(k);
                EXPECT_EQ(animation.findFrameForPhase(p), expected) << "p = " << p;
            }
        }

        TEST(Animation, FlatAndShortSegments)
        {
            Animation animation(1000);
            animation.insert(std::make_unique<KeyFrame>(animation, 0.0, 0.4, 1));
            animation.insert(std::make_unique<KeyFrame>(animation, 0.5, 0.9, 33));
            animation.insert(std::make_unique<KeyFrame>(animation, 0.51, 0.1, 1)); // 10 ms: no sample
            EXPECT_EQ(animation.getSamples().size(), 30u);
            for (double sample : animation.getSamples())
                EXPECT_EQ(sample, 0.4);
        }

        TEST(Animation, RemovingTheFirstKeyframeLeavesNoDanglingStart)
        {
            Animation animation(1000);
            animation.insert(std::make_unique<KeyFrame>(animation, 0.0, 0.5, 1));
            animation.insert(std::make_unique<KeyFrame>(animation, 0.5, 1.0, 1));
            animation.insert(std::make_unique<KeyFrame>(animation, 1.0, 0.0, 1));
            animation.remove(animation.getKeyFrame(0));
            ASSERT_EQ(animation.getNumKeyFrames(), 2u);
            EXPECT_EQ(animation.getKeyFrame(0)->getStartFrame(), nullptr);
            EXPECT_EQ(animation.getSamples().size(), 30u);
            EXPECT_DOUBLE_EQ(animation.getSamples().front(), 1.0);
            animation.remove(nullptr);
            animation.setPoints({});
            EXPECT_EQ(animation.getNumKeyFrames(), 0u);
        }

        TEST(Animation, PhasesOutsideTheClipAreClamped)
        {
            Animation animation(1000);
            animation.insert(std::make_unique<KeyFrame>(animation, -5.0, 0.0, 1));
            animation.insert(std::make_unique<KeyFrame>(animation, 1e30, 1.0, 1));
            EXPECT_EQ(animation.getSamples().size(), 60u);
        }

        TEST(EnvelopeModifier, MapsThePhaseThroughTheCurve)
        {
            EnvelopeModifier envelope(1000);
            Animation& animation = envelope.getAnimation();
            animation.insert(std::make_unique<KeyFrame>(animation, 0.0, 1.0, 1));
            animation.insert(std::make_unique<KeyFrame>(animation, 1.0, 0.0, 1));
            double v = 0.0;
            envelope.apply(v);
            EXPECT_EQ(v, 1.0);
            envelope.reset(0.7);
            EXPECT_EQ(envelope.getValue(), 0.0);
        }
    }
}
