#include "engine/renderpasses/catalogue/VXMask.h"

#include "VXCatalogueTestSupport.h"
#include "core/parameters/VXParamPixels.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/video/formats/VXPixels.h"

#include <atomic>
#include <thread>

namespace vx::test
{
    namespace
    {
        // Opaque and asymmetric.
        PixelRGBA8 picture(int x, int y)
        {
            return {uint8_t(30 * x + 10), uint8_t(25 * y + 5), uint8_t(200 - 10 * x - 15 * y), 255};
        }

        // A CPU image of one colour, first row first. The pass's texture for
        // it is pooled, so larger than the image: tests that look at every
        // pixel use images of the output's size, whose texel centres the
        // output's pixels hit (scaled, the edges would blend in the padding).
        std::shared_ptr<Pixels> image(int w, int h, std::vector<uint8_t> texel)
        {
            std::vector<uint8_t> bytes;
            for (int i = 0; i < w * h; ++i)
                bytes.insert(bytes.end(), texel.begin(), texel.end());
            return std::make_shared<Pixels>(w, h, int(texel.size()), bytes.data());
        }

        std::shared_ptr<ParamChoice<int>> channelOf(const Mask& pass)
        {
            return std::dynamic_pointer_cast<ParamChoice<int>>(pass.getParams().getParamByName("Channel"));
        }

        std::shared_ptr<ParamPixels> imageOf(const Mask& pass)
        {
            return std::dynamic_pointer_cast<ParamPixels>(pass.getParams().getParamByName("Image"));
        }

        PixelRGBA8 scaled(PixelRGBA8 p, double m)
        {
            return px(unit(p.r) * m, unit(p.g) * m, unit(p.b) * m, unit(p.a) * m);
        }

        using MaskGLTest = CatalogueGLTest;

        TEST_F(MaskGLTest, ClassDataParametersAndState)
        {
            Mask pass, fresh;
            expectClassData(pass, {"Mask", "Mask", "Mask", "Masks your content with another texture.", "ShaderEffect"});
            expectParams(
                pass,
                {{"bypassed", "Param"}, {"Image", "ParamPixels"}, {"Channel", "ParamChoice"}, {"Invert", "Param"}});
            const auto channel = channelOf(pass);
            const char* names[5] = {"Luminance", "Red", "Green", "Blue", "Alpha"};
            ASSERT_EQ(channel->getNumChoices(), 5u);
            for (int i = 0; i < 5; ++i)
            {
                EXPECT_EQ(channel->getChoices()[size_t(i)].getName(), names[i]);
                EXPECT_EQ(channel->getChoices()[size_t(i)].getValue(), i + 1);
            }
            EXPECT_EQ(channel->getValue(), 1);
            EXPECT_EQ(imageOf(pass)->getValue(), nullptr);
            channel->setValue(3, ValueChangeInfo());
            valueParam<bool>(pass, "Invert")->setValue(true, ValueChangeInfo());
            expectXmlRoundTrip(pass, fresh);
        }

        // Three bytes a pixel have no alpha to mask with.
        TEST_F(MaskGLTest, AnRGBImageDisablesAlpha)
        {
            Mask pass;
            const auto channel = channelOf(pass);
            channel->setValue(5, ValueChangeInfo());
            pass.setMask(image(2, 2, {255, 255, 255}));
            EXPECT_FALSE(channel->getChoiceByName("Alpha")->isEnabled());
            EXPECT_EQ(channel->getValue(), 1) << "falls back to Luminance";
            imageOf(pass)->setValue(image(2, 2, {1, 2, 3, 4}), ValueChangeInfo());
            EXPECT_TRUE(channel->getChoiceByName("Alpha")->isEnabled()) << "through the parameter, too";
        }

        struct ChannelCase
        {
            const char* name;
            int channel;
            bool invert;
            double expectedMask; // of the mask texel (0.2, 0.4, 0.6, 0.8)
        };

