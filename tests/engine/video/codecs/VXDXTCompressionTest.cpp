#include "engine/video/codecs/VXDXTCompression.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "VXDXTTestCorpus.h"

namespace vx::test
{
    namespace
    {
        using Bytes = std::vector<std::uint8_t>;

        size_t blockCount(int width, int height) { return size_t((width + 3) / 4) * size_t((height + 3) / 4); }

        // The image grown to whole blocks by the edge rule: of the n columns
        // (rows) a partial block has, its four positions read these.
        Bytes padToBlocks(const Bytes& rgba, int width, int height, int& paddedWidth, int& paddedHeight)
        {
            static const int edge[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 0}, {0, 1, 2, 3}};
            paddedWidth = (width + 3) / 4 * 4;
            paddedHeight = (height + 3) / 4 * 4;
            Bytes padded(size_t(paddedWidth) * paddedHeight * 4);
            auto source = [&](int v, int size) {
                const int start = v / 4 * 4;
                return start + edge[std::min(size - start, 4) - 1][v % 4];
            };
            for (int y = 0; y < paddedHeight; ++y)
                for (int x = 0; x < paddedWidth; ++x)
                    std::memcpy(&padded[(size_t(y) * paddedWidth + x) * 4],
                                &rgba[(size_t(source(y, height)) * width + source(x, width)) * 4], 4);
            return padded;
        }

