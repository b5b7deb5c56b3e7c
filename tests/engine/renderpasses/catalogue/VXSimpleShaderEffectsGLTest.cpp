#include "engine/renderpasses/catalogue/VXDeinterlace.h"
#include "engine/renderpasses/catalogue/VXEdgeDetect.h"
#include "engine/renderpasses/catalogue/VXPremultiply.h"
#include "engine/renderpasses/catalogue/VXToLuminosity.h"

#include "VXCatalogueTestSupport.h"
#include "core/parameters/VXParamColor.h"
#include "engine/gfx/VXTextureRef.h"
#include "support/VXLogRecorder.h"

#include <functional>

namespace vx::test
{
    namespace
    {
        // An asymmetric picture: every pixel differs from its mirror images.
        PixelRGBA8 gradient(int x, int y)
        {
            return {uint8_t(40 * x + 10), uint8_t(30 * y + 20), uint8_t(200 - 20 * x - 10 * y), 255};
        }

        double luminance(PixelRGBA8 p)
        {
            return 0.30 * unit(p.r) + 0.59 * unit(p.g) + 0.11 * unit(p.b);
        }

        struct SimpleCase
        {
            const char* name;
            std::function<RenderPass*()> make;
            ClassData data;
            std::vector<ParamRow> params;
            std::function<void(RenderPass&)> change; // non-default values for the XML round trip
        };

        const ParamRow bypassed{"bypassed", "Param"};

        class SimpleShaderEffectsGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<SimpleCase>
        {
        };

        TEST_P(SimpleShaderEffectsGLTest, ClassDataParametersAndState)
        {
            const SimpleCase& c = GetParam();
            std::unique_ptr<RenderPass> pass(c.make()), fresh(c.make());
            expectClassData(*pass, c.data);
            expectParams(*pass, c.params);
            if (c.change)
                c.change(*pass);
            expectXmlRoundTrip(*pass, *fresh);
        }

        TEST_P(SimpleShaderEffectsGLTest, WithoutAnInputNothingIsDrawn)
        {
            std::unique_ptr<RenderPass> pass(GetParam().make());
            pass->setSize(4, 4);
            run(*pass, false);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
            pass->release();
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, SimpleShaderEffectsGLTest, ::testing::Values(
            SimpleCase{"Premultiply", [] { return new Premultiply(); },
                       {"Premultiply", "Premultiply", "Premultiply", "Premultiply RGB with Alpha channel.", "ShaderEffect"},
                       {bypassed}, {}},
            SimpleCase{"ToLuminosity", [] { return new ToLuminosity(); },
                       {"ToLuminosity", "To Luminosity", "ToLuminosity", "Converts colors to greyscale.", "ShaderEffect"},
                       {bypassed}, {}},
            SimpleCase{"Deinterlace", [] { return new Deinterlace(); },
                       {"Deinterlace", "Deinterlace", "Deinterlace", "Deinterlace effect", "ShaderEffect"},
                       {bypassed}, {}},
            SimpleCase{"EdgeDetect", [] { return new EdgeDetect(); },
                       {"EdgeDetect", "Edge Detect", "EdgeDetect", "Edge Detection", "ShaderEffect"},
                       {bypassed, {"Filter Edges", "ParamRange", 0.0, 1.0, 0.25}, {"Edge Color", "ParamColor"},
                        {"Smooth", "Param"}},
                       [](RenderPass& pass)
                       {
                           setRange(pass, "Filter Edges", 0.7);
                           std::dynamic_pointer_cast<ParamColor>(pass.getParams().getParamByName("Edge Color"))
                               ->setValue(Color(0.2f, 0.4f, 0.6f, 1.0f), ValueChangeInfo()); // on the 8-bit grid
                           valueParam<bool>(pass, "Smooth")->setValue(false, ValueChangeInfo());
                       }}),
            [](const ::testing::TestParamInfo<SimpleCase>& info) { return info.param.name; });
        // clang-format on

        using SimpleShaderEffectsPictureGLTest = CatalogueGLTest;

        TEST_F(SimpleShaderEffectsPictureGLTest, PremultiplyScalesColourByAlpha)
        {
            Premultiply pass;
            prepare(pass, {255, 255, 255, 128});
            expectUniform(run(pass), 4, 4, {128, 128, 128, 128}, 1);
            pass.release();
        }

        // Grey from 0.30 red, 0.59 green, 0.11 blue, pixel for pixel and the
        // right way up, also from a texture padded to a power of two.
        TEST_F(SimpleShaderEffectsPictureGLTest, ToLuminosityIsGreyPixelForPixel)
        {
            ToLuminosity pass;
            prepare(pass, {255, 0, 0, 255});
            expectUniform(run(pass), 4, 4, px(0.30, 0.30, 0.30, 1.0), 1);

            pass.setSize(6, 5);
            pass.setInput(0, makePaddedInput(6, 5, gradient), 0, 0);
            ASSERT_LT(pass.getInput(0)->getMaxCoords().x, 1.0f);
            const Picture out = run(pass);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                {
                    const double g = luminance(gradient(x, y));
                    EXPECT_TRUE(isNear(out.at(x, y), px(g, g, g, 1.0), 1)) << x << ", " << y << ": " << out.at(x, y);
                }
            pass.release();
        }