        class MaskChannelGLTest : public CatalogueGLTest, public ::testing::WithParamInterface<ChannelCase>
        {
        };

        TEST_P(MaskChannelGLTest, ScalesEveryChannelByTheMaskValue)
        {
            const ChannelCase& c = GetParam();
            Mask pass;
            pass.setMask(image(6, 5, {51, 102, 153, 204}));
            channelOf(pass)->setValue(c.channel, ValueChangeInfo());
            valueParam<bool>(pass, "Invert")->setValue(c.invert, ValueChangeInfo());
            pass.setSize(6, 5);
            pass.setInput(0, makePaddedInput(6, 5, picture), 0, 0);
            const Picture out = run(pass);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                {
                    // Drawn with source alpha over the cleared target.
                    const PixelRGBA8 masked = scaled(picture(x, y), c.expectedMask);
                    const PixelRGBA8 expected = scaled({masked.r, masked.g, masked.b, masked.a}, unit(masked.a));
                    EXPECT_TRUE(isNear(out.at(x, y), expected, 2))
                        << x << ", " << y << ": " << out.at(x, y) << ", expected " << expected;
                }
            pass.release();
        }

        // clang-format off
        INSTANTIATE_TEST_SUITE_P(Table, MaskChannelGLTest, ::testing::Values(
            ChannelCase{"Luminance", 1, false, 0.3 * 0.2 + 0.59 * 0.4 + 0.11 * 0.6},
            ChannelCase{"Red", 2, false, 0.2},
            ChannelCase{"Green", 3, false, 0.4},
            ChannelCase{"Blue", 4, false, 0.6},
            ChannelCase{"Alpha", 5, false, 0.8},
            ChannelCase{"InvertedRed", 2, true, 0.8}),
            [](const ::testing::TestParamInfo<ChannelCase>& info) { return info.param.name; });
        // clang-format on

        TEST_F(MaskGLTest, WhiteOpaqueMaskPassesAndInvertedHides)
        {
            Mask pass;
            pass.setMask(image(6, 5, {255, 255, 255, 255}));
            pass.setSize(6, 5);
            pass.setInput(0, makeInput(6, 5, picture), 0, 0);
            const Picture out = run(pass);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                    EXPECT_TRUE(isNear(out.at(x, y), picture(x, y), 1)) << x << ", " << y;
            valueParam<bool>(pass, "Invert")->setValue(true, ValueChangeInfo());
            expectUniform(run(pass), 6, 5, {0, 0, 0, 0}, 0);
            pass.release();
        }

        // Stretched over a larger output, a small image's pooled texture is
        // larger still: the edges take the image's own texels only, so a
        // white mask passes the whole input, last column and rows included.
        TEST_F(MaskGLTest, ASmallMaskStopsAtItsOwnEdge)
        {
            const PixelRGBA8 colour{200, 120, 60, 255};
            for (const bool external : {false, true})
            {
                SCOPED_TRACE(external ? "texture" : "image");
                Mask pass;
                if (external)
                    pass.setMask(makePaddedInput(3, 2, [](int, int) { return PixelRGBA8{255, 255, 255, 255}; }));
                else
                    pass.setMask(image(3, 2, {255, 255, 255, 255}));
                pass.setSize(24, 16);
                pass.setInput(0, makeInput(24, 16, colour), 0, 0);
                expectUniform(run(pass), 24, 16, colour, 1);
                pass.release();
            }
        }

        // The image's first row is the picture's top.
        TEST_F(MaskGLTest, TheImageIsUprightFirstRowAtTheTop)
        {
            std::vector<uint8_t> bytes(4 * 4 * 4, 0);
            for (int x = 0; x < 4; ++x)
                for (int c = 0; c < 4; ++c)
                    bytes[size_t(x * 4 + c)] = 255;
            Mask pass;
            pass.setMask(std::make_shared<Pixels>(4, 4, 4, bytes.data()));
            pass.setSize(4, 4);
            pass.setInput(0, makeInput(4, 4, picture), 0, 0);
            const Picture out = run(pass);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    EXPECT_EQ(out.at(x, y), y == 3 ? picture(x, y) : PixelRGBA8{}) << x << ", " << y;
            pass.release();
        }

