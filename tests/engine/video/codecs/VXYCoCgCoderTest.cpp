#include "engine/video/codecs/VXYCoCgCoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "engine/video/codecs/VXBC5Coder.h"
#include "engine/video/codecs/VXFSE.h"
#include "engine/video/codecs/VXYCoCgBlocks.h"
#include "engine/video/codecs/VXYCoCgTestCorpus.h"

namespace vx::test
{
    namespace
    {
        Bytes u32(std::uint32_t v)
        {
            return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                    static_cast<std::uint8_t>(v >> 24)};
        }

        Bytes repeat(const Bytes& block, int times)
        {
            Bytes all;
            for (int i = 0; i < times; ++i)
                all.insert(all.end(), block.begin(), block.end());
            return all;
        }

        // The coder's own workplace for a stream of blockCount blocks.
        struct Workplace
        {
            explicit Workplace(int size) { EXPECT_TRUE(YCOCG_allocateWorkplace(&w, size)); }
            ~Workplace() { YCOCG_freeWorkplace(&w); }
            YCoCgWorkplace w;
        };

        Bytes bc4Compress(const Bytes& blocks)
        {
            const int count = static_cast<int>(blocks.size() / 8);
            Workplace workplace(count);
            Bytes out(blocks.size() * 2 + 64);
            out.resize(static_cast<size_t>(
                BC4_Compress(out.data(), static_cast<int>(out.size()), blocks.data(), count, &workplace.w)));
            return out;
        }

        Bytes bc5Compress(const Bytes& blocks)
        {
            const int count = static_cast<int>(blocks.size() / 16);
            Workplace workplace(2 * count);
            Bytes out(blocks.size() * 2 + 64);
            out.resize(static_cast<size_t>(
                BC5_Compress(out.data(), static_cast<int>(out.size()), blocks.data(), count, &workplace.w)));
            return out;
        }

        // Decodes a stream of blockBytes-byte blocks; the answer must be the
        // whole stream, and nothing past the blocks may be written.
        Bytes streamDecompress(const Bytes& stream, int count, int blockBytes)
        {
            Workplace workplace(blockBytes == 8 ? count : 2 * count);
            Bytes out(static_cast<size_t>(count) * blockBytes + 8, 0xEE);
            const int used = blockBytes == 8 ? BC4_Decompress(out.data(), count, stream.data(), &workplace.w,
                                                              static_cast<int>(stream.size()))
                                             : BC5_Decompress(out.data(), count, stream.data(), &workplace.w,
                                                              static_cast<int>(stream.size()));
            EXPECT_EQ(used, static_cast<int>(stream.size()));
            EXPECT_EQ(Bytes(out.end() - 8, out.end()), Bytes(8, 0xEE));
            out.resize(static_cast<size_t>(count) * blockBytes);
            return out;
        }

        // Symbol stream `which` (0 = A) of a stream with `halves` halves per block.
        Bytes symbolsOf(const Bytes& stream, int halves, int which)
        {
            std::uint32_t at, counts[2];
            std::memcpy(&at, stream.data(), 4);
            std::memcpy(counts, stream.data() + 4, 4 * static_cast<size_t>(halves));
            Bytes symbols;
            for (int h = 0; h <= which; ++h)
            {
                symbols.assign(counts[h], 0);
                const int used = FSE_decompress(symbols.data(), static_cast<int>(counts[h]), stream.data() + at,
                                                static_cast<int>(stream.size() - at));
                EXPECT_GT(used, 0);
                at += static_cast<std::uint32_t>(used);
            }
            return symbols;
        }

        const Bytes halfA = {0x34, 0x12, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
        const Bytes halfB = {0x78, 0x56, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26};

        Bytes literal(int i)
        {
            return {static_cast<std::uint8_t>(0x90 + i), 0x40, static_cast<std::uint8_t>(0x50 + i), 0x51, 0x52,
                    static_cast<std::uint8_t>(0x60 + i), 0x61, 0x62};
        }
    }

