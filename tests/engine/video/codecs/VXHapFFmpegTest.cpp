#include "engine/video/codecs/VXHap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/VXTaskManager.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXFFmpegHap.h"
#include "engine/video/codecs/VXHAPPixelsCompressor.h"
#include "engine/video/codecs/VXS3TCReference.h"
#include "engine/video/codecs/VXYCoCgTestCorpus.h"
#include "engine/video/formats/VXPixels.h"

// Hap frames against FFmpeg's Hap encoder and decoder. Pixels are compared
// within 2 of 255: decoders may round the thirds of S3TC's interpolated
// colours either way.

namespace vx::test
{
    namespace
    {
        constexpr int width = 64, height = 32;

        // Picture-like blocks: smooth endpoints, a few index patterns, so that
        // snappy has repeats to find.
        Bytes makeBlocks(bool dxt5)
        {
            Bytes out;
            const std::uint32_t patterns[4] = {0x00000000, 0x55AAFF00, 0xE4E4E4E4, 0x1B1B1B1B};
            for (int by = 0; by < height / 4; ++by)
                for (int bx = 0; bx < width / 4; ++bx)
                {
                    if (dxt5)
                    {
                        const std::uint64_t alphaIndices = (bx + by) % 3 == 0 ? 0 : 0x0000FAC688FA;
                        out.push_back(std::uint8_t(255 - 4 * by));
                        out.push_back(std::uint8_t(8 * bx));
                        for (int i = 0; i < 6; ++i)
                            out.push_back(std::uint8_t(alphaIndices >> (8 * i)));
                    }
                    const unsigned c0 = (unsigned(bx) << 11) | (unsigned(by * 2) << 5) | 31u;
                    const unsigned c1 = (unsigned(bx / 2) << 11) | (unsigned(by) << 5) | unsigned(bx % 7);
                    const std::uint32_t indices = patterns[(bx / 3 + by) % 4];
                    for (unsigned v : {c0 & 0xFF, c0 >> 8, c1 & 0xFF, c1 >> 8})
                        out.push_back(std::uint8_t(v));
                    for (int i = 0; i < 4; ++i)
                        out.push_back(std::uint8_t(indices >> (8 * i)));
                }
            return out;
        }

        int worstDifference(const Bytes& a, const Bytes& b, bool withAlpha)
        {
            if (a.size() != b.size())
                return 256;
            int worst = 0;
            for (size_t i = 0; i < a.size(); ++i)
                if (withAlpha || i % 4 != 3)
                    worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
            return worst;
        }

        void countingRunner(HapChunkFunction function, void* chunks, unsigned count, void* info)
        {
            *static_cast<unsigned*>(info) = count;
            for (unsigned i = 0; i < count; ++i)
                function(chunks, i);
        }
    }

    struct HapOursCase
    {
        const char* name;
        bool dxt5;
        unsigned compressor;
    };

    class HapOursToFFmpegTest : public testing::TestWithParam<HapOursCase>
    {
    };

    TEST_P(HapOursToFFmpegTest, FFmpegDecodesOurFrames)
    {
        const HapOursCase& c = GetParam();
        const Bytes blocks = makeBlocks(c.dxt5);
        Bytes frame(HapMaxEncodedLength(blocks.size()));
        unsigned long used = 0;
        ASSERT_EQ(HapEncode(blocks.data(), blocks.size(), c.dxt5 ? hapFormatDXT5 : hapFormatDXT1, c.compressor,
                            frame.data(), frame.size(), &used),
                  0u);
        frame.resize(used);
        EXPECT_EQ(frame[3] >> 4, c.compressor == hapCompressorSnappy ? 0xB : 0xA);

        const Bytes theirs = ffmpeg::decode(frame, width, height, c.dxt5);
        ASSERT_FALSE(theirs.empty()) << "FFmpeg refused the frame";
        EXPECT_LE(worstDifference(theirs, decodeS3TC(blocks.data(), width, height, c.dxt5), c.dxt5), 2);
    }

    INSTANTIATE_TEST_SUITE_P(Frames, HapOursToFFmpegTest,
                             testing::Values(HapOursCase{"DXT1Stored", false, hapCompressorNone},
                                             HapOursCase{"DXT1Snappy", false, hapCompressorSnappy},
                                             HapOursCase{"DXT5Stored", true, hapCompressorNone},
                                             HapOursCase{"DXT5Snappy", true, hapCompressorSnappy}),
                             [](const testing::TestParamInfo<HapOursCase>& info) { return std::string(info.param.name); });

    struct HapTheirsCase
    {
        const char* name;
        const char* format;
        const char* compressor;
        int chunks;
    };

    class HapFFmpegToOursTest : public testing::TestWithParam<HapTheirsCase>
    {
    };

