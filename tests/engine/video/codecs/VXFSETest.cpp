#include "engine/video/codecs/VXFSE.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vx::test
{
    namespace
    {
        using Bytes = std::vector<std::uint8_t>;

        Bytes compress(const Bytes& data, int nbSymbols = 256)
        {
            Bytes out(data.size() + 1);
            const int size =
                FSE_compress_Nsymbols(out.data(), data.data(), static_cast<int>(data.size()), nbSymbols);
            out.resize(static_cast<size_t>(size));
            return out;
        }

        // Decodes, checking that exactly the block's bytes are used and
        // exactly size bytes written.
        Bytes decompress(const Bytes& block, size_t size)
        {
            Bytes out(size + 16, 0xEE);
            const int used = FSE_decompress(out.data(), static_cast<int>(size), block.data(),
                                            static_cast<int>(block.size()));
            EXPECT_EQ(used, static_cast<int>(block.size()));
            EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(size), out.end(),
                                    [](std::uint8_t b) { return b == 0xEE; }));
            out.resize(size);
            return out;
        }

        // Forty symbols 0, 1, 2 (24, 12 and 4 of them) in a shuffled order.
        const Bytes fortySymbols = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 1, 0, 2, 0, 0, 1, 1, 1,
                                    0, 1, 0, 1, 2, 0, 0, 0, 1, 0, 1, 2, 0, 0, 1, 0, 0, 1, 0, 0};
    }

    TEST(FSEBlocks, DistributionTotal)
    {
        EXPECT_EQ(FSE_getDistributionTotal(), 1024);
    }

    TEST(FSEBlocks, EqualBytesGiveASingleSymbolBlock)
    {
        const Bytes block = compress(Bytes(1000, 0x5A));
        EXPECT_EQ(block, (Bytes{0x01, 0x5A}));
        EXPECT_EQ(decompress(block, 1000), Bytes(1000, 0x5A));
    }

    TEST(FSEBlocks, OneByteAndNothingAreStoredRaw)
    {
        EXPECT_EQ(compress(Bytes{0x42}), (Bytes{0x00, 0x42}));
        EXPECT_EQ(compress(Bytes{}), Bytes{0x00});
        EXPECT_EQ(decompress(Bytes{0x00}, 0), Bytes{});
    }

    TEST(FSEBlocks, RandomBytesAreStoredRaw)
    {
        std::mt19937 random(21);
        Bytes data(4096);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(random());
        const Bytes block = compress(data);
        ASSERT_EQ(block.size(), 4097u);
        EXPECT_EQ(block[0], 0x00);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), block.begin() + 1));
        EXPECT_EQ(decompress(block, data.size()), data);
    }

    // Normalised counts 614, 308, 102: header words 0x499A 0x0CD3 (mode 2,
    // 614 in 10 bits, 308 in 9, 102 in 8), B = 93, then 61 bits of stream.
    TEST(FSEBlocks, CodedBlockBytes)
    {
        const Bytes expected = {0x9A, 0x49, 0xD3, 0x0C, 0x5D, 0x00, 0x00, 0x00,
                                0x46, 0xF2, 0x04, 0x98, 0xD7, 0x08, 0xA0, 0x1A};
        EXPECT_EQ(compress(fortySymbols), expected);
        EXPECT_EQ(compress(fortySymbols, 3), expected) << "the alphabet only changes the smoothing";
        EXPECT_EQ(decompress(expected, fortySymbols.size()), fortySymbols);

        const std::uint16_t counts[3] = {614, 308, 102};
        Bytes stream(32);
        ASSERT_EQ(FSE_encode_generic(stream.data(), fortySymbols.data(), 40, counts, 3, 32), 12);
        EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + 12, expected.begin() + 4));
        Bytes symbols(40);
        EXPECT_EQ(FSE_decode_generic(symbols.data(), 40, expected.data() + 4, counts, 3, 12), 12);
        EXPECT_EQ(symbols, fortySymbols);
    }

    // Inputs a block decoder must refuse: each answers 0.
    struct MalformedCase
    {
        const char* name;
        Bytes block;
        int size;
    };

    class FSEMalformed : public ::testing::TestWithParam<MalformedCase>
    {
    };

    TEST_P(FSEMalformed, IsRefused)
    {
        const MalformedCase& c = GetParam();
        Bytes out(static_cast<size_t>(std::max(c.size, 1)));
        EXPECT_EQ(FSE_decompress(out.data(), c.size, c.block.data(), static_cast<int>(c.block.size())), 0);
    }

    namespace
    {
        Bytes withByte(Bytes b, size_t at, std::uint8_t value)
        {
            b[at] = value;
            return b;
        }

        Bytes truncated(Bytes b, size_t size)
        {
            b.resize(size);
            return b;
        }

        Bytes countsShort()
        {
            Bytes b(1024, 0);
            b[0] = 0x9A;
            b[1] = 0x49;
            b[2] = 0x13;
            return b;
        }

        const Bytes goodBlock = {0x9A, 0x49, 0xD3, 0x0C, 0x5D, 0x00, 0x00, 0x00,
                                 0x46, 0xF2, 0x04, 0x98, 0xD7, 0x08, 0xA0, 0x1A};
    }

    INSTANTIATE_TEST_SUITE_P(
        Blocks, FSEMalformed,
        ::testing::Values(
            MalformedCase{"Empty", {}, 0}, MalformedCase{"ModeThree", {0x03, 0x00, 0x00, 0x00}, 1},
            MalformedCase{"RawShort", {0x00, 1, 2}, 3}, MalformedCase{"SingleWithoutSymbol", {0x01}, 5},
            // 614 + 308 + 103 overruns what is left after 614 + 308.
            MalformedCase{"CountsOverrun", withByte(goodBlock, 2, 0xF3), 40},
            // Counts 614 and 308 and then zeros up to symbol 255: never 1024.
            MalformedCase{"CountsShort", countsShort(), 40},
            MalformedCase{"HeaderTruncated", truncated(goodBlock, 3), 40},
            MalformedCase{"StreamTruncated", truncated(goodBlock, 15), 40},
            MalformedCase{"BitCountBeyondInput", withByte(goodBlock, 4, 0x65), 40},
            MalformedCase{"BitCountBelowState", withByte(goodBlock, 4, 41), 40},
            // The same stream read as more symbols than it holds runs out of bits.
            MalformedCase{"MoreSymbolsThanBits", goodBlock, 41},
            // Or as far fewer, leaving bits unread (the last symbol coded, a 0,
            // took no bits: 39 would be read in full).
            MalformedCase{"FewerSymbolsThanBits", goodBlock, 20}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(FSEBlocks, EncodersRefuseWhatTheyCannotCode)
    {
        Bytes out(64);
        const std::uint16_t counts[3] = {614, 410, 0};
        EXPECT_EQ(FSE_encode_generic(out.data(), fortySymbols.data(), 40, counts, 3, 64), 0) << "symbol 2 has no state";
        const std::uint16_t notDistribution[3] = {614, 308, 100};
        EXPECT_EQ(FSE_encode_generic(out.data(), fortySymbols.data(), 40, notDistribution, 3, 64), 0);
        const std::uint16_t good[3] = {614, 308, 102};
        EXPECT_EQ(FSE_encode_generic(out.data(), fortySymbols.data(), 40, good, 3, 11), 0) << "one byte short";
        EXPECT_EQ(FSE_decode_generic(out.data(), 40, goodBlock.data() + 4, notDistribution, 3, 12), 0);

        // A symbol beyond the alphabet: stored raw rather than coded.
        Bytes data(100, 1);
        data[50] = 20;
        const Bytes block = compress(data, 18);
        EXPECT_EQ(block.size(), 101u);
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(compress(data, 0).size(), 0u);
    }

    TEST(FSEBlocks, CapacityIsHonoured)
    {
        Bytes out(128, 0xEE);
        EXPECT_EQ(FSE_compress_Nsymbols(out.data(), fortySymbols.data(), 40, 256, 15), 0);
        EXPECT_TRUE(std::all_of(out.begin() + 15, out.end(), [](std::uint8_t b) { return b == 0xEE; }));
        EXPECT_EQ(FSE_compress_Nsymbols(out.data(), fortySymbols.data(), 40, 256, 16), 16);
        EXPECT_EQ(FSE_compress_Nsymbols(out.data(), Bytes(10, 3).data(), 10, 256, 1), 0);
        std::mt19937 random(5);
        Bytes noise(100);
        for (auto& b : noise)
            b = static_cast<std::uint8_t>(random());
        EXPECT_EQ(FSE_compress_Nsymbols(out.data(), noise.data(), 100, 256, 100), 0) << "raw needs 101";
    }

    // Round trips of seeded data: shape x size.
    struct RoundTripCase
    {
        const char* name;
        int nbSymbols; // alphabet handed to the coder
        int size;
        // Symbol generator kind: 0 skewed over 256, 1 two symbols (1 in 50 is
        // the rarer), 2 eighteen symbols, geometric.
        int kind;
    };

    class FSERoundTrip : public ::testing::TestWithParam<RoundTripCase>
    {
    };

    TEST_P(FSERoundTrip, RestoresTheInput)
    {
        const RoundTripCase& c = GetParam();
        std::mt19937 random(static_cast<unsigned>(c.size * 31 + c.kind));
        Bytes data(static_cast<size_t>(c.size));
        std::geometric_distribution<int> geometric(c.kind == 0 ? 0.08 : 0.35);
        for (auto& b : data)
        {
            if (c.kind == 1)
                b = random() % 50 == 0 ? 7 : 3;
            else
                b = static_cast<std::uint8_t>(std::min(geometric(random), c.kind == 0 ? 255 : 17));
        }
        const Bytes block = compress(data, c.nbSymbols);
        ASSERT_GT(block.size(), 0u);
        ASSERT_LE(block.size(), data.size() + 1);
        EXPECT_EQ(decompress(block, data.size()), data);
        if (c.size >= 4096)
        {
            EXPECT_EQ(block[0] & 3, 2) << "large skewed inputs are coded";
        }
    }

    INSTANTIATE_TEST_SUITE_P(Shapes, FSERoundTrip,
                             ::testing::Values(RoundTripCase{"Skewed2", 256, 2, 0}, RoundTripCase{"Skewed3", 256, 3, 0},
                                               RoundTripCase{"Skewed100", 256, 100, 0},
                                               RoundTripCase{"Skewed4096", 256, 4096, 0},
                                               RoundTripCase{"Skewed3M", 256, 3000000, 0},
                                               RoundTripCase{"Two2", 256, 2, 1}, RoundTripCase{"Two64", 256, 64, 1},
                                               RoundTripCase{"Two5000", 256, 5000, 1},
                                               RoundTripCase{"Two4M", 256, 4000000, 1},
                                               RoundTripCase{"Eighteen2", 18, 2, 2},
                                               RoundTripCase{"Eighteen77", 18, 77, 2},
                                               RoundTripCase{"Eighteen65536", 18, 65536, 2},
                                               RoundTripCase{"Eighteen2M", 18, 2000000, 2}),
                             [](const auto& info) { return std::string(info.param.name); });

    // A dominant symbol and 255 that occur once each in a few million bytes:
    // smoothing gives each rare one a share just below one state, so the
    // carried rounding leaves some of them none. Such a block is stored raw.
    TEST(FSEBlocks, RareSymbolsRoundedAwayGiveARawBlock)
    {
        Bytes data(4000000, 0);
        for (int s = 1; s < 256; ++s)
            data[static_cast<size_t>(s) * 15000] = static_cast<std::uint8_t>(s);
        const Bytes block = compress(data);
        ASSERT_EQ(block.size(), data.size() + 1);
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(decompress(block, data.size()), data);
    }

    TEST(FSEBlocks, EveryTruncationOfACodedBlockIsRefused)
    {
        std::mt19937 random(9);
        std::geometric_distribution<int> geometric(0.3);
        Bytes data(3000);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(std::min(geometric(random), 17));
        const Bytes block = compress(data, 18);
        ASSERT_EQ(block[0] & 3, 2);
        Bytes out(data.size());
        for (size_t size = 0; size < block.size(); ++size)
            EXPECT_EQ(FSE_decompress(out.data(), 3000, block.data(), static_cast<int>(size)), 0) << size;
    }
}
