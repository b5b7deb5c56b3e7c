#include "engine/video/codecs/VXPixelsCompressor.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "engine/gfx/VXTexture.h"
#include "engine/video/codecs/VXDXTPixelsCompressor.h"
#include "engine/video/codecs/VXDummyPixelsCompressor.h"
#include "engine/video/codecs/VXHAPPixelsCompressor.h"
#include "engine/video/codecs/VXLZ4PixelsCompressor.h"
#include "engine/video/codecs/VXLZFPixelsCompressor.h"
#include "engine/video/codecs/VXPNGPixelsCompressor.h"
#include "engine/video/codecs/VXQMVFrame.h"
#include "engine/video/codecs/VXUVAPixelsCompressor.h"
#include "engine/video/codecs/VXUVMapCorpus.h"
#include "engine/video/codecs/VXYCoCgTestCorpus.h"
#include "engine/video/formats/VXPixels.h"

namespace vx::test
{
    namespace
    {
        std::unique_ptr<PixelsCompressor> makeCompressor(int id)
        {
            switch (id)
            {
                case PixelsCompressor::Dummy: return std::make_unique<DummyPixelsCompressor>();
                case PixelsCompressor::LZF: return std::make_unique<LZFPixelsCompressor>();
                case PixelsCompressor::LZ4: return std::make_unique<LZ4PixelsCompressor>();
                case PixelsCompressor::PNG: return std::make_unique<PNGPixelsCompressor>();
                case PixelsCompressor::DXT: return std::make_unique<DXTPixelsCompressor>();
                case PixelsCompressor::HAP: return std::make_unique<HAPPixelsCompressor>();
                case PixelsCompressor::UVA: return std::make_unique<UVAPixelsCompressor>();
                default: return nullptr;
            }
        }

        // A picture of the given pixel size (the RGB or grey part of an RGBA picture).
        std::unique_ptr<Pixels> picture(int w, int h, int bytesPerPixel, Scene scene = Scene::edges)
        {
            const Bytes rgba = makeFrame(scene, w, h, 17);
            auto pixels = std::make_unique<Pixels>(w, h, bytesPerPixel, nullptr);
            for (int i = 0; i < w * h; ++i)
                std::memcpy(pixels->data + size_t(i) * bytesPerPixel, &rgba[size_t(i) * 4], size_t(bytesPerPixel));
            return pixels;
        }

        Bytes bytesOf(const Pixels& p) { return Bytes(p.data, p.data + p.getDataSize()); }

        // Tightly packed DXT blocks of an RGBA picture as a DXT image.
        std::unique_ptr<Pixels> dxtPicture(int w, int h, bool dxt5)
        {
            const Bytes rgba = makeFrame(Scene::alphaRamp, w, h, 3);
            const int type = dxt5 ? 1 : 0;
            Bytes padded(size_t(qmv::getCompressedSize(w, h, type)));
            qmv::compressFrameQMVOnly(padded.data(), rgba.data(), unsigned(w) * 4, w, h, type);
            auto pixels = std::make_unique<Pixels>(w, h, 4, long(padded.size()), padded.data());
            pixels->format = dxt5 ? Texture::DXT5_RGBA : Texture::DXT1_RGBA;
            return pixels;
        }
    }

    struct LosslessCase
    {
        const char* name;
        int id;
        int bytesPerPixel;
    };

    class PixelsCompressorLosslessTest : public testing::TestWithParam<LosslessCase>
    {
    };

