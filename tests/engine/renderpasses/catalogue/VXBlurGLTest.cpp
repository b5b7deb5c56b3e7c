#include "engine/renderpasses/catalogue/VXBlur.h"

#include "VXCatalogueTestSupport.h"

#include <cmath>

namespace vx::test
{
    namespace
    {
        using BlurGLTest = CatalogueGLTest;

        TEST_F(BlurGLTest, ClassDataParametersAndState)
        {
            Blur pass, fresh;
            expectClassData(pass, {"Blur", "Blur", "Blur", "", "Blur"});
            expectParams(pass, {{"bypassed", "Param"},
                                {"BlurX", "ParamRange", 0.0001, 0.01, 0.005},
                                {"BlurY", "ParamRange", 0.0001, 0.01, 0.005},
                                {"Strength", "ParamRange", 0.01, 2.0, 1.0},
                                {"Gaussian", "ParamRange", 1.0, 8.0, 3.15}});
            setRange(pass, "BlurX", 0.002);
            setRange(pass, "BlurY", 0.0075);
            setRange(pass, "Strength", 1.5);
            setRange(pass, "Gaussian", 6.5);
            expectXmlRoundTrip(pass, fresh);
        }

        struct WeightCase
        {
            const char* name;
            double gaussian;
        };

        class BlurWeightsTest : public ::testing::TestWithParam<WeightCase>
        {
        };

        // The centre and both sides add up to 1 in single precision, and
        // every tap follows the normal density.
        TEST_P(BlurWeightsTest, AddUpToOne)
        {
            const double g = GetParam().gaussian;
            const std::array<float, 7> w = Blur::computeWeights(g);
            EXPECT_NEAR(w[0] + 2.0f * (w[1] + w[2] + w[3] + w[4] + w[5] + w[6]), 1.0f, 2e-7f);
            const double s = std::sqrt(g);
            for (int i = 1; i < 7; ++i)
                EXPECT_NEAR(w[size_t(i)], std::exp(-0.5 * (i / s) * (i / s)) / (std::sqrt(2.0 * M_PI) * s), 1e-7) << i;
            if (g == 1.0)
            {
                EXPECT_NEAR(w[0], 0.39894, 1e-5) << "the density's peak, next to nothing to correct";
            }
        }

        INSTANTIATE_TEST_SUITE_P(Table, BlurWeightsTest,
                                 ::testing::Values(WeightCase{"One", 1.0}, WeightCase{"Two", 2.0},
                                                   WeightCase{"Default", 3.15}, WeightCase{"Five", 5.0},
                                                   WeightCase{"Eight", 8.0}),
                                 [](const ::testing::TestParamInfo<WeightCase>& info) { return info.param.name; });

        // The reference: each pass samples its texture linearly at the tap
        // offsets (in texels of that texture, as allocated) and stores 8 bits.
        struct Plane
        {
            int width, height; // as allocated
            std::vector<std::array<double, 4>> texels;
            std::array<double, 4> at(int x, int y) const
            {
                // Clamped, as neither pass reaches beyond what is checked.
                x = std::clamp(x, 0, width - 1);
                y = std::clamp(y, 0, height - 1);
                return texels[size_t(y) * size_t(width) + size_t(x)];
            }
            // Linear along one axis at a texel coordinate (centres at i + 0.5).
            std::array<double, 4> sample(double tx, double ty, bool acrossX) const
            {
                const double t = (acrossX ? tx : ty) - 0.5;
                const int i = int(std::floor(t));
                const double f = t - i;
                const int x0 = acrossX ? i : int(std::floor(tx));
                const int y0 = acrossX ? int(std::floor(ty)) : i;
                const auto a = at(x0, y0), b = at(acrossX ? x0 + 1 : x0, acrossX ? y0 : y0 + 1);
                std::array<double, 4> out{};
                for (size_t c = 0; c < 4; ++c)
                    out[c] = a[c] * (1.0 - f) + b[c] * f;
                return out;
            }
        };

        // One pass of the blur over source into the w x h corner of a plane
        // allocated at outW x outH, in 8-bit values.
        Plane blurPass(const Plane& source, int w, int h, int outW, int outH, double maxU, double maxV, double spacing,
                       bool acrossX, const std::array<float, 7>& weights, double gain)
        {
            Plane out{outW, outH, std::vector<std::array<double, 4>>(size_t(outW) * size_t(outH))};
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                {
                    const double u = (x + 0.5) / w * maxU, v = (y + 0.5) / h * maxV;
                    std::array<double, 4> sum{};
                    for (int i = -6; i <= 6; ++i)
                    {
                        const double du = acrossX ? i * spacing : 0.0, dv = acrossX ? 0.0 : i * spacing;
                        const auto s = source.sample((u + du) * source.width, (v + dv) * source.height, acrossX);
                        for (size_t c = 0; c < 4; ++c)
                            sum[c] += s[c] * weights[size_t(std::abs(i))] * gain;
                    }
                    for (size_t c = 0; c < 4; ++c)
                        out.texels[size_t(y) * size_t(outW) + size_t(x)][c] =
                            std::round(std::clamp(sum[c], 0.0, 1.0) * 255.0) / 255.0;
                }
            return out;
        }

        // Stripes across and along with a duty that tells up from down, and
        // a ramp: no mirror image of it is the same.
        PixelRGBA8 stripes(int x, int y)
        {
            return {uint8_t(x % 20 < 10 ? 255 : 0), uint8_t(y % 16 < 5 ? 200 : 20), uint8_t(x), 255};
        }

