#include "engine/video/codecs/VXQMVFrame.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <lz4.h>
#include <lzf.h>

#include "engine/video/codecs/VXDXTCompression.h"
#include "engine/video/codecs/VXS3TCReference.h"
#include "engine/video/codecs/VXYCoCgTestCorpus.h"

namespace vx::test
{
    namespace
    {
        Bytes u32le(std::uint32_t v)
        {
            return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
        }

        Bytes compressFrame(const Bytes& rgba, int w, int h, int type, int compressor = -1, bool swizzle = false,
                            int threads = 1, qmv::Session* session = nullptr)
        {
            Bytes frame(size_t(qmv::getCompressedSize(w, h, type)) + 12);
            const int n = qmv::compressFrame(frame.data(), rgba.data(), unsigned(w) * 4, w, h, type, threads,
                                             compressor, swizzle, session);
            EXPECT_LE(n, int(frame.size()));
            frame.resize(size_t(std::max(n, 0)));
            return frame;
        }

        Bytes textureStage(const Bytes& rgba, int w, int h, int type)
        {
            Bytes blocks(size_t(qmv::getCompressedSize(w, h, type)));
            EXPECT_EQ(qmv::compressFrameQMVOnly(blocks.data(), rgba.data(), unsigned(w) * 4, w, h, type),
                      int(blocks.size()));
            return blocks;
        }

        // The frame's block data, or empty when decompressFrame refuses.
        Bytes decompress(const Bytes& frame, int w, int h, int type, int compressor = -1, int maxSize = -1)
        {
            Bytes out(size_t(qmv::getCompressedSize(w, h, type)) + 8, 0xEE);
            const bool ok = qmv::decompressFrame(out.data(), frame.data(), frame.size(), w, h, compressor, maxSize);
            EXPECT_EQ(Bytes(out.end() - 8, out.end()), Bytes(8, 0xEE)) << "wrote past the block data";
            out.resize(ok ? out.size() - 8 : 0);
            return out;
        }

        Bytes randomBytes(size_t n, unsigned seed)
        {
            std::mt19937 random(seed);
            Bytes b(n);
            for (auto& v : b)
                v = std::uint8_t(random());
            return b;
        }
    }

    struct QMVTypeCase
    {
        const char* name;
        int type;
        const char* fourcc;
        std::uint8_t version;
        int defaultCompressor;
        bool alpha, dxt;
        int size17x9; // block-data bytes of a 17 x 9 frame
    };

    class QMVTypeTableTest : public testing::TestWithParam<QMVTypeCase>
    {
    };