        // Even rows (0 the bottom) are kept and shown again on the odd row
        // above them, on an exact and on a padded texture.
        TEST_F(SimpleShaderEffectsPictureGLTest, DeinterlaceDoublesTheEvenLines)
        {
            Deinterlace pass;
            pass.setSize(4, 4);
            pass.setInput(0,
                          makeInput(4, 4,
                                    [](int, int y) {
                                        return y % 2 == 0 ? PixelRGBA8{255, 255, 255, 255} : PixelRGBA8{0, 0, 0, 255};
                                    }),
                          0, 0);
            expectUniform(run(pass), 4, 4, {255, 255, 255, 255}, 0);

            pass.setSize(5, 6);
            pass.setInput(0, makePaddedInput(5, 6, gradient), 0, 0);
            const Picture out = run(pass);
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 5; ++x)
                    EXPECT_EQ(out.at(x, y), gradient(x, y - y % 2)) << x << ", " << y;
            pass.release();
        }

        // Sobel over the luminance, from the input's 8-bit values.
        double sobel(const std::function<PixelRGBA8(int, int)>& picture, int x, int y, bool smooth)
        {
            const auto l = [&](int dx, int dy) { return luminance(picture(x + dx, y + dy)); };
            const double gx = -l(-1, -1) - 2 * l(-1, 0) - l(-1, 1) + l(1, -1) + 2 * l(1, 0) + l(1, 1);
            const double gy = -l(-1, -1) - 2 * l(0, -1) - l(1, -1) + l(-1, 1) + 2 * l(0, 1) + l(1, 1);
            return smooth ? gx * gx + gy * gy : gx + gy;
        }

        // Steps up to the right at x = 3 and upwards at y = 2.
        PixelRGBA8 steps(int x, int y)
        {
            const uint8_t v = uint8_t((x >= 3 ? 26 : 0) + (y >= 2 ? 38 : 0));
            return {v, v, v, 255};
        }

        TEST_F(SimpleShaderEffectsPictureGLTest, EdgeDetectIsZeroOnAFlatPicture)
        {
            EdgeDetect pass;
            prepare(pass, {90, 140, 30, 255}, 8);
            expectUniform(run(pass), 8, 8, {0, 0, 0, 0}, 0);
            pass.release();
        }

        // Smooth switches between gx² + gy² and gx + gy; the inner pixels of
        // a padded input are compared (the border samples what lies beyond).
        TEST_F(SimpleShaderEffectsPictureGLTest, EdgeDetectSmoothSwitchesTheSobelSum)
        {
            for (bool smooth : {true, false})
            {
                EdgeDetect pass;
                valueParam<bool>(pass, "Smooth")->setValue(smooth, ValueChangeInfo());
                pass.setSize(6, 5);
                pass.setInput(0, makePaddedInput(6, 5, steps), 0, 0);
                const Picture out = run(pass);
                for (int y = 1; y < 4; ++y)
                    for (int x = 1; x < 5; ++x)
                    {
                        const double e = sobel(steps, x, y, smooth);
                        EXPECT_TRUE(isNear(out.at(x, y), px(e, e, e, e), 2))
                            << (smooth ? "smooth " : "plain ") << x << ", " << y << ": " << out.at(x, y)
                            << ", expected " << e;
                    }
                pass.release();
            }
        }

        // Without Smooth the sum goes negative where the picture darkens
        // towards +x and +y; a floating-point target keeps it.
        TEST_F(SimpleShaderEffectsPictureGLTest, EdgeDetectWithoutSmoothIsSignedOnAFloatTarget)
        {
            const auto falling = [](int x, int y) { return steps(5 - x, 4 - y); };
            EdgeDetect pass;
            valueParam<bool>(pass, "Smooth")->setValue(false, ValueChangeInfo());
            pass.setSize(6, 5);
            pass.setInput(0, makeInput(6, 5, falling), 0, 0);
            const FloatPicture out = runFloat(pass);
            ASSERT_GE(out.width, 6);
            const double e = sobel(falling, 2, 2, false);
            ASSERT_LT(e, -0.3);
            EXPECT_NEAR(out.at(2, 2).r, e, 1e-3);
            EXPECT_NEAR(out.at(2, 2).a, e, 1e-3);
            pass.release();
        }

        // Texture::toLuminosity runs the registered kind on the texture, at
        // its size; without the kind it answers nothing and says so.
        TEST_F(SimpleShaderEffectsPictureGLTest, TextureToLuminosityRunsTheRegisteredPass)
        {
            Texture* source = makeInput(6, 5, gradient);
            {
                LogRecorder log;
                EXPECT_EQ(Texture::toLuminosity(*renderer, *source).get(), nullptr);
                EXPECT_TRUE(log.contains("\"ToLuminosity\" effect is not registered")) << log.dump();
            }
            ASSERT_NE(registerKind(ToLuminosity::classType(), &ToLuminosity::creationFunc, RenderPassCategoryEffect),
                      nullptr);
            TextureRef grey;
            {
                const ScopedRenderState state(renderer->getRenderContext());
                grey = Texture::toLuminosity(*renderer, *source);
            }
            ASSERT_NE(grey.get(), nullptr);
            EXPECT_EQ(grey->getWidth(), 6);
            EXPECT_EQ(grey->getHeight(), 5);
            const Picture out = readBack(*grey);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                {
                    const double g = luminance(gradient(x, y));
                    EXPECT_TRUE(isNear(out.at(x, y), px(g, g, g, 1.0), 1)) << x << ", " << y;
                }
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }
    }
}
