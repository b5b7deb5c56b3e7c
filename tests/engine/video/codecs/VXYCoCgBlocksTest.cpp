#include "engine/video/codecs/VXYCoCgBlocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "engine/video/codecs/VXYCoCgTestCorpus.h"

namespace vx::test
{
    namespace
    {
        Bytes flatTile(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255)
        {
            Bytes rgba;
            for (int i = 0; i < 64; ++i)
                rgba.insert(rgba.end(), {r, g, b, a});
            return rgba;
        }

        Bytes times(const Bytes& part, int n)
        {
            Bytes all;
            for (int i = 0; i < n; ++i)
                all.insert(all.end(), part.begin(), part.end());
            return all;
        }

        Bytes yCoCg6(const Bytes& rgba, int w, int h)
        {
            Bytes planes(static_cast<size_t>(w * h * 3 / 4));
            EXPECT_EQ(YCoCg6_Convertfrom_RGBA32(rgba.data(), w, h, planes.data()), 0);
            return planes;
        }

        Bytes yACoCg10(const Bytes& rgba, int w, int h)
        {
            Bytes planes(static_cast<size_t>(w * h * 5 / 4));
            EXPECT_EQ(YACoCg10_Convertfrom_RGBA32(rgba.data(), w, h, planes.data()), 0);
            return planes;
        }

        Bytes expand(const Bytes& planes, int w, int h, bool alpha)
        {
            Bytes rgba(static_cast<size_t>(w * h * 4));
            EXPECT_EQ((alpha ? YACoCg10_ConvertInto_RGBA32 : YCoCg6_ConvertInto_RGBA32)(planes.data(), w, h,
                                                                                         rgba.data()),
                      0);
            return rgba;
        }

        // Chroma halves of a white tile: e0 128, e1 127, every index 3.
        const Bytes whiteChromaHalf = {0x80, 0x7F, 0xDB, 0xB6, 0x6D, 0xDB, 0xB6, 0x6D};
        const Bytes opaqueBlock = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
    }

    struct RefusedSizeCase
    {
        const char* name;
        int width, height;
    };

    class YCoCgRefusedSizes : public ::testing::TestWithParam<RefusedSizeCase>
    {
    };

    TEST_P(YCoCgRefusedSizes, AnswerOneAndWriteNothing)
    {
        const RefusedSizeCase& c = GetParam();
        const Bytes source(4096, 100);
        Bytes out(4096, 0xEE);
        EXPECT_EQ(YCoCg6_Convertfrom_RGBA32(source.data(), c.width, c.height, out.data()), 1);
        EXPECT_EQ(YACoCg10_Convertfrom_RGBA32(source.data(), c.width, c.height, out.data()), 1);
        EXPECT_EQ(YCoCg6_ConvertInto_RGBA32(source.data(), c.width, c.height, out.data()), 1);
        EXPECT_EQ(YACoCg10_ConvertInto_RGBA32(source.data(), c.width, c.height, out.data()), 1);
        EXPECT_EQ(out, Bytes(4096, 0xEE));
    }

