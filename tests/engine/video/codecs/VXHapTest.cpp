#include "engine/video/codecs/VXHap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include <snappy-c.h>

#include "engine/video/codecs/VXYCoCgTestCorpus.h"

namespace vx::test
{
    namespace
    {
        Bytes u32le(unsigned long v)
        {
            return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
        }

        // A section: 24-bit length and type (or the 8-byte form), then content.
        Bytes section(unsigned type, const Bytes& content)
        {
            const size_t n = content.size();
            return cat({{std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), std::uint8_t(type)}, content});
        }

        Bytes snappy(const Bytes& raw)
        {
            size_t n = snappy_max_compressed_length(raw.size());
            Bytes out(n);
            EXPECT_EQ(snappy_compress(reinterpret_cast<const char*>(raw.data()), raw.size(),
                                      reinterpret_cast<char*>(out.data()), &n),
                      SNAPPY_OK);
            out.resize(n);
            return out;
        }

        Bytes encode(const Bytes& input, unsigned format, unsigned compressor, unsigned* result = nullptr)
        {
            Bytes out(HapMaxEncodedLength(input.size()));
            unsigned long used = 0;
            const unsigned r = HapEncode(input.data(), input.size(), format, compressor, out.data(), out.size(), &used);
            if (result != nullptr)
                *result = r;
            else
                EXPECT_EQ(r, 0u);
            out.resize(r == 0 ? used : 0);
            return out;
        }

        struct Decoded
        {
            unsigned result = 99;
            unsigned format = 99;
            Bytes data;
        };

        Decoded decode(const Bytes& frame, size_t capacity, HapChunkRunner runner = nullptr, void* info = nullptr)
        {
            Decoded d;
            Bytes out(capacity + 8, 0xEE);
            unsigned long used = 0;
            d.result = HapDecode(frame.data(), frame.size(), runner, info, out.data(), capacity, &used, &d.format);
            EXPECT_EQ(Bytes(out.end() - 8, out.end()), Bytes(8, 0xEE)) << "wrote past the output";
            if (d.result == 0)
                d.data.assign(out.begin(), out.begin() + long(used));
            return d;
        }

        Bytes blocks(size_t count, unsigned seed, bool repetitive)
        {
            std::mt19937 random(seed);
            Bytes b(count * 8);
            for (size_t i = 0; i < b.size(); ++i)
                b[i] = repetitive ? std::uint8_t(i % 8 == 0 ? random() % 4 : i % 8) : std::uint8_t(random());
            return b;
        }

