#include "engine/video/codecs/VXVideoCodecInfoQMV.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXQMVCompressor.h"
#include "engine/video/codecs/VXQMVDecompressor.h"
#include "engine/video/codecs/VXUVM.h"
#include "engine/video/codecs/VXUVMapCorpus.h"
#include "engine/video/codecs/VXYCoCgTestCorpus.h"

namespace vx::test
{
    namespace
    {
        constexpr std::uint32_t qmdi = 1364018249, qmd3 = 1364018227;

        // The picture with padding bytes after each row (filled with 0xCD).
        Bytes withStride(const Bytes& tight, int rowBytes, int height, int stride)
        {
            Bytes out(size_t(stride) * height, 0xCD);
            for (int y = 0; y < height; ++y)
                std::memcpy(&out[size_t(y) * stride], &tight[size_t(y) * rowBytes], size_t(rowBytes));
            return out;
        }

        struct Stream
        {
            VideoCodecInfoQMV info;
            std::unique_ptr<VideoCodecSettings> settings;
            std::unique_ptr<Compressor> compressor;

            Stream(int w, int h, int type)
            {
                info.getFormatType()->setValue(type, ValueChangeInfo());
                settings = std::make_unique<VideoCodecSettings>(w, h, 25.0, &info);
                compressor.reset(settings->getCompressor());
            }

            Bytes compress(Bytes& source, int stride)
            {
                Bytes frame(size_t(compressor->getSafeBufferSize()));
                const int n = compressor->compressFrame(source.data(), frame.data(), stride);
                frame.resize(size_t(std::max(n, 0)));
                return frame;
            }
        };
    }

    TEST(QMVCodecTest, CodecInfoOffersItsFourCCsAndFormats)
    {
        VideoCodecInfoQMV info;
        EXPECT_EQ(info.getIdentifier(), 1);
        EXPECT_EQ(info.getFourCC().getCode(), qmd3);
        const auto& fourCC = info.getFourCCParam();
        ASSERT_EQ(fourCC->getChoices().size(), 2u);
        EXPECT_EQ(fourCC->getChoiceByName("QMDI")->getValue().getCode(), qmdi);
        EXPECT_EQ(fourCC->getChoiceByName("QMD3")->getValue().getCode(), qmd3);
        const ParamView* view = info.getParams()->getViewForParam(*fourCC);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(int(view->getVisibility()), 1);
        EXPECT_EQ(info.getParams()->getParamByName("Format Type").get(), info.getFormatType().get());

        const std::pair<const char*, int> formats[] = {{"Normal Quality, No Alpha", 0},
                                                       {"Normal Quality, With Alpha", 1},
                                                       {"High Quality, No Alpha", 2},
                                                       {"High Quality, With Alpha", 3},
                                                       {"UV Map", 6},
                                                       {"MASK", 7}};
        const auto& choices = info.getFormatType()->getChoices();
        ASSERT_EQ(choices.size(), 6u);
        EXPECT_EQ(info.getFormatType()->getValue(), 1);
        for (size_t i = 0; i < 6; ++i)
        {
            EXPECT_EQ(choices[i].getName(), formats[i].first);
            EXPECT_EQ(choices[i].getValue(), formats[i].second);
            info.getFormatType()->setValue(formats[i].second, ValueChangeInfo());
            EXPECT_EQ(info.getDescription(), std::string("QMV ") + formats[i].first);
        }
        info.getFormatType()->setValue(5, ValueChangeInfo());
        EXPECT_EQ(info.getDescription(), "QMV");
    }

    struct FillCase
    {
        const char* name;
        int type;
        int bytesPerPixel;
        const TextureFormat* format;
    };

    class QMVFillSettingsTest : public testing::TestWithParam<FillCase>
    {
    };