    // A flat 16 x 16 frame: a Y stream of 19 bytes (one run of 15 blocks,
    // count byte 11, its one symbol stored raw) and a chroma stream of 32
    // (each half of blocks 1-3 repeats: three symbols 1 per stream).
    TEST(YCoCgPlaneCoder, FlatFrameGivesTheKnownBytes)
    {
        const Bytes rgba = repeat({90, 60, 30, 255}, 256);
        Bytes planes(192);
        ASSERT_EQ(YCoCg6_Convertfrom_RGBA32(rgba.data(), 16, 16, planes.data()), 0);
        const Bytes yBlock(planes.begin(), planes.begin() + 8);
        const Bytes chromaBlock(planes.begin() + 128, planes.begin() + 144);
        ASSERT_EQ(Bytes(planes.begin(), planes.begin() + 128), repeat(yBlock, 16));
        ASSERT_EQ(Bytes(planes.begin() + 128, planes.end()), repeat(chromaBlock, 4));

        const Bytes expected = cat({u32(17), u32(1), yBlock, {11}, {0x00, 0x00}, u32(28), u32(3), u32(3),
                                    chromaBlock, {0x01, 0x01}, {0x01, 0x01}});
        ASSERT_EQ(expected.size(), 51u);
        Bytes packed(192 + 192 / 32 + 64);
        const int size = YCoCg6_compress(packed.data(), static_cast<int>(packed.size()), planes.data(), 192);
        packed.resize(static_cast<size_t>(std::max(size, 0)));
        EXPECT_EQ(packed, expected);

        Bytes back(192);
        EXPECT_EQ(YCoCg6_decompress(packed.data(), back.data(), static_cast<int>(packed.size()), 192), 51);
        EXPECT_EQ(back, planes);
    }

    struct TileSizeCase
    {
        const char* name;
        bool alpha;
        int size;
    };

    class YCoCgPlaneSizes : public ::testing::TestWithParam<TileSizeCase>
    {
    };

    TEST_P(YCoCgPlaneSizes, SizesThatAreNotWholeTilesAreRefused)
    {
        const TileSizeCase& c = GetParam();
        Bytes src(256, 7), dst(1024, 0xEE);
        const auto compress = c.alpha ? YACoCg10_compress : YCoCg6_compress;
        const auto decompress = c.alpha ? YACoCg10_decompress : YCoCg6_decompress;
        EXPECT_EQ(compress(dst.data(), 1024, src.data(), c.size), 0);
        EXPECT_EQ(dst, Bytes(1024, 0xEE)) << "nothing written";
        EXPECT_EQ(decompress(src.data(), dst.data(), 256, c.size), 0);
        EXPECT_EQ(dst, Bytes(1024, 0xEE));
    }