    TEST_P(PixelsCompressorLosslessTest, ImagesComeBackExactly)
    {
        const LosslessCase& c = GetParam();
        auto compressor = makeCompressor(c.id);
        const auto source = picture(61, 37, c.bytesPerPixel);
        CompressedPixels packed;
        ASSERT_TRUE(compressor->compress(source.get(), packed));
        EXPECT_EQ(packed.type, c.id);
        EXPECT_EQ(packed.width, 61);
        EXPECT_EQ(packed.height, 37);
        EXPECT_EQ(packed.bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(packed.paddedWidth, 0);
        if (c.id != PixelsCompressor::Dummy)
        {
            EXPECT_LT(packed.size, source->getDataSize());
        }
        const std::unique_ptr<Pixels> back(compressor->decompress(packed));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->width, 61);
        EXPECT_EQ(back->height, 37);
        EXPECT_EQ(back->bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(bytesOf(*back), bytesOf(*source));
    }

    INSTANTIATE_TEST_SUITE_P(
        Members, PixelsCompressorLosslessTest,
        testing::Values(LosslessCase{"Dummy4", 0, 4}, LosslessCase{"Dummy3", 0, 3}, LosslessCase{"LZF4", 1, 4},
                        LosslessCase{"LZF3", 1, 3}, LosslessCase{"LZ44", 2, 4}, LosslessCase{"LZ43", 2, 3},
                        LosslessCase{"PNG4", 3, 4}, LosslessCase{"PNG3", 3, 3}, LosslessCase{"PNG1", 3, 1}),
        [](const testing::TestParamInfo<LosslessCase>& info) { return std::string(info.param.name); });

    TEST(PixelsCompressorTest, LZ4RefusesWhatDoesNotShrink)
    {
        LZ4PixelsCompressor lz4;
        Pixels noise(40, 30, 4, nullptr);
        std::mt19937 random(5);
        for (int i = 0; i < noise.getDataSize(); ++i)
            noise.data[i] = std::uint8_t(random());
        CompressedPixels packed;
        EXPECT_FALSE(lz4.compress(&noise, packed));
        EXPECT_EQ(packed.data, nullptr);
        EXPECT_EQ(packed.type, 0);
    }

    TEST(PixelsCompressorTest, OnlyHapWantsRedAndBlueSwapped)
    {
        for (int id : {0, 1, 2, 3, 5, 8, 9})
            EXPECT_EQ(makeCompressor(id)->getInputPixelsOrder(), id == PixelsCompressor::HAP ? 1 : 0) << id;
    }

    TEST(PixelsCompressorTest, DXTPadsToSixteenAndKeepsTheBlocks)
    {
        DXTPixelsCompressor dxt;
        const auto source = picture(100, 60, 4, Scene::gradient);
        CompressedPixels packed;
        ASSERT_TRUE(dxt.compress(source.get(), packed));
        EXPECT_EQ(packed.type, PixelsCompressor::DXT);
        EXPECT_EQ(packed.paddedWidth, 112);
        EXPECT_EQ(packed.paddedHeight, 64);
        EXPECT_EQ(qmv::getFrameHeader(packed.data).fourcc, qmv::fourccDXT1);

        const std::unique_ptr<Pixels> back(dxt.decompress(packed));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->width, 112);
        EXPECT_EQ(back->height, 64);
        EXPECT_EQ(back->getDataSize(), 3584);
        EXPECT_TRUE(back->format == Texture::DXT1_RGBA);
        Bytes blocks(3584);
        qmv::compressFrameQMVOnly(blocks.data(), source->data, 400, 100, 60, 0);
        EXPECT_EQ(bytesOf(*back), blocks);
    }

    TEST(PixelsCompressorTest, DXTImagesOnlyTakeTheLosslessStep)
    {
        DXTPixelsCompressor dxt;
        // DXT5 blocks padded to 16, then DXT1 blocks of 100 x 60 tightly packed
        // (25 x 15 blocks) that the frame lays out as 28 x 16.
        const auto dxt5 = dxtPicture(48, 32, true);
        CompressedPixels packed;
        ASSERT_TRUE(dxt.compress(dxt5.get(), packed));
        EXPECT_EQ(qmv::getFrameHeader(packed.data).fourcc, qmv::fourccDXT5);
        std::unique_ptr<Pixels> back(dxt.decompress(packed));
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->format == Texture::DXT5_RGBA);
        EXPECT_EQ(bytesOf(*back), bytesOf(*dxt5));

        const auto padded = dxtPicture(100, 60, false);
        Pixels tight(100, 60, 4, long(25 * 15 * 8));
        tight.format = Texture::DXT1_RGB;
        for (int row = 0; row < 15; ++row)
            std::memcpy(tight.data + row * 200, padded->data + row * 224, 200);
        ASSERT_TRUE(dxt.compress(&tight, packed));
        back.reset(dxt.decompress(packed));
        ASSERT_NE(back, nullptr);
        for (int row = 0; row < 15; ++row)
            ASSERT_EQ(std::memcmp(back->data + row * 224, padded->data + row * 224, 200), 0) << row;

