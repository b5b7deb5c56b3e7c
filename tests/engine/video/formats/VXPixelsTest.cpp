#include "engine/video/formats/VXPixels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXPixelsUtils.h"
#include "support/VXLogRecorder.h"

namespace vx::test
{
    namespace
    {
        std::vector<unsigned char> bytesOf(const Pixels& p)
        {
            return {p.data, p.data + p.dataSize};
        }

        std::vector<unsigned char> sequence(size_t count)
        {
            std::vector<unsigned char> v(count);
            for (size_t i = 0; i < count; ++i)
                v[i] = static_cast<unsigned char>(i + 1);
            return v;
        }
    }

    TEST(Pixels, ConstructionFromPixelSizeCopiesOrZeroFills)
    {
        Pixels zero(5, 3, 3, static_cast<const unsigned char*>(nullptr));
        EXPECT_EQ(zero.format, Texture::RGB8);
        EXPECT_EQ(bytesOf(zero), std::vector<unsigned char>(45, 0));

        const auto source = sequence(2 * 2 * 4);
        Pixels copied(2, 2, 4, source.data());
        EXPECT_EQ(bytesOf(copied), source);
        EXPECT_EQ(copied.format, Texture::RGBA8);
    }

    TEST(Pixels, ConstructionFromByteCountDerivesTheStride)
    {
        Pixels p(10, 3, 4, 1000L);
        EXPECT_EQ(p.stride, 333);
        EXPECT_EQ(p.dataSize, 1000);
        EXPECT_EQ(bytesOf(p), std::vector<unsigned char>(1000, 0));

        // No rows: no stride, and no division by zero.
        Pixels noRows(10, 0, 4, 64L);
        EXPECT_EQ(noRows.stride, 0);
        EXPECT_EQ(noRows.dataSize, 64);

        // Null data is zero-filled, never read.
        Pixels nullData(4, 4, 4, 64L, nullptr);
        EXPECT_EQ(bytesOf(nullData), std::vector<unsigned char>(64, 0));
    }

    TEST(Pixels, ImpossibleSizesGiveAnEmptyImage)
    {
        LogRecorder log;
        Pixels negative(-2, 3, 4, static_cast<const unsigned char*>(nullptr));
        EXPECT_EQ(negative.data, nullptr);
        EXPECT_EQ(negative.dataSize, 0);
        Pixels overflowing(1 << 16, 1 << 16, 4, static_cast<const unsigned char*>(nullptr));
        EXPECT_EQ(overflowing.data, nullptr);
        EXPECT_EQ(overflowing.width, 0);
        // A byte count too small for the rows it claims.
        Pixels tooSmall(4, 4, 4, 10L);
        EXPECT_EQ(tooSmall.dataSize, 10);
        EXPECT_EQ(tooSmall.stride, 2);
        EXPECT_EQ(log.count(logError), 2u) << log.dump();

        // Operations on an empty image do nothing.
        negative.flip();
        negative.alignDataByChannel();
        EXPECT_EQ(negative.stealData(), nullptr);
    }

    TEST(Pixels, CopyIsDeepAndNullCopiesNothing)
    {
        const auto source = sequence(3 * 2 * 4);
        Pixels original(3, 2, 4, source.data());
        Pixels copy(&original);
        original.data[0] = 99;
        EXPECT_EQ(bytesOf(copy), source);
        EXPECT_EQ(copy.stride, 12);
        EXPECT_EQ(copy.format, Texture::RGBA8);

        Pixels blocks(8, 4, 4, 16L);
        blocks.format = Texture::DXT5_RGBA;
        Pixels blockCopy(&blocks);
        EXPECT_EQ(blockCopy.format, Texture::DXT5_RGBA);
        EXPECT_EQ(blockCopy.dataSize, 16);

        Pixels none(static_cast<const Pixels*>(nullptr));
        EXPECT_EQ(none.data, nullptr);
        EXPECT_EQ(none.dataSize, 0);
    }

    TEST(Pixels, ResizeReallocatesZeroedAndSkipsNoChange)
    {
        const auto source = sequence(2 * 2 * 4);
        Pixels p(2, 2, 4, source.data());
        p.resize(2, 2, 4);
        EXPECT_EQ(bytesOf(p), source);

        p.resize(3, 5, 3);
        EXPECT_EQ(p.stride, 9);
        EXPECT_EQ(p.dataSize, 45);
        EXPECT_EQ(p.format, Texture::RGB8);
        EXPECT_EQ(bytesOf(p), std::vector<unsigned char>(45, 0));
    }

    TEST(Pixels, FlipReversesRows)
    {
        const std::vector<unsigned char> rows{1, 1, 2, 2, 3, 3};
        Pixels p(2, 3, 1, rows.data());
        p.flip();
        EXPECT_EQ(bytesOf(p), (std::vector<unsigned char>{3, 3, 2, 2, 1, 1}));
        Pixels even(1, 2, 2, rows.data());
        even.flip();
        EXPECT_EQ(bytesOf(even), (std::vector<unsigned char>{2, 2, 1, 1}));
    }

    TEST(Pixels, AlignDataByChannelWritesBytePlanes)
    {
        const auto source = sequence(2 * 8);
        Pixels p(2, 1, 8, source.data());
        p.alignDataByChannel();
        EXPECT_EQ(bytesOf(p), (std::vector<unsigned char>{1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15, 8, 16}));

        Pixels small(2, 1, 4, source.data());
        small.alignDataByChannel();
        EXPECT_EQ(bytesOf(small), std::vector<unsigned char>(source.begin(), source.begin() + 8));
    }