    INSTANTIATE_TEST_SUITE_P(Sizes, YCoCgRefusedSizes,
                             ::testing::Values(RefusedSizeCase{"Width12", 12, 8}, RefusedSizeCase{"Height12", 8, 12},
                                               RefusedSizeCase{"Width4", 4, 16},
                                               RefusedSizeCase{"NegativeWidth", -8, 8}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(YCoCgTextureStage, WhiteTile)
    {
        const Bytes white = flatTile(255, 255, 255);
        const Bytes planes = yCoCg6(white, 8, 8);
        EXPECT_EQ(planes, cat({times(opaqueBlock, 4), whiteChromaHalf, whiteChromaHalf}));
        EXPECT_EQ(expand(planes, 8, 8, false), Bytes(256, 255));

        const Bytes withAlpha = yACoCg10(white, 8, 8);
        EXPECT_EQ(withAlpha, cat({times(opaqueBlock, 8), whiteChromaHalf, whiteChromaHalf}));
        EXPECT_EQ(expand(withAlpha, 8, 8, true), Bytes(256, 255));
    }

    // Grey: Y = 16 v, a multiple of 16, so e0 = e1 = v with zero indices, and
    // Co9 = Cg9 = 255. The expansion gives every grey back exactly.
    TEST(YCoCgTextureStage, GreyTilesComeBackExactly)
    {
        for (int v = 0; v < 256; ++v)
        {
            const auto grey = static_cast<std::uint8_t>(v);
            const Bytes planes = yCoCg6(flatTile(grey, grey, grey), 8, 8);
            const Bytes yBlock = {grey, grey, 0, 0, 0, 0, 0, 0};
            ASSERT_EQ(Bytes(planes.begin(), planes.begin() + 32), times(yBlock, 4)) << v;
            ASSERT_EQ(Bytes(planes.begin() + 32, planes.end()), cat({whiteChromaHalf, whiteChromaHalf, {}})) << v;
            ASSERT_EQ(expand(planes, 8, 8, false), flatTile(grey, grey, grey)) << v;
        }
    }

    // (10, 20, 31): Y = 324 lies between the endpoints 320 and 336 (e0 = e1 +
    // 1), 4/16 of the way: position 2, index 6. Co9 = (40 - 124) / 4 + 255 =
    // 234 gives e0 = e1 = 117; Cg9 = trunc(-4 / 8) + 255 = 255.
    TEST(YCoCgTextureStage, FlatColourTile)
    {
        const Bytes planes = yCoCg6(flatTile(10, 20, 31), 8, 8);
        const Bytes yBlock = {21, 20, 0xB6, 0x6D, 0xDB, 0xB6, 0x6D, 0xDB};
        EXPECT_EQ(planes, cat({times(yBlock, 4), {117, 117, 0, 0, 0, 0, 0, 0}, whiteChromaHalf}));
        const Bytes back = expand(planes, 8, 8, false);
        for (int i = 0; i < 64; ++i)
        {
            EXPECT_NEAR(back[4 * i], 10, 2);
            EXPECT_NEAR(back[4 * i + 1], 20, 2);
            EXPECT_NEAR(back[4 * i + 2], 31, 2);
            EXPECT_EQ(back[4 * i + 3], 255);
        }
    }

    // The Y blocks of a tile go to two block rows of the Y plane, its chroma
    // block to the tile's place in tile order.
    TEST(YCoCgTextureStage, BlockPlacement)
    {
        // 16 x 8: left tile black, right tile white.
        Bytes rgba(16 * 8 * 4, 255);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                for (int c = 0; c < 3; ++c)
                    rgba[(y * 16 + x) * 4 + c] = 0;
        const Bytes planes = yCoCg6(rgba, 16, 8);
        const Bytes black = {0, 0, 0, 0, 0, 0, 0, 0};
        // Y plane: 4 blocks per row, two rows: black black white white, twice.
        const Bytes row = cat({black, black, cat({opaqueBlock, opaqueBlock, {}})});
        EXPECT_EQ(Bytes(planes.begin(), planes.begin() + 64), cat({row, row, {}}));
        EXPECT_EQ(Bytes(planes.begin() + 64 + 16, planes.end()), cat({whiteChromaHalf, whiteChromaHalf, {}}));
    }

    // Each precision's encoder on random blocks: every sample decodes within
    // half a palette step (plus the endpoints' quantisation) of its value, and
    // the endpoints keep e0 above e1 or equal.
    struct PrecisionCase
    {
        const char* name;
        void (*encode)(std::uint8_t*, const std::uint16_t*);
        int maxSample;
        int shiftTo13; // 13-bit decode / 2^shift = the sample's scale
        int quantisation;
    };

    class YCoCgBC4Precision : public ::testing::TestWithParam<PrecisionCase>
    {
    };

    TEST_P(YCoCgBC4Precision, DecodesNearEverySample)
    {
        const PrecisionCase& c = GetParam();
        std::mt19937 random(11);
        for (int round = 0; round < 2000; ++round)
        {
            std::uint16_t samples[16];
            const int low = static_cast<int>(random() % static_cast<unsigned>(c.maxSample + 1));
            const int spread = static_cast<int>(random() % static_cast<unsigned>(c.maxSample - low + 1));
            for (auto& s : samples)
                s = static_cast<std::uint16_t>(low + (spread == 0 ? 0 : random() % static_cast<unsigned>(spread + 1)));
            std::uint8_t block[8];
            c.encode(block, samples);
            ASSERT_GE(block[0], block[1]);
            std::uint16_t decoded[16];
            YCoCg_decodeBC4UBlock_13bits(block, decoded);
            const double step = (block[0] - block[1]) * 32.0 / 7.0 / (1 << c.shiftTo13);
            for (int i = 0; i < 16; ++i)
            {
                const double value = decoded[i] / double(1 << c.shiftTo13);
                ASSERT_LE(std::abs(value - samples[i]), step / 2 + c.quantisation)
                    << "round " << round << " sample " << i << " of " << samples[i];
            }
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Precisions, YCoCgBC4Precision,
        ::testing::Values(PrecisionCase{"Luma12", YCoCg_CompressBlockBC4_12bits, 4080, 1, 2},
                          PrecisionCase{"Chroma9", YCoCg_CompressBlockBC4_9bits, 510, 4, 1},
                          PrecisionCase{"Alpha8", YCoCg_CompressBlockBC4_8bits, 255, 5, 1}),
        [](const auto& info) { return std::string(info.param.name); });

    // Whole frames through both stages: smooth pictures come back close.
    TEST(YCoCgTextureStage, FramesComeBackClose)
    {
        for (const Scene scene : {Scene::gradient, Scene::alphaRamp})
        {
            const Bytes rgba = makeFrame(scene, 64, 48, 3);
            for (const bool alpha : {false, true})
            {
                const Bytes back = expand(alpha ? yACoCg10(rgba, 64, 48) : yCoCg6(rgba, 64, 48), 64, 48, alpha);
                double squared = 0;
                int worst = 0;
                for (size_t i = 0; i < rgba.size(); ++i)
                {
                    if (i % 4 == 3 && ! alpha)
                    {
                        ASSERT_EQ(back[i], 255);
                        continue;
                    }
                    const int d = std::abs(back[i] - rgba[i]);
                    squared += d * d;
                    worst = std::max(worst, d);
                }
                const double psnr = 10 * std::log10(255.0 * 255.0 * rgba.size() / std::max(squared, 1.0));
                EXPECT_GT(psnr, 38.0) << "scene " << int(scene) << (alpha ? " with alpha" : "");
                EXPECT_LE(worst, 16);
            }
        }
    }

    TEST(YCoCgExpansion, StepsOfTheExpansion)
    {
        std::uint16_t quarter[16], full[64];
        for (int i = 0; i < 16; ++i)
            quarter[i] = static_cast<std::uint16_t>(i * 100);
        YCoCg_expand2X(quarter, full);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                ASSERT_EQ(full[8 * r + c], quarter[4 * (r / 2) + c / 2]);

        // e0 = 200, e1 = 100: D = 3200, palette 100 x 32 + w x 3200 / 7.
        const std::uint8_t block[8] = {200, 100, 0x88, 0xC6, 0xFA, 0x88, 0xC6, 0xFA}; // indices 0..7 twice
        std::uint16_t samples[16];
        YCoCg_decodeBC4UBlock_13bits(block, samples);
        const std::uint16_t palette[8] = {6400, 3200, 5942, 5485, 5028, 4571, 4114, 3657};
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(samples[i], palette[i % 8]) << i;

        // Mid grey with no chroma and a half alpha.
        const std::uint16_t y[16] = {4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096,
                                     4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096};
        std::uint16_t a[16], co[16], cg[16];
        std::fill(a, a + 16, std::uint16_t(4096));
        std::fill(co, co + 16, std::uint16_t(4080));
        std::fill(cg, cg + 16, std::uint16_t(4080));
        std::uint8_t rgba[64];
        YCoCg_CombineYACoCg_13bits_into_RGBA_32bits(y, a, co, cg, rgba);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(Bytes(rgba + 4 * i, rgba + 4 * i + 4), (Bytes{128, 128, 128, 128})) << i;
    }
}
