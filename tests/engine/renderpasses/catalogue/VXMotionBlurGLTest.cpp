#include "engine/renderpasses/catalogue/VXMotionBlur.h"

#include "VXCatalogueTestSupport.h"
#include "core/parameters/VXParamView.h"

#include <cmath>

namespace vx::test
{
    namespace
    {
        constexpr int size = 32;

        // Colour and alpha change along both axes.
        PixelRGBA8 picture(int x, int y)
        {
            const int a = 255 - 3 * x;
            return {uint8_t(std::min(a, 7 * x + 10)), uint8_t(std::min(a, (y * 37) % 200)), uint8_t(std::min(a, 90)),
                    uint8_t(a)};
        }

        // Linear sampling of the picture at unit coordinates, clamped to its
        // edges as the input texture is.
        std::array<double, 4> sample(double u, double v)
        {
            const double tx = u * size - 0.5, ty = v * size - 0.5;
            const int x0 = int(std::floor(tx)), y0 = int(std::floor(ty));
            const double fx = tx - x0, fy = ty - y0;
            std::array<double, 4> out{};
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                {
                    const PixelRGBA8 p = picture(std::clamp(x0 + i, 0, size - 1), std::clamp(y0 + j, 0, size - 1));
                    const double w = (i == 1 ? fx : 1.0 - fx) * (j == 1 ? fy : 1.0 - fy);
                    out[0] += w * unit(p.r);
                    out[1] += w * unit(p.g);
                    out[2] += w * unit(p.b);
                    out[3] += w * unit(p.a);
                }
            return out;
        }

        // The centre sample plus n - 1 spread ones along b; the centre's alpha.
        PixelRGBA8 blurred(int x, int y, int n, double bx, double by)
        {
            const double u = (x + 0.5) / size, v = (y + 0.5) / size;
            const auto centre = sample(u, v);
            std::array<double, 3> sum{centre[0], centre[1], centre[2]};
            for (int i = 1; i < n; ++i)
            {
                const double f = double(i) / double(n - 1) - 0.5;
                const auto s = sample(u + bx * f, v + by * f);
                for (size_t c = 0; c < 3; ++c)
                    sum[c] += s[c];
            }
            return px(sum[0] / n, sum[1] / n, sum[2] / n, centre[3]);
        }

        struct BlurCase
        {
            const char* name;
            double blurX, blurY, quality;
            int samples;
        };

        class MotionBlurGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<BlurCase>
        {
        protected:
            Texture* makeMotionTexture(float r, float g)
            {
                const std::vector<std::array<float, 4>> texels(size_t(size) * size_t(size), {r, g, 0.0f, 1.0f});
                auto texture = std::make_unique<Texture>();
                EXPECT_TRUE(texture->create(texels.data(), size, size, Texture::RGBA32F));
                inputs.push_back(std::move(texture));
                return inputs.back().get();
            }

            void prepareBlur(MotionBlur& pass, double bx, double by, double q)
            {
                setRange(pass, "Blur X", bx);
                setRange(pass, "Blur Y", by);
                setRange(pass, "Quality", q);
                pass.setSize(size, size);
                pass.setInput(0, makeInput(size, size, picture), 0, 0);
            }

            static void setSource(MotionBlur& pass, int value)
            {
                std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("Motion Source"))
                    ->setValue(value, ValueChangeInfo());
            }
        };

        // Without a motion texture the vector is half (Blur X, Blur Y).
        TEST_P(MotionBlurGLTest, AveragesAlongTheFixedVector)
        {
            const BlurCase& c = GetParam();
            MotionBlur pass;
            prepareBlur(pass, c.blurX, c.blurY, c.quality);
            const Picture out = run(pass);
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                {
                    const PixelRGBA8 expected = blurred(x, y, c.samples, c.blurX * 0.5, c.blurY * 0.5);
                    ASSERT_TRUE(isNear(out.at(x, y), expected, 2))
                        << x << ", " << y << ": " << out.at(x, y) << ", expected " << expected;
                }
            pass.release();
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, MotionBlurGLTest, ::testing::Values(
            BlurCase{"QualityZeroIsTheInput", 0.5, 0.5, 0.0, 1},
            BlurCase{"NoBlurIsTheInput", 0.0, 0.0, 0.7, 23},
            BlurCase{"FourSamples", 0.25, 0.0, 0.1, 4},
            BlurCase{"DefaultsTakeSeventeen", 0.25, 0.25, 0.5, 17},
            BlurCase{"FullQualityTakesThirtyThree", 0.1, 0.4, 1.0, 33}),
            [](const ::testing::TestParamInfo<BlurCase>& info) { return info.param.name; });
        // clang-format on