    INSTANTIATE_TEST_SUITE_P(Sizes, YCoCgPlaneSizes,
                             ::testing::Values(TileSizeCase{"YCoCg6Size100", false, 100},
                                               TileSizeCase{"YCoCg6Size0", false, 0},
                                               TileSizeCase{"YCoCg6Negative", false, -48},
                                               TileSizeCase{"YACoCg10Size48", true, 48},
                                               TileSizeCase{"YACoCg10Size100", true, 100},
                                               TileSizeCase{"YACoCg10Size0", true, 0}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(BC5Stream, OneBlockIsHeaderBlockAndTwoEmptyRawBlocks)
    {
        const Bytes block = cat({halfA, halfB});
        const Bytes stream = bc5Compress(block);
        EXPECT_EQ(stream, cat({u32(28), u32(0), u32(0), block, {0x00}, {0x00}}));
        EXPECT_EQ(stream.size(), 30u);
        EXPECT_EQ(streamDecompress(stream, 1, 16), block);
        Workplace workplace(2);
        EXPECT_EQ(BC5_Compress(Bytes(64).data(), 64, block.data(), 0, &workplace.w), 0) << "no blocks";
    }

    // A run of R halves, each equal to the one before it (block 0 and R
    // repeats): its symbols and count bytes.
    struct RunCase
    {
        const char* name;
        int repeats;
        Bytes symbolBlock;
        Bytes countBytes;
    };

    class BC4Runs : public ::testing::TestWithParam<RunCase>
    {
    };

    TEST_P(BC4Runs, AreCodedAsTheirLength)
    {
        const RunCase& c = GetParam();
        const Bytes blocks = repeat(halfA, c.repeats + 1);
        const Bytes stream = bc4Compress(blocks);
        const int symbols = c.repeats < 4 ? c.repeats : 1;
        EXPECT_EQ(stream, cat({u32(static_cast<std::uint32_t>(16 + c.countBytes.size())),
                               u32(static_cast<std::uint32_t>(symbols)), halfA, c.countBytes, c.symbolBlock}));
        EXPECT_EQ(streamDecompress(stream, c.repeats + 1, 8), blocks);
    }

    INSTANTIATE_TEST_SUITE_P(
        Lengths, BC4Runs,
        ::testing::Values(RunCase{"Three", 3, {0x01, 0x01}, {}}, RunCase{"Four", 4, {0x00, 0x00}, {0x00}},
                          RunCase{"Run258", 258, {0x00, 0x00}, {0xFE}},
                          RunCase{"Run259", 259, {0x00, 0x00}, {0xFF, 0x00, 0x00}},
                          RunCase{"Run65794", 65794, {0x00, 0x00}, {0xFF, 0xFF, 0xFF, 0x00, 0x00}},
                          RunCase{"Run65795", 65795, {0x00, 0x00}, {0xFF, 0xFF, 0xFF, 0x01, 0x00}}),
        [](const auto& info) { return std::string(info.param.name); });

    // E equal to the previous block's, index bytes never seen: symbol 13 and
    // the six index bytes.
    TEST(BC4Stream, PreviousEndpointsWithNewIndices)
    {
        const Bytes second = {0x34, 0x12, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16};
        const Bytes stream = bc4Compress(cat({halfA, second}));
        EXPECT_EQ(stream, cat({u32(22), u32(1), halfA, {0x11, 0x12, 0x13, 0x14, 0x15, 0x16}, {0x00, 0x0D}}));
        EXPECT_EQ(streamDecompress(stream, 2, 8), cat({halfA, second}));
    }

    // Blocks A, B, C, A: B is new (symbol 3, its 8 bytes); C has A's E (slot
    // 9 of the endpoint table) and A's I1 (slot 122 of the index table) and a
    // new I2 (symbol 9: the two slots and I2); the second A is found whole one
    // block further back than the previous (symbol 2, distance 2). The three
    // symbols are stored raw.
    TEST(BC4Stream, TablesAndDistancesGiveTheirSlotsAndDistances)
    {
        const Bytes c = {0x34, 0x12, 0x01, 0x02, 0x03, 0x44, 0x45, 0x46};
        const Bytes blocks = cat({halfA, halfB, c, halfA});
        const Bytes stream = bc4Compress(blocks);
        EXPECT_EQ(stream, cat({u32(31), u32(3), halfA, halfB, {9, 122, 0x44, 0x45, 0x46}, {0x02, 0x00},
                               {0x00, 0x03, 0x09, 0x02}}));
        EXPECT_EQ(streamDecompress(stream, 4, 8), blocks);
    }

    // First halves X X W, second halves Y Z Z: stream A gets 1 then 3, stream B
    // 3 then 1, and the raw bytes come block by block, first half first.
    TEST(BC5Stream, HalvesAreCodedIndependently)
    {
        const Bytes x = halfA, y = halfB, z = literal(1), w = literal(2);
        const Bytes blocks = cat({x, y, x, z, w, z});
        const Bytes stream = bc5Compress(blocks);
        EXPECT_EQ(stream, cat({u32(44), u32(2), u32(2), x, y, z, w, {0x00, 0x01, 0x03}, {0x00, 0x03, 0x01}}));
        EXPECT_EQ(streamDecompress(stream, 3, 16), blocks);
    }

    // A run of five first halves (one symbol 0, count 1, written with block 1)
    // while every second half is new.
    TEST(BC5Stream, APendingRunDoesNotHoldUpTheOtherHalf)
    {
        Bytes blocks = cat({halfA, halfB});
        Bytes raw = {0x01};
        for (int i = 1; i <= 5; ++i)
        {
            blocks = cat({blocks, halfA, literal(i)});
            raw = cat({raw, literal(i)});
        }
        const Bytes stream = bc5Compress(blocks);
        EXPECT_EQ(stream, cat({u32(static_cast<std::uint32_t>(28 + raw.size())), u32(1), u32(5), halfA, halfB, raw,
                               {0x00, 0x00}, {0x01, 0x03}}));
        EXPECT_EQ(streamDecompress(stream, 6, 16), blocks);
    }

    TEST(BC4Stream, AStreamEndingInARunHasNothingAfterItsCount)
    {
        const Bytes blocks = cat({halfA, halfB, repeat(literal(3), 6)});
        const Bytes stream = bc4Compress(blocks);
        // Five repeats: count 1, then the three symbols 3, 3, 0 stored raw.
        EXPECT_EQ(stream, cat({u32(33), u32(3), halfA, halfB, literal(3), {0x01}, {0x00, 0x03, 0x03, 0x00}}));
        EXPECT_EQ(streamDecompress(stream, 8, 8), blocks);
    }

    // Frames of the corpus through the texture stage and both plane coders.
    struct FrameCase
    {
        const char* name;
        Scene scene;
        int width, height;
    };

    class YCoCgPlaneRoundTrip : public ::testing::TestWithParam<FrameCase>
    {
    };

    TEST_P(YCoCgPlaneRoundTrip, RestoresThePlanesExactly)
    {
        const FrameCase& c = GetParam();
        const Bytes rgba = makeFrame(c.scene, c.width, c.height, 77);
        for (const bool alpha : {false, true})
        {
            SCOPED_TRACE(alpha ? "YACoCg10" : "YCoCg6");
            const int size = c.width * c.height * (alpha ? 5 : 3) / 4;
            Bytes planes(static_cast<size_t>(size));
            ASSERT_EQ((alpha ? YACoCg10_Convertfrom_RGBA32 : YCoCg6_Convertfrom_RGBA32)(rgba.data(), c.width,
                                                                                       c.height, planes.data()),
                      0);
            // The frame codec's work buffer.
            Bytes packed(static_cast<size_t>(size + size / 32 + 64));
            const int packedSize = (alpha ? YACoCg10_compress : YCoCg6_compress)(
                packed.data(), static_cast<int>(packed.size()), planes.data(), size);
            if (c.scene == Scene::noise && packedSize == 0)
                continue; // does not fit: stored raw by the frame codec
            ASSERT_GT(packedSize, 0);
            // Tiny frames carry the headers of three streams.
            if (c.scene != Scene::noise && c.width * c.height >= 64 * 48)
            {
                EXPECT_LT(packedSize, size);
            }
            Bytes back(static_cast<size_t>(size) + 16, 0xEE);
            EXPECT_EQ((alpha ? YACoCg10_decompress : YCoCg6_decompress)(packed.data(), back.data(), packedSize,
                                                                         size),
                      packedSize);
            EXPECT_EQ(Bytes(back.begin() + size, back.end()), Bytes(16, 0xEE));
            back.resize(static_cast<size_t>(size));
            EXPECT_EQ(back, planes);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Corpus, YCoCgPlaneRoundTrip,
                             ::testing::Values(FrameCase{"Gradient16x16", Scene::gradient, 16, 16},
                                               FrameCase{"Edges24x8", Scene::edges, 24, 8},
                                               FrameCase{"Tiles64x48", Scene::tiles, 64, 48},
                                               FrameCase{"AlphaRamp320x240", Scene::alphaRamp, 320, 240},
                                               FrameCase{"Noise320x240", Scene::noise, 320, 240},
                                               FrameCase{"Gradient1920x1088", Scene::gradient, 1920, 1088},
                                               FrameCase{"Edges1920x1088", Scene::edges, 1920, 1088},
                                               FrameCase{"Tiles1920x1088", Scene::tiles, 1920, 1088}),
                             [](const auto& info) { return std::string(info.param.name); });

    // Block planes made to repeat in every way the coders look for, past the
    // 65536-block window: every symbol occurs, and the planes come back.
    TEST(YCoCgPlaneCoder, EverySymbolRoundTrips)
    {
        const int tiles = 20000; // 80000 Y blocks
        Bytes planes = makeBlockPlane(4 * tiles, 8, 3);
        const Bytes chroma = makeBlockPlane(tiles, 16, 4);
        planes.insert(planes.end(), chroma.begin(), chroma.end());
        const int size = static_cast<int>(planes.size());
        Bytes packed(static_cast<size_t>(2 * size));
        const int packedSize = YCoCg6_compress(packed.data(), 2 * size, planes.data(), size);
        ASSERT_GT(packedSize, 0);
        packed.resize(static_cast<size_t>(packedSize));

        const Bytes symbols = symbolsOf(packed, 1, 0);
        for (int s = 0; s <= 17; ++s)
            EXPECT_NE(std::count(symbols.begin(), symbols.end(), s), 0) << "symbol " << s;

        Bytes back(planes.size());
        EXPECT_EQ(YCoCg6_decompress(packed.data(), back.data(), packedSize, size), packedSize);
        EXPECT_EQ(back, planes);

        const Bytes blocks = makeBlockPlane(4 * 20000, 16, 5);
        Bytes withAlpha = blocks;
        withAlpha.insert(withAlpha.end(), blocks.begin(), blocks.begin() + 16 * 20000);
        const int alphaSize = static_cast<int>(withAlpha.size());
        Bytes packedAlpha(static_cast<size_t>(2 * alphaSize));
        const int alphaPacked = YACoCg10_compress(packedAlpha.data(), 2 * alphaSize, withAlpha.data(), alphaSize);
        ASSERT_GT(alphaPacked, 0);
        for (int which = 0; which < 2; ++which)
        {
            const Bytes s = symbolsOf(Bytes(packedAlpha.begin(), packedAlpha.begin() + alphaPacked), 2, which);
            EXPECT_EQ(std::set<std::uint8_t>(s.begin(), s.end()).size(), 18u) << "stream " << which;
        }
        Bytes backAlpha(withAlpha.size());
        EXPECT_EQ(YACoCg10_decompress(packedAlpha.data(), backAlpha.data(), alphaPacked, alphaSize), alphaPacked);
        EXPECT_EQ(backAlpha, withAlpha);
    }

    // Output that does not fit answers 0 and writes nothing past the capacity;
    // one byte more and it fits.
    TEST(YCoCgPlaneCoder, CapacityIsHonoured)
    {
        const Bytes rgba = makeFrame(Scene::edges, 64, 64, 1);
        for (const bool alpha : {false, true})
        {
            SCOPED_TRACE(alpha ? "YACoCg10" : "YCoCg6");
            const int size = 64 * 64 * (alpha ? 5 : 3) / 4;
            Bytes planes(static_cast<size_t>(size));
            (alpha ? YACoCg10_Convertfrom_RGBA32 : YCoCg6_Convertfrom_RGBA32)(rgba.data(), 64, 64, planes.data());
            const auto compress = alpha ? YACoCg10_compress : YCoCg6_compress;
            Bytes packed(static_cast<size_t>(2 * size));
            const int needed = compress(packed.data(), 2 * size, planes.data(), size);
            ASSERT_GT(needed, 0);
            const Bytes expected(packed.begin(), packed.begin() + needed);
            for (int capacity : {needed - 1, needed / 2, 20, 1})
            {
                Bytes small(static_cast<size_t>(2 * size), 0xEE);
                EXPECT_EQ(compress(small.data(), capacity, planes.data(), size), 0) << capacity;
                EXPECT_EQ(Bytes(small.begin() + capacity, small.end()), Bytes(small.size() - capacity, 0xEE));
            }
            Bytes exact(static_cast<size_t>(needed));
            EXPECT_EQ(compress(exact.data(), needed, planes.data(), size), needed);
            EXPECT_EQ(exact, expected);
        }
    }

    // Streams a decoder must refuse, each built from a valid one.
    TEST(BC4Stream, MalformedStreamsAreRefused)
    {
        const Bytes blocks = cat({halfA, halfB, literal(1), halfA});
        const Bytes good = bc4Compress(blocks);
        Workplace workplace(4);
        Bytes out(32);
        const auto decode = [&](const Bytes& s, int count = 4) {
            return BC4_Decompress(out.data(), count, s.data(), &workplace.w, static_cast<int>(s.size()));
        };
        ASSERT_EQ(decode(good), static_cast<int>(good.size()));

        for (size_t size = 0; size < good.size(); ++size)
            EXPECT_EQ(decode(Bytes(good.begin(), good.begin() + static_cast<long>(size))), 0) << size;

        // Symbols 3, 3, 2 with the distance 2 raised to 3: before block 0.
        Bytes farBack = good;
        const size_t distanceAt = good.size() - 6;
        ASSERT_EQ(farBack[distanceAt], 2);
        farBack[distanceAt] = 3;
        EXPECT_EQ(decode(farBack), 0);

        // More symbols than blocks, a symbol 18, raw bytes left over, an
        // offset inside the header.
        Bytes tooMany = good;
        tooMany[4] = 4;
        EXPECT_EQ(decode(tooMany), 0);
        Bytes badSymbol = good;
        badSymbol[good.size() - 1] = 18;
        EXPECT_EQ(decode(badSymbol), 0);
        EXPECT_EQ(decode(good, 3), 0) << "one block fewer leaves symbols and raw bytes";
        Bytes badOffset = good;
        badOffset[0] = 15;
        EXPECT_EQ(decode(badOffset), 0);

        // A run reaching past the last block.
        Bytes run = bc4Compress(repeat(halfA, 10));
        EXPECT_EQ(BC4_Decompress(out.data(), 4, run.data(), &workplace.w, static_cast<int>(run.size())), 0);
    }

    // Every single-byte change of a packed frame decodes to something or
    // answers 0, never outside the planes.
    TEST(YCoCgPlaneCoder, CorruptedFramesStayInBounds)
    {
        const Bytes rgba = makeFrame(Scene::tiles, 32, 32, 2);
        Bytes planes(32 * 32 * 5 / 4);
        YACoCg10_Convertfrom_RGBA32(rgba.data(), 32, 32, planes.data());
        const int size = static_cast<int>(planes.size());
        Bytes packed(static_cast<size_t>(2 * size));
        packed.resize(static_cast<size_t>(YACoCg10_compress(packed.data(), 2 * size, planes.data(), size)));
        ASSERT_FALSE(packed.empty());
        int refused = 0;
        for (size_t at = 0; at < packed.size(); ++at)
            for (const std::uint8_t flip : {0x01, 0x80, 0xFF})
            {
                Bytes bad = packed;
                bad[at] ^= flip;
                Bytes back(planes.size() + 16, 0xEE);
                const int used = YACoCg10_decompress(bad.data(), back.data(), static_cast<int>(bad.size()), size);
                refused += used == 0;
                EXPECT_LE(used, static_cast<int>(bad.size()));
                ASSERT_EQ(Bytes(back.end() - 16, back.end()), Bytes(16, 0xEE));
            }
        EXPECT_GT(refused, 0);
    }
}
