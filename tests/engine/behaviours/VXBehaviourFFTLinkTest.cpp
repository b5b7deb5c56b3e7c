#include "engine/behaviours/VXBehaviourFFTLink.h"

#include "VXBehaviourTestHelpers.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamVector.h"
#include "engine/behaviours/VXAudioUtils.h"
#include "engine/behaviours/VXModifierFFT.h"
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

        struct Band
        {
            const char* name;
            double start;
            double end;
            std::vector<float> bins;
            double level;
        };

        using BandLevel = ::testing::TestWithParam<Band>;

        TEST_P(BandLevel, WeighsTheEdgeBins)
        {
            const Band& b = GetParam();
            auto range = std::make_shared<ParamRange>("FrequencyRange", 0.5, ValueRange<double>());
            range->setStartStopRange(ValueRange<double>(b.start, b.end), ValueChangeInfo());
            auto amplitude = std::make_shared<ParamRange>("Amplutide", 0.0, ValueRange<double>());
            std::vector<float> peaks;
            ModifierFFT fft(range, amplitude, peaks);
            fft.setNewValues(b.bins, 0.0);
            EXPECT_NEAR(fft.getLevel(), b.level, 1e-6);
            EXPECT_NEAR(amplitude->getValueNormalized(), b.level, 1e-6);
            EXPECT_FALSE(std::isnan(fft.getValue()));
        }

        // Bins 0.1, 0.2, ... make each weight visible.
        const std::vector<float> fiveBins{0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
        const std::vector<float> elevenBins{0.0f, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};

        INSTANTIATE_TEST_SUITE_P(
            Table, BandLevel,
            ::testing::Values(Band{"WholeSpectrum", 0.0, 1.0, fiveBins, (0.1 + 0.2 + 0.3 + 0.4) / 4.0},
                              Band{"FractionalTop", 0.3, 0.55, elevenBins, (0.3 + 0.4 + 0.5 * 0.6) / 2.5},
                              Band{"FractionalBottom", 0.3, 0.5, fiveBins, (0.2 * 0.2) / 0.8},
                              Band{"LoudBandSaturates", 0.0, 0.25, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f}, 1.0},
                              Band{"OneBin", 0.0, 1.0, {0.8f}, 0.0}, Band{"NoBins", 0.0, 1.0, {}, 0.0},
                              Band{"ZeroWidth", 0.5, 0.5, fiveBins, 0.0},
                              Band{"NaNEdge", std::nan(""), 0.5, fiveBins, 0.0}),
            [](const auto& info) { return std::string(info.param.name); });

        struct FFTLink : ::testing::Test
        {
            ParamRange owner{"Level", 0.0, ValueRange<double>()};
            std::shared_ptr<BehaviourFFTLink> link = std::make_shared<BehaviourFFTLink>(owner);
            std::shared_ptr<ParamVector<float>> spectrum = std::make_shared<ParamVector<float>>("Spectrum");

            void SetUp() override
            {
                owner.setBehaviour(link);
                ASSERT_TRUE(link->link(spectrum, false, false));
                link->getFrequencyRangeParam()->setStartStopRange(ValueRange<double>(0.0, 1.0), ValueChangeInfo());
            }
            void TearDown() override { owner.removeBehaviour(); }

            void send(const std::vector<float>& bins, double time)
            {
                spectrum->getValue() = bins;
                spectrum->stateChanged(ChangeInfo(StateChange_Value, time));
            }
        };

        TEST_F(FFTLink, LouderLevelsJumpUpAndFallOverTheFallback)
        {
            send({1.0f, 1.0f, 1.0f}, 1000.0);
            owner.update(frame(1000.0, 0.0));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 1.0);
            owner.update(frame(1500.0, 500.0));
            EXPECT_DOUBLE_EQ(owner.getValueNormalized(), 0.5);
            owner.update(frame(2500.0, 1000.0));
            EXPECT_EQ(owner.getValueNormalized(), 0.0);
        }

        TEST_F(FFTLink, PeaksFallFromTheFirstSpectrumOn)
        {
            send({0.0f, 1.0f}, 1000.0);
            const std::vector<float>& peaks = link->getFallingDataParam()->getValue();
            ASSERT_EQ(peaks.size(), 2u);
            EXPECT_EQ(peaks[1], 1.0f); // the first spectrum has no elapsed time
            send({0.0f, 0.0f}, 1500.0);
            EXPECT_FLOAT_EQ(peaks[1], 0.5f);
            send({0.0f, 0.0f}, 3000.0);
            EXPECT_EQ(peaks[1], 0.0f);
            send({0.2f, 0.2f, 0.2f}, 3000.0); // a new length starts from the bins
            EXPECT_EQ(peaks, (std::vector<float>{0.2f, 0.2f, 0.2f}));
        }

        TEST_F(FFTLink, GainInDecibelsScalesAndClampsTheBins)
        {
            link->getGainParam()->setValue(6.0, ValueChangeInfo());
            EXPECT_NEAR(link->getModifier()->getGain(), 1.9953, 1e-4);
            send({0.25f, 0.75f}, 10.0);
            EXPECT_NEAR(link->getModifier()->getBins()[0], 0.4988, 1e-4);
            EXPECT_EQ(link->getModifier()->getBins()[1], 1.0f);
        }

        TEST_F(FFTLink, GlidingBehavioursWrapRoundTheUnitInterval)
        {
            link->getValueBehaviourParam()->setValueByName("+", ValueChangeInfo());
            owner.setValueNormalized(0.8, ValueChangeInfo());
            link->getModifier()->reset(0.8);
            send({0.5f, 0.5f}, 10.0);
            EXPECT_DOUBLE_EQ(link->getModifier()->getTarget(), 1.3);
            owner.update(frame(1010.0, 1000.0)); // f = 1: all the way, wrapped
            EXPECT_NEAR(owner.getValueNormalized(), 0.3, 1e-12);

            link->getValueBehaviourParam()->setValueByName("-", ValueChangeInfo());
            send({1.0f, 1.0f}, 20.0);
            owner.update(frame(2010.0, 1000.0));
            EXPECT_NEAR(owner.getValueNormalized(), 0.3, 1e-12);
            owner.update(frame(2010.0, std::numeric_limits<double>::infinity()));
            EXPECT_FALSE(std::isnan(owner.getValueNormalized()));
        }

        TEST_F(FFTLink, OnlyFloatVectorsLinkAndBadFallbacksAreRefused)
        {
            EXPECT_FALSE(link->link(std::make_shared<ParamRange>("Range", 0.0, ValueRange<double>()), false, false));
            EXPECT_EQ(link->getLinkedFFTParam(), spectrum);
            test::LogRecorder log;
            link->getModifier()->setFallback(0.0);
            EXPECT_EQ(link->getModifier()->getFallback(), 1000.0);
            EXPECT_EQ(log.count(logWarning), 1u);
        }

        TEST(AudioUtils, ClipAndNormalizeInPlace)
        {
            std::vector<float> values{-1.0f, 0.5f, 2.0f};
            AudioUtils::clip(values.data(), values.size(), 0.0f, 1.0f);
            EXPECT_EQ(values, (std::vector<float>{0.0f, 0.5f, 1.0f}));
            values = {-4.0f, 2.0f};
            AudioUtils::normalize(values.data(), values.size());
            EXPECT_EQ(values, (std::vector<float>{-1.0f, 0.5f}));
            values = {0.0f, 0.0f};
            AudioUtils::normalize(values.data(), values.size());
            EXPECT_EQ(values, (std::vector<float>{0.0f, 0.0f}));
            AudioUtils::normalize(nullptr, 0);
        }
    }
}