        TEST_F(MotionBlurGLTest, ClassDataParametersAndState)
        {
            MotionBlur pass, fresh;
            expectClassData(pass, {"MotionBlur", "Motion Blur", "MotionBlur", "Motion Blur", "ShaderEffect"});
            expectParams(pass, {{"Motion Source", "ParamChoice"},
                                {"bypassed", "Param"},
                                {"Blur X", "ParamRange", 0, 1, 0.25},
                                {"Blur Y", "ParamRange", 0, 1, 0.25},
                                {"Quality", "ParamRange", 0, 1, 0.5}});
            const auto source =
                std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("Motion Source"));
            EXPECT_EQ(source->getValue(), -1);
            EXPECT_EQ(source->getNumChoices(), 0u) << "made by init";
            const ParamView* view = pass.getParams().getViewForParam(source);
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(int(view->getControlType()), 2);
            setSource(pass, 2);
            setRange(pass, "Blur X", 0.6);
            setRange(pass, "Blur Y", 0.1);
            setRange(pass, "Quality", 0.9);
            expectXmlRoundTrip(pass, fresh);
        }

        // One choice per Motion input, by name and slot, after "None"; a
        // later change of the inputs shows only after the next init.
        TEST_F(MotionBlurGLTest, MotionSourceChoicesFollowTheMotionInputsAtInit)
        {
            MotionBlur pass;
            pass.setAuxInput(1, RenderPassTexture(nullptr, RenderPassTexture::Motion, "Flow"));
            pass.setAuxInput(2, RenderPassTexture(nullptr, RenderPassTexture::Mask, "Matte"));
            pass.setAuxInput(3, RenderPassTexture(nullptr, RenderPassTexture::Motion, "Vectors"));
            prepareBlur(pass, 0.25, 0.25, 0.5);
            run(pass);
            const auto source =
                std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("Motion Source"));
            const auto choices = source->getChoices();
            ASSERT_EQ(choices.size(), 3u);
            EXPECT_EQ(choices[0].getName(), "None");
            EXPECT_EQ(choices[0].getValue(), -1);
            EXPECT_EQ(choices[1].getName(), "Flow");
            EXPECT_EQ(choices[1].getValue(), 1);
            EXPECT_EQ(choices[2].getName(), "Vectors");
            EXPECT_EQ(choices[2].getValue(), 3);

            pass.setAuxInput(0, RenderPassTexture(nullptr, RenderPassTexture::Motion, "Late"));
            run(pass);
            EXPECT_EQ(source->getNumChoices(), 3u);
            pass.release();
            run(pass);
            EXPECT_EQ(source->getNumChoices(), 4u);
            EXPECT_EQ(source->getChoices()[1].getName(), "Late");
            pass.release();
        }

        // Motion (0.5, 0.5) and (0, 0) mean no motion; (1, 0.5) is half of
        // Blur X, like the fixed vector; a source whose input is missing or
        // of another type falls back to the fixed vector.
        TEST_F(MotionBlurGLTest, MotionTextureScalesTheVectorPerPixel)
        {
            struct MotionCase
            {
                const char* name;
                int source;
                int slotType;
                float r, g;
                double halfX; // of Blur X = 0.5: the vector the output must show
                double halfY; // of Blur Y = 0.3
            };
            const MotionCase cases[] = {
                {"centred texels mean no motion", 0, RenderPassTexture::Motion, 0.5f, 0.5f, 0.0, 0.0},
                {"zero texels mean no motion", 0, RenderPassTexture::Motion, 0.0f, 0.0f, 0.0, 0.0},
                {"red 1 is half of Blur X", 0, RenderPassTexture::Motion, 1.0f, 0.5f, 0.25, 0.0},
                {"green 0 is minus half of Blur Y", 0, RenderPassTexture::Motion, 0.5f, 0.0f, 0.0, -0.15},
                {"a source of another type falls back", 0, RenderPassTexture::Mask, 1.0f, 1.0f, 0.25, 0.15},
                {"a source without an input falls back", 2, RenderPassTexture::Motion, 1.0f, 1.0f, 0.25, 0.15},
            };
            for (const MotionCase& c : cases)
            {
                MotionBlur pass;
                prepareBlur(pass, 0.5, 0.3, 0.5);
                pass.setAuxInput(
                    0, RenderPassTexture(makeMotionTexture(c.r, c.g), RenderPassTexture::Type(c.slotType), "Flow"));
                setSource(pass, c.source);
                const Picture out = run(pass);
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x)
                    {
                        const PixelRGBA8 expected = blurred(x, y, 17, c.halfX, c.halfY);
                        ASSERT_TRUE(isNear(out.at(x, y), expected, 2))
                            << c.name << ": " << x << ", " << y << ": " << out.at(x, y) << ", expected " << expected;
                    }
                pass.release();
            }
        }

        // On an input allocated at powers of two the samples still come
        // from the picture.
        TEST_F(MotionBlurGLTest, QualityZeroReproducesAPaddedInput)
        {
            MotionBlur pass;
            setRange(pass, "Quality", 0.0);
            pass.setSize(6, 5);
            pass.setInput(0, makePaddedInput(6, 5, picture), 0, 0);
            const Picture out = run(pass);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                    EXPECT_EQ(out.at(x, y), picture(x, y)) << x << ", " << y;
            pass.release();
        }

        TEST_F(MotionBlurGLTest, WithoutAnInputNothingIsDrawn)
        {
            MotionBlur pass;
            pass.setSize(4, 4);
            run(pass, false);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }
    }
}