        // Records the chunk count and runs the chunks last first.
        void reverseRunner(HapChunkFunction function, void* chunks, unsigned count, void* info)
        {
            *static_cast<unsigned*>(info) = count;
            for (unsigned i = count; i-- > 0;)
                function(chunks, i);
        }
    }

    TEST(HapTest, StoredDXT1FrameHasTheFourByteHeader)
    {
        const Bytes dxt1 = blocks(2, 1, false);
        const Bytes frame = encode(dxt1, hapFormatDXT1, hapCompressorNone);
        ASSERT_EQ(frame.size(), 20u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0x10, 0x00, 0x00, 0xAB}));
        EXPECT_EQ(Bytes(frame.begin() + 4, frame.end()), dxt1);
        const Decoded d = decode(frame, 16);
        EXPECT_EQ(d.result, 0u);
        EXPECT_EQ(d.format, hapFormatDXT1);
        EXPECT_EQ(d.data, dxt1);
    }

    struct HapFormatCase
    {
        const char* name;
        unsigned format;
        std::uint8_t nibble;
    };

    class HapFormatTest : public testing::TestWithParam<HapFormatCase>
    {
    };

    TEST_P(HapFormatTest, SnappyWhenItShrinksElseStored)
    {
        const HapFormatCase& c = GetParam();
        const Bytes repetitive = blocks(512, 2, true), random = blocks(512, 3, false);

        const Bytes packed = encode(repetitive, c.format, hapCompressorSnappy);
        ASSERT_GE(packed.size(), 4u);
        EXPECT_EQ(packed[3], 0xB0 | c.nibble);
        EXPECT_LT(packed.size(), repetitive.size());
        EXPECT_EQ(Bytes(packed.begin() + 4, packed.end()), snappy(repetitive));

        const Bytes stored = encode(random, c.format, hapCompressorSnappy);
        ASSERT_EQ(stored.size(), random.size() + 4);
        EXPECT_EQ(stored[3], 0xA0 | c.nibble);

        for (const auto& [frame, raw] : {std::pair{packed, repetitive}, std::pair{stored, random}})
        {
            const Decoded d = decode(frame, raw.size());
            EXPECT_EQ(d.result, 0u);
            EXPECT_EQ(d.format, c.format);
            EXPECT_EQ(d.data, raw);
            unsigned format = 0;
            EXPECT_EQ(HapGetFrameTextureFormat(frame.data(), frame.size(), &format), 0u);
            EXPECT_EQ(format, c.format);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Formats, HapFormatTest,
                             testing::Values(HapFormatCase{"DXT1", hapFormatDXT1, 0xB}, HapFormatCase{"DXT5", hapFormatDXT5, 0xE},
                                             HapFormatCase{"YCoCgDXT5", hapFormatYCoCgDXT5, 0xF}),
                             [](const testing::TestParamInfo<HapFormatCase>& info) { return std::string(info.param.name); });

    TEST(HapTest, LargeInputTakesTheEightByteHeaderEvenWhenPackedShort)
    {
        const Bytes zeros(0x1000000, 0);
        const Bytes frame = encode(zeros, hapFormatDXT5, hapCompressorSnappy);
        ASSERT_GT(frame.size(), 8u);
        EXPECT_LT(frame.size(), 0x100000u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 8), cat({{0, 0, 0, 0xBE}, u32le(frame.size() - 8)}));
        const Decoded d = decode(frame, zeros.size());
        EXPECT_EQ(d.result, 0u);
        EXPECT_EQ(d.data, zeros);

        const Bytes small(0xFFFFFF, 0);
        EXPECT_NE(encode(small, hapFormatDXT5, hapCompressorSnappy)[3], 0) << "0xFFFFFF still fits 24 bits";
    }

    TEST(HapTest, EncodeRefusesBadArgumentsAndSmallOutput)
    {
        const Bytes dxt1 = blocks(4, 4, false);
        Bytes out(HapMaxEncodedLength(dxt1.size()), 0xEE);
        unsigned long used = 77;
        EXPECT_EQ(HapEncode(nullptr, 32, hapFormatDXT1, 0, out.data(), out.size(), &used), 1u);
        EXPECT_EQ(HapEncode(dxt1.data(), 0, hapFormatDXT1, 0, out.data(), out.size(), &used), 1u);
        EXPECT_EQ(HapEncode(dxt1.data(), 32, 0x83F1, 0, out.data(), out.size(), &used), 1u);
        EXPECT_EQ(HapEncode(dxt1.data(), 32, hapFormatDXT1, 2, out.data(), out.size(), &used), 1u);
        EXPECT_EQ(HapEncode(dxt1.data(), 32, hapFormatDXT1, 0, nullptr, out.size(), &used), 2u);
        EXPECT_EQ(HapEncode(dxt1.data(), 32, hapFormatDXT1, 0, out.data(), 35, &used), 2u);
        EXPECT_EQ(HapEncode(dxt1.data(), 32, hapFormatDXT1, 1, out.data(), 36, &used), 2u)
            << "snappy's bound exceeds the input";
        EXPECT_EQ(used, 77u);
        EXPECT_EQ(out, Bytes(out.size(), 0xEE));
        EXPECT_EQ(HapEncode(dxt1.data(), 32, hapFormatDXT1, 0, out.data(), 36, &used), 0u);
        EXPECT_EQ(used, 36u);
    }

    TEST(HapTest, DecodeRefusesSmallOutputAndNulls)
    {
        const Bytes raw = blocks(64, 5, true);
        for (unsigned compressor : {hapCompressorNone, hapCompressorSnappy})
            EXPECT_EQ(decode(encode(raw, hapFormatDXT1, compressor), raw.size() - 1).result, 2u);
        const Bytes frame = encode(raw, hapFormatDXT1, hapCompressorNone);
        Bytes out(raw.size());
        unsigned long used = 0;
        unsigned format = 0;
        EXPECT_EQ(HapDecode(nullptr, 10, nullptr, nullptr, out.data(), out.size(), &used, &format), 1u);
        EXPECT_EQ(HapDecode(frame.data(), frame.size(), nullptr, nullptr, nullptr, out.size(), &used, &format), 1u);
        EXPECT_EQ(HapDecode(frame.data(), frame.size(), nullptr, nullptr, out.data(), out.size(), &used, nullptr), 1u);
        EXPECT_EQ(HapGetFrameTextureFormat(nullptr, 10, &format), 1u);
        EXPECT_EQ(HapGetFrameTextureFormat(frame.data(), frame.size(), nullptr), 1u);
    }

    struct HapBadFrameCase
    {
        const char* name;
        Bytes frame;
        unsigned result;
    };

    class HapBadFrameTest : public testing::TestWithParam<HapBadFrameCase>
    {
    };

    TEST_P(HapBadFrameTest, IsRefused)
    {
        EXPECT_EQ(decode(GetParam().frame, 256).result, GetParam().result);
    }

    namespace
    {
        const Bytes eight = {1, 2, 3, 4, 5, 6, 7, 8};

        // A chunked DXT1 frame of the given instruction tables and chunk data.
        Bytes chunked(const Bytes& tables, const Bytes& data) { return section(0xCB, cat({section(0x01, tables), data})); }
    }

    INSTANTIATE_TEST_SUITE_P(
        Frames, HapBadFrameTest,
        testing::Values(
            HapBadFrameCase{"short", {4, 0, 0}, 3}, HapBadFrameCase{"lengthPastInput", {8, 0, 0, 0xAB, 1, 2, 3, 4, 5, 6, 7}, 3},
            HapBadFrameCase{"longHeaderShort", {0, 0, 0, 0xAB, 8, 0}, 3},
            HapBadFrameCase{"formatNibbleC", section(0xAC, eight), 3}, HapBadFrameCase{"formatNibbleD", section(0xAD, eight), 3},
            HapBadFrameCase{"formatBelowB", section(0xA3, eight), 3}, HapBadFrameCase{"unknownStage", section(0xDB, eight), 3},
            HapBadFrameCase{"snappyGarbage", section(0xBB, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), 4},
            HapBadFrameCase{"instructionsOfOtherType", section(0xCB, section(0x02, {0x0A})), 3},
            HapBadFrameCase{"emptyInstructions", section(0xCB, section(0x01, {})), 3},
            HapBadFrameCase{"tableCountsDisagree",
                         chunked(cat({section(0x02, {0x0A, 0x0A}), section(0x03, cat({u32le(8), u32le(8), u32le(8)}))}),
                                 cat({eight, eight, eight})),
                         3},
            HapBadFrameCase{"noSizeTable", chunked(section(0x02, {0x0A}), eight), 3},
            HapBadFrameCase{"chunkPastSection", chunked(cat({section(0x02, {0x0A}), section(0x03, u32le(9))}), eight), 3},
            HapBadFrameCase{"offsetPastSection",
                         chunked(cat({section(0x02, {0x0A}), section(0x03, u32le(8)), section(0x04, u32le(1))}), eight), 3},
            HapBadFrameCase{"unknownChunkStage", chunked(cat({section(0x02, {0x0C}), section(0x03, u32le(8))}), eight), 3},
            HapBadFrameCase{"chunkOverOutput",
                         chunked(cat({section(0x02, {0x0A}), section(0x03, u32le(257))}), Bytes(257, 1)), 2}),
        [](const testing::TestParamInfo<HapBadFrameCase>& info) { return std::string(info.param.name); });

    TEST(HapTest, ChunkedFramesDecodeEveryChunkInPlace)
    {
        const Bytes a = blocks(8, 6, true), b = blocks(4, 7, false), c = blocks(16, 8, true);
        const Bytes packedC = snappy(c);
        const Bytes stages = section(0x02, {0x0A, 0x0B, 0x0A});
        const Bytes sizes = section(0x03, cat({u32le(a.size()), u32le(packedC.size()), u32le(b.size())}));
        // Without offsets the chunks follow one another; with them, any order.
        const Bytes plain = chunked(cat({stages, sizes}), cat({a, packedC, b}));
        const Bytes offsets =
            section(0x04, cat({u32le(b.size() + packedC.size()), u32le(b.size()), u32le(0)}));
        const Bytes shuffled = chunked(cat({section(0x7F, {1, 2}), stages, sizes, offsets}), cat({b, packedC, a}));
        for (const Bytes& frame : {plain, shuffled})
        {
            unsigned count = 0;
            const Decoded d = decode(frame, 1024, reverseRunner, &count);
            EXPECT_EQ(d.result, 0u);
            EXPECT_EQ(d.format, hapFormatDXT1);
            EXPECT_EQ(count, 3u);
            EXPECT_EQ(d.data, cat({a, c, b}));
            EXPECT_EQ(decode(frame, 1024).data, cat({a, c, b})) << "no runner: in order here";
        }
    }
}
