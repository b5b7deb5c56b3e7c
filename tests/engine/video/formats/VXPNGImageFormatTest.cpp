#include "engine/video/formats/VXPNGImageFormat.h"

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/video/formats/VXPNGTestWriter.h"
#include "support/VXLogRecorder.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, size_t),
                                                         void (*freeHook)(const volatile void*));
#endif

namespace vx::test
{
    namespace
    {
        struct Decoded
        {
            std::unique_ptr<unsigned char, decltype(&std::free)> data{nullptr, &std::free};
            unsigned long width = 0, height = 0, rowBytes = 0;
            int bytesPerPixel = 0;
            bool hasAlpha = false;

            std::vector<unsigned char> bytes() const { return {data.get(), data.get() + rowBytes * height}; }
        };

        Decoded decode(const std::string& file)
        {
            std::istringstream in(file);
            Decoded d;
            d.data.reset(
                PNGImageFormat::decodeImage(in, &d.width, &d.height, &d.rowBytes, &d.bytesPerPixel, &d.hasAlpha));
            return d;
        }

        std::string encode(const std::vector<unsigned char>& pixels, unsigned long w, unsigned long h, int bpp,
                           unsigned long bytesPerRow = 0)
        {
            std::ostringstream out;
            EXPECT_TRUE(PNGImageFormat::writePixelsToStream(pixels.data(), w, h, bpp, out, bytesPerRow));
            return out.str();
        }

        std::vector<unsigned char> randomBytes(size_t count, unsigned seed)
        {
            std::mt19937 rng(seed);
            std::vector<unsigned char> v(count);
            for (auto& b : v)
                b = static_cast<unsigned char>(rng());
            return v;
        }

        void writeBE32(std::string& s, size_t at, uint32_t v)
        {
            for (int i = 0; i < 4; ++i)
                s[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
        }

        // Rewrites the IHDR size and its CRC so that only the size is wrong.
        std::string withHeaderSize(std::string file, uint32_t w, uint32_t h)
        {
            writeBE32(file, 16, w);
            writeBE32(file, 20, h);
            const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(file.data() + 12), 17);
            writeBE32(file, 29, static_cast<uint32_t>(crc));
            return file;
        }

#if defined(__SANITIZE_ADDRESS__)
        // The address sanitizer's allocation hook: the largest single block
        // asked for while recording is on. Installed once; hooks stay.
        std::atomic<bool> recordingAllocations{false};
        std::atomic<size_t> largestAllocation{0};

        void recordAllocation(const volatile void*, size_t size)
        {
            if (! recordingAllocations)
                return;
            size_t seen = largestAllocation;
            while (size > seen && ! largestAllocation.compare_exchange_weak(seen, size))
            {
            }
        }

        void ignoreFree(const volatile void*)
        {
        }
#endif
    }

    struct RoundTripCase
    {
        const char* name;
        unsigned long width, height;
        int bytesPerPixel;
    };

    class PNGRoundTrip : public ::testing::TestWithParam<RoundTripCase>
    {
    };