        // Where the mask is transparent nothing is masked, whatever the
        // channel; where it is opaque alpha alone is scaled (the colour then
        // by the blend).
        TEST_F(MaskGLTest, LayerMaskModeFollowsTheMasksOwnAlpha)
        {
            for (int channel : {1, 2, 5})
            {
                Mask pass;
                pass.setLayerMaskModeEnabled(true);
                channelOf(pass)->setValue(channel, ValueChangeInfo());
                pass.setMask(image(6, 5, {0, 0, 0, 0}));
                pass.setSize(6, 5);
                pass.setInput(0, makeInput(6, 5, picture), 0, 0);
                Picture out = run(pass);
                for (int y = 0; y < 5; ++y)
                    for (int x = 0; x < 6; ++x)
                        EXPECT_TRUE(isNear(out.at(x, y), picture(x, y), 1)) << channel << ": " << x << ", " << y;
                pass.release();
            }
            Mask pass;
            pass.setLayerMaskModeEnabled(true);
            channelOf(pass)->setValue(2, ValueChangeInfo());
            pass.setMask(image(4, 4, {102, 0, 0, 255}));
            prepare(pass, {200, 100, 50, 255});
            const double m = 0.4;
            expectUniform(run(pass), 4, 4, px(200 / 255.0 * m, 100 / 255.0 * m, 50 / 255.0 * m, m * m), 2);
            pass.release();
        }

        TEST_F(MaskGLTest, ATextureMaskReplacesTheImageAndTheOtherWayRound)
        {
            Mask pass;
            pass.setMask(image(4, 4, {255, 255, 255, 255}));
            Texture* black = makeInput(4, 4, PixelRGBA8{0, 0, 0, 255});
            pass.setMask(black);
            EXPECT_EQ(imageOf(pass)->getValue(), nullptr);
            prepare(pass, {200, 100, 50, 255});
            expectUniform(run(pass), 4, 4, {0, 0, 0, 0}, 0);
            pass.setMask(image(4, 4, {255, 255, 255, 255}));
            expectUniform(run(pass), 4, 4, {200, 100, 50, 255}, 1);
            pass.release();
        }

        TEST_F(MaskGLTest, WithoutAMaskNothingIsDrawn)
        {
            Mask pass;
            prepare(pass, {200, 100, 50, 255});
            run(pass, false);
            Texture invalid;
            pass.setMask(&invalid);
            run(pass, false);
            pass.setMask(image(2, 2, {255, 255, 255, 255}));
            pass.setInput(0, RenderPassTexture());
            run(pass, false);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
            pass.release();
        }

        // The own texture follows the image's size; the one it replaces goes
        // back to the pool, and release gives back the last.
        TEST_F(MaskGLTest, AnImageOfAnotherSizeReplacesTheTexture)
        {
            Mask pass;
            prepare(pass, {200, 100, 50, 255});
            pass.setMask(image(4, 4, {255, 255, 255, 255}));
            run(pass);
            const uint32_t used = textures().getUsedTextureCount();
            const int free = textures().getFreeTextureCount();
            imageOf(pass)->setValue(image(100, 70, {0, 0, 0, 255}), ValueChangeInfo());
            expectUniform(run(pass), 4, 4, {0, 0, 0, 0}, 0);
            EXPECT_EQ(textures().getUsedTextureCount(), used);
            EXPECT_EQ(textures().getFreeTextureCount(), free + 1) << "the 4 x 4 one is free again";
            imageOf(pass)->setValue(image(100, 70, {255, 255, 255, 255}), ValueChangeInfo());
            expectUniform(run(pass), 4, 4, {200, 100, 50, 255}, 1); // same size: refilled
            EXPECT_EQ(textures().getUsedTextureCount(), used);
            pass.release();
            EXPECT_EQ(textures().getUsedTextureCount(), used - 1);
        }

