#include "engine/renderpasses/catalogue/VXAddSubtract.h"
#include "engine/renderpasses/catalogue/VXBlow.h"
#include "engine/renderpasses/catalogue/VXBrightnessContrast.h"

#include "VXCatalogueTestSupport.h"

#include <functional>

namespace vx::test
{
    namespace
    {
        using Settings = std::vector<std::pair<std::string, double>>;
        using Fill = std::function<PixelRGBA8(int, int)>;
        using Colour = std::array<double, 4>;

        // Premultiplied and asymmetric: alpha falls to the right, colour
        // changes along both axes.
        PixelRGBA8 picture(int x, int y)
        {
            const int a = 255 - 20 * x;
            return {uint8_t(std::min(a, 30 * x + 15)), uint8_t(std::min(a, 25 * y + 5)),
                    uint8_t(std::min(a, 150 - 10 * x - 15 * y)), uint8_t(a)};
        }

        Colour toUnit(PixelRGBA8 p)
        {
            return {unit(p.r), unit(p.g), unit(p.b), unit(p.a)};
        }

        // The colour effects' rule on a premultiplied pixel: unpremultiply,
        // add, scale, premultiply again.
        Colour addThenScale(PixelRGBA8 p, std::array<double, 3> add, double scale)
        {
            Colour c = toUnit(p);
            for (int i = 0; i < 3; ++i)
            {
                if (c[3] > 0.0)
                    c[size_t(i)] /= c[3];
                c[size_t(i)] = (c[size_t(i)] + add[size_t(i)]) * scale * c[3];
            }
            return c;
        }

        PixelRGBA8 to8(const Colour& c)
        {
            return px(c[0], c[1], c[2], c[3]);
        }

        struct ColourCase
        {
            const char* name;
            std::function<RenderPass*()> make;
            Settings settings;
            Fill input;
            std::function<PixelRGBA8(const Fill&, int, int)> expected;
            bool padded = false; // the input allocated at powers of two (6 x 5 in 8 x 8)
        };

        RenderPass* addSubtract()
        {
            return new AddSubtract();
        }
        RenderPass* brightnessContrast()
        {
            return new BrightnessContrast();
        }
        RenderPass* blow()
        {
            return new Blow();
        }

        Fill uniform(PixelRGBA8 p)
        {
            return [p](int, int) { return p; };
        }

        PixelRGBA8 same(const Fill& in, int x, int y)
        {
            return in(x, y);
        }

        class ColourEffectsGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<ColourCase>
        {
        };

        TEST_P(ColourEffectsGLTest, EveryPixelFollowsTheRule)
        {
            const ColourCase& c = GetParam();
            std::unique_ptr<RenderPass> pass(c.make());
            for (const auto& [name, value] : c.settings)
                setRange(*pass, name, value);
            const int w = c.padded ? 6 : 8, h = c.padded ? 5 : 8;
            pass->setSize(w, h);
            pass->setInput(0, c.padded ? makePaddedInput(w, h, c.input) : makeInput(w, h, c.input), 0, 0);
            const Picture out = run(*pass);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                {
                    const PixelRGBA8 expected = c.expected(c.input, x, y);
                    EXPECT_TRUE(isNear(out.at(x, y), expected, 1))
                        << x << ", " << y << ": " << out.at(x, y) << ", expected " << expected;
                }
            pass->release();
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, ColourEffectsGLTest, ::testing::Values(
            ColourCase{"AddSubtractDefaultsChangeNothing", addSubtract, {}, picture, same, true},
            ColourCase{"BrightnessContrastDefaultsChangeNothing", brightnessContrast, {}, picture, same, true},
            ColourCase{"BlowDefaultsChangeNothing", blow, {}, picture, same},
            ColourCase{"AddSubtractRedOnOpaqueBlack", addSubtract, {{"R", 1.0}}, uniform({0, 0, 0, 255}),
                       [](const Fill&, int, int) { return PixelRGBA8{255, 0, 0, 255}; }},
            ColourCase{"AddSubtractLeavesTransparentPixelsAlone", addSubtract, {{"R", 1.0}, {"G", 1.0}}, uniform({}),
                       [](const Fill&, int, int) { return PixelRGBA8{}; }},
            ColourCase{"AddSubtractAddsAndSubtractsPerChannel", addSubtract, {{"R", 0.75}, {"G", 0.25}, {"B", 0.6}}, picture,
                       [](const Fill& in, int x, int y) { return to8(addThenScale(in(x, y), {0.5, -0.5, 0.2}, 1.0)); }, true},
            ColourCase{"ContrastZeroIsBlackWithTheInputsAlpha", brightnessContrast, {{"Contrast", 0.0}}, picture,
                       [](const Fill& in, int x, int y) { return PixelRGBA8{0, 0, 0, in(x, y).a}; }, true},
            ColourCase{"ContrastLowerHalfScalesByTwiceTheValue", brightnessContrast, {{"Contrast", 0.25}}, picture,
                       [](const Fill& in, int x, int y) { return to8(addThenScale(in(x, y), {0, 0, 0}, 0.5)); }, true},
            ColourCase{"ContrastUpperHalfRisesTenTimesAsSteeply", brightnessContrast, {{"Contrast", 0.6}}, picture,
                       [](const Fill& in, int x, int y) { return to8(addThenScale(in(x, y), {0, 0, 0}, 2.0)); }, true},
            ColourCase{"BrightnessIsAddedBeforeContrast", brightnessContrast, {{"Brightness", 0.6}, {"Contrast", 0.55}},
                       picture, [](const Fill& in, int x, int y) { return to8(addThenScale(in(x, y), {0.2, 0.2, 0.2}, 1.5)); }, true},
            // The centres of column 2 and row 4 of 8 (the input is filtered linearly).
            ColourCase{"BlowWithoutWidthRepeatsColumnX", blow, {{"X", 0.3125}, {"Width", 0.0}}, picture,
                       [](const Fill& in, int, int y) { return in(2, y); }},
            ColourCase{"BlowWithoutHeightRepeatsRowY", blow, {{"Y", 0.5625}, {"Height", 0.0}}, picture,
                       [](const Fill& in, int x, int) { return in(x, 4); }},
            // Half extents reaching the centres of texels 2 and 5, and of rows 3 and 4.
            ColourCase{"BlowSmearsTheRectangleBorderOutwards", blow, {{"Width", 0.1875}, {"Height", 0.0625}}, picture,
                       [](const Fill& in, int x, int y) { return in(std::clamp(x, 2, 5), std::clamp(y, 3, 4)); }}),
            [](const ::testing::TestParamInfo<ColourCase>& info) { return info.param.name; });
        // clang-format on