    TEST_P(PNGRoundTrip, RGBAIsByteIdentical)
    {
        const auto& c = GetParam();
        const auto pixels = randomBytes(c.width * c.height * c.bytesPerPixel, 1234u + c.bytesPerPixel);
        const Decoded d = decode(encode(pixels, c.width, c.height, c.bytesPerPixel));
        ASSERT_NE(d.data, nullptr);
        EXPECT_EQ(d.width, c.width);
        EXPECT_EQ(d.height, c.height);
        EXPECT_EQ(d.bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(d.rowBytes, c.width * c.bytesPerPixel);
        EXPECT_TRUE(d.hasAlpha);
        EXPECT_EQ(d.bytes(), pixels);
    }

    INSTANTIATE_TEST_SUITE_P(
        Sizes, PNGRoundTrip,
        ::testing::Values(RoundTripCase{"rgba8_1x1", 1, 1, 4}, RoundTripCase{"rgba8_17x5", 17, 5, 4},
                          RoundTripCase{"rgba8_64x64", 64, 64, 4}, RoundTripCase{"rgba16_1x1", 1, 1, 8},
                          RoundTripCase{"rgba16_13x7", 13, 7, 8}, RoundTripCase{"rgba16_64x3", 64, 3, 8}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(PNGImageFormat, SixteenBitSamplesAreLittleEndianAfterDecode)
    {
        RawPng p;
        p.width = 1;
        p.height = 1;
        p.bitDepth = 16;
        p.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        p.rows = {{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}};
        const Decoded d = decode(writeRaw(p));
        ASSERT_NE(d.data, nullptr);
        EXPECT_EQ(d.bytes(), (std::vector<unsigned char>{0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xF0, 0xDE}));
    }

    TEST(PNGImageFormat, RGBAndGreyEncodeDecodeToOpaqueRGBA)
    {
        const std::vector<unsigned char> rgb{10, 20, 30, 40, 50, 60};
        Decoded d = decode(encode(rgb, 2, 1, 3));
        ASSERT_NE(d.data, nullptr);
        EXPECT_EQ(d.bytesPerPixel, 4);
        EXPECT_FALSE(d.hasAlpha);
        EXPECT_EQ(d.bytes(), (std::vector<unsigned char>{10, 20, 30, 255, 40, 50, 60, 255}));

        const std::vector<unsigned char> grey{0, 77, 255};
        d = decode(encode(grey, 3, 1, 1));
        ASSERT_NE(d.data, nullptr);
        EXPECT_FALSE(d.hasAlpha);
        EXPECT_EQ(d.bytes(), (std::vector<unsigned char>{0, 0, 0, 255, 77, 77, 77, 255, 255, 255, 255, 255}));
    }

    TEST(PNGImageFormat, EncoderHonoursRowStrideAndFirstRowFirst)
    {
        // Two rows of two RGBA pixels, each row padded with 8 junk bytes.
        std::vector<unsigned char> padded(2 * 16, 0xEE);
        for (int i = 0; i < 8; ++i)
        {
            padded[i] = static_cast<unsigned char>(i);
            padded[16 + i] = static_cast<unsigned char>(100 + i);
        }
        const Decoded d = decode(encode(padded, 2, 2, 4, 16));
        ASSERT_NE(d.data, nullptr);
        EXPECT_EQ(d.bytes(),
                  (std::vector<unsigned char>{0, 1, 2, 3, 4, 5, 6, 7, 100, 101, 102, 103, 104, 105, 106, 107}));
    }

    TEST(PNGImageFormat, PaletteDecodesToRGBAWithItsTransparencyOrOpaque)
    {
        RawPng p;
        p.width = 3;
        p.height = 1;
        p.colorType = PNG_COLOR_TYPE_PALETTE;
        p.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        p.paletteAlpha = {0, 128}; // entry 2 stays opaque
        p.rows = {{2, 1, 0}};
        const Decoded d = decode(writeRaw(p));
        ASSERT_NE(d.data, nullptr);
        EXPECT_TRUE(d.hasAlpha);
        EXPECT_EQ(d.bytesPerPixel, 4);
        EXPECT_EQ(d.bytes(), (std::vector<unsigned char>{0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 0}));

        p.paletteAlpha.clear();
        const Decoded opaque = decode(writeRaw(p));
        ASSERT_NE(opaque.data, nullptr);
        EXPECT_FALSE(opaque.hasAlpha);
        EXPECT_EQ(opaque.bytes(), (std::vector<unsigned char>{0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255}));
    }

    TEST(PNGImageFormat, GreyAlphaAndInterlacedGreyDecode)
    {
        RawPng p;
        p.width = 2;
        p.height = 1;
        p.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
        p.rows = {{9, 200, 90, 10}};
        Decoded d = decode(writeRaw(p));
        ASSERT_NE(d.data, nullptr);
        EXPECT_TRUE(d.hasAlpha);
        EXPECT_EQ(d.bytes(), (std::vector<unsigned char>{9, 9, 9, 200, 90, 90, 90, 10}));

        RawPng q;
        q.width = 9;
        q.height = 9;
        q.colorType = PNG_COLOR_TYPE_GRAY;
        q.interlaced = true;
        for (unsigned y = 0; y < 9; ++y)
        {
            q.rows.emplace_back();
            for (unsigned x = 0; x < 9; ++x)
                q.rows.back().push_back(static_cast<unsigned char>(y * 9 + x));
        }
        d = decode(writeRaw(q));
        ASSERT_NE(d.data, nullptr);
        EXPECT_FALSE(d.hasAlpha);
        const auto bytes = d.bytes();
        for (unsigned i = 0; i < 81; ++i)
        {
            ASSERT_EQ(bytes[i * 4], i) << "pixel " << i;
            ASSERT_EQ(bytes[i * 4 + 3], 255) << "pixel " << i;
        }
    }

    TEST(PNGImageFormat, ValidateChecksTheSignatureAndRewinds)
    {
        const std::string file = encode(std::vector<unsigned char>(4), 1, 1, 4);
        std::istringstream good(file);
        EXPECT_TRUE(PNGImageFormat::validate(good));
        EXPECT_EQ(good.tellg(), 0);
        Decoded d;
        d.data.reset(PNGImageFormat::decodeImage(good, &d.width, &d.height, nullptr, nullptr, nullptr));
        EXPECT_NE(d.data, nullptr) << "the stream must be usable after validate";

        std::istringstream shortStream(file.substr(0, 7));
        EXPECT_FALSE(PNGImageFormat::validate(shortStream));
        EXPECT_EQ(shortStream.tellg(), 0);

        std::string wrong = file;
        wrong[1] = 'Q';
        std::istringstream bad(wrong);
        EXPECT_FALSE(PNGImageFormat::validate(bad));
    }

    TEST(PNGImageFormat, TruncatedOrCorruptDataAnswersNull)
    {
        const std::string file = encode(randomBytes(16 * 16 * 4, 7), 16, 16, 4);
        LogRecorder log;
        for (size_t length = 0; length < file.size(); ++length)
            ASSERT_EQ(decode(file.substr(0, length)).data, nullptr) << "length " << length;
        EXPECT_GE(log.count(logError), file.size());

        log.clear();
        // Damaged image data (its chunk CRC no longer matches).
        std::string damaged = file;
        damaged[file.size() / 2] = char(damaged[file.size() / 2] ^ 0x5A);
        EXPECT_EQ(decode(damaged).data, nullptr);
        // Not a PNG at all.
        EXPECT_EQ(decode(std::string(100, 'x')).data, nullptr);
        EXPECT_EQ(decode(std::string()).data, nullptr);
        EXPECT_EQ(log.count(logError), 3u) << log.dump();
    }

    TEST(PNGImageFormat, OversizedImagesAnswerNullBeforeAllocating)
    {
        const std::string file = encode(std::vector<unsigned char>(8), 1, 1, 8);
        LogRecorder log;
        EXPECT_EQ(decode(withHeaderSize(file, 100000, 10)).data, nullptr);
        // Within the side limit but beyond the byte limit (16384 x 16384 x 8).
        EXPECT_EQ(decode(withHeaderSize(file, 16384, 16384)).data, nullptr);
        EXPECT_TRUE(log.contains("too large")) << log.dump();
        // A size the image data does not fill.
        EXPECT_EQ(decode(withHeaderSize(file, 2, 2)).data, nullptr);
    }

    // Chunks the decoder does not use are skipped unread: a text chunk that
    // claims 2 GB in a file of a few dozen bytes must not be allocated.
    TEST(PNGImageFormat, ClaimedChunkLengthsAreNotAllocatedUpFront)
    {
#if defined(__SANITIZE_ADDRESS__)
        static const int installed = __sanitizer_install_malloc_and_free_hooks(recordAllocation, ignoreFree);
        ASSERT_NE(installed, 0);
        std::string file = encode(std::vector<unsigned char>(4, 7), 1, 1, 4);
        // After the signature (8) and IHDR (25): a chunk header and no data.
        file.insert(33, std::string("\x76\x00\x00\x0C"
                                    "tEXt"
                                    "Comment",
                                    15));

        largestAllocation = 0;
        recordingAllocations = true;
        const Decoded d = decode(file);
        recordingAllocations = false;
        EXPECT_EQ(d.data, nullptr);
        EXPECT_LT(largestAllocation.load(), size_t(1) << 20);

        // Text, profile and other unused chunks no longer change what decodes.
        std::string annotated = encode(std::vector<unsigned char>{1, 2, 3, 4}, 1, 1, 4);
        std::string text = std::string("\x00\x00\x00\x09"
                                       "tEXt"
                                       "Key\0value",
                                       17);
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(text.data() + 4), 13);
        text.resize(21);
        writeBE32(text, 17, static_cast<uint32_t>(crc));
        annotated.insert(33, text);
        EXPECT_EQ(decode(annotated).bytes(), (std::vector<unsigned char>{1, 2, 3, 4}));
#else
        GTEST_SKIP() << "needs the address sanitizer's allocation hook";
#endif
    }

    TEST(PNGImageFormat, EncoderRefusesWhatItCannotWrite)
    {
        LogRecorder log;
        std::ostringstream out;
        const std::vector<unsigned char> pixels(64, 1);
        EXPECT_FALSE(PNGImageFormat::writePixelsToStream(pixels.data(), 2, 2, 2, out));
        EXPECT_FALSE(PNGImageFormat::writePixelsToStream(nullptr, 2, 2, 4, out));
        EXPECT_FALSE(PNGImageFormat::writePixelsToStream(pixels.data(), 0, 2, 4, out));
        EXPECT_FALSE(PNGImageFormat::writePixelsToStream(pixels.data(), 4, 2, 4, out, 8)); // stride below a row
        EXPECT_TRUE(out.str().empty());
        EXPECT_EQ(log.count(logError), 4u) << log.dump();

        std::ostringstream failing;
        failing.setstate(std::ios::badbit);
        EXPECT_FALSE(PNGImageFormat::writePixelsToStream(pixels.data(), 2, 2, 4, failing));
        EXPECT_EQ(log.count(logError), 5u) << log.dump();
    }

    // The decoder's fuzz seeds span every colour type, bit depth, filter and
    // interlacing with key-colour and palette transparency: each decodes to
    // the layout its header promises, or both are refused for a bit depth
    // below 8 with a line saying so.
    TEST(PNGImageFormat, FuzzSeedsDecodeAsTheirHeadersSay)
    {
        const char* data = std::getenv("VX_TEST_DATA");
        ASSERT_NE(data, nullptr) << "VX_TEST_DATA names the tests' data folder";
        const std::filesystem::path folder = std::filesystem::path(data) / "fuzz" / "PngDecodeFuzz";
        int seeds = 0, lowDepthSeeds = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
        {
            SCOPED_TRACE(entry.path().filename().string());
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            ASSERT_GT(file.size(), 26u);
            const int bitDepth = static_cast<unsigned char>(file[24]);
            const int colorType = static_cast<unsigned char>(file[25]);
            const bool transparency = file.find("tRNS") != std::string::npos;
            ++seeds;

            LogRecorder log;
            std::istringstream headerStream(file);
            Decoded header;
            const bool headerRead = PNGImageFormat::decodeHeader(
                headerStream, &header.width, &header.height, &header.rowBytes, &header.bytesPerPixel, &header.hasAlpha);
            const Decoded d = decode(file);
            if (bitDepth < 8)
            {
                ++lowDepthSeeds;
                EXPECT_FALSE(headerRead);
                EXPECT_EQ(d.data, nullptr);
                EXPECT_EQ(log.count(logError), 2u) << log.dump();
                EXPECT_TRUE(log.contains("bit depth")) << log.dump();
                continue;
            }
            ASSERT_NE(d.data, nullptr) << log.dump();
            EXPECT_TRUE(headerRead);
            EXPECT_EQ(d.bytesPerPixel, bitDepth / 2);
            EXPECT_EQ(d.rowBytes, d.width * static_cast<unsigned long>(d.bytesPerPixel));
            EXPECT_EQ(d.hasAlpha, (colorType & PNG_COLOR_MASK_ALPHA) != 0 || transparency);
            EXPECT_EQ(std::tie(header.width, header.height, header.rowBytes, header.bytesPerPixel, header.hasAlpha),
                      std::tie(d.width, d.height, d.rowBytes, d.bytesPerPixel, d.hasAlpha))
                << "the header reports the decoded layout";
            if (! d.hasAlpha)
            {
                for (size_t i = 0; i < d.width * d.height; ++i)
                    ASSERT_EQ(d.data.get()[i * d.bytesPerPixel + d.bytesPerPixel - 1], 255) << "pixel " << i;
            }
        }
        EXPECT_GE(seeds, 15);
        EXPECT_GE(lowDepthSeeds, 5) << "grey and palette at 1, 2 and 4 bits";
    }
}
