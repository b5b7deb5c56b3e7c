#include "engine/video/codecs/VXUVM.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/video/codecs/VXUVMapCorpus.h"
#include "engine/video/codecs/VXYCoCgTestCorpus.h"

namespace vx::test
{
    namespace
    {
        Bytes compress(const Words& map, int width, int height, unsigned long capacity = 0)
        {
            if (capacity == 0)
                capacity = map.size() * 2 + 4096;
            Bytes out(capacity + 16, 0xEE);
            const unsigned long n =
                UVM_compress_RGBA16(out.data(), capacity, map.data(), map.size() * 2, unsigned(width), unsigned(height));
            EXPECT_EQ(Bytes(out.end() - 16, out.end()), Bytes(16, 0xEE)) << "wrote past its capacity";
            out.resize(n);
            return out;
        }

        // Decodes into an image with guard words after it; the answer must be
        // the image's bytes.
        Words decompress(const Bytes& stream, int width, int height, unsigned long* answer = nullptr)
        {
            const size_t words = size_t(width) * height * 4;
            Words out(words + 8, 0xEEEE);
            const unsigned long n = UVM_decompress_RGBA16(out.data(), unsigned(width), unsigned(height),
                                                          stream.data(), stream.size());
            EXPECT_EQ(Words(out.end() - 8, out.end()), Words(8, 0xEEEE)) << "wrote past the image";
            if (answer != nullptr)
                *answer = n;
            out.resize(words);
            return out;
        }

        Words pixel(int u, int v, int a) { return {std::uint16_t(u), std::uint16_t(v), 0, std::uint16_t(a)}; }

        Bytes u16(unsigned v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }
        Bytes u32(unsigned long v) { return cat({u16(v & 0xFFFF), u16(v >> 16)}); }

        // A map whose U follows x and whose V follows y, opaque.
        Words linearMap(int width, int height)
        {
            Words map;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                {
                    const Words p = pixel(100 * x, 100 * y, 65535);
                    map.insert(map.end(), p.begin(), p.end());
                }
            return map;
        }

        // What the stream promises for each pixel of a decoded map: invisible
        // pixels zero; raw segments (first row, or under 6 pixels) exact;
        // predicted ones within 8 per channel, alpha as bytes and opaque runs.
        void expectWithinPromise(const Words& source, const Words& decoded, int width, int height)
        {
            int failures = 0;
            const auto alpha = [&](int i) { return int(source[size_t(i) * 4 + 3]); };
            for (int y = 0; y < height && failures < 5; ++y)
                for (int x = 0; x < width && failures < 5;)
                {
                    const int start = y * width + x;
                    if (alpha(start) < 768)
                    {
                        for (int c = 0; c < 4; ++c)
                            failures += decoded[size_t(start) * 4 + c] != 0;
                        ++x;
                        continue;
                    }
                    int n = 0;
                    while (x + n < width && alpha(start + n) >= 768)
                        ++n;
                    const bool raw = y == 0 || n < 6;
                    for (int i = 0; i < n; ++i)
                    {
                        const size_t at = size_t(start + i) * 4;
                        const int a = alpha(start + i);
                        int expectedAlpha = a;
                        if (! raw)
                        {
                            const bool inRun = a >= 64512 && (i < n - 1 || alpha(start + i - 1) >= 64512);
                            expectedAlpha = inRun ? 65535 : i < n - 1 ? (a >> 8) * 257 : (a >> 8) << 8;
                        }
                        const int tolerance = raw ? 0 : 8;
                        const bool ok = std::abs(int(decoded[at]) - int(source[at])) <= tolerance &&
                                        std::abs(int(decoded[at + 1]) - int(source[at + 1])) <= tolerance &&
                                        decoded[at + 2] == 0 && int(decoded[at + 3]) == expectedAlpha;
                        if (! ok)
                        {
                            ++failures;
                            ADD_FAILURE() << "pixel (" << x + i << ", " << y << ") of a " << (raw ? "raw" : "predicted")
                                          << " segment of " << n << ": " << decoded[at] << " " << decoded[at + 1] << " "
                                          << decoded[at + 3] << " for " << source[at] << " " << source[at + 1] << " "
                                          << a;
                        }
                    }
                    x += n;
                }
        }
    }

    TEST(UVMTest, TransparentMapIsItsPixelCount)
    {
        Words map(10 * 7 * 4, 0);
        for (size_t i = 3; i < map.size(); i += 4)
            map[i] = 767; // just below visible
        const Bytes stream = compress(map, 10, 7);
        EXPECT_EQ(stream, u32(70));
        EXPECT_EQ(decompress(stream, 10, 7), Words(10 * 7 * 4, 0));
    }