    TEST_P(QMVFillSettingsTest, SettingsFollowTheFormatType)
    {
        VideoCodecInfoQMV info;
        info.getFormatType()->setValue(GetParam().type, ValueChangeInfo());
        VideoCodecSettings plain(nullptr);
        EXPECT_EQ(plain.fourCC.getCode(), qmdi);
        EXPECT_EQ(plain.codecFilled, 0);

        VideoCodecSettings settings(64, 32, 30.0, &info);
        EXPECT_EQ(settings.codecInfo, &info);
        EXPECT_EQ(settings.formatRevision, 2);
        EXPECT_EQ(settings.codecFilled, 1);
        EXPECT_EQ(settings.layoutRevision, 2);
        EXPECT_EQ(settings.codecName, "QMV");
        EXPECT_EQ(settings.fourCC.getCode(), qmd3);
        EXPECT_EQ(settings.bytesPerPixel, GetParam().bytesPerPixel);
        EXPECT_TRUE(*settings.textureFormat == *GetParam().format);

        // The compressor writes the same into the settings it is made from.
        VideoCodecSettings other(64, 32, 30.0, nullptr);
        QMVCompressor compressor(other, qmv::QMVType(GetParam().type));
        EXPECT_EQ(other.bytesPerPixel, GetParam().bytesPerPixel);
        EXPECT_EQ(compressor.getSafeBufferSize(), qmv::getCompressedSize(64, 32, GetParam().type) + 12);
    }

    INSTANTIATE_TEST_SUITE_P(Types, QMVFillSettingsTest,
                             testing::Values(FillCase{"DXT5", 1, 4, &Texture::RGBA8},
                                             FillCase{"YCoCg6", 2, 4, &Texture::RGBA8},
                                             FillCase{"UVMap", 6, 8, &Texture::RGBA16I},
                                             FillCase{"Mask", 7, 2, &Texture::I16I}),
                             [](const testing::TestParamInfo<FillCase>& info) { return std::string(info.param.name); });

    TEST(QMVCodecTest, CodecNames)
    {
        EXPECT_EQ(QMVDecompressor::buildCodecName(4, 0, 1), "QMV 3.0 Normal Quality, With Alpha");
        EXPECT_EQ(QMVDecompressor::buildCodecName(3, 2, 4), "QMV 2.2 Normal Quality, No Alpha");
        EXPECT_EQ(QMVDecompressor::buildCodecName(4, 0, 6), "QMV 3.0 UV Map");
        EXPECT_EQ(QMVDecompressor::buildCodecName(4, 0, 7), "QMV 3.0 MASK");
        EXPECT_EQ(QMVDecompressor::buildCodecName(0, 0, 3).rfind("QMV -1.", 0), 0u);
        EXPECT_EQ(QMVDecompressor::buildCodecName(4, 0, 9), "QMV 3.0");
    }

    TEST(QMVCodecTest, DecompressorTakesItsSizesFromTheHeader)
    {
        VideoCodecInfoQMV info;
        VideoCodecSettings hd(1920, 1080, 25.0, &info);
        Bytes header = {0x36, 0x47, 0x43, 0x59, 4, 0, 0, 0, 0, 0, 0, 0}; // "YCG6"
        std::unique_ptr<Decompressor> decompressor(hd.getDecompressor(header.data(), 12));
        ASSERT_NE(decompressor, nullptr);
        const VideoCodecSettings& s = decompressor->getSettings();
        EXPECT_EQ(s.paddedWidth, 1920);
        EXPECT_EQ(s.paddedHeight, 1088);
        EXPECT_EQ(s.compressedSize, 1920 * 1088 * 3 / 4);
        EXPECT_EQ(s.maxFrameSize, s.compressedSize + 12);
        EXPECT_EQ(s.needsShader, 1);
        EXPECT_EQ(s.hasAlpha, 0);
        EXPECT_EQ(s.codecName, "QMV 3.0 High Quality, No Alpha");
        EXPECT_EQ(hd.getDecompressor(header.data(), 11), nullptr) << "short header";

        VideoCodecSettings map(100, 50, 25.0, &info);
        header = {0x30, 0x41, 0x56, 0x55, 4, 0, 0, 0, 0, 0, 0, 0}; // "UVA0"
        decompressor.reset(map.getDecompressor(header.data(), 12));
        ASSERT_NE(decompressor, nullptr);
        EXPECT_EQ(decompressor->getSettings().compressedSize, 40000);
        EXPECT_EQ(decompressor->getSettings().bytesPerPixel, 8);
        EXPECT_EQ(decompressor->getSettings().paddedWidth, 100);
        EXPECT_EQ(decompressor->getSettings().paddedHeight, 50);
        EXPECT_EQ(decompressor->getSettings().hasAlpha, 1);

        // An old DXT1 frame of sub-version 0 is flagged.
        header = {0x10, 0, 0, 0x03};
        decompressor.reset(map.getDecompressor(header.data(), 4));
        ASSERT_NE(decompressor, nullptr);
        EXPECT_EQ(decompressor->getSettings().oldFrameFlag, 1);
        EXPECT_TRUE(*decompressor->getSettings().textureFormat == Texture::DXT1_RGBA);
    }