    TEST_P(QMVTypeTableTest, TypeMapsToItsFourCCSizeAndCompressor)
    {
        const QMVTypeCase& c = GetParam();
        const std::uint32_t fourcc = std::uint32_t(std::uint8_t(c.fourcc[0])) << 24 | std::uint32_t(std::uint8_t(c.fourcc[1])) << 16 |
                                     std::uint32_t(std::uint8_t(c.fourcc[2])) << 8 | std::uint8_t(c.fourcc[3]);
        EXPECT_EQ(qmv::QMVTypeToFourcc(qmv::QMVType(c.type)), fourcc);
        EXPECT_EQ(qmv::fourccToQMVType(fourcc, c.version), c.type);
        EXPECT_EQ(qmv::getDefaultCompressorType(c.type), c.defaultCompressor);
        EXPECT_EQ(qmv::typeHasAlphaChannel(c.type), c.alpha);
        EXPECT_EQ(qmv::isDxtType(c.type), c.dxt);
        EXPECT_EQ(qmv::getCompressedSize(17, 9, c.type), c.size17x9);

        // The header a lossless step writes: reversed FourCC bytes, the
        // version, a zero sub-version and reserved byte.
        if (c.type == qmv::typeMask)
            return;
        const Bytes blocks(size_t(c.size17x9), 0);
        Bytes frame(blocks.size() + 12, 0xEE);
        ASSERT_GT(qmv::compressFrameLosslessStep(frame.data(), blocks.data(), unsigned(blocks.size()), c.type, 7), 0);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4),
                  (Bytes{std::uint8_t(c.fourcc[3]), std::uint8_t(c.fourcc[2]), std::uint8_t(c.fourcc[1]),
                         std::uint8_t(c.fourcc[0])}));
        EXPECT_EQ(frame[4], c.version);
        EXPECT_EQ(frame[5], 0);
        EXPECT_EQ(frame[7], 0);
        EXPECT_EQ(qmv::fourccToQMVType(qmv::getFrameHeader(frame.data()).fourcc, frame[4]), c.type);
    }

    INSTANTIATE_TEST_SUITE_P(
        Types, QMVTypeTableTest,
        testing::Values(QMVTypeCase{"DXT1", 0, "DXT1", 4, 3, false, true, 256},
                        QMVTypeCase{"DXT5", 1, "DXT5", 4, 4, true, true, 512},
                        QMVTypeCase{"YCoCg6", 2, "YCG6", 4, 5, false, false, 384},
                        QMVTypeCase{"YACoCg10", 3, "YG10", 4, 6, true, false, 640},
                        QMVTypeCase{"DXT1Old", 4, "DXT1", 3, 2, false, true, 256},
                        QMVTypeCase{"DXT5Old", 5, "DXT5", 3, 2, true, true, 512},
                        QMVTypeCase{"UVMap", 6, "UVA0", 4, 2, false, false, 17 * 9 * 8},
                        QMVTypeCase{"Mask", 7, "MSK0", 4, 4, false, false, 17 * 9 * 2}),
        [](const testing::TestParamInfo<QMVTypeCase>& info) { return std::string(info.param.name); });

    TEST(QMVFrameTest, SizesAndTheCompressorTable)
    {
        EXPECT_EQ(qmv::getCompressedSize(1, 1, 0), 128);
        EXPECT_EQ(qmv::getCompressedSize(10, 10, 6), 800);
        EXPECT_EQ(qmv::getCompressedSize(10, 10, 7), 200);
        EXPECT_EQ(qmv::getCompressedSize(17, 9, 42), 512) << "unknown types count a byte per padded pixel";
        EXPECT_EQ(qmv::getCompressedSize(0, 9, 0), 0);
        EXPECT_EQ(qmv::getCompressedSize(65536, 65536, 6), 0) << "past INT_MAX";
        EXPECT_EQ(qmv::getDefaultCompressorType(8), 4);
        EXPECT_EQ(qmv::fourccToQMVType(0x12345678, 4), qmv::typeDXT1Old);
        EXPECT_EQ(qmv::QMVTypeToFourcc(qmv::QMVType(9)), qmv::fourccDXT1);

        const char* descriptions[8] = {"LZ4 compression - LZ4 decompression",
                                       "LZ4 HC compression - LZ4 decompression",
                                       "LZF compression - LZF decompression",
                                       "DXTR1 compression - DXTR1 decompression",
                                       "DXTR5 compression - DXTR5 decompression",
                                       "YOCOCG6 compression - YOCOCG6 decompression",
                                       "YAOCOCG10 compression - YAOCOCG10 decompression",
                                       "no compression - no decompression"};
        ASSERT_EQ(qmv::getNumCompressionTypes(), 8);
        for (int i = 0; i < 8; ++i)
            EXPECT_STREQ(qmv::getCompressionDesc(i), descriptions[i]);
        EXPECT_STREQ(qmv::getCompressionDesc(8), "");
        EXPECT_STREQ(qmv::getCompressionDesc(-1), "");

        EXPECT_EQ(qmv::getCompressorSafeBufferSize(0, 800), 800u + 100 + 64);
        EXPECT_EQ(qmv::getCompressorSafeBufferSize(2, 800), 800u + 25 + 64);
        EXPECT_EQ(qmv::getCompressorSafeBufferSize(6, 800), 800u);
        EXPECT_EQ(qmv::getCompressorSafeBufferSize(7, 800), 0u);
    }

    TEST(QMVFrameTest, IncompressibleBlocksAreStoredRaw)
    {
        const Bytes blocks = randomBytes(128, 1);
        Bytes frame(140);
        ASSERT_EQ(qmv::compressFrameLosslessStep(frame.data(), blocks.data(), 128, 0, 0), 140);
        EXPECT_EQ(frame[6], 1);
        EXPECT_EQ(Bytes(frame.begin() + 8, frame.begin() + 12), u32le(128));
        EXPECT_EQ(decompress(frame, 1, 1, 0), blocks) << "read back whatever the compressor";
    }

    TEST(QMVFrameTest, FramesWithoutALosslessStageAreRefused)
    {
        const Bytes rgba(10 * 10 * 8, 7);
        Bytes frame(2000, 0xEE);
        for (int type : {6, 7, 8, -1})
        {
            EXPECT_EQ(qmv::compressFrame(frame.data(), rgba.data(), 80, 10, 10, type, 1, -1, false, nullptr), 0) << type;
            EXPECT_EQ(qmv::compressFrameQMVOnly(frame.data(), rgba.data(), 80, 10, 10, type), 0) << type;
        }
        EXPECT_EQ(frame, Bytes(2000, 0xEE)) << "nothing written";
        EXPECT_EQ(qmv::compressFrameLosslessStep(frame.data(), rgba.data(), 200, 7, -1), 0);
        EXPECT_EQ(qmv::compressFrameLosslessStep(frame.data(), rgba.data(), 256, 0, 8), 0);
        EXPECT_EQ(qmv::compressFrameLosslessStep(frame.data(), rgba.data(), 256, 0, -2), 0);
    }

    TEST(QMVFrameTest, OldHeadersReadAsTypesFourAndFive)
    {
        const Bytes blocks = cat({Bytes(120, 3), randomBytes(136, 2)}); // 16 x 16 DXT5 blocks
        // LZF, the old frames' default compressor, behind an old 4-byte header.
        Bytes packed(blocks.size() + 64);
        packed.resize(lzf_compress(blocks.data(), unsigned(blocks.size()), packed.data(), unsigned(packed.size())));
        ASSERT_GT(packed.size(), 0u);
        const auto n = std::uint32_t(packed.size());
        const Bytes frame = cat({{std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(n >> 16), 0x45}, packed});

        EXPECT_TRUE(qmv::isOldHeader(frame.data()));
        const qmv::QMVHeader header = qmv::getFrameHeader(frame.data());
        EXPECT_EQ(header.fourcc, qmv::fourccDXT5);
        EXPECT_EQ(header.version, 3);
        EXPECT_EQ(header.raw, 0);
        EXPECT_EQ(header.payloadSize, n);
        EXPECT_EQ(qmv::fourccToQMVType(header.fourcc, header.version), qmv::typeDXT5Old);
        EXPECT_EQ(qmv::getFrameDataWithoutHeader(frame.data()), frame.data() + 4);
        EXPECT_EQ(decompress(frame, 16, 16, 5), blocks);

        const Bytes flags = {0, 0, 0, 0x8F};
        EXPECT_EQ(qmv::getFrameHeader(flags.data()).version, 3) << "a version nibble over 3 is 3";
        EXPECT_EQ(qmv::getFrameHeader(flags.data()).raw, 128);
        EXPECT_EQ(qmv::getFrameHeader(flags.data()).fourcc, qmv::fourccDXT1);
        EXPECT_EQ(qmv::checkMajorVersion(flags.data()), 15);
        const Bytes subVersion = {0, 0, 0, 0x32};
        EXPECT_EQ(qmv::getFrameHeader(subVersion.data()).subVersion, 3);
    }

    struct QMVSwizzleCase
    {
        const char* name;
        int type;
        int alpha;
    };

    class QMVSwizzleTest : public testing::TestWithParam<QMVSwizzleCase>
    {
    };

    TEST_P(QMVSwizzleTest, AlphaFirstPixelsAreReordered)
    {
        const Bytes pixel = {0x10, 0x20, 0x30, 0x40};
        const Bytes blocks = decompress(compressFrame(pixel, 1, 1, GetParam().type, -1, true), 1, 1, GetParam().type);
        ASSERT_FALSE(blocks.empty());
        const Bytes rgba = decodeS3TC(blocks.data(), 16, 16, GetParam().type == 1);
        // 5 and 6 bits per colour channel: within half a step of 255 / 31.
        EXPECT_NEAR(rgba[0], 0x20, 4);
        EXPECT_NEAR(rgba[1], 0x30, 2);
        EXPECT_NEAR(rgba[2], 0x40, 4);
        EXPECT_EQ(rgba[3], GetParam().alpha);
        EXPECT_EQ(rgba[4], 0) << "the padding stays black";
    }

    INSTANTIATE_TEST_SUITE_P(Types, QMVSwizzleTest,
                             testing::Values(QMVSwizzleCase{"DXT1", 0, 255}, QMVSwizzleCase{"DXT5", 1, 0x10}),
                             [](const testing::TestParamInfo<QMVSwizzleCase>& info) { return std::string(info.param.name); });

    TEST(QMVFrameTest, MalformedFramesAreRefused)
    {
        const Bytes rgba = makeFrame(Scene::edges, 32, 16, 3);
        const Bytes frame = compressFrame(rgba, 32, 16, 1);
        ASSERT_FALSE(frame.empty());
        EXPECT_FALSE(decompress(frame, 32, 16, 1).empty());
        for (size_t cut = 0; cut < frame.size(); ++cut)
            ASSERT_TRUE(decompress(Bytes(frame.begin(), frame.begin() + long(cut)), 32, 16, 1).empty()) << cut;
        EXPECT_TRUE(decompress(frame, 32, 16, 1, -1, 512 - 1).empty()) << "block data over maxSize";
        EXPECT_FALSE(decompress(frame, 32, 16, 1, -1, 512).empty());
        EXPECT_TRUE(decompress(frame, 32, 16, 1, 8).empty()) << "no compressor 8";
        EXPECT_TRUE(decompress(frame, 32, 16, 1, -2).empty());

        Bytes raw(12 + 512);
        ASSERT_EQ(qmv::compressFrameLosslessStep(raw.data(), randomBytes(512, 4).data(), 512, 1, 0), 12 + 512);
        EXPECT_TRUE(decompress(raw, 32, 16, 1, -1, 511).empty()) << "maxSize holds for raw frames too";
        EXPECT_TRUE(decompress(raw, 48, 16, 1).empty()) << "raw payload not the block data's size";
        raw[8] = 0xFF; // payload size past the frame
        EXPECT_TRUE(decompress(raw, 32, 16, 1).empty());
    }

    struct QMVRoundTripCase
    {
        const char* name;
        int type;
        int compressor;
        Scene scene;
        int w, h;
    };

    class QMVRoundTripTest : public testing::TestWithParam<QMVRoundTripCase>
    {
    };

    TEST_P(QMVRoundTripTest, BlockDataComesBack)
    {
        const QMVRoundTripCase& c = GetParam();
        const Bytes rgba = makeFrame(c.scene, c.w, c.h, 21);
        const Bytes frame = compressFrame(rgba, c.w, c.h, c.type, c.compressor);
        ASSERT_FALSE(frame.empty());
        const Bytes blocks = textureStage(rgba, c.w, c.h, c.type);
        EXPECT_EQ(decompress(frame, c.w, c.h, c.type, c.compressor), blocks);

        // Packed LZ4 and LZF payloads are the libraries' own blocks.
        const qmv::QMVHeader header = qmv::getFrameHeader(frame.data());
        if (header.raw == 0 && (c.compressor == 0 || c.compressor == 1 || c.compressor == 2))
        {
            Bytes out(blocks.size());
            const int n = c.compressor == 2
                              ? int(lzf_decompress(frame.data() + 12, header.payloadSize, out.data(), unsigned(out.size())))
                              : LZ4_decompress_safe(reinterpret_cast<const char*>(frame.data()) + 12,
                                                    reinterpret_cast<char*>(out.data()), int(header.payloadSize),
                                                    int(out.size()));
            EXPECT_EQ(n, int(blocks.size()));
            EXPECT_EQ(out, blocks);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Frames, QMVRoundTripTest,
        testing::Values(QMVRoundTripCase{"DXT1Default", 0, -1, Scene::gradient, 40, 24},
                        QMVRoundTripCase{"DXT5Default", 1, -1, Scene::alphaRamp, 33, 17},
                        QMVRoundTripCase{"YCoCg6Default", 2, -1, Scene::edges, 48, 32},
                        QMVRoundTripCase{"YACoCg10Default", 3, -1, Scene::alphaRamp, 17, 9},
                        QMVRoundTripCase{"DXT1OldDefault", 4, -1, Scene::tiles, 64, 16},
                        QMVRoundTripCase{"DXT5OldDefault", 5, -1, Scene::gradient, 16, 64},
                        QMVRoundTripCase{"DXT1LZ4", 0, 0, Scene::tiles, 64, 48},
                        QMVRoundTripCase{"DXT5LZ4HC", 1, 1, Scene::tiles, 64, 48},
                        QMVRoundTripCase{"YCoCg6LZF", 2, 2, Scene::tiles, 64, 48},
                        QMVRoundTripCase{"YACoCg10Copy", 3, 7, Scene::noise, 24, 24},
                        QMVRoundTripCase{"DXT5OldLZ4", 5, 0, Scene::edges, 40, 40},
                        QMVRoundTripCase{"DXT1NoiseDXTR", 0, 3, Scene::noise, 32, 32}),
        [](const testing::TestParamInfo<QMVRoundTripCase>& info) { return std::string(info.param.name); });

    TEST(QMVFrameTest, DXTFramesDecodeCloseToTheSource)
    {
        for (int type : {0, 1})
        {
            const Bytes rgba = makeFrame(Scene::alphaRamp, 32, 32, 5);
            const Bytes blocks = decompress(compressFrame(rgba, 32, 32, type), 32, 32, type);
            ASSERT_FALSE(blocks.empty());
            const Bytes decoded = decodeS3TC(blocks.data(), 32, 32, type == 1);
            long error = 0;
            for (size_t i = 0; i < rgba.size(); ++i)
                error += std::abs(int(decoded[i]) - (i % 4 == 3 && type == 0 ? 255 : int(rgba[i])));
            // A smooth ramp: S3TC's four-level palettes keep the mean error small.
            EXPECT_LT(double(error) / double(rgba.size()), 4.0) << "type " << type;
        }
    }

    TEST(QMVFrameTest, ThreadsAndSessionsWriteTheSameFrame)
    {
        const Bytes rgba = makeFrame(Scene::gradient, 200, 100, 8);
        for (int type : {0, 1})
        {
            const Bytes single = compressFrame(rgba, 200, 100, type);
            EXPECT_EQ(compressFrame(rgba, 200, 100, type, -1, false, 4), single);
            qmv::Session* session = qmv::beginCompressionPersistent();
            EXPECT_EQ(compressFrame(rgba, 200, 100, type, -1, false, 3, session), single);
            EXPECT_EQ(compressFrame(rgba, 200, 100, type, -1, false, 3, session), single) << "second frame";
            qmv::endCompressionPersistent(&session);
            EXPECT_EQ(session, nullptr);
        }
    }
}