    TEST(UVMTest, FirstRowIsRaw)
    {
        Words map(10 * 3 * 4, 0);
        Bytes records;
        for (int x = 0; x < 10; ++x)
        {
            const Words p = pixel(1000 + x, 3000 - x, 768 + x);
            std::copy(p.begin(), p.end(), map.begin() + 4 * x);
            records = cat({records, u16(p[0]), u16(p[1]), u16(p[3])});
        }
        const Bytes stream = compress(map, 10, 3);
        EXPECT_EQ(stream.size(), 4u + 2 + 6 * 10 + 2);
        EXPECT_EQ(stream, cat({u32(0), u16(10), records, u16(20)}));
        EXPECT_EQ(decompress(stream, 10, 3), map);
    }

    TEST(UVMTest, LongGapTakesTheWideCount)
    {
        // 1 + 69999 invisible pixels after the first: 0xFFFF and a u32.
        Words map(10 * 7000 * 4, 0);
        const Words p = pixel(5, 6, 7000);
        std::copy(p.begin(), p.end(), map.begin());
        const Bytes stream = compress(map, 10, 7000);
        EXPECT_EQ(stream, cat({u32(0), u16(1), u16(5), u16(6), u16(7000), u16(0xFFFF), u32(69999)}));
        EXPECT_EQ(decompress(stream, 10, 7000), map);
    }

    TEST(UVMTest, OpaqueRowIsOneAlphaRun)
    {
        // Row 1 has a constant residual: one knot per channel across the row,
        // alpha 255 and a run of the 15 pixels after the first.
        const Words map = linearMap(16, 2);
        const Bytes stream = compress(map, 16, 2);
        ASSERT_EQ(stream.size(), 4u + (2 + 16 * 6 + 2) + 18);
        const Bytes row1(stream.end() - 18, stream.end());
        EXPECT_EQ(row1, cat({u16(16), u16(0), u16(100), u16(1500), u16(15), u16(100), u16(15), {255, 15}, u16(0)}));
        EXPECT_EQ(decompress(stream, 16, 2), map);
    }

    TEST(UVMTest, RefusesWhatItCannotHold)
    {
        const Words map = linearMap(8, 8);
        Bytes out(4096);
        EXPECT_EQ(UVM_compress_RGBA16(out.data(), out.size(), map.data(), map.size() * 2, 7681, 1), 0u);
        EXPECT_EQ(UVM_compress_RGBA16(out.data(), out.size(), map.data(), map.size() * 2, 8, 0), 0u);
        EXPECT_EQ(UVM_compress_RGBA16(out.data(), out.size(), map.data(), map.size() * 2 - 1, 8, 8), 0u)
            << "source shorter than the map";
        const Bytes stream = compress(map, 8, 8);
        EXPECT_EQ(compress(map, 8, 8, stream.size() - 1), Bytes()) << "one byte short";
        EXPECT_EQ(compress(map, 8, 8, stream.size()), stream);

        Words image(8 * 8 * 4);
        EXPECT_EQ(UVM_decompress_RGBA16(image.data(), 7681, 1, stream.data(), stream.size()), 0u);
        EXPECT_EQ(UVM_decompress_RGBA16(image.data(), 0, 8, stream.data(), stream.size()), 0u);
    }

    TEST(UVMTest, NarrowMapsNeedMoreThanTheirRawSize)
    {
        // One-pixel segments cost 10 bytes a pixel: a capacity of the raw size
        // must be refused, not overrun.
        const Words map = linearMap(1, 50);
        EXPECT_EQ(compress(map, 1, 50, map.size() * 2), Bytes());
        const Bytes stream = compress(map, 1, 50);
        EXPECT_EQ(stream.size(), 4u + 50 * 10);
        EXPECT_EQ(decompress(stream, 1, 50), map);
    }

    struct UVMMalformedCase
    {
        const char* name;
        Bytes stream;
    };

    class UVMMalformedTest : public testing::TestWithParam<UVMMalformedCase>
    {
    };

    // A 4 x 2 map; every stream must be refused without touching more than the image.
    TEST_P(UVMMalformedTest, AnswersZero)
    {
        unsigned long answer = 1;
        decompress(GetParam().stream, 4, 2, &answer);
        EXPECT_EQ(answer, 0u);
        Bytes planes(4 * 2 * 5 + 8, 0xEE);
        EXPECT_EQ(UVM_decompress_LA16A8(planes.data(), 4, 2, GetParam().stream.data(), GetParam().stream.size()), 0u);
        EXPECT_EQ(Bytes(planes.end() - 8, planes.end()), Bytes(8, 0xEE));
    }

    // One raw record: U, V, A.
    const Bytes onePixel = cat({u16(2), u16(3), u16(900)});

    INSTANTIATE_TEST_SUITE_P(
        Streams, UVMMalformedTest,
        testing::Values(UVMMalformedCase{"empty", {}}, UVMMalformedCase{"leadingCountShort", {0, 0, 0}},
                        UVMMalformedCase{"leadingCountPastImage", u32(9)},
                        UVMMalformedCase{"firstSegmentOverWidth", cat({u32(0), u16(5)})},
                        UVMMalformedCase{"segmentCrossesRow", cat({u32(2), u16(3)})},
                        UVMMalformedCase{"emptySegment", cat({u32(0), u16(0), u16(0)})},
                        UVMMalformedCase{"recordsCut", cat({u32(0), u16(2), onePixel})},
                        UVMMalformedCase{"gapPastImage", cat({u32(0), u16(1), onePixel, u16(8)})},
                        UVMMalformedCase{"wideGapPastImage", cat({u32(0), u16(1), onePixel, u16(0xFFFF), u32(8)})},
                        UVMMalformedCase{"noGapField", cat({u32(0), u16(1), onePixel})}),
        [](const testing::TestParamInfo<UVMMalformedCase>& info) { return std::string(info.param.name); });