    TEST(QMVCodecTest, TypeEightIsRefused)
    {
        VideoCodecSettings settings(32, 32, 25.0, nullptr);
        QMVCompressor compressor(settings, qmv::QMVType(8));
        Bytes source(32 * 32 * 4, 9), frame(size_t(compressor.getSafeBufferSize()));
        EXPECT_EQ(compressor.compressFrame(source.data(), frame.data(), 128), 0);
        QMVDecompressor decompressor(settings, qmv::QMVType(8), 4, 0);
        Bytes dxt = Bytes(32 * 32 + 12, 0);
        EXPECT_FALSE(decompressor.decompressFrame(source.data(), dxt.data(), int(dxt.size())));
    }

    struct CodecRoundTripCase
    {
        const char* name;
        int type;
        int w, h;
        bool swizzle;
        bool threads;
    };

    class QMVCodecRoundTripTest : public testing::TestWithParam<CodecRoundTripCase>
    {
    };

    TEST_P(QMVCodecRoundTripTest, PaddedRowsComeBack)
    {
        const CodecRoundTripCase& c = GetParam();
        Stream stream(c.w, c.h, c.type);
        auto* compressor = static_cast<QMVCompressor*>(stream.compressor.get());
        compressor->setSwizzleWhenCompressing(c.swizzle);
        compressor->setEnableMultiThreading(c.threads);

        const int pixelBytes = c.type == 6 ? 8 : c.type == 7 ? 2 : 4;
        Bytes tight;
        if (c.type == 6)
        {
            const Words map = makeUVMap(UVMap::holes, c.w, c.h, 4);
            tight.assign(reinterpret_cast<const std::uint8_t*>(map.data()),
                         reinterpret_cast<const std::uint8_t*>(map.data()) + map.size() * 2);
        }
        else if (c.type == 7)
        {
            // A mask of flat bands, which LZ4 packs.
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                {
                    const int v = (x / 8) * 4096 + (y / 4) * 256;
                    tight.push_back(std::uint8_t(v));
                    tight.push_back(std::uint8_t(v >> 8));
                }
        }
        else
            tight = makeFrame(Scene::alphaRamp, c.w, c.h, 6);
        const int stride = c.w * pixelBytes + 12;
        Bytes source = withStride(tight, c.w * pixelBytes, c.h, stride);

        const Bytes frame = stream.compress(source, stride);
        ASSERT_FALSE(frame.empty());
        EXPECT_EQ(frame[4], c.type == 4 || c.type == 5 ? 3 : 4);
        EXPECT_EQ(frame[5], 0);
        EXPECT_EQ(frame[7], 0);
        EXPECT_EQ(qmv::getFrameHeader(frame.data()).payloadSize, frame.size() - 12);
        EXPECT_EQ(stream.compress(source, stride), frame) << "a second frame is the same";

        std::unique_ptr<Decompressor> decompressor(
            stream.settings->getDecompressor(const_cast<std::uint8_t*>(frame.data()), int(frame.size())));
        ASSERT_NE(decompressor, nullptr);
        const int outBytes = decompressor->getSettings().compressedSize;
        Bytes out(size_t(outBytes) + 8, 0xEE);
        ASSERT_TRUE(decompressor->decompressFrame(out.data(), const_cast<std::uint8_t*>(frame.data()), int(frame.size())));
        EXPECT_EQ(Bytes(out.end() - 8, out.end()), Bytes(8, 0xEE));
        out.resize(size_t(outBytes));

        if (c.type == 7)
            EXPECT_EQ(out, tight);
        else if (c.type == 6)
        {
            // What the UV-map coder gives for the tightly packed map.
            Bytes stream6(tight.size());
            stream6.resize(UVM_compress_RGBA16(stream6.data(), stream6.size(),
                                               reinterpret_cast<const std::uint16_t*>(tight.data()), tight.size(),
                                               unsigned(c.w), unsigned(c.h)));
            Words expected(tight.size() / 2);
            UVM_decompress_RGBA16(expected.data(), unsigned(c.w), unsigned(c.h), stream6.data(), stream6.size());
            EXPECT_EQ(std::memcmp(out.data(), expected.data(), out.size()), 0);
        }
        else
        {
            Bytes rgba = tight;
            if (c.swizzle)
                for (size_t i = 0; i < rgba.size(); i += 4)
                    rgba[i] = tight[i + 1], rgba[i + 1] = tight[i + 2], rgba[i + 2] = tight[i + 3], rgba[i + 3] = tight[i];
            Bytes blocks(size_t(qmv::getCompressedSize(c.w, c.h, c.type)));
            qmv::compressFrameQMVOnly(blocks.data(), rgba.data(), unsigned(c.w) * 4, c.w, c.h, c.type);
            EXPECT_EQ(out, blocks);
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Types, QMVCodecRoundTripTest,
        testing::Values(CodecRoundTripCase{"DXT1Threads", 0, 50, 34, false, true},
                        CodecRoundTripCase{"DXT5SwizzledThreads", 1, 40, 40, true, true},
                        CodecRoundTripCase{"DXT5Single", 1, 17, 9, false, false},
                        CodecRoundTripCase{"YCoCg6", 2, 48, 20, true, true},
                        CodecRoundTripCase{"YACoCg10", 3, 33, 16, false, false},
                        CodecRoundTripCase{"DXT1Old", 4, 20, 20, true, true},
                        CodecRoundTripCase{"DXT5Old", 5, 36, 18, false, false},
                        CodecRoundTripCase{"UVMap", 6, 30, 20, false, true},
                        CodecRoundTripCase{"Mask", 7, 40, 12, false, true}),
        [](const testing::TestParamInfo<CodecRoundTripCase>& info) { return std::string(info.param.name); });

    TEST(QMVCodecTest, FailedPlaneStagesAnswerZero)
    {
        // Noise does not shrink under LZ4; a one-pixel-wide map needs
        // more than its raw size.
        Stream mask(16, 16, 7);
        Bytes noise(16 * 16 * 2);
        std::mt19937 random(3);
        for (auto& b : noise)
            b = std::uint8_t(random());
        EXPECT_TRUE(mask.compress(noise, 32).empty());

        Stream map(1, 40, 6);
        const Words speckled = makeUVMap(UVMap::warp, 1, 40, 5);
        Bytes bytes(reinterpret_cast<const std::uint8_t*>(speckled.data()),
                    reinterpret_cast<const std::uint8_t*>(speckled.data()) + speckled.size() * 2);
        EXPECT_TRUE(map.compress(bytes, 8).empty());
        EXPECT_TRUE(map.compress(bytes, 4).empty()) << "stride below a row";
    }

    TEST(QMVCodecTest, FlushEndsTheSessionButNotTheStream)
    {
        Stream stream(64, 32, 0);
        Bytes source = makeFrame(Scene::gradient, 64, 32, 2);
        const Bytes first = stream.compress(source, 256);
        stream.compressor->flush();
        EXPECT_EQ(stream.compress(source, 256), first);
    }
}