    TEST_P(HapFFmpegToOursTest, WeDecodeFFmpegFrames)
    {
        const HapTheirsCase& c = GetParam();
        const bool dxt5 = std::string(c.format) == "hap_alpha";
        const Bytes picture = makeFrame(Scene::alphaRamp, width, height, 11);
        const Bytes frame = ffmpeg::encode(picture.data(), width, height, c.format, c.compressor, c.chunks);
        ASSERT_FALSE(frame.empty()) << "FFmpeg's Hap encoder refused";

        Bytes blocks(size_t(width) * height / (dxt5 ? 1 : 2));
        unsigned long used = 0;
        unsigned format = 0, chunks = 0;
        ASSERT_EQ(HapDecode(frame.data(), frame.size(), countingRunner, &chunks, blocks.data(), blocks.size(), &used,
                            &format),
                  0u);
        EXPECT_EQ(used, blocks.size());
        EXPECT_EQ(format, dxt5 ? hapFormatDXT5 : hapFormatDXT1);
        // FFmpeg chunks only what it packs.
        if (c.chunks > 1 && std::string(c.compressor) == "snappy")
        {
            EXPECT_EQ(chunks, unsigned(c.chunks));
        }

        const Bytes theirs = ffmpeg::decode(frame, width, height, dxt5);
        ASSERT_FALSE(theirs.empty());
        EXPECT_LE(worstDifference(theirs, decodeS3TC(blocks.data(), width, height, dxt5), dxt5), 2);
    }

    INSTANTIATE_TEST_SUITE_P(Frames, HapFFmpegToOursTest,
                             testing::Values(HapTheirsCase{"HapNone1", "hap", "none", 1},
                                             HapTheirsCase{"HapSnappy1", "hap", "snappy", 1},
                                             HapTheirsCase{"HapNone4", "hap", "none", 4},
                                             HapTheirsCase{"HapSnappy4", "hap", "snappy", 4},
                                             HapTheirsCase{"AlphaNone1", "hap_alpha", "none", 1},
                                             HapTheirsCase{"AlphaSnappy1", "hap_alpha", "snappy", 1},
                                             HapTheirsCase{"AlphaNone4", "hap_alpha", "none", 4},
                                             HapTheirsCase{"AlphaSnappy4", "hap_alpha", "snappy", 4}),
                             [](const testing::TestParamInfo<HapTheirsCase>& info) { return std::string(info.param.name); });

    TEST(HapFFmpegTest, QualityFramesReportYCoCg)
    {
        const Bytes picture = makeFrame(Scene::gradient, width, height, 12);
        const Bytes frame = ffmpeg::encode(picture.data(), width, height, "hap_q", "snappy", 1);
        ASSERT_FALSE(frame.empty());
        unsigned format = 0;
        EXPECT_EQ(HapGetFrameTextureFormat(frame.data(), frame.size(), &format), 0u);
        EXPECT_EQ(format, hapFormatYCoCgDXT5);
    }

    namespace
    {
        std::unique_ptr<Pixels> throughCompressor(const Bytes& frame)
        {
            CompressedPixels in;
            in.allocateData(long(frame.size()));
            std::memcpy(in.data, frame.data(), frame.size());
            in.width = width;
            in.height = height;
            in.bytesPerPixel = 4;
            in.type = PixelsCompressor::HAP;
            return std::unique_ptr<Pixels>(HAPPixelsCompressor().decompress(in));
        }
    }

    class HapFFmpegCompressorTest : public testing::TestWithParam<HapTheirsCase>
    {
    };

    TEST_P(HapFFmpegCompressorTest, DecodesFFmpegFramesWithAndWithoutTasks)
    {
        const HapTheirsCase& c = GetParam();
        const bool dxt5 = std::string(c.format) == "hap_alpha";
        const Bytes picture = makeFrame(Scene::edges, width, height, 13);
        const Bytes frame = ffmpeg::encode(picture.data(), width, height, c.format, c.compressor, c.chunks);
        ASSERT_FALSE(frame.empty());
        const Bytes theirs = ffmpeg::decode(frame, width, height, dxt5);
        ASSERT_FALSE(theirs.empty());

        for (bool tasks : {false, true})
        {
            std::unique_ptr<TaskManager> manager;
            if (tasks)
            {
                manager = std::make_unique<TaskManager>(3);
                TaskManager::setCurrent(manager.get());
            }
            const std::unique_ptr<Pixels> image = throughCompressor(frame);
            if (tasks)
                TaskManager::setCurrent(nullptr);
            ASSERT_NE(image, nullptr) << (tasks ? "with tasks" : "in order");
            EXPECT_TRUE(image->format == (dxt5 ? Texture::DXT5_RGBA : Texture::DXT1_RGBA));
            EXPECT_EQ(image->getDataSize(), width * height / (dxt5 ? 1 : 2));
            EXPECT_LE(worstDifference(theirs, decodeS3TC(image->data, width, height, dxt5), dxt5), 2);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Frames, HapFFmpegCompressorTest,
                             testing::Values(HapTheirsCase{"HapNone1", "hap", "none", 1},
                                             HapTheirsCase{"HapSnappy1", "hap", "snappy", 1},
                                             HapTheirsCase{"HapSnappy4", "hap", "snappy", 4},
                                             HapTheirsCase{"AlphaNone4", "hap_alpha", "none", 4},
                                             HapTheirsCase{"AlphaSnappy1", "hap_alpha", "snappy", 1},
                                             HapTheirsCase{"AlphaSnappy4", "hap_alpha", "snappy", 4}),
                             [](const testing::TestParamInfo<HapTheirsCase>& info) { return std::string(info.param.name); });

    TEST(HapFFmpegTest, CompressorRefusesQualityFrames)
    {
        const Bytes picture = makeFrame(Scene::gradient, width, height, 14);
        for (int chunks : {1, 4})
        {
            const Bytes frame = ffmpeg::encode(picture.data(), width, height, "hap_q", "snappy", chunks);
            ASSERT_FALSE(frame.empty());
            EXPECT_EQ(throughCompressor(frame), nullptr) << chunks;
        }
    }
}
