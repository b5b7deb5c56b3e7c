#include "engine/video/codecs/VXDXTR.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "VXDXTTestCorpus.h"
#include "engine/video/codecs/VXDXTCompression.h"

namespace vx::test
{
    namespace
    {
        using Bytes = std::vector<std::uint8_t>;

        void append32(Bytes& bytes, std::uint32_t v)
        {
            for (int i = 0; i < 4; ++i)
                bytes.push_back(std::uint8_t(v >> (8 * i)));
        }

        Bytes dxt1Block(std::uint32_t colour, std::uint32_t index)
        {
            Bytes block;
            append32(block, colour);
            append32(block, index);
            return block;
        }

        Bytes dxt5Block(std::uint32_t alpha0, std::uint32_t alpha1, std::uint32_t colour, std::uint32_t index)
        {
            Bytes block;
            append32(block, alpha0);
            append32(block, alpha1);
            append32(block, colour);
            append32(block, index);
            return block;
        }

        void appendBlocks(Bytes& to, Bytes block, size_t times)
        {
            for (size_t i = 0; i < times; ++i)
                to.insert(to.end(), block.begin(), block.end());
        }

        Bytes tail(const Bytes& bytes, size_t count) { return Bytes(bytes.end() - long(count), bytes.end()); }

        Bytes compress(const Bytes& src, bool dxt5)
        {
            Bytes dst(DXTR_compressBound(unsigned(src.size())));
            const unsigned written = dxt5 ? DXTR_compressDXT5(src.data(), unsigned(src.size()), dst.data(),
                                                              unsigned(dst.size()))
                                          : DXTR_compressDXT1(src.data(), unsigned(src.size()), dst.data(),
                                                              unsigned(dst.size()));
            dst.resize(written);
            return dst;
        }

        unsigned decode(const Bytes& packed, Bytes& out, bool dxt5)
        {
            return dxt5 ? DXTR_uncompressDXT5(packed.data(), unsigned(packed.size()), out.data(), int(out.size()))
                        : DXTR_uncompressDXT1(packed.data(), unsigned(packed.size()), out.data(), int(out.size()));
        }

        // Compresses, checks the result is smaller, and decodes it back exactly,
        // using every byte of the stream.
        Bytes roundTrip(const Bytes& src, bool dxt5)
        {
            const Bytes packed = compress(src, dxt5);
            EXPECT_GT(packed.size(), 0u);
            EXPECT_LT(packed.size(), src.size());
            Bytes out(src.size(), 0xCD);
            EXPECT_EQ(decode(packed, out, dxt5), packed.size());
            EXPECT_TRUE(out == src);
            return packed;
        }

        // Blocks drawn so that every code path occurs: runs, repeated alpha
        // halves, whole blocks and halves and words from near and far back,
        // and fresh random blocks.
        Bytes mixedBlocks(bool dxt5, size_t count, std::uint32_t seed)
        {
            std::mt19937 random(seed);
            const size_t blockBytes = dxt5 ? 16 : 8;
            Bytes out;
            for (size_t b = 0; b < count; ++b)
            {
                Bytes block(blockBytes);
                for (auto& byte : block)
                    byte = std::uint8_t(random());
                const size_t blocks = out.size() / blockBytes;
                auto from = [&](size_t back) { return out.data() + (blocks - back) * blockBytes; };
                auto pickBack = [&] {
                    const std::uint32_t range = std::uint32_t(random() % 3);
                    const size_t limit = range == 0 ? 1 : range == 1 ? 300 : 70000;
                    return 1 + size_t(random()) % std::min(limit, blocks);
                };
                if (blocks > 0)
                {
                    const std::uint32_t pick = std::uint32_t(random() % 8);
                    if (pick == 0)
                        std::memcpy(block.data(), from(1), blockBytes);
                    else if (pick == 1)
                        std::memcpy(block.data(), from(pickBack()), blockBytes);
                    else if (pick == 2 && dxt5)
                        std::memcpy(block.data(), from(1), 8);
                    else if (pick == 3 && dxt5)
                        std::memcpy(block.data(), from(pickBack()), 8);
                    if (pick >= 4 && pick <= 6)
                    {
                        const size_t half = dxt5 ? 8 : 0;
                        if (pick != 5)
                            std::memcpy(block.data() + half, from(pickBack()) + half, 4);
                        if (pick != 4)
                            std::memcpy(block.data() + half + 4, from(pickBack()) + half + 4, 4);
                    }
                }
                const size_t copies = random() % 16 == 0 ? 1 + random() % 300 : 1;
                appendBlocks(out, block, copies);
            }
            return out;
        }
    }