        struct ClassCase
        {
            const char* name;
            std::function<RenderPass*()> make;
            ClassData data;
            std::vector<ParamRow> params;
        };

        class ColourEffectsClassGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<ClassCase>
        {
        };

        TEST_P(ColourEffectsClassGLTest, ClassDataParametersAndState)
        {
            const ClassCase& c = GetParam();
            std::unique_ptr<RenderPass> pass(c.make()), fresh(c.make());
            expectClassData(*pass, c.data);
            expectParams(*pass, c.params);
            for (size_t i = 1; i < c.params.size(); ++i)
                setRange(*pass, c.params[i].name, 0.1 * double(i));
            expectXmlRoundTrip(*pass, *fresh);
        }

        // Programs are freed by release and built again by the next render.
        TEST_P(ColourEffectsClassGLTest, RendersAgainAfterRelease)
        {
            std::unique_ptr<RenderPass> pass(GetParam().make());
            prepare(*pass, {10, 20, 30, 255});
            for (int cycle = 0; cycle < 2; ++cycle)
            {
                expectUniform(run(*pass), 4, 4, {10, 20, 30, 255}, 1);
                pass->release();
            }
            pass->setInput(0, RenderPassTexture());
            run(*pass, false);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }

        const ParamRow bypassed{"bypassed", "Param"};

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, ColourEffectsClassGLTest, ::testing::Values(
            ClassCase{"AddSubtract", addSubtract,
                      {"AddSubtract", "Add Subtract", "A101", "Add and Subtract Colors", "AddSubtract"},
                      {bypassed, {"R", "ParamRange", 0, 1, 0.5}, {"G", "ParamRange", 0, 1, 0.5}, {"B", "ParamRange", 0, 1, 0.5}}},
            ClassCase{"BrightnessContrast", brightnessContrast,
                      {"BrightnessContrast", "Bright.Contrast", "A102", "Adjust Brightness and Contrast", "BrightnessContrast"},
                      {bypassed, {"Brightness", "ParamRange", 0, 1, 0.5}, {"Contrast", "ParamRange", 0, 1, 0.5}}},
            ClassCase{"Blow", blow, {"Blow", "Blow", "A139", "Smear parts of image", "Blow"},
                      {bypassed, {"X", "ParamRange", 0, 1, 0.5}, {"Y", "ParamRange", 0, 1, 0.5},
                       {"Width", "ParamRange", 0, 1, 0.5}, {"Height", "ParamRange", 0, 1, 0.5}}}),
            [](const ::testing::TestParamInfo<ClassCase>& info) { return info.param.name; });
        // clang-format on

        // Contrast at 1 scales by 6; only the target's format clamps.
        TEST_F(ColourEffectsClassGLTest, ContrastIsUnclampedOnAFloatTarget)
        {
            BrightnessContrast pass;
            setRange(pass, "Contrast", 1.0);
            const PixelRGBA8 in{51, 26, 13, 255};
            prepare(pass, in);
            const FloatPicture out = runFloat(pass);
            ASSERT_GE(out.width, 4);
            EXPECT_NEAR(out.at(1, 1).r, 6.0 * unit(in.r), 1e-3);
            EXPECT_NEAR(out.at(1, 1).g, 6.0 * unit(in.g), 1e-3);
            EXPECT_NEAR(out.at(1, 1).b, 6.0 * unit(in.b), 1e-3);
            EXPECT_NEAR(out.at(1, 1).a, 1.0, 1e-3);
            expectUniform(run(pass), 4, 4, px(1.0, 6.0 * unit(in.g), 6.0 * unit(in.b), 1.0), 1);
            pass.release();
        }

        // An input stored top row first (a reader's flipped frame, which the
        // chain draws through turned upright) comes out upright through each
        // effect with a program: as the chain and the conversion pass draw it.
        TEST_F(ColourEffectsClassGLTest, AnInputStoredTopRowFirstComesOutUpright)
        {
            AddSubtract add;
            BrightnessContrast brightness;
            for (RenderPass* pass : std::initializer_list<RenderPass*>{&add, &brightness})
            {
                SCOPED_TRACE(pass->getName());
                const int w = 4, h = 4;
                pass->setSize(w, h);
                Texture* input = makeInput(w, h, picture);
                input->ignoreFlip = true;
                pass->setInput(0, input, 0, 0);
                const Picture out = run(*pass);
                ASSERT_GE(out.height, h);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        EXPECT_TRUE(isNear(out.at(x, y), picture(x, h - 1 - y), 1))
                            << x << ", " << y << ": " << out.at(x, y) << ", expected " << picture(x, h - 1 - y);
                pass->release();
            }
        }
    }
}