    TEST(Pixels, WithNewBitDepthConvertsBetweenThreeAndFour)
    {
        const std::vector<unsigned char> rgb{1, 2, 3, 4, 5, 6};
        Pixels three(2, 1, 3, rgb.data());
        std::unique_ptr<Pixels> four(three.withNewBitDepth(4));
        ASSERT_NE(four, nullptr);
        EXPECT_EQ(four->bytesPerPixel, 4);
        EXPECT_EQ(bytesOf(*four), (std::vector<unsigned char>{1, 2, 3, 255, 4, 5, 6, 255}));

        std::unique_ptr<Pixels> back(four->withNewBitDepth(3));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(bytesOf(*back), rgb);

        EXPECT_EQ(four->withNewBitDepth(4), nullptr);
        EXPECT_EQ(four->withNewBitDepth(8), nullptr);

        Pixels grey(2, 1, 1, rgb.data());
        std::unique_ptr<Pixels> fromGrey(grey.withNewBitDepth(4));
        ASSERT_NE(fromGrey, nullptr);
        EXPECT_EQ(bytesOf(*fromGrey), std::vector<unsigned char>(8, 0));
    }

    // The buffer changes owner: freed here, never again by the image.
    TEST(Pixels, StealDataHandsTheBufferOver)
    {
        const auto source = sequence(4);
        Pixels p(1, 1, 4, source.data());
        unsigned char* stolen = p.stealData();
        ASSERT_NE(stolen, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(stolen, stolen + 4), source);
        EXPECT_EQ(p.data, nullptr);
        std::free(stolen);
    }

    TEST(PixelsUtils, ChannelCopiesSwapAndFill)
    {
        const std::vector<unsigned char> rgba{1, 2, 3, 4, 5, 6, 7, 8};
        Pixels four(2, 1, 4, rgba.data());
        std::vector<unsigned char> out(8);
        ASSERT_TRUE(PixelsUtils::copyPixelsToBufferAndSwapRB(&four, out.data(), 0, 0));
        EXPECT_EQ(out, (std::vector<unsigned char>{3, 2, 1, 4, 7, 6, 5, 8}));

        std::vector<unsigned char> out3(6);
        ASSERT_TRUE(PixelsUtils::copyPixels32BitTo24BitBuffer(&four, out3.data(), 0, 0, true));
        EXPECT_EQ(out3, (std::vector<unsigned char>{3, 2, 1, 7, 6, 5}));

        Pixels three(2, 1, 3, rgba.data());
        ASSERT_TRUE(PixelsUtils::copyPixels24BitTo32BitBuffer(&three, out.data(), 0, 0, false));
        EXPECT_EQ(out, (std::vector<unsigned char>{1, 2, 3, 255, 4, 5, 6, 255}));
        ASSERT_TRUE(PixelsUtils::copyPixelsToBufferAndSwapRB(&three, out3.data(), 0, 0));
        EXPECT_EQ(out3, (std::vector<unsigned char>{3, 2, 1, 6, 5, 4}));

        // 16-bit little-endian channels: the high byte of each.
        const std::vector<unsigned char> wide{0x11, 0xA1, 0x22, 0xA2, 0x33, 0xA3, 0x44, 0xA4};
        Pixels eight(1, 1, 8, wide.data());
        ASSERT_TRUE(PixelsUtils::copyPixels64BitTo32BitBuffer(&eight, out.data(), 0, 0, true));
        EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 4),
                  (std::vector<unsigned char>{0xA3, 0xA2, 0xA1, 0xA4}));
    }

    TEST(PixelsUtils, FloatCopyClampsAndTruncates)
    {
        const float values[8] = {0.999f, 2.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(),
                                 0.5f,   1.0f, 0.0f,  0.00392f};
        Pixels floats(2, 1, 16, reinterpret_cast<const unsigned char*>(values));
        std::vector<unsigned char> out(8);
        ASSERT_TRUE(PixelsUtils::copyPixels128FloatBitTo32BitBuffer(&floats, out.data(), 0, 0, false));
        EXPECT_EQ(out, (std::vector<unsigned char>{254, 255, 0, 0, 127, 255, 0, 0}));
        ASSERT_TRUE(PixelsUtils::copyPixels128FloatBitTo32BitBuffer(&floats, out.data(), 0, 0, true));
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[2], 254);
    }

    TEST(PixelsUtils, CopiesRefuseWrongSourcesAndFollowTheStride)
    {
        std::vector<unsigned char> out(64);
        Pixels four(2, 2, 4, static_cast<const unsigned char*>(nullptr));
        EXPECT_FALSE(PixelsUtils::copyPixels24BitTo32BitBuffer(&four, out.data(), 0, 0, false));
        EXPECT_FALSE(PixelsUtils::copyPixels64BitTo32BitBuffer(&four, out.data(), 0, 0, false));
        EXPECT_FALSE(PixelsUtils::copyPixels128FloatBitTo32BitBuffer(&four, out.data(), 0, 0, false));
        EXPECT_FALSE(PixelsUtils::copyPixelsToBufferAndSwapRB(nullptr, out.data(), 0, 0));
        EXPECT_FALSE(PixelsUtils::copyPixels32BitTo24BitBuffer(&four, nullptr, 0, 0, false));

        // Rows of one RGB pixel, padded to 4 bytes: the padding is skipped.
        const std::vector<unsigned char> padded{1, 2, 3, 0xEE, 4, 5, 6, 0xEE};
        Pixels rows(1, 2, 3, 8L, padded.data());
        ASSERT_EQ(rows.stride, 4);
        ASSERT_TRUE(PixelsUtils::copyPixels24BitTo32BitBuffer(&rows, out.data(), 0, 0, false));
        EXPECT_EQ(std::vector<unsigned char>(out.begin(), out.begin() + 8),
                  (std::vector<unsigned char>{1, 2, 3, 255, 4, 5, 6, 255}));
    }
}