        Pixels odd(100, 60, 4, long(1000));
        odd.format = Texture::DXT1_RGB;
        EXPECT_FALSE(dxt.compress(&odd, packed)) << "neither tight nor padded";
    }

    TEST(PixelsCompressorTest, DXTRefusesOtherImagesAndFrames)
    {
        DXTPixelsCompressor dxt;
        CompressedPixels packed;
        EXPECT_FALSE(dxt.compress(picture(20, 20, 3).get(), packed)) << "3-byte pixels";
        EXPECT_FALSE(dxt.compress(picture(20, 20, 1).get(), packed));
        EXPECT_EQ(packed.data, nullptr);

        // A YCoCg6 frame in a DXT payload.
        const auto source = picture(32, 16, 4);
        Bytes frame(size_t(qmv::getCompressedSize(32, 16, 2)) + 12);
        frame.resize(size_t(qmv::compressFrame(frame.data(), source->data, 128, 32, 16, 2, 1, -1, false, nullptr)));
        packed.allocateData(long(frame.size()));
        std::memcpy(packed.data, frame.data(), frame.size());
        packed.width = 32;
        packed.height = 16;
        packed.bytesPerPixel = 4;
        EXPECT_EQ(dxt.decompress(packed), nullptr);

        ASSERT_TRUE(dxt.compress(source.get(), packed));
        packed.paddedWidth = 16; // smaller than the frame's blocks
        EXPECT_EQ(dxt.decompress(packed), nullptr);
    }

    TEST(PixelsCompressorTest, HapTakesDXT1Only)
    {
        HAPPixelsCompressor hap;
        CompressedPixels packed;
        EXPECT_FALSE(hap.compress(picture(16, 16, 4).get(), packed)) << "RGBA is not DXT1";
        EXPECT_FALSE(hap.compress(dxtPicture(16, 16, true).get(), packed)) << "DXT5";

        const auto blocks = dxtPicture(64, 32, false);
        ASSERT_TRUE(hap.compress(blocks.get(), packed));
        EXPECT_EQ(packed.data[3] & 0x0F, 0xB);
        const std::unique_ptr<Pixels> back(hap.decompress(packed));
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(back->format == Texture::DXT1_RGBA);
        EXPECT_EQ(bytesOf(*back), bytesOf(*blocks));

        packed.width = 68; // the blocks no longer cover the image
        EXPECT_EQ(hap.decompress(packed), nullptr);
    }

    TEST(PixelsCompressorTest, UVMapsAreEightBytesAPixel)
    {
        UVAPixelsCompressor uva;
        CompressedPixels packed;
        EXPECT_FALSE(uva.compress(picture(16, 16, 4).get(), packed));

        const Words map = makeUVMap(UVMap::holes, 40, 30, 2);
        Pixels source(40, 30, 8, reinterpret_cast<const unsigned char*>(map.data()));
        ASSERT_TRUE(uva.compress(&source, packed));
        EXPECT_EQ(packed.type, PixelsCompressor::UVA);
        std::unique_ptr<Pixels> back(uva.decompress(packed));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->bytesPerPixel, 8);
        EXPECT_EQ(Bytes(back->data, back->data + 39 * 8), Bytes(source.data, source.data + 39 * 8))
            << "the first row is exact (its last pixel is transparent)";

        uva.setUseLA16A8(true);
        const std::unique_ptr<Pixels> planes(uva.decompress(packed));
        ASSERT_NE(planes, nullptr);
        for (int i = 0; i < 40 * 30; ++i)
        {
            ASSERT_EQ(std::memcmp(planes->data + 4 * i, back->data + 8 * i, 4), 0) << i;
            ASSERT_EQ(planes->data[40 * 30 * 4 + i], back->data[8 * i + 7]) << i;
        }

        packed.bytesPerPixel = 4;
        EXPECT_EQ(uva.decompress(packed), nullptr);
    }

    TEST(PixelsCompressorTest, DecompressionIsBoundedByTheImage)
    {
        CompressedPixels in;
        in.allocateData(1000);
        std::memset(in.data, 7, 1000);
        in.width = 10;
        in.height = 10;
        in.bytesPerPixel = 4;
        const std::unique_ptr<Pixels> dummy(DummyPixelsCompressor().decompress(in));
        ASSERT_NE(dummy, nullptr);
        EXPECT_EQ(dummy->getDataSize(), 400);

        in.width = 1 << 20;
        in.height = 1 << 20;
        for (int id : {0, 1, 2, 3, 5, 8, 9})
            EXPECT_EQ(makeCompressor(id)->decompress(in), nullptr) << id;
        in.width = -4;
        for (int id : {0, 1, 2, 3, 5, 8, 9})
            EXPECT_EQ(makeCompressor(id)->decompress(in), nullptr) << id;
    }

    TEST(PixelsCompressorTest, ConstantFramesReuseTheirBuffers)
    {
        for (int id : {1, 2, 5, 8})
        {
            auto compressor = makeCompressor(id);
            const auto source = id == PixelsCompressor::HAP ? dxtPicture(64, 48, false) : picture(64, 48, 4);
            CompressedPixels packed;
            ASSERT_TRUE(compressor->compress(source.get(), packed)) << id;
            const unsigned char* work = compressor->getWorkBuffer();
            const unsigned char* payload = packed.data;
            for (int frame = 0; frame < 3; ++frame)
            {
                ASSERT_TRUE(compressor->compress(source.get(), packed)) << id;
                EXPECT_EQ(compressor->getWorkBuffer(), work) << id;
                EXPECT_EQ(packed.data, payload) << id;
            }
        }
    }
}