    //==============================================================================
    // Encoder contract

    TEST(DXTRCompress, CapacityBelowTheBoundAnswersZero)
    {
        EXPECT_EQ(DXTR_compressBound(1000), 1000u + 125u + 64u);
        Bytes src;
        appendBlocks(src, dxt1Block(0x12345678, 0x9ABCDEF0), 16);
        Bytes dst(DXTR_compressBound(unsigned(src.size())));
        EXPECT_EQ(DXTR_compressDXT1(src.data(), unsigned(src.size()), dst.data(), unsigned(dst.size()) - 1), 0u);
        EXPECT_EQ(DXTR_compressDXT1(src.data(), unsigned(src.size()), dst.data(), unsigned(dst.size())), 12u);
    }

    struct DXTRRefusalCase
    {
        const char* name;
        bool dxt5;
        size_t size;
        bool random;
    };

    class DXTRRefusal : public ::testing::TestWithParam<DXTRRefusalCase>
    {
    };

    // Nothing smaller than the input can come out: one block, a partial
    // block, no input, or random bytes.
    TEST_P(DXTRRefusal, AnswersZero)
    {
        const DXTRRefusalCase& c = GetParam();
        Bytes src(c.size, 0x5A);
        std::mt19937 random(7);
        if (c.random)
            for (auto& byte : src)
                byte = std::uint8_t(random());
        Bytes dst(DXTR_compressBound(unsigned(src.size())) + 64, 0xEE);
        EXPECT_EQ(c.dxt5 ? DXTR_compressDXT5(src.data(), unsigned(src.size()), dst.data(), unsigned(dst.size()))
                         : DXTR_compressDXT1(src.data(), unsigned(src.size()), dst.data(), unsigned(dst.size())),
                  0u);
    }