        // Release frees what is on the GPU; the image, which the user set and
        // which is stored, stays and is uploaded again.
        TEST_F(MaskGLTest, ReleaseKeepsTheImage)
        {
            Mask pass;
            prepare(pass, {200, 100, 50, 255});
            pass.setMask(image(4, 4, {0, 0, 0, 255}));
            run(pass);
            const uint32_t used = textures().getUsedTextureCount();
            pass.release();
            EXPECT_EQ(textures().getUsedTextureCount(), used - 1);
            ASSERT_NE(imageOf(pass)->getValue(), nullptr);
            expectUniform(run(pass), 4, 4, {0, 0, 0, 0}, 0);
            pass.setMask(makeInput(4, 4, PixelRGBA8{255, 255, 255, 255}));
            pass.release();
            run(pass, false); // the borrowed texture is forgotten
            pass.release();
        }

        // An RGB image after an RGBA one of the same size is another
        // layout: uploading it into the RGBA texture would read past it.
        TEST_F(MaskGLTest, AnImageOfAnotherPixelSizeTakesAnotherTexture)
        {
            Mask pass;
            prepare(pass, {200, 100, 50, 255});
            pass.setMask(image(4, 4, {0, 0, 0, 255}));
            expectUniform(run(pass), 4, 4, {0, 0, 0, 0}, 0);
            imageOf(pass)->setValue(image(4, 4, {255, 255, 255}), ValueChangeInfo());
            expectUniform(run(pass), 4, 4, {200, 100, 50, 255}, 1);
            pass.release();
        }

        // Texture::applyMask: the registered kind in layer-mask mode at the
        // larger size of the two.
        TEST_F(MaskGLTest, TextureApplyMaskRunsTheRegisteredPass)
        {
            ASSERT_NE(registerKind(Mask::classType(), &Mask::creationFunc, RenderPassCategoryEffect), nullptr);
            Texture* source = makeInput(6, 4, PixelRGBA8{200, 100, 50, 255});
            Texture* mask = makeInput(4, 5, PixelRGBA8{0, 0, 0, 0});
            TextureRef result;
            {
                const ScopedRenderState state(renderer->getRenderContext());
                result = Texture::applyMask(*renderer, *source, *mask);
            }
            ASSERT_NE(result.get(), nullptr);
            EXPECT_EQ(result->getWidth(), 6);
            EXPECT_EQ(result->getHeight(), 5);
            expectUniform(readBack(*result), 6, 5, {200, 100, 50, 255}, 1);
            EXPECT_EQ(targets().getUsedRTCount(), 0u);
        }

        // "Image" set on another thread while the render thread draws: the
        // hand-over is locked, the flag atomic, and the last image wins.
        TEST_F(MaskGLTest, TheImageMayChangeOnAnotherThreadWhileRendering)
        {
            Mask pass;
            prepare(pass, {200, 100, 50, 255});
            const auto param = imageOf(pass);
            pass.setMask(image(4, 4, {0, 0, 0, 255}));
            std::atomic<bool> done{false};
            std::thread setter(
                [&]
                {
                    for (int i = 0; i < 200; ++i)
                        param->setValue(image(4 + i % 3, 4, {uint8_t(i), 0, 0, 255}), ValueChangeInfo());
                    param->setValue(image(4, 4, {255, 255, 255, 255}), ValueChangeInfo());
                    done = true;
                });
            while (! done)
                run(pass);
            setter.join();
            expectUniform(run(pass), 4, 4, {200, 100, 50, 255}, 1);
            pass.release();
        }
    }
}