    TEST(UVMTest, PredictedKnotsStayInsideTheirSegment)
    {
        // Row 1 of an 8 x 2 map: a predicted segment of 8 whose first knot
        // reaches 8 pixels on (past its last pixel), or 0 pixels on.
        const Bytes row0 = cat({u32(0), u16(8)});
        Bytes records;
        for (int i = 0; i < 8; ++i)
            records = cat({records, onePixel});
        const Bytes head = cat({row0, records, u16(0), u16(8), u16(0), u16(0)});
        Words image(8 * 2 * 4);
        for (const Bytes& stream : {cat({head, u16(0), u16(8)}), cat({head, u16(0), u16(0)})})
            EXPECT_EQ(UVM_decompress_RGBA16(image.data(), 8, 2, stream.data(), stream.size()), 0u);
        const Bytes fine = cat({head, u16(0), u16(7), u16(0), u16(7), {128, 128, 128, 128, 128, 128, 128, 128}, u16(0)});
        EXPECT_EQ(UVM_decompress_RGBA16(image.data(), 8, 2, fine.data(), fine.size()), 8u * 2 * 8);
    }

    TEST(UVMTest, EveryCutStreamIsRefused)
    {
        const Words map = makeUVMap(UVMap::holes, 23, 17, 5);
        const Bytes stream = compress(map, 23, 17);
        for (size_t cut = 0; cut < stream.size(); ++cut)
        {
            unsigned long answer = 1;
            decompress(Bytes(stream.begin(), stream.begin() + long(cut)), 23, 17, &answer);
            ASSERT_EQ(answer, 0u) << "cut at " << cut << " of " << stream.size();
        }
    }

    struct UVMRoundTripCase
    {
        const char* name;
        UVMap kind;
        int width, height;
        unsigned seed;
    };

    class UVMRoundTripTest : public testing::TestWithParam<UVMRoundTripCase>
    {
    };

    TEST_P(UVMRoundTripTest, DecodesWithinItsPromise)
    {
        const UVMRoundTripCase& c = GetParam();
        const Words map = makeUVMap(c.kind, c.width, c.height, c.seed);
        const Bytes stream = compress(map, c.width, c.height);
        ASSERT_GT(stream.size(), 0u);
        unsigned long answer = 0;
        const Words decoded = decompress(stream, c.width, c.height, &answer);
        EXPECT_EQ(answer, map.size() * 2);
        expectWithinPromise(map, decoded, c.width, c.height);

        // The two-plane form carries the same pixels.
        const size_t pixels = size_t(c.width) * c.height;
        Bytes planes(pixels * 5 + 8, 0xEE);
        EXPECT_EQ(UVM_decompress_LA16A8(planes.data(), unsigned(c.width), unsigned(c.height), stream.data(),
                                        stream.size()),
                  pixels * 5);
        EXPECT_EQ(Bytes(planes.end() - 8, planes.end()), Bytes(8, 0xEE));
        for (size_t i = 0; i < pixels; ++i)
        {
            std::uint16_t uv[2];
            std::memcpy(uv, &planes[4 * i], 4);
            ASSERT_EQ(uv[0], decoded[4 * i]) << i;
            ASSERT_EQ(uv[1], decoded[4 * i + 1]) << i;
            ASSERT_EQ(planes[4 * pixels + i], decoded[4 * i + 3] >> 8) << i;
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Maps, UVMRoundTripTest,
        testing::Values(UVMRoundTripCase{"warp", UVMap::warp, 64, 48, 1}, UVMRoundTripCase{"holes", UVMap::holes, 97, 61, 2},
                        UVMRoundTripCase{"speckled", UVMap::speckled, 40, 30, 3},
                        UVMRoundTripCase{"noise", UVMap::noise, 33, 21, 4},
                        UVMRoundTripCase{"oneWide", UVMap::holes, 1, 40, 5},
                        UVMRoundTripCase{"twoWide", UVMap::warp, 2, 40, 6},
                        UVMRoundTripCase{"oneRow", UVMap::noise, 300, 1, 7},
                        UVMRoundTripCase{"widest", UVMap::warp, 7680, 2, 8}),
        [](const testing::TestParamInfo<UVMRoundTripCase>& info) { return std::string(info.param.name); });

    TEST(UVMTest, WarpPacksWellBelowItsRawSize)
    {
        const Words map = makeUVMap(UVMap::warp, 256, 128, 9);
        EXPECT_LT(compress(map, 256, 128).size() * 4, map.size() * 2);
    }
}