    INSTANTIATE_TEST_SUITE_P(Inputs, DXTRRefusal,
                             ::testing::Values(DXTRRefusalCase{"DXT1Empty", false, 0, false},
                                               DXTRRefusalCase{"DXT1HalfBlock", false, 4, false},
                                               DXTRRefusalCase{"DXT1OneBlock", false, 8, false},
                                               DXTRRefusalCase{"DXT1BlockAndAHalf", false, 12, false},
                                               DXTRRefusalCase{"DXT1Random", false, 8 * 4096, true},
                                               DXTRRefusalCase{"DXT5OneBlock", true, 16, false},
                                               DXTRRefusalCase{"DXT5BlockAndAHalf", true, 24, false},
                                               DXTRRefusalCase{"DXT5Random", true, 16 * 4096, true}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(DXTRCompress, NullArgumentsAnswerZero)
    {
        Bytes src;
        appendBlocks(src, dxt1Block(1, 2), 16);
        Bytes dst(DXTR_compressBound(unsigned(src.size())));
        EXPECT_EQ(DXTR_compressDXT1(nullptr, unsigned(src.size()), dst.data(), unsigned(dst.size())), 0u);
        EXPECT_EQ(DXTR_compressDXT5(src.data(), unsigned(src.size()), nullptr, unsigned(dst.size())), 0u);
        EXPECT_EQ(DXTR_compressDXT1_Workspace(nullptr, src.data(), unsigned(src.size()), dst.data(),
                                              unsigned(dst.size())),
                  0u);
        DXTR_freeWorkspace(nullptr);
    }

    // The tables start empty on every call: a reused work area gives the same bytes.
    TEST(DXTRCompress, ReusedWorkspaceGivesTheSameBytes)
    {
        const Bytes src = mixedBlocks(true, 600, 11);
        void* workspace = DXTR_createWorkspace();
        ASSERT_NE(workspace, nullptr);
        Bytes first(DXTR_compressBound(unsigned(src.size()))), second(first.size());
        const unsigned a = DXTR_compressDXT5_Workspace(workspace, src.data(), unsigned(src.size()), first.data(),
                                                       unsigned(first.size()));
        const unsigned b = DXTR_compressDXT5_Workspace(workspace, src.data(), unsigned(src.size()), second.data(),
                                                       unsigned(second.size()));
        DXTR_freeWorkspace(workspace);
        ASSERT_GT(a, 0u);
        ASSERT_EQ(a, b);
        EXPECT_EQ(0, std::memcmp(first.data(), second.data(), a));
    }

    //==============================================================================
    // Golden streams

    TEST(DXTRGolden, SixteenEqualDXT1BlocksAreTheBlockAndOneCodeWord)
    {
        const Bytes block = dxt1Block(0x11223344, 0x55667788);
        Bytes src;
        appendBlocks(src, block, 16);
        Bytes expected = block;
        expected.insert(expected.end(), {0x55, 0x55, 0x55, 0x15});
        EXPECT_EQ(roundTrip(src, false), expected);
    }

    TEST(DXTRGolden, SixteenEqualDXT5BlocksAreTheBlockAndOneRun)
    {
        const Bytes block = dxt5Block(0xA1A2A3A4, 0xB1B2B3B4, 0x11223344, 0x55667788);
        Bytes src;
        appendBlocks(src, block, 16);
        Bytes expected = block;
        expected.insert(expected.end(), {0x00, 0x00, 0x00, 0x00, 0x0E});
        EXPECT_EQ(roundTrip(src, true), expected);
    }

    struct DXTRCountCase
    {
        const char* name;
        bool run; // a block run, else an alpha repeat
        size_t length; // run length, or repeat count
        Bytes countBytes;
    };

    class DXTRCounts : public ::testing::TestWithParam<DXTRCountCase>
    {
    };

    // After the first block and the first code word comes the count of block
    // 1's run or alpha repeat.
    TEST_P(DXTRCounts, AreWrittenAfterTheFirstCodeWord)
    {
        const DXTRCountCase& c = GetParam();
        Bytes src = dxt5Block(0x01020304, 0x05060708, 0x0A0B0C0D, 0x0E0F1011);
        if (c.run)
            appendBlocks(src, src, c.length);
        else
        {
            for (size_t k = 0; k <= c.length; ++k) // repeat count + 1 blocks share block 0's alpha
                appendBlocks(src, dxt5Block(0x01020304, 0x05060708, 0x40000000u + std::uint32_t(k) * 0x10001u,
                                            0x80000000u + std::uint32_t(k) * 0x3001u),
                             1);
        }
        const Bytes packed = roundTrip(src, true);
        ASSERT_GE(packed.size(), 20 + c.countBytes.size());
        EXPECT_EQ(Bytes(packed.begin() + 20, packed.begin() + 20 + long(c.countBytes.size())), c.countBytes);
        if (c.run)
        {
            EXPECT_EQ(packed.size(), 20 + c.countBytes.size());
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Boundaries, DXTRCounts,
        ::testing::Values(DXTRCountCase{"Run255", true, 255, {0xFE}}, DXTRCountCase{"Run256", true, 256, {0xFF, 0, 0}},
                          DXTRCountCase{"Run257", true, 257, {0xFF, 1, 0}},
                          DXTRCountCase{"Run65790", true, 65790, {0xFF, 0xFE, 0xFF}},
                          DXTRCountCase{"Run65791", true, 65791, {0xFF, 0xFF, 0xFF, 0, 0}},
                          DXTRCountCase{"Repeat254", false, 254, {0xFE}},
                          DXTRCountCase{"Repeat255", false, 255, {0xFF, 0, 0}},
                          DXTRCountCase{"Repeat300", false, 300, {0xFF, 0x2D, 0}},
                          DXTRCountCase{"Repeat65790", false, 65790, {0xFF, 0xFF, 0xFF, 0, 0}}),
        [](const auto& info) { return std::string(info.param.name); });

    struct DXTRDistanceCase
    {
        const char* name;
        bool dxt5;
        size_t distance; // blocks between the two equal blocks
        Bytes tail;      // the stream's last bytes
    };

    class DXTRDistances : public ::testing::TestWithParam<DXTRDistanceCase>
    {
    };

    // Block X, distance - 1 filler blocks, X again: the second X refers back
    // over the whole distance with the class's extra bytes, or is written
    // out when too far.
    TEST_P(DXTRDistances, PickTheClassOfTheDistance)
    {
        const DXTRDistanceCase& c = GetParam();
        const Bytes x = c.dxt5 ? dxt5Block(0xC0C1C2C3, 0xC4C5C6C7, 0x13572468, 0x24681357)
                               : dxt1Block(0x13572468, 0x24681357);
        const Bytes filler = c.dxt5 ? dxt5Block(0xF0F1F2F3, 0xF4F5F6F7, 0x7E7E0101, 0x0F0F0F0F)
                                    : dxt1Block(0x7E7E0101, 0x0F0F0F0F);
        Bytes src = x;
        appendBlocks(src, filler, c.distance - 1);
        appendBlocks(src, x, 1);
        EXPECT_EQ(tail(roundTrip(src, c.dxt5), c.tail.size()), c.tail);
    }

    INSTANTIATE_TEST_SUITE_P(
        Classes, DXTRDistances,
        ::testing::Values(
            DXTRDistanceCase{"DXT1Previous", false, 1, {0x01, 0x00, 0x00, 0x00}},
            DXTRDistanceCase{"DXT1Two", false, 2, {0x00}}, DXTRDistanceCase{"DXT1TwoFiftySeven", false, 257, {0xFF}},
            DXTRDistanceCase{"DXT1TwoFiftyEight", false, 258, {0x00, 0x00}},
            DXTRDistanceCase{"DXT1Farthest", false, 65793, {0xFF, 0xFF}},
            DXTRDistanceCase{"DXT1TooFar", false, 65794, {0x57, 0x13, 0x68, 0x24}},
            // Alpha half (n = distance - 2), then the colour half's extra bytes.
            DXTRDistanceCase{"DXT5Two", true, 2, {0x00, 0x00, 0x00}},
            DXTRDistanceCase{"DXT5TwoFiftySeven", true, 257, {0xFF, 0x00, 0xFF}},
            DXTRDistanceCase{"DXT5TwoFiftyEight", true, 258, {0x00, 0x01, 0x00, 0x00}},
            DXTRDistanceCase{"DXT5FarthestAlpha", true, 65537, {0xFF, 0xFF, 0xFF, 0xFE}},
            DXTRDistanceCase{"DXT5AlphaTooFar", true, 65538, {0xC6, 0xC5, 0xC4, 0x00, 0xFF}},
            DXTRDistanceCase{"DXT5Farthest", true, 65793, {0xC6, 0xC5, 0xC4, 0xFF, 0xFF}},
            DXTRDistanceCase{"DXT5TooFar", true, 65794, {0x57, 0x13, 0x68, 0x24}}),
        [](const auto& info) { return std::string(info.param.name); });

    // Only the alpha half differs from the previous block: the colour half
    // refers to it (code 1, nothing more), after the alpha literal.
    TEST(DXTRGolden, DXT5ColourHalfOfThePreviousBlock)
    {
        Bytes src = dxt5Block(0x11111111, 0x22222222, 0x33333333, 0x44444444);
        appendBlocks(src, dxt5Block(0x55555555, 0x66666666, 0x33333333, 0x44444444), 1);
        Bytes expected(src.begin(), src.begin() + 16);
        expected.insert(expected.end(), {0x07, 0, 0, 0}); // codes 3 (alpha literal), 1 (colour half)
        appendBlocks(expected, dxt1Block(0x55555555, 0x66666666), 1);
        EXPECT_EQ(roundTrip(src, true), expected);
    }

    //==============================================================================
    // Decoders

    struct DXTRSizeCase
    {
        const char* name;
        bool dxt5;
        long shortBy; // dstSize = whole size - shortBy, or, when negative, -shortBy bytes
        unsigned answer;
    };

    class DXTRDecodeSize : public ::testing::TestWithParam<DXTRSizeCase>
    {
    };

    // Exactly dstSize bytes are written, however the blocks fall.
    TEST_P(DXTRDecodeSize, FillsExactlyDstSize)
    {
        const DXTRSizeCase& c = GetParam();
        const Bytes src = mixedBlocks(c.dxt5, 400, 5);
        const Bytes packed = compress(src, c.dxt5);
        ASSERT_GT(packed.size(), 0u);
        const size_t size = c.shortBy >= 0 ? src.size() - size_t(c.shortBy) : size_t(-c.shortBy);
        Bytes out(size + 32, 0xEE);
        const unsigned used = c.dxt5 ? DXTR_uncompressDXT5(packed.data(), unsigned(packed.size()), out.data(),
                                                            int(size))
                                     : DXTR_uncompressDXT1(packed.data(), unsigned(packed.size()), out.data(),
                                                            int(size));
        EXPECT_EQ(used, c.answer == 0 ? packed.size() : c.answer);
        EXPECT_EQ(0, std::memcmp(out.data(), src.data(), size));
        for (size_t i = size; i < out.size(); ++i)
            ASSERT_EQ(out[i], 0xEE) << "byte " << i << " past dstSize written";
    }

    INSTANTIATE_TEST_SUITE_P(Sizes, DXTRDecodeSize,
                             ::testing::Values(DXTRSizeCase{"DXT1Whole", false, 0, 0},
                                               DXTRSizeCase{"DXT1PartialLastBlock", false, 3, 0},
                                               DXTRSizeCase{"DXT1OneBlock", false, -8, 8},
                                               DXTRSizeCase{"DXT1BelowOneBlock", false, -5, 8},
                                               DXTRSizeCase{"DXT5Whole", true, 0, 0},
                                               DXTRSizeCase{"DXT5PartialLastBlock", true, 9, 0},
                                               DXTRSizeCase{"DXT5OneBlock", true, -16, 16},
                                               DXTRSizeCase{"DXT5BelowOneBlock", true, -3, 16}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(DXTRDecode, TrailingBytesAreNotCounted)
    {
        for (bool dxt5 : {false, true})
        {
            const Bytes src = mixedBlocks(dxt5, 300, 9);
            Bytes packed = compress(src, dxt5);
            const size_t size = packed.size();
            packed.insert(packed.end(), 40, 0x77);
            Bytes out(src.size());
            EXPECT_EQ(decode(packed, out, dxt5), size);
            EXPECT_TRUE(out == src);
        }
    }

    TEST(DXTRDecode, EveryTruncationAnswersZero)
    {
        for (bool dxt5 : {false, true})
        {
            const Bytes src = mixedBlocks(dxt5, 200, 3);
            const Bytes packed = compress(src, dxt5);
            ASSERT_GT(packed.size(), 0u);
            for (size_t size = 0; size < packed.size(); ++size)
            {
                // A copy of exactly that size, so a read past it shows under ASan.
                const Bytes cut(packed.begin(), packed.begin() + long(size));
                Bytes out(src.size());
                ASSERT_EQ(decode(cut, out, dxt5), 0u) << (dxt5 ? "DXT5" : "DXT1") << " cut to " << size;
            }
        }
    }

    struct DXTRCorruptCase
    {
        const char* name;
        bool dxt5;
        Bytes afterFirstBlock;
        int blocks; // blocks to decode
    };

    class DXTRCorrupt : public ::testing::TestWithParam<DXTRCorruptCase>
    {
    };

    TEST_P(DXTRCorrupt, AnswersZero)
    {
        const DXTRCorruptCase& c = GetParam();
        Bytes stream(c.dxt5 ? 16 : 8, 0x3C);
        stream.insert(stream.end(), c.afterFirstBlock.begin(), c.afterFirstBlock.end());
        Bytes out(size_t(c.blocks) * (c.dxt5 ? 16 : 8));
        EXPECT_EQ(decode(stream, out, c.dxt5), 0u);
    }

    INSTANTIATE_TEST_SUITE_P(
        Streams, DXTRCorrupt,
        ::testing::Values(
            // Code 2 (distance 2 + byte) from block 1: before the start.
            DXTRCorruptCase{"DXT1BlockBeforeStart", false, {0x02, 0, 0, 0, 0x00}, 2},
            DXTRCorruptCase{"DXT1FarBlockBeforeStart", false, {0x03, 0, 0, 0, 0x00, 0x00}, 2},
            // Code 0, then the colour word from block 1 back: fine; the
            // index word from 3 blocks back: not.
            DXTRCorruptCase{"DXT1WordBeforeStart", false, {0x24, 0, 0, 0, 0x01}, 2},
            DXTRCorruptCase{"DXT1MissingLiteral", false, {0x00, 0, 0, 0, 0x01, 0x02}, 2},
            DXTRCorruptCase{"DXT1MissingCodeWord", false, {0x01, 0x00}, 2},
            // Alpha from n + 2 = 2 blocks back at block 1.
            DXTRCorruptCase{"DXT5AlphaBeforeStart", true, {0x02, 0, 0, 0, 0x00, 0x00}, 2},
            DXTRCorruptCase{"DXT5RunCountCut", true, {0x00, 0, 0, 0, 0xFF, 0xFF}, 4},
            DXTRCorruptCase{"DXT5RepeatChainCut", true, {0x01, 0, 0, 0, 0xFF, 0xFF, 0xFF}, 4},
            DXTRCorruptCase{"DXT5ColourBeforeStart", true, {0x09, 0, 0, 0, 0x00, 0x00}, 2},
            // The same with stream to spare, which the decoders read another way.
            DXTRCorruptCase{"DXT1LongBlockBeforeStart", false, {0x02, 0, 0, 0, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 3},
            DXTRCorruptCase{"DXT1LongWordBeforeStart", false, {0x24, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 3},
            DXTRCorruptCase{"DXT5LongColourBeforeStart", true, {0x09, 0, 0, 0, 0x00, 0x05, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 3}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(DXTRDecode, NothingToDecodeIntoAnswersZero)
    {
        const Bytes block(16, 1);
        Bytes out(16, 0xEE);
        EXPECT_EQ(DXTR_uncompressDXT1(block.data(), 16, out.data(), 0), 0u);
        EXPECT_EQ(DXTR_uncompressDXT5(block.data(), 16, out.data(), -1), 0u);
        EXPECT_EQ(DXTR_uncompressDXT1(block.data(), 7, out.data(), 8), 0u);
        EXPECT_EQ(DXTR_uncompressDXT5(block.data(), 15, out.data(), 16), 0u);
        EXPECT_EQ(DXTR_uncompressDXT1(nullptr, 16, out.data(), 8), 0u);
        EXPECT_EQ(out, Bytes(16, 0xEE));
    }

    //==============================================================================
    // Round trips

    struct DXTRMixedCase
    {
        const char* name;
        bool dxt5;
        std::uint32_t seed;
        size_t blocks;
    };

    class DXTRMixedRoundTrip : public ::testing::TestWithParam<DXTRMixedCase>
    {
    };

    TEST_P(DXTRMixedRoundTrip, IsExact)
    {
        const DXTRMixedCase& c = GetParam();
        roundTrip(mixedBlocks(c.dxt5, c.blocks, c.seed), c.dxt5);
    }

    INSTANTIATE_TEST_SUITE_P(Seeds, DXTRMixedRoundTrip,
                             ::testing::Values(DXTRMixedCase{"DXT1Small", false, 1, 40},
                                               DXTRMixedCase{"DXT1Seed2", false, 2, 3000},
                                               DXTRMixedCase{"DXT1Seed3", false, 3, 5000},
                                               DXTRMixedCase{"DXT5Small", true, 1, 40},
                                               DXTRMixedCase{"DXT5Seed2", true, 2, 3000},
                                               DXTRMixedCase{"DXT5Seed3", true, 3, 5000}),
                             [](const auto& info) { return std::string(info.param.name); });

    struct DXTRPictureCase
    {
        dxt::Picture picture;
        bool dxt5;
    };

    class DXTRPictureRoundTrip : public ::testing::TestWithParam<DXTRPictureCase>
    {
    };

    // What the frame codec feeds it: DXT blocks of video-like pictures.
    TEST_P(DXTRPictureRoundTrip, IsExact)
    {
        const DXTRPictureCase& c = GetParam();
        const int width = 96, height = 64;
        const Bytes rgba = dxt::makePicture(c.picture, width, height, 21);
        Bytes blocks(size_t(width / 4) * (height / 4) * (c.dxt5 ? 16 : 8));
        qmv::rygCompress(blocks.data(), rgba.data(), width, height, c.dxt5 ? 1 : 0);
        const Bytes packed = compress(blocks, c.dxt5);
        if (packed.empty())
        {
            // Nothing to gain on this picture: the caller stores it raw.
            EXPECT_EQ(c.picture, dxt::Picture::noise);
            return;
        }
        Bytes out(blocks.size());
        EXPECT_EQ(decode(packed, out, c.dxt5), packed.size());
        EXPECT_TRUE(out == blocks);
    }

    INSTANTIATE_TEST_SUITE_P(
        Pictures, DXTRPictureRoundTrip,
        ::testing::Values(DXTRPictureCase{dxt::Picture::gradient, false}, DXTRPictureCase{dxt::Picture::edges, false},
                          DXTRPictureCase{dxt::Picture::tiles, false}, DXTRPictureCase{dxt::Picture::noise, false},
                          DXTRPictureCase{dxt::Picture::video, false}, DXTRPictureCase{dxt::Picture::gradient, true},
                          DXTRPictureCase{dxt::Picture::edges, true}, DXTRPictureCase{dxt::Picture::tiles, true},
                          DXTRPictureCase{dxt::Picture::alphaRamp, true}, DXTRPictureCase{dxt::Picture::noise, true},
                          DXTRPictureCase{dxt::Picture::video, true}),
        [](const auto& info) {
            return std::string(info.param.dxt5 ? "DXT5_" : "DXT1_") + dxt::pictureName(info.param.picture);
        });
}