        // 200 x 200 with the default spacing of 0.005, from an exact and
        // from a padded input; the first pass's pooled target is as large
        // as the pool makes it, and the second pass reads it with its own
        // extent. Pixels the kernel takes beyond the picture are left out.
        TEST_F(BlurGLTest, MatchesTheSeparableReference)
        {
            for (bool padded : {false, true})
            {
                Blur pass;
                pass.setSize(200, 200);
                Texture* input = padded ? makePaddedInput(200, 200, stripes) : makeInput(200, 200, stripes);
                pass.setInput(0, input, 0, 0);
                const Picture out = run(pass);

                Plane source{input->getHardwareWidth(), input->getHardwareHeight(), {}};
                source.texels.resize(size_t(source.width) * size_t(source.height));
                for (int y = 0; y < 200; ++y)
                    for (int x = 0; x < 200; ++x)
                    {
                        const PixelRGBA8 p = stripes(x, y);
                        source.texels[size_t(y) * size_t(source.width) + size_t(x)] = {unit(p.r), unit(p.g), unit(p.b),
                                                                                       unit(p.a)};
                    }
                RenderTarget* pooled = targets().retain(200, 200, *DEFAULT_COLOR_FMT, false, DEFAULT_DEPTH_FMT);
                ASSERT_NE(pooled, nullptr);
                const Texture& between = *pooled->getTexture(0);
                const auto weights = Blur::computeWeights(3.15);
                const Plane across = blurPass(source, 200, 200, between.getHardwareWidth(), between.getHardwareHeight(),
                                              input->getMaxU(), input->getMaxV(), 0.005, true, weights, 1.0);
                const Plane result = blurPass(across, 200, 200, 200, 200, between.getMaxU(), between.getMaxV(), 0.005,
                                              false, weights, 1.0);
                targets().release(pooled);
                int wrong = 0;
                for (int y = 10; y < 190 && wrong < 5; ++y)
                    for (int x = 10; x < 190 && wrong < 5; ++x)
                    {
                        const auto e = result.at(x, y);
                        const PixelRGBA8 expected = px(e[0], e[1], e[2], e[3]);
                        if (! isNear(out.at(x, y), expected, 2))
                        {
                            ++wrong;
                            ADD_FAILURE() << (padded ? "padded " : "exact ") << x << ", " << y << ": " << out.at(x, y)
                                          << ", expected " << expected;
                        }
                    }
                pass.release();
            }
        }

        struct StrengthCase
        {
            const char* name;
            double strength;
            PixelRGBA8 input, expected;
        };

        class BlurStrengthGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<StrengthCase>
        {
        };

        // Each pass multiplies by Strength, storing 8 bits in between; the
        // rim, where taps reach beyond the picture, is left out.
        TEST_P(BlurStrengthGLTest, ScalesAFlatPicture)
        {
            const StrengthCase& c = GetParam();
            Blur pass;
            setRange(pass, "Strength", c.strength);
            prepare(pass, c.input, 64);
            expectUniformWithin(run(pass), 8, 56, c.expected, 1);
            pass.release();
        }

        INSTANTIATE_TEST_SUITE_P(
            Table, BlurStrengthGLTest,
            ::testing::Values(StrengthCase{"OneKeepsIt", 1.0, {90, 140, 30, 200}, {90, 140, 30, 200}},
                              StrengthCase{"TwoDoublesEachPass", 2.0, {40, 20, 10, 64}, {160, 80, 40, 255}},
                              StrengthCase{"TwoClamps", 2.0, {200, 100, 10, 255}, {255, 255, 40, 255}},
                              StrengthCase{"AlmostNothing", 0.01, {255, 255, 255, 255}, {0, 0, 0, 0}}),
            [](const ::testing::TestParamInfo<StrengthCase>& info) { return info.param.name; });

        // Strength 2 scales by 4 where nothing clamps.
        TEST_F(BlurGLTest, StrengthIsUnclampedOnAFloatTarget)
        {
            Blur pass;
            setRange(pass, "Strength", 2.0);
            prepare(pass, {64, 32, 16, 255}, 64);
            const FloatPicture out = runFloat(pass);
            ASSERT_GE(out.width, 64);
            EXPECT_NEAR(out.at(30, 30).r, 4.0 * 64 / 255.0, 1e-3);
            EXPECT_NEAR(out.at(30, 30).a, 4.0, 1e-3);
            pass.release();
        }

        // Each render gives its first-pass target back; release frees both
        // programs, and a pass dropped unreleased frees them through the
        // GPU-object manager.
        TEST_F(BlurGLTest, TargetsAndProgramsAreNotLeaked)
        {
            auto pass = std::make_unique<Blur>();
            prepare(*pass, {90, 140, 30, 200}, 16);
            run(*pass);
            const uint32_t freeTargets = targets().getTotalRTCount() - targets().getUsedRTCount();
            GLCallCounter<&epoxy_glCreateProgram> created("glCreateProgram");
            GLCallCounter<&epoxy_glDeleteProgram> deleted("glDeleteProgram");
            for (int cycle = 0; cycle < 3; ++cycle)
            {
                pass->release();
                run(*pass);
                run(*pass);
            }
            EXPECT_EQ(created.count(), 6);
            EXPECT_EQ(deleted.count(), 6);
            EXPECT_EQ(targets().getTotalRTCount() - targets().getUsedRTCount(), freeTargets);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);

            deleted.reset();
            GfxObject::deleteUsingManager(pass.release());
            EXPECT_EQ(deleted.count(), 0) << "not before the manager runs";
            root->getGfxObjectManager()->cleanAll();
            EXPECT_EQ(deleted.count(), 2);
        }

        TEST_F(BlurGLTest, WithoutAnInputNothingIsDrawn)
        {
            Blur pass;
            pass.setSize(4, 4);
            run(pass, false);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }
    }
}
