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
        constexpr double p = 3.141592025756836;
        constexpr double e = 26.703536987304688;

        double bounceOut(double x)
        {
            if (x < 4.0 / 11.0)
                return 121.0 * x * x / 16.0;
            if (x < 8.0 / 11.0)
                return 9.075 * x * x - 9.9 * x + 3.4;
            if (x < 0.9)
                return 12.066481994459833 * x * x - 19.63545706371191 * x + 8.898060941828255;
            return 10.8 * x * x - 20.52 * x + 10.72;
        }

        // The curve table written out independently of the easing code.
        double reference(int curve, double x)
        {
            switch (curve)
            {
                case 1:
                    return x;
                case 2:
                    return x * x;
                case 3:
                    return -(x - 2.0) * x;
                case 5:
                    return x * x * x;
                case 6:
                    return std::pow(x - 1.0, 3) + 1.0;
                case 7:
                    return x < 0.5 ? 4.0 * std::pow(x, 3) : 0.5 * std::pow(2.0 * x - 2.0, 3) + 1.0;
                case 8:
                    return std::sin((x - 1.0) * p / 2.0) + 1.0;
                case 9:
                    return std::sin(x * p / 2.0);
                case 10:
                    return 0.5 * (1.0 - std::cos(x * p));
                case 11:
                    return 1.0 - std::sqrt(1.0 - x * x);
                case 12:
                    return std::sqrt((2.0 - x) * x);
                case 13:
                    return x < 0.5 ? 0.5 * (1.0 - std::sqrt(1.0 - 4.0 * x * x))
                                   : 0.5 * (std::sqrt(-(2.0 * x - 3.0) * (2.0 * x - 1.0)) + 1.0);
                case 14:
                    return x == 0.0 ? 0.0 : std::pow(2.0, 10.0 * (x - 1.0));
                case 15:
                    return x == 1.0 ? 1.0 : 1.0 - std::pow(2.0, -10.0 * x);
                case 16:
                    if (x == 0.0 || x == 1.0)
                        return x;
                    return x < 0.5 ? 0.5 * std::pow(2.0, 20.0 * x - 10.0) : 1.0 - 0.5 * std::pow(2.0, 10.0 - 20.0 * x);
                case 17:
                    return std::sin(e * x) * std::pow(2.0, 10.0 * (x - 1.0));
                case 18:
                    return std::sin(-e * (x + 1.0)) * std::pow(2.0, -10.0 * x) + 1.0;
                case 19:
                    return x < 0.5 ? 0.5 * std::sin(e * 2.0 * x) * std::pow(2.0, 10.0 * (2.0 * x - 1.0))
                                   : 0.5 * (std::sin(-e * 2.0 * x) * std::pow(2.0, -10.0 * (2.0 * x - 1.0)) + 2.0);
                case 20:
                    return std::pow(x, 3) + x * std::sin(-p * x);
                case 21:
                {
                    const double y = 1.0 - x;
                    return 1.0 - (std::pow(y, 3) + y * std::sin(-p * y));
                }
                case 22:
                {
                    if (x < 0.5)
                    {
                        const double u = 2.0 * x;
                        return 0.5 * (std::pow(u, 3) + u * std::sin(-p * u));
                    }
                    const double w = 1.0 - (2.0 * x - 1.0);
                    return 0.5 * (1.0 - (std::pow(w, 3) + w * std::sin(-p * w))) + 0.5;
                }
                case 23:
                    return 1.0 - bounceOut(1.0 - x);
                case 24:
                    return bounceOut(x);
                case 25:
                    return x < 0.5 ? 0.5 * (1.0 - bounceOut(1.0 - 2.0 * x)) : 0.5 * bounceOut(2.0 * x - 1.0) + 0.5;
                case 26:
                    return std::pow(x, 4);
                case 27:
                    return (1.0 - x) * std::pow(x - 1.0, 3) + 1.0;
                case 28:
                    return x < 0.5 ? 8.0 * std::pow(x, 4) : -8.0 * std::pow(x - 1.0, 4) + 1.0;
                case 29:
                    return std::pow(x, 5);
                case 30:
                    return std::pow(x - 1.0, 5) + 1.0;
                case 31:
                    return x < 0.5 ? 16.0 * std::pow(x, 5) : 0.5 * std::pow(2.0 * x - 2.0, 5) + 1.0;
                case 33:
                    return 0.0;
                default:
                    return x;
            }
        }

        class Curves : public ::testing::TestWithParam<int>
        {
        };

        TEST_P(Curves, MatchTheirFormulaAcrossTheInterval)
        {
            Animation animation(1000);
            KeyFrame keyframe(animation, 1.0, 1.0, GetParam());
            for (double x : {0.0, 0.1, 0.25, 0.3, 0.45, 0.5, 0.6, 0.75, 0.8, 0.95, 1.0})
                EXPECT_NEAR(keyframe.getEasing()(x), reference(GetParam(), x), 1e-12) << "x = " << x;
        }

        INSTANTIATE_TEST_SUITE_P(Table, Curves, ::testing::Range(1, 34),
                                 [](const auto& info) { return "Curve" + std::to_string(info.param); });

        TEST(Easing, ExactEnds)
        {
            EXPECT_EQ(ExponentialEaseIn(0.0), 0.0);
            EXPECT_EQ(ExponentialEaseOut(1.0), 1.0);
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
