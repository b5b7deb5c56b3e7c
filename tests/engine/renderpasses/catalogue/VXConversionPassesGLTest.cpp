#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/renderpasses/catalogue/VXRGBASwitch.h"

#include "engine/gfx/VXScopedRenderState.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vx::test
{
    namespace
    {
        struct Probe
        {
            int x, y;
            PixelRGBA8 colour;
        };

        enum Setup
        {
            premultiply = 1,
            packedYUV = 2,
            planarYUV = 4,
            opaque = 8,
            flip = 16,
            thenDefaults = 32, // everything on, then toDefaults
            rgbaSwitch = 64,   // an RGBA switch with the channel values instead
            halvesInput = 128  // red in the first two rows of the data, blue after
        };

        // A pass run at 4 x 4 over a texture of textureWidth x 4 (uniform
        // texel unless halvesInput); the probes are read back. Tolerance 2:
        // the YUV rule's constants move values by up to a step and a half.
        // The data's first rows are the picture's top, as decoders upload
        // it: the conversion turns them into its output's top (row 3).
        struct ConversionCase
        {
            const char* name;
            int setup;
            int swizzle;
            std::array<double, 4> channels;
            PixelRGBA8 texel;
            std::vector<Probe> probes;
            int textureWidth = 4;
        };

        RenderPass* make(const ConversionCase& c)
        {
            if ((c.setup & rgbaSwitch) != 0)
            {
                auto* pass = new RGBASwitch();
                for (int i = 0; i < 4; ++i)
                    std::dynamic_pointer_cast<ParamRange>(pass->getParams().getParam(i + 1))
                        ->setValue(c.channels[size_t(i)], ValueChangeInfo());
                return pass;
            }
            auto* pass = new FormatConversion();
            const bool all = (c.setup & thenDefaults) != 0;
            pass->premultiply = all || (c.setup & premultiply) != 0;
            pass->YUVToRGBA = all || (c.setup & packedYUV) != 0;
            pass->sequentialYUVToRGBA = all || (c.setup & planarYUV) != 0;
            pass->forceOpaque = all || (c.setup & opaque) != 0;
            pass->setSwizzleMode(FormatConversion::SwizzleMode(all ? 1 : c.swizzle));
            if (all || (c.setup & flip) != 0)
                pass->enableVerticalFlip();
            if (all)
                pass->toDefaults();
            return pass;
        }

        const PixelRGBA8 red{255, 0, 0, 255}, blue{0, 0, 255, 255};
        const PixelRGBA8 mixed{26, 51, 77, 102}; // (0.1, 0.2, 0.3, 0.4)
        const std::array<double, 4> unused{};

        class ConversionPassesGLTest : public RenderPassGLTest, public ::testing::WithParamInterface<ConversionCase>
        {
        protected:
            Picture run(RenderPass& pass, Texture* input)
            {
                pass.setSize(4, 4);
                pass.setInput(0, input, 0, 0);
                pass.retainOutput(true);
                {
                    const ScopedRenderState state(renderer->getRenderContext());
                    EXPECT_TRUE(pass.render(*renderer));
                }
                Picture out = readBack(*pass.getOutput(0)->texture);
                pass.retainOutput(false);
                return out;
            }
        };

        TEST_P(ConversionPassesGLTest, ConvertsEveryPixel)
        {
            const ConversionCase& c = GetParam();
            std::unique_ptr<RenderPass> pass(make(c));
            const bool halves = (c.setup & halvesInput) != 0;
            const Picture out =
                run(*pass,
                    makeInput(c.textureWidth, 4, [&](int, int y) { return halves ? (y < 2 ? red : blue) : c.texel; }));
            for (const Probe& p : c.probes)
                EXPECT_TRUE(isNear(out.at(p.x, p.y), p.colour, 2))
                    << "pixel " << p.x << ", " << p.y << " is " << out.at(p.x, p.y) << ", expected " << p.colour;
            pass->release();
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, ConversionPassesGLTest, ::testing::Values(
            ConversionCase{"NoFlagsCopiesEveryTexel", halvesInput, 0, unused, {}, {{1, 3, red}, {1, 0, blue}}},
            ConversionCase{"VerticalFlipMirrors", halvesInput | flip, 0, unused, {}, {{1, 3, blue}, {1, 0, red}}},
            ConversionCase{"SwizzleSwapsRedAndBlue", 0, 2, unused, mixed, {{1, 1, {77, 51, 26, 102}}}},
            ConversionCase{"SwizzleRotatesARGB", 0, 1, unused, mixed, {{1, 1, {51, 77, 102, 26}}}},
            ConversionCase{"Premultiplies", premultiply, 0, unused, {255, 255, 255, 128}, {{1, 1, {128, 128, 128, 128}}}},
            ConversionCase{"ForcesOpaqueAfterPremultiplying", premultiply | opaque, 0, unused, {255, 255, 255, 128},
                           {{1, 1, {128, 128, 128, 255}}}},
            ConversionCase{"PackedYUVGivesTwoPixelsPerTexel", packedYUV, 0, unused, {51, 128, 204, 128},
                           {{0, 1, {51, 51, 51, 255}}, {1, 1, {204, 204, 204, 255}}, {2, 2, {51, 51, 51, 255}}}, 2},
            ConversionCase{"YUVWithoutLumaIsBlack", packedYUV, 0, unused, {0, 200, 0, 30}, {{0, 1, {0, 0, 0, 255}}}, 2},
            ConversionCase{"PlanarYUV", planarYUV, 0, unused, {128, 128, 128, 128},
                           {{0, 0, {128, 128, 128, 255}}, {3, 3, {128, 128, 128, 255}}}, 2},
            ConversionCase{"ToDefaultsClearsEverything", halvesInput | thenDefaults, 0, unused, {}, {{1, 3, red}, {1, 0, blue}}},
            ConversionCase{"SwitchPassesEverythingByDefault", rgbaSwitch, 0, {1, 1, 1, 1}, mixed, {{1, 1, mixed}}},
            ConversionCase{"SwitchWithoutColoursIsTransparent", rgbaSwitch, 0, {0, 0, 0, 1}, mixed, {{1, 1, {0, 0, 0, 0}}}},
            ConversionCase{"SwitchWithoutAlphaIsOpaque", rgbaSwitch, 0, {1, 0, 0, 0}, mixed, {{1, 1, {26, 0, 0, 255}}}}),
            [](const ::testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });
        // clang-format on

        // Packed 4:2:2 in a pooled texture wider than the picture (half the
        // width is no multiple of 64), every pair of pixels its own: each
        // column, the last included, shows its own pair's luma and chroma,
        // mixed with neither its neighbours nor the texels past the picture.
        TEST_F(ConversionPassesGLTest, PackedYUVShowsEveryColumnOfAPaddedTexture)
        {
            // Texel channels: r = Y0, g = V, b = Y1, a = U.
            const auto pair = [](int n) {
                return PixelRGBA8{uint8_t(40 + n * 7 % 180), uint8_t(100 + n * 11 % 60),
                                  uint8_t(40 + (n * 13 + 90) % 180), uint8_t(100 + n * 5 % 60)};
            };
            const auto rgbOf = [](uint8_t y8, uint8_t u8, uint8_t v8) {
                const double y = y8 / 255.0, u = u8 / 255.0 - 0.5, v = v8 / 255.0 - 0.5;
                const auto to8 = [](double c) { return uint8_t(std::lround(std::clamp(c, 0.0, 1.0) * 255.0)); };
                return PixelRGBA8{to8(y + 1.403 * v), to8(y - 0.344 * u - 0.714 * v), to8(y + 1.770 * u), 255};
            };
            for (int w : {100, 101, 102, 854, 1366})
            {
                SCOPED_TRACE("width " + std::to_string(w));
                const int texels = (w + 1) / 2, h = 2;
                std::vector<PixelRGBA8> data(size_t(texels * h));
                for (int i = 0; i < texels * h; ++i)
                    data[size_t(i)] = pair(i % texels);
                Texture* packed = textures().aquireTexture(uint16_t(texels), h, Texture::RGBA8);
                ASSERT_NE(packed, nullptr);
                ASSERT_GT(packed->getHardwareWidth(), texels) << "the pool pads the texture";
                ASSERT_TRUE(packed->update(data.data(), texels, h));

                FormatConversion pass;
                pass.YUVToRGBA = true;
                pass.setSize(w, h);
                pass.setInput(0, packed, 0, 0);
                pass.retainOutput(true);
                {
                    const ScopedRenderState state(renderer->getRenderContext());
                    EXPECT_TRUE(pass.render(*renderer));
                }
                const Picture out = readBack(*pass.getOutput(0)->texture);
                pass.retainOutput(false);
                pass.release();
                textures().releaseTexture(*packed);
                int wrong = 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                    {
                        const PixelRGBA8 t = pair(x / 2);
                        const PixelRGBA8 expected = rgbOf(x % 2 == 0 ? t.r : t.b, t.a, t.g);
                        if (! isNear(out.at(x, y), expected, 3) && ++wrong <= 4)
                            ADD_FAILURE() << "pixel " << x << ", " << y << " is " << out.at(x, y) << ", expected "
                                          << expected;
                    }
                EXPECT_EQ(wrong, 0);
            }
        }

        // A rectangle texture is bound outside the binding cache: afterwards
        // GL holds what the cache believes, on every target.
        TEST_F(ConversionPassesGLTest, ReadsARectangleInputAndPutsItsBindingBack)
        {
            GLuint name = 0;
            glGenTextures(1, &name);
            glBindTexture(GL_TEXTURE_RECTANGLE, name);
            const std::vector<PixelRGBA8> texels(16, mixed);
            glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glBindTexture(GL_TEXTURE_RECTANGLE, 0);
            Texture rectangle;
            rectangle.setGLData(4, 4, 4, 4, GL_TEXTURE_RECTANGLE, name, GL_RGBA8, GL_NEAREST, GL_NEAREST, true);

            FormatConversion pass;
            const Picture out = run(pass, &rectangle);
            expectUniform(out, 4, 4, mixed, 1);
            GLint bound = -1;
            glGetIntegerv(GL_TEXTURE_BINDING_RECTANGLE, &bound);
            EXPECT_EQ(bound, 0);
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            const RenderContext& cache = renderer->getRenderContext();
            EXPECT_EQ(GLuint(bound), cache.getBoundTexture(cache.getActiveSampler()));
            pass.release();
            glDeleteTextures(1, &name);
        }
    }
}
