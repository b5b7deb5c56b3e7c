#include "engine/renderpasses/catalogue/VXFormatConversion.h"
#include "engine/renderpasses/catalogue/VXRGBASwitch.h"

#include "engine/gfx/VXScopedRenderState.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"

namespace vx::test
{
    namespace
    {
        struct Probe
        {
            int x, y;
            PixelRGBA8 colour;
        };

        // A pass made and configured, run at 4 x 4 over a texture of
        // textureWidth x 4 from fill; the probes are read back. Tolerance 2:
        // the YUV rule's constants move values by up to a step and a half.
        struct ConversionCase
        {
            const char* name;
            std::function<RenderPass*()> make;
            std::function<PixelRGBA8(int, int)> fill;
            std::vector<Probe> probes;
            int textureWidth = 4;
        };

        template <typename Setup>
        std::function<RenderPass*()> conversion(Setup setup)
        {
            return [setup]
            {
                auto* pass = new FormatConversion();
                setup(*pass);
                return pass;
            };
        }

        std::function<RenderPass*()> channels(double r, double g, double b, double a)
        {
            return [=]
            {
                auto* pass = new RGBASwitch();
                const double values[] = {r, g, b, a};
                for (int i = 0; i < 4; ++i)
                    std::dynamic_pointer_cast<ParamRange>(pass->getParams().getParam(i + 1))
                        ->setValue(values[i], ValueChangeInfo());
                return pass;
            };
        }

        std::function<PixelRGBA8(int, int)> uniform(PixelRGBA8 texel)
        {
            return [texel](int, int) { return texel; };
        }

        // Red in the first two rows of the data: the picture's top, as
        // decoders upload it, which the conversion turns into the top of its
        // output (read-back row 3); the flip keeps it at row 0.
        PixelRGBA8 halves(int, int y)
        {
            return y < 2 ? PixelRGBA8{255, 0, 0, 255} : PixelRGBA8{0, 0, 255, 255};
        }

        const PixelRGBA8 mixed{26, 51, 77, 102}; // (0.1, 0.2, 0.3, 0.4)

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
            std::unique_ptr<RenderPass> pass(c.make());
            const Picture out = run(*pass, makeInput(c.textureWidth, 4, c.fill));
            for (const Probe& p : c.probes)
                EXPECT_TRUE(isNear(out.at(p.x, p.y), p.colour, 2))
                    << "pixel " << p.x << ", " << p.y << " is " << out.at(p.x, p.y) << ", expected " << p.colour;
            pass->release();
        }

        using FC = FormatConversion;
        INSTANTIATE_TEST_SUITE_P(
            Table, ConversionPassesGLTest,
            ::testing::Values(
                ConversionCase{"NoFlagsCopiesEveryTexel",
                               conversion([](FC&) {}),
                               halves,
                               {{1, 3, {255, 0, 0, 255}}, {1, 0, {0, 0, 255, 255}}}},
                ConversionCase{"VerticalFlipMirrors",
                               conversion([](FC& p) { p.enableVerticalFlip(); }),
                               halves,
                               {{1, 3, {0, 0, 255, 255}}, {1, 0, {255, 0, 0, 255}}}},
                ConversionCase{"SwizzleSwapsRedAndBlue",
                               conversion([](FC& p) { p.setSwizzleMode(FC::SwizzleBGRA); }),
                               uniform(mixed),
                               {{1, 1, {77, 51, 26, 102}}}},
                ConversionCase{"SwizzleRotatesARGB",
                               conversion([](FC& p) { p.setSwizzleMode(FC::SwizzleARGB); }),
                               uniform(mixed),
                               {{1, 1, {51, 77, 102, 26}}}},
                ConversionCase{"Premultiplies",
                               conversion([](FC& p) { p.premultiply = true; }),
                               uniform({255, 255, 255, 128}),
                               {{1, 1, {128, 128, 128, 128}}}},
                ConversionCase{"PremultipliesAfterTheSwizzle",
                               conversion(
                                   [](FC& p)
                                   {
                                       p.premultiply = true;
                                       p.setSwizzleMode(FC::SwizzleARGB);
                                   }),
                               uniform({128, 255, 255, 255}),
                               {{1, 1, {128, 128, 128, 128}}}},
                ConversionCase{"ForcesOpaqueAfterPremultiplying",
                               conversion(
                                   [](FC& p)
                                   {
                                       p.premultiply = true;
                                       p.forceOpaque = true;
                                   }),
                               uniform({255, 255, 255, 128}),
                               {{1, 1, {128, 128, 128, 255}}}},
                ConversionCase{"PackedYUVGivesTwoPixelsPerTexel",
                               conversion([](FC& p) { p.YUVToRGBA = true; }),
                               uniform({51, 128, 204, 128}),
                               {{0, 1, {51, 51, 51, 255}}, {1, 1, {204, 204, 204, 255}}, {2, 2, {51, 51, 51, 255}}},
                               2},
                ConversionCase{"PackedYUVWithoutLumaIsBlack",
                               conversion([](FC& p) { p.YUVToRGBA = true; }),
                               uniform({0, 200, 0, 30}),
                               {{0, 1, {0, 0, 0, 255}}},
                               2},
                ConversionCase{"PlanarYUV",
                               conversion([](FC& p) { p.sequentialYUVToRGBA = true; }),
                               uniform({128, 128, 128, 128}),
                               {{0, 0, {128, 128, 128, 255}}, {3, 3, {128, 128, 128, 255}}},
                               2},
                ConversionCase{"ToDefaultsClearsEverything",
                               conversion(
                                   [](FC& p)
                                   {
                                       p.premultiply = p.YUVToRGBA = p.forceOpaque = true;
                                       p.setSwizzleMode(FC::SwizzleARGB);
                                       p.enableVerticalFlip();
                                       p.toDefaults();
                                   }),
                               halves,
                               {{1, 3, {255, 0, 0, 255}}, {1, 0, {0, 0, 255, 255}}}},
                ConversionCase{
                    "SwitchPassesEverythingByDefault", channels(1, 1, 1, 1), uniform(mixed), {{1, 1, mixed}}},
                ConversionCase{
                    "SwitchWithoutColoursIsTransparent", channels(0, 0, 0, 1), uniform(mixed), {{1, 1, {0, 0, 0, 0}}}},
                ConversionCase{
                    "SwitchWithoutAlphaIsOpaque", channels(1, 0, 0, 0), uniform(mixed), {{1, 1, {26, 0, 0, 255}}}}),
            [](const ::testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

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
