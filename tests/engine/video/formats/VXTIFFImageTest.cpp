#include "engine/video/formats/VXTIFFImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <vector>

#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXImageVideoFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXPixelsUtils.h"
#include "engine/video/formats/VXTIFFImageFormatReader.h"
#include "engine/video/formats/VXTIFFTestWriter.h"
#include "support/VXLogRecorder.h"
#include "support/VXMovieClips.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        std::vector<unsigned char> decode(const std::string& path, unsigned* bytesPerPixel = nullptr)
        {
            std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(path.c_str()));
            if (image == nullptr || ! image->isValid())
                return {};
            unsigned size = 0;
            const std::unique_ptr<unsigned char[]> bytes(image->decompressToBytes(&size));
            if (bytes == nullptr)
                return {};
            if (bytesPerPixel != nullptr)
                *bytesPerPixel = image->getBytesPerPixel();
            return std::vector<unsigned char>(bytes.get(), bytes.get() + size);
        }

        RawTiff rgb8()
        {
            RawTiff t;
            t.width = 2;
            t.height = 2;
            t.samplesPerPixel = 3;
            t.photometric = PHOTOMETRIC_RGB;
            t.rows = {{10, 20, 30, 40, 50, 60}, {70, 80, 90, 100, 110, 120}};
            return t;
        }

        RawTiff grey16WhiteIsZero()
        {
            RawTiff t;
            t.width = 2;
            t.height = 1;
            t.bitsPerSample = 16;
            t.photometric = PHOTOMETRIC_MINISWHITE;
            t.rows = {wideRow({0x0102, 0xFFFF})};
            return t;
        }
    }

    TEST(TIFFImageTest, EightBitRGBComesThroughTheRGBAReaderOpaque)
    {
        TempDir dir;
        const std::string path = dir.file("rgb.tif");
        ASSERT_TRUE(writeTiff(path, rgb8()));
        unsigned size = 0;
        EXPECT_EQ(decode(path, &size),
                  (std::vector<unsigned char>{10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255, 100, 110, 120, 255}));
        EXPECT_EQ(size, 4u);
    }

    TEST(TIFFImageTest, SixteenBitGreyWhiteIsZeroIsInverted)
    {
        TempDir dir;
        const std::string path = dir.file("grey.tif");
        ASSERT_TRUE(writeTiff(path, grey16WhiteIsZero()));
        unsigned size = 0;
        const auto bytes = decode(path, &size);
        ASSERT_EQ(size, 8u);
        ASSERT_EQ(bytes.size(), 16u);
        std::uint16_t samples[8];
        std::memcpy(samples, bytes.data(), 16);
        EXPECT_EQ(samples[0], 0xFEFD);
        EXPECT_EQ(samples[2], 0xFEFD);
        EXPECT_EQ(samples[3], 0xFFFF);
        EXPECT_EQ(samples[4], 0);
        EXPECT_EQ(samples[7], 0xFFFF);
    }

    TEST(TIFFImageTest, FourBitPaletteTakesTheColourMap)
    {
        TempDir dir;
        RawTiff t;
        t.width = 3;
        t.height = 2;
        t.bitsPerSample = 4;
        t.photometric = PHOTOMETRIC_PALETTE;
        for (unsigned i = 0; i < 16; ++i)
        {
            t.red.push_back(static_cast<std::uint16_t>(i * 1000));
            t.green.push_back(static_cast<std::uint16_t>(i * 1000 + 1));
            t.blue.push_back(static_cast<std::uint16_t>(65535 - i));
        }
        // Indexes 1 2 15 / 0 7 3: the last byte of each row carries 4 unused bits.
        t.rows = {{0x12, 0xF0}, {0x07, 0x30}};
        const std::string path = dir.file("palette.tif");
        ASSERT_TRUE(writeTiff(path, t));
        unsigned size = 0;
        const auto bytes = decode(path, &size);
        ASSERT_EQ(size, 8u);
        ASSERT_EQ(bytes.size(), 48u);
        std::vector<std::uint16_t> samples(24);
        std::memcpy(samples.data(), bytes.data(), 48);
        const unsigned indexes[] = {1, 2, 15, 0, 7, 3};
        for (int p = 0; p < 6; ++p)
        {
            EXPECT_EQ(samples[4 * p], indexes[p] * 1000) << p;
            EXPECT_EQ(samples[4 * p + 1], indexes[p] * 1000 + 1) << p;
            EXPECT_EQ(samples[4 * p + 2], 65535 - indexes[p]) << p;
            EXPECT_EQ(samples[4 * p + 3], 65535) << p;
        }
    }

    TEST(TIFFImageTest, BilevelIsForcedToEightBitRGBA)
    {
        TempDir dir;
        RawTiff t;
        t.width = 3;
        t.height = 1;
        t.bitsPerSample = 1;
        t.photometric = PHOTOMETRIC_MINISBLACK;
        t.rows = {{0xA0}}; // 1 0 1
        const std::string path = dir.file("bilevel.tif");
        ASSERT_TRUE(writeTiff(path, t));
        std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(path.c_str()));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->getBitsPerSample(), 8u);
        EXPECT_EQ(image->getSamplesPerPixel(), 4u);
        EXPECT_EQ(decode(path), (std::vector<unsigned char>{255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}));
    }

    TEST(TIFFImageTest, GreyWithAlphaKeepsGreyAndAlphaApart)
    {
        TempDir dir;
        RawTiff t;
        t.width = 2;
        t.height = 1;
        t.samplesPerPixel = 2;
        t.extraSamples = {EXTRASAMPLE_UNASSALPHA};
        t.rows = {{200, 10, 50, 255}};
        const std::string path = dir.file("greyalpha.tif");
        ASSERT_TRUE(writeTiff(path, t));
        EXPECT_EQ(decode(path), (std::vector<unsigned char>{200, 200, 200, 10, 50, 50, 50, 255}));
    }

    struct RefusedCase
    {
        const char* name;
        RawTiff tiff;
    };

    class TIFFRefusedTest : public ::testing::TestWithParam<RefusedCase>
    {
    };

    TEST_P(TIFFRefusedTest, UnknownLayoutsAreRefusedNotOverrun)
    {
        TempDir dir;
        const std::string path = dir.file("x.tif");
        ASSERT_TRUE(writeTiff(path, GetParam().tiff));
        std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(path.c_str()));
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(image->isValid());
        EXPECT_EQ(image->decompressToBytes(nullptr), nullptr);
    }

    RawTiff separatePlanes16()
    {
        RawTiff t;
        t.width = 2;
        t.height = 1;
        t.bitsPerSample = 16;
        t.samplesPerPixel = 3;
        t.photometric = PHOTOMETRIC_RGB;
        t.planar = PLANARCONFIG_SEPARATE;
        t.rows = {wideRow({1, 2}), wideRow({3, 4}), wideRow({5, 6})};
        return t;
    }

    RawTiff fiveSamples16()
    {
        RawTiff t;
        t.width = 2;
        t.height = 1;
        t.bitsPerSample = 16;
        t.samplesPerPixel = 5;
        t.photometric = PHOTOMETRIC_RGB;
        t.extraSamples = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED};
        t.rows = {wideRow({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})};
        return t;
    }

    RawTiff threeGreySamples()
    {
        RawTiff t;
        t.width = 1;
        t.height = 1;
        t.samplesPerPixel = 3;
        t.extraSamples = {EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNSPECIFIED};
        t.rows = {{1, 2, 3}};
        return t;
    }

    INSTANTIATE_TEST_SUITE_P(Layouts, TIFFRefusedTest,
                             ::testing::Values(RefusedCase{"SeparatePlanes16", separatePlanes16()},
                                               RefusedCase{"FiveSamples16", fiveSamples16()},
                                               RefusedCase{"ThreeGreySamples", threeGreySamples()}),
                             [](const auto& info) { return std::string(info.param.name); });

    namespace
    {
        // 8 x 10 pixels: five rows of red above five of blue, opaque.
        std::vector<unsigned char> redAboveBlue(std::uint16_t samples)
        {
            std::vector<unsigned char> pixels;
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 8; ++x)
                {
                    const unsigned char red = y < 5 ? 255 : 0;
                    pixels.insert(pixels.end(), {red, 0, static_cast<unsigned char>(255 - red)});
                    if (samples == 4)
                        pixels.push_back(255);
                }
            return pixels;
        }

        std::string cutAt(std::string bytes, double share)
        {
            bytes.resize(static_cast<std::size_t>(double(bytes.size()) * share));
            return bytes;
        }
    }

    TEST(TIFFImageTest, AWholeFileWithItsDirectoryFirstDecodes)
    {
        TempDir dir;
        for (std::uint16_t samples : {3, 4})
        {
            const std::string path =
                dir.writeFile("whole.tif", chunkyTiffBytes(8, 10, samples, 1, redAboveBlue(samples)));
            const std::vector<unsigned char> decoded = decode(path);
            ASSERT_EQ(decoded.size(), 8u * 10 * 4) << samples;
            EXPECT_EQ(std::vector<unsigned char>(decoded.begin(), decoded.begin() + 4),
                      (std::vector<unsigned char>{255, 0, 0, 255}));
            EXPECT_EQ(std::vector<unsigned char>(decoded.end() - 4, decoded.end()),
                      (std::vector<unsigned char>{0, 0, 255, 255}));
        }
    }

    struct CutShortCase
    {
        const char* name;
        std::string bytes;
    };

    class TIFFCutShortTest : public ::testing::TestWithParam<CutShortCase>
    {
    };

    // A picture the file cannot hold is refused at its header, with a line,
    // never answered whole with rows made up (red above blue cut at 60%
    // answered all red) nor decoded at the size its header claims.
    TEST_P(TIFFCutShortTest, IsRefusedBeforeDecoding)
    {
        TempDir dir;
        const File file(dir.writeFile("short.tif", GetParam().bytes));
        std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(file.getFullPath().c_str()));
        ASSERT_NE(image, nullptr) << "the directory is whole";
        ASSERT_FALSE(image->isValid());
        EXPECT_EQ(image->decompressToBytes(nullptr), nullptr);
        LogRecorder log;
        unsigned long w = 0, h = 0;
        int channels = 0;
        EXPECT_EQ(ImageUtils::imageFromFile(file, &w, &h, &channels, 0), nullptr);
        EXPECT_EQ(log.count(logError), 1u) << log.dump();
        EXPECT_EQ(ImageVideoFormat().createReaderFor(file), nullptr);
    }

    INSTANTIATE_TEST_SUITE_P(
        Files, TIFFCutShortTest,
        ::testing::Values(CutShortCase{"RGBCutAt60Percent", cutAt(chunkyTiffBytes(8, 10, 3, 1, redAboveBlue(3)), 0.6)},
                          CutShortCase{"RGBACutAt60Percent", cutAt(chunkyTiffBytes(8, 10, 4, 1, redAboveBlue(4)), 0.6)},
                          CutShortCase{"OneStripCutShort", cutAt(chunkyTiffBytes(8, 10, 3, 10, redAboveBlue(3)), 0.9)},
                          CutShortCase{"Claims2048Square", chunkyTiffBytes(2048, 2048, 3, 2048, {1, 2, 3, 4, 5, 6})},
                          CutShortCase{"Claims16384Square", chunkyTiffBytes(16384, 16384, 4, 1, {})}),
        [](const auto& info) { return std::string(info.param.name); });

    // Strips that lie whole in the file but do not decode (compressed
    // strips spoilt) fail the decoding: no picture, and a line.
    TEST(TIFFImageTest, StripsThatDoNotDecodeAreRefused)
    {
        for (std::uint16_t samples : {3, 4})
        {
            SCOPED_TRACE(samples);
            TempDir dir;
            RawTiff t;
            t.width = 8;
            t.height = 10;
            t.samplesPerPixel = samples;
            t.photometric = PHOTOMETRIC_RGB;
            t.compression = COMPRESSION_ADOBE_DEFLATE;
            if (samples == 4)
                t.extraSamples = {EXTRASAMPLE_UNASSALPHA};
            const std::vector<unsigned char> pixels = redAboveBlue(samples);
            for (std::uint32_t y = 0; y < t.height; ++y)
                t.rows.emplace_back(pixels.begin() + y * 8 * samples, pixels.begin() + (y + 1) * 8 * samples);
            const std::string path = dir.file("spoilt.tif");
            ASSERT_TRUE(writeTiff(path, t));
            ASSERT_EQ(decode(path).size(), 8u * 10 * 4) << "whole, it decodes";

            // The lower half's strips overwritten in place.
            std::string bytes = dir.readFile("spoilt.tif");
            TIFF* tiff = TIFFOpen(path.c_str(), "r");
            ASSERT_NE(tiff, nullptr);
            for (std::uint32_t strip = 5; strip < 10; ++strip)
                bytes.replace(TIFFGetStrileOffset(tiff, strip), TIFFGetStrileByteCount(tiff, strip),
                              TIFFGetStrileByteCount(tiff, strip), '\xFF');
            TIFFClose(tiff);
            const File file(dir.writeFile("spoilt.tif", bytes));

            std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(path.c_str()));
            ASSERT_NE(image, nullptr);
            EXPECT_TRUE(image->isValid()) << "the strips lie in the file";
            EXPECT_EQ(image->decompressToBytes(nullptr), nullptr);
            LogRecorder log;
            unsigned long w = 0, h = 0;
            int channels = 0;
            EXPECT_EQ(ImageUtils::imageFromFile(file, &w, &h, &channels, 0), nullptr);
            EXPECT_TRUE(log.contains("TIFF decoding failed")) << log.dump();
        }
    }

    TEST(TIFFImageTest, ChannelsToEightBits)
    {
        EXPECT_EQ(to4bitChannel(static_cast<unsigned short>(65535)), 255);
        EXPECT_EQ(to4bitChannel(static_cast<unsigned short>(256)), 0);
        EXPECT_EQ(to4bitChannel(static_cast<unsigned int>(65535 * 2)), 254);
        EXPECT_EQ(to4bitChannel(1.0f), 255);
        EXPECT_EQ(to4bitChannel(2.0f), 254) << "low 8 bits of 510";

        TempDir dir;
        const std::string path = dir.file("grey.tif");
        ASSERT_TRUE(writeTiff(path, grey16WhiteIsZero()));
        std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(path.c_str()));
        unsigned char* bgra = image->to32bitARGB();
        ASSERT_NE(bgra, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(bgra, bgra + 8),
                  (std::vector<unsigned char>{253, 253, 253, 255, 0, 0, 0, 255}));
        std::free(bgra);
        EXPECT_EQ(TIFFImageFormat::load(dir.file("missing.tif").c_str()), nullptr);
    }

    TEST(TIFFImageTest, ImageFilesGiveTheLayoutAskedFor)
    {
        TempDir dir;
        const File file(dir.file("rgb.tif"));
        ASSERT_TRUE(writeTiff(file.getFullPath(), rgb8()));
        unsigned long w = 0, h = 0;
        int channels = 0;
        unsigned char* own = ImageUtils::imageFromFile(file, &w, &h, &channels, 0);
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(channels, 4);
        std::free(own);
        unsigned char* rgb = ImageUtils::imageFromFile(file, &w, &h, &channels, 3);
        ASSERT_NE(rgb, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(rgb, rgb + 12),
                  (std::vector<unsigned char>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}));
        std::free(rgb);

        std::unique_ptr<Pixels> pixels(PixelsUtils::pixelsFromFile(File(dir.file("rgb.tif"))));
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->bytesPerPixel, 4);
    }

    // A program that does not link the TIFF layer has no decoder: TIFF files
    // are refused with a line, other files still decode.
    TEST(TIFFImageTest, WithoutTheTIFFLayerTIFFFilesAreRefused)
    {
        TempDir dir;
        const File file(dir.file("rgb.tif"));
        ASSERT_TRUE(writeTiff(file.getFullPath(), rgb8()));
        const ImageUtils::FileDecoder installed = ImageUtils::getTIFFDecoder();
        ASSERT_NE(installed, nullptr) << "the suite links the TIFF layer";
        ImageUtils::setTIFFDecoder(nullptr);
        unsigned long w = 0, h = 0;
        int channels = 0;
        LogRecorder log;
        unsigned char* refused = ImageUtils::imageFromFile(file, &w, &h, &channels, 0);
        ImageUtils::setTIFFDecoder(installed);
        EXPECT_EQ(refused, nullptr);
        std::free(refused);
        EXPECT_EQ(log.count(logError), 1u) << log.dump();
        unsigned char* decoded = ImageUtils::imageFromFile(file, &w, &h, &channels, 0);
        EXPECT_NE(decoded, nullptr);
        std::free(decoded);
    }

    TEST(TIFFImageFormatReaderTest, ReaderFacts)
    {
        TempDir dir;
        const File wide(dir.file("grey.tiff"));
        ASSERT_TRUE(writeTiff(wide.getFullPath(), grey16WhiteIsZero()));
        std::unique_ptr<VideoFormatReader> reader(ImageVideoFormat().createReaderFor(wide));
        ASSERT_NE(dynamic_cast<TIFFImageFormatReader*>(reader.get()), nullptr);
        EXPECT_EQ(reader->getCodecName(), "TIFF 64 bit");
        EXPECT_EQ(reader->getBitDepth(), 8);
        EXPECT_EQ(*reader->getTextureFormat(), Texture::RGBA16I);
        EXPECT_TRUE(reader->getHasAlpha());
        EXPECT_EQ(reader->getAlphaType().getValue(), 1);
        EXPECT_EQ(reader->getTotalFrames(), 1u);

        std::shared_ptr<Pixels> pixels;
        EXPECT_FALSE(reader->updatePixels(pixels)) << "only the header is read at first";
        EXPECT_TRUE(reader->read(0.0));
        ASSERT_TRUE(reader->updatePixels(pixels));
        EXPECT_EQ(pixels->dataSize, 16);

        const File rgb(dir.file("rgb.tif"));
        ASSERT_TRUE(writeTiff(rgb.getFullPath(), rgb8()));
        EXPECT_FALSE(reader->addFile(rgb, false)) << "another pixel size";
        EXPECT_EQ(ImageVideoFormat().createReaderFor(File(dir.writeFile("junk.tif", "junk"))), nullptr);
    }

    TEST(TIFFImageFormatReaderTest, ASequenceDecodesEachFrame)
    {
        TempDir dir;
        RawTiff a = rgb8(), b = rgb8();
        b.rows[0][0] = 99;
        ASSERT_TRUE(writeTiff(dir.file("a.tif"), a));
        ASSERT_TRUE(writeTiff(dir.file("b.tif"), b));
        TIFFImageFormatReader reader{File(dir.file("a.tif"))};
        ASSERT_TRUE(reader.addFile(File(dir.file("b.tif")), true));
        EXPECT_EQ(reader.getLength(), 80.0);
        EXPECT_TRUE(reader.read(45.0));
        std::shared_ptr<Pixels> pixels;
        ASSERT_TRUE(reader.updatePixels(pixels));
        EXPECT_EQ(pixels->data[0], 99);
        EXPECT_EQ(reader.getCustomThumbnail()->data[0], 10);
    }

    // Turnings by the tag's own words: where the stored picture's first row
    // and first column belong. Upright pixel (x, y) of orientation o is
    // stored pixel at(o, x, y) of a picture stored w wide and h high.
    struct StoredAt
    {
        std::uint32_t x, y;
    };

    StoredAt storedPixelOf(unsigned o, std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h)
    {
        switch (o)
        {
            case 2:
                return {w - 1 - x, y}; // first row on top, first column on the right
            case 3:
                return {w - 1 - x, h - 1 - y}; // first row at the bottom, first column on the right
            case 4:
                return {x, h - 1 - y}; // first row at the bottom, first column on the left
            case 5:
                return {y, x}; // first row on the left, first column on top
            case 6:
                return {y, h - 1 - x}; // first row on the right, first column on top
            case 7:
                return {w - 1 - y, h - 1 - x}; // first row on the right, first column at the bottom
            case 8:
                return {w - 1 - y, x}; // first row on the left, first column at the bottom
            default:
                return {x, y};
        }
    }

    struct OrientedLayout
    {
        const char* name;
        // The stored picture, 5 wide and 3 high, every pixel its own.
        std::function<RawTiff()> make;
    };

    void PrintTo(const OrientedLayout& layout, std::ostream* out)
    {
        *out << layout.name;
    }

    class TIFFOrientationTest : public ::testing::TestWithParam<OrientedLayout>
    {
    protected:
        static constexpr std::uint32_t storedWidth = 5, storedHeight = 3;

        // The picture with the given Orientation tag, and its decoding.
        std::vector<unsigned char> decodeWith(unsigned orientation, std::uint32_t* width = nullptr,
                                              std::uint32_t* height = nullptr,
                                              std::vector<unsigned char>* bgra = nullptr)
        {
            RawTiff t = GetParam().make();
            t.orientation = static_cast<std::uint16_t>(orientation);
            const std::string path = dir.file("o" + std::to_string(orientation) + ".tif");
            if (! writeTiff(path, t))
                return {};
            std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(path.c_str()));
            if (image == nullptr || ! image->isValid())
                return {};
            if (width != nullptr)
                *width = image->getWidth();
            if (height != nullptr)
                *height = image->getHeight();
            if (bgra != nullptr)
            {
                unsigned char* small = image->to32bitARGB();
                if (small != nullptr)
                    bgra->assign(small, small + std::size_t(image->getWidth()) * image->getHeight() * 4);
                std::free(small);
            }
            return decode(path, &pixelSize);
        }

        TempDir dir;
        unsigned pixelSize = 0;
    };

    // Each layout decoded with orientations 1 to 8 stands as the tag says:
    // turned a quarter for 5 to 8 (not flipped), turned half for 3, whichever
    // road the layout takes (libtiff's RGBA reader or the scanlines).
    TEST_P(TIFFOrientationTest, ThePictureStandsAsItsTagSays)
    {
        const std::vector<unsigned char> stored = decodeWith(1);
        ASSERT_EQ(stored.size(), storedWidth * storedHeight * pixelSize);
        const unsigned size = pixelSize;
        for (unsigned o = 2; o <= 8; ++o)
        {
            SCOPED_TRACE("orientation " + std::to_string(o));
            std::uint32_t w = 0, h = 0;
            const std::vector<unsigned char> upright = decodeWith(o, &w, &h);
            EXPECT_EQ(pixelSize, size);
            ASSERT_EQ(upright.size(), stored.size());
            ASSERT_EQ(w, o >= 5 ? storedHeight : storedWidth);
            ASSERT_EQ(h, o >= 5 ? storedWidth : storedHeight);
            for (std::uint32_t y = 0; y < h; ++y)
                for (std::uint32_t x = 0; x < w; ++x)
                {
                    const StoredAt at = storedPixelOf(o, x, y, storedWidth, storedHeight);
                    ASSERT_EQ(
                        0, std::memcmp(&upright[(y * w + x) * size], &stored[(at.y * storedWidth + at.x) * size], size))
                        << "upright pixel " << x << ", " << y;
                }
        }
    }

    // The same files as ImageMagick turns them upright (-auto-orient), where
    // the machine has it: every pixel as 8-bit RGBA within one step.
    TEST_P(TIFFOrientationTest, AsImageMagickTurnsIt)
    {
        if (captureCommand("convert -version 2>/dev/null").find("ImageMagick") == std::string::npos)
            GTEST_SKIP() << "no ImageMagick here; the turnings are checked by the tag's own words above";
        for (unsigned o = 1; o <= 8; ++o)
        {
            SCOPED_TRACE("orientation " + std::to_string(o));
            std::uint32_t w = 0, h = 0;
            std::vector<unsigned char> bgra;
            ASSERT_FALSE(decodeWith(o, &w, &h, &bgra).empty());
            const std::string path = dir.file("o" + std::to_string(o) + ".tif");
            std::istringstream size(captureCommand("convert '" + path + "' -auto-orient -format '%w %h' info:"));
            std::uint32_t theirWidth = 0, theirHeight = 0;
            size >> theirWidth >> theirHeight;
            EXPECT_EQ(theirWidth, w);
            EXPECT_EQ(theirHeight, h);
            const std::string rgba = captureCommand("convert '" + path + "' -auto-orient -depth 8 rgba:-");
            ASSERT_EQ(rgba.size(), bgra.size());
            for (std::size_t i = 0; i < bgra.size(); i += 4)
            {
                const int ours[4] = {bgra[i + 2], bgra[i + 1], bgra[i], bgra[i + 3]};
                for (int c = 0; c < 4; ++c)
                    ASSERT_NEAR(ours[c], static_cast<unsigned char>(rgba[i + c]), 1)
                        << "pixel " << i / 4 << " channel " << c;
            }
        }
    }

    namespace
    {
        // Pixel k (0 to 14) of the 5 x 3 picture, row by row, as samples.
        RawTiff orientedPicture(std::uint16_t bits, std::uint16_t samples, std::uint16_t photometric,
                                const std::function<std::vector<unsigned char>(unsigned k)>& pixel)
        {
            RawTiff t;
            t.width = 5;
            t.height = 3;
            t.bitsPerSample = bits;
            t.samplesPerPixel = samples;
            t.photometric = photometric;
            for (unsigned y = 0; y < t.height; ++y)
            {
                std::vector<unsigned char> row;
                for (unsigned x = 0; x < t.width; ++x)
                {
                    const auto p = pixel(y * t.width + x);
                    row.insert(row.end(), p.begin(), p.end());
                }
                t.rows.push_back(row);
            }
            return t;
        }

        unsigned char level(unsigned k)
        {
            return static_cast<unsigned char>(k * 17);
        }

        std::uint16_t wideLevel(unsigned k)
        {
            return static_cast<std::uint16_t>(257 * level(k));
        }

        RawTiff rgb8Picture()
        {
            return orientedPicture(8, 3, PHOTOMETRIC_RGB,
                                   [](unsigned k) {
                                       return std::vector<unsigned char>{level(k), level(14 - k), 40};
                                   });
        }

        RawTiff rgba8Picture()
        {
            RawTiff t = orientedPicture(8, 4, PHOTOMETRIC_RGB,
                                        [](unsigned k)
                                        {
                                            return std::vector<unsigned char>{
                                                level(k), 90, level(14 - k),
                                                static_cast<unsigned char>(k % 3 != 0 ? 255 : 204)};
                                        });
            t.extraSamples = {EXTRASAMPLE_UNASSALPHA};
            return t;
        }

        RawTiff grey8Picture()
        {
            return orientedPicture(8, 1, PHOTOMETRIC_MINISBLACK,
                                   [](unsigned k) { return std::vector<unsigned char>{level(k)}; });
        }

        RawTiff palette8Picture()
        {
            RawTiff t =
                orientedPicture(8, 1, PHOTOMETRIC_PALETTE,
                                [](unsigned k) { return std::vector<unsigned char>{static_cast<unsigned char>(k)}; });
            for (unsigned i = 0; i < 256; ++i)
            {
                t.red.push_back(wideLevel(i % 15));
                t.green.push_back(wideLevel(14 - i % 15));
                t.blue.push_back(257 * 60);
            }
            return t;
        }

        RawTiff rgb16Picture()
        {
            return orientedPicture(16, 3, PHOTOMETRIC_RGB,
                                   [](unsigned k) {
                                       return wideRow({wideLevel(k), 0x5050, wideLevel(14 - k)});
                                   });
        }

        RawTiff grey16Picture()
        {
            return orientedPicture(16, 1, PHOTOMETRIC_MINISBLACK, [](unsigned k) { return wideRow({wideLevel(k)}); });
        }

        RawTiff rgbFloatPicture()
        {
            RawTiff t = orientedPicture(32, 3, PHOTOMETRIC_RGB,
                                        [](unsigned k)
                                        {
                                            const float v[3] = {float(k) / 14.0f, 1.0f - float(k) / 14.0f, 0.5f};
                                            std::vector<unsigned char> bytes(sizeof v);
                                            std::memcpy(bytes.data(), v, sizeof v);
                                            return bytes;
                                        });
            t.sampleFormat = SAMPLEFORMAT_IEEEFP;
            return t;
        }

        // One bit a pixel, a row in a byte: the RGBA reader's forced layout.
        RawTiff bilevelPicture()
        {
            RawTiff t =
                orientedPicture(1, 1, PHOTOMETRIC_MINISBLACK, [](unsigned) { return std::vector<unsigned char>{}; });
            t.rows = {{0xA0}, {0x48}, {0xE8}};
            return t;
        }
    }

    INSTANTIATE_TEST_SUITE_P(
        Layouts, TIFFOrientationTest,
        ::testing::Values(OrientedLayout{"RGB8", rgb8Picture}, OrientedLayout{"RGBA8", rgba8Picture},
                          OrientedLayout{"Grey8", grey8Picture}, OrientedLayout{"Palette8", palette8Picture},
                          OrientedLayout{"RGB16", rgb16Picture}, OrientedLayout{"Grey16", grey16Picture},
                          OrientedLayout{"RGBFloat", rgbFloatPicture}, OrientedLayout{"Bilevel", bilevelPicture}),
        [](const auto& info) { return std::string(info.param.name); });

    // A reader of a portrait file opens at its upright size and serves the
    // picture turned, as ImageUtils does.
    TEST(TIFFImageFormatReaderTest, APortraitFileOpensUpright)
    {
        TempDir dir;
        RawTiff t = rgb8();
        t.height = 1;
        t.rows = {{10, 20, 30, 40, 50, 60}};
        t.orientation = ORIENTATION_RIGHTTOP;
        const File file(dir.file("portrait.tif"));
        ASSERT_TRUE(writeTiff(file.getFullPath(), t));
        std::unique_ptr<VideoFormatReader> reader(ImageVideoFormat().createReaderFor(file));
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->getTextureWidth(), 1);
        EXPECT_EQ(reader->getTextureHeight(), 2);
        EXPECT_TRUE(reader->read(0.0));
        std::shared_ptr<Pixels> pixels;
        ASSERT_TRUE(reader->updatePixels(pixels));
        EXPECT_EQ(pixels->width, 1);
        EXPECT_EQ(pixels->height, 2);
        EXPECT_EQ(std::vector<unsigned char>(pixels->data, pixels->data + 8),
                  (std::vector<unsigned char>{10, 20, 30, 255, 40, 50, 60, 255}));
        const std::shared_ptr<Pixels> viaUtils(PixelsUtils::pixelsFromFile(file));
        ASSERT_NE(viaUtils, nullptr);
        EXPECT_EQ(viaUtils->width, 1);
        EXPECT_EQ(viaUtils->height, 2);
        EXPECT_EQ(viaUtils->data[4], 40);
    }

    // The fuzz target's seeds are the layouts the reader meets: each opens,
    // and decodes unless it is one of the refused layouts.
    TEST(TIFFImageTest, FuzzSeedsOpenAndDecodeUnlessRefused)
    {
        const char* data = std::getenv("VX_TEST_DATA");
        ASSERT_NE(data, nullptr) << "VX_TEST_DATA names the tests' data folder";
        int seen = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(data) + "/fuzz/TiffReadFuzz"))
        {
            const std::string name = entry.path().filename().string();
            const bool refused =
                name == "rgb-16-planar.tif" || name == "rgb-16-five-samples.tif" || name == "rgb-8-cut-short.tif";
            std::unique_ptr<TIFFImageBase> image(TIFFImageFormat::load(entry.path().c_str()));
            ASSERT_NE(image, nullptr) << name;
            EXPECT_EQ(decode(entry.path().string()).empty(), refused) << name;
            ++seen;
        }
        EXPECT_GE(seen, 19);
    }
}