        Bytes compressed(const Bytes& rgba, int width, int height, bool alpha)
        {
            Bytes out(blockCount(width, height) * (alpha ? 16 : 8) + 64, 0xEE);
            qmv::rygCompress(out.data(), rgba.data(), width, height, alpha ? 1 : 0);
            for (size_t i = out.size() - 64; i < out.size(); ++i)
                EXPECT_EQ(out[i], 0xEE) << "written past the blocks";
            out.resize(out.size() - 64);
            return out;
        }
    }

    //==============================================================================
    // The block loop

    struct RygPictureCase
    {
        dxt::Picture picture;
        bool alpha;
    };

    class RygCompressPictures : public ::testing::TestWithParam<RygPictureCase>
    {
    };

    TEST_P(RygCompressPictures, EqualsTheBareBlockLoop)
    {
        const RygPictureCase& c = GetParam();
        const int width = 64, height = 32;
        const Bytes rgba = dxt::makePicture(c.picture, width, height, 3);
        EXPECT_TRUE(compressed(rgba, width, height, c.alpha) == dxt::bareBlocks(rgba, width, height, c.alpha));
    }

    INSTANTIATE_TEST_SUITE_P(
        Pictures, RygCompressPictures,
        ::testing::Values(RygPictureCase{dxt::Picture::gradient, false}, RygPictureCase{dxt::Picture::edges, false},
                          RygPictureCase{dxt::Picture::tiles, false}, RygPictureCase{dxt::Picture::noise, false},
                          RygPictureCase{dxt::Picture::video, false}, RygPictureCase{dxt::Picture::alphaRamp, true},
                          RygPictureCase{dxt::Picture::tiles, true}, RygPictureCase{dxt::Picture::video, true}),
        [](const auto& info) {
            return std::string(info.param.alpha ? "DXT5_" : "DXT1_") + dxt::pictureName(info.param.picture);
        });

    struct RygSizeCase
    {
        const char* name;
        int width, height;
        bool alpha;
    };

    class RygCompressSizes : public ::testing::TestWithParam<RygSizeCase>
    {
    };

    // Partial blocks at the right and bottom repeat what the image has there.
    TEST_P(RygCompressSizes, EqualsTheBareLoopOverTheEdgeRule)
    {
        const RygSizeCase& c = GetParam();
        const Bytes rgba = dxt::makePicture(dxt::Picture::video, c.width, c.height, 17);
        int paddedWidth = 0, paddedHeight = 0;
        const Bytes padded = padToBlocks(rgba, c.width, c.height, paddedWidth, paddedHeight);
        EXPECT_TRUE(compressed(rgba, c.width, c.height, c.alpha) ==
                    dxt::bareBlocks(padded, paddedWidth, paddedHeight, c.alpha));
    }

    INSTANTIATE_TEST_SUITE_P(Sizes, RygCompressSizes,
                             ::testing::Values(RygSizeCase{"OnePixel", 1, 1, false}, RygSizeCase{"TwoByNine", 2, 9, true},
                                               RygSizeCase{"ThreeColumns", 3, 8, false},
                                               RygSizeCase{"SixBySeven", 6, 7, true},
                                               RygSizeCase{"ThirteenByThree", 13, 3, false},
                                               RygSizeCase{"SeventeenSquare", 17, 17, true}),
                             [](const auto& info) { return std::string(info.param.name); });

    // 5 x 5 is four blocks: the right ones read column 4 at every position,
    // the bottom ones row 4.
    TEST(RygCompress, FiveByFiveEdgeBlocksReadTheLastColumnAndRow)
    {
        const Bytes rgba = dxt::makePicture(dxt::Picture::noise, 5, 5, 9);
        auto at = [&](int x, int y) { return &rgba[(size_t(y) * 5 + x) * 4]; };
        const Bytes out = compressed(rgba, 5, 5, true);
        struct
        {
            int x0, y0;
            bool lastColumn, lastRow;
        } blocks[4] = {{0, 0, false, false}, {4, 0, true, false}, {0, 4, false, true}, {4, 4, true, true}};
        for (int b = 0; b < 4; ++b)
        {
            std::uint8_t block[64], expected[16];
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    std::memcpy(block + (r * 4 + c) * 4,
                                at(blocks[b].lastColumn ? 4 : c, blocks[b].lastRow ? 4 : r), 4);
            stb_compress_dxt_block(expected, block, 1, 10);
            EXPECT_EQ(0, std::memcmp(out.data() + b * 16, expected, 16)) << "block " << b;
        }
    }

    TEST(RygCompress, EmptySizesWriteNothing)
    {
        const Bytes rgba(64, 7);
        Bytes out(64, 0xEE);
        qmv::rygCompress(out.data(), rgba.data(), 0, 4, 0);
        qmv::rygCompress(out.data(), rgba.data(), 4, 0, 1);
        qmv::rygCompress(out.data(), rgba.data(), -4, 4, 0);
        qmv::rygCompressYCoCg(out.data(), rgba.data(), 4, -1);
        EXPECT_EQ(out, Bytes(64, 0xEE));
    }

    //==============================================================================
    // YCoCg and sRGB

    struct RgbToYCoCgCase
    {
        const char* name;
        std::uint8_t r, g, b;
        std::uint8_t co, cg, y;
    };

    class RgbToYCoCgBlock : public ::testing::TestWithParam<RgbToYCoCgCase>
    {
    };

    TEST_P(RgbToYCoCgBlock, ConvertsEveryPixel)
    {
        const RgbToYCoCgCase& c = GetParam();
        std::uint8_t in[64], out[64];
        for (int i = 0; i < 16; ++i)
        {
            in[4 * i] = c.r;
            in[4 * i + 1] = c.g;
            in[4 * i + 2] = c.b;
            in[4 * i + 3] = std::uint8_t(i * 16); // alpha is dropped
        }
        qmv::rgbToYCoCgBlock(out, in);
        for (int i = 0; i < 16; ++i)
        {
            EXPECT_EQ(out[4 * i], c.co) << "pixel " << i;
            EXPECT_EQ(out[4 * i + 1], c.cg) << "pixel " << i;
            EXPECT_EQ(out[4 * i + 2], 0) << "pixel " << i;
            EXPECT_EQ(out[4 * i + 3], c.y) << "pixel " << i;
        }
    }

    // Co and Y and Cg reach 256 at red, white and green: held at 255.
    INSTANTIATE_TEST_SUITE_P(Colours, RgbToYCoCgBlock,
                             ::testing::Values(RgbToYCoCgCase{"Red", 255, 0, 0, 255, 64, 64},
                                               RgbToYCoCgCase{"Green", 0, 255, 0, 128, 255, 128},
                                               RgbToYCoCgCase{"Blue", 0, 0, 255, 1, 64, 64},
                                               RgbToYCoCgCase{"White", 255, 255, 255, 128, 128, 255},
                                               RgbToYCoCgCase{"Black", 0, 0, 0, 128, 128, 0},
                                               RgbToYCoCgCase{"Grey", 100, 100, 100, 128, 128, 100},
                                               RgbToYCoCgCase{"Orange", 200, 60, 40, 208, 98, 90}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(RygCompressYCoCg, EncodesConvertedBlocksWithAlpha)
    {
        const int width = 8, height = 8;
        const Bytes rgba = dxt::makePicture(dxt::Picture::video, width, height, 5);
        Bytes out(4 * 16 + 16, 0xEE);
        qmv::rygCompressYCoCg(out.data(), rgba.data(), width, height);
        for (int b = 0; b < 4; ++b)
        {
            std::uint8_t block[64], converted[64], expected[16];
            const int x0 = (b % 2) * 4, y0 = (b / 2) * 4;
            for (int r = 0; r < 4; ++r)
                std::memcpy(block + r * 16, &rgba[(size_t(y0 + r) * width + x0) * 4], 16);
            qmv::rgbToYCoCgBlock(converted, block);
            stb_compress_dxt_block(expected, converted, 1, 10);
            EXPECT_EQ(0, std::memcmp(out.data() + b * 16, expected, 16)) << "block " << b;
        }
        EXPECT_EQ(Bytes(out.end() - 16, out.end()), Bytes(16, 0xEE));
    }

    TEST(Linearize, FollowsTheSRGBCurveUnderASquareRoot)
    {
        Bytes in(256 * 4), out(in.size());
        for (size_t i = 0; i < in.size(); ++i)
            in[i] = std::uint8_t(i / 4);
        qmv::linearize(out.data(), in.data(), 256);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[255 * 4 + 3], 255);
        // Below the linear segment's end (10 / 255 < 0.04045) and above it.
        EXPECT_EQ(out[10 * 4], 14);   // sqrt(10 / 255 / 12.92) x 255 = 14.05
        EXPECT_EQ(out[128 * 4], 118); // sqrt(((128 / 255 + 0.055) / 1.055)^2.4) x 255 = 118.48
        for (int v = 0; v < 256; ++v)
        {
            const double x = v / 255.0;
            const double linear = x < 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
            const int expected = int(std::floor(std::sqrt(linear) * 255.0 + 0.5));
            for (int channel = 0; channel < 4; ++channel)
                ASSERT_EQ(out[size_t(v) * 4 + channel], expected) << "value " << v;
        }
        // In place.
        qmv::linearize(in.data(), in.data(), 256);
        EXPECT_EQ(in, out);
    }
}
