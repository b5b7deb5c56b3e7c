#include "engine/video/formats/VXImageUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/VXFile.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXPixelsUtils.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        using Buffer = std::unique_ptr<unsigned char, decltype(&std::free)>;

        Buffer own(unsigned char* p)
        {
            return Buffer(p, &std::free);
        }

        std::string pngOf(const std::vector<unsigned char>& pixels, int w, int h, int bpp)
        {
            std::ostringstream out;
            EXPECT_TRUE(PNGImageFormat::writePixelsToStream(pixels.data(), w, h, bpp, out));
            return out.str();
        }

        const unsigned char* bytes(const std::string& s)
        {
            return reinterpret_cast<const unsigned char*>(s.data());
        }

        const std::vector<unsigned char> rgba2x2{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};
        // One 16-bit pixel: 0x1234, 0x5678, 0x9ABC, 0xFFFF in host order.
        const std::vector<unsigned char> rgba16{0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xFF, 0xFF};
    }

    class ImageUtilsFiles : public ::testing::Test
    {
    protected:
        TempDir dir;
    };

    TEST(ImageUtils, MemoryDecodingThroughStbHonoursWantedChannels)
    {
        const std::string png = pngOf(rgba2x2, 2, 2, 4);
        unsigned long w = 0, h = 0;
        int channels = 0;
        Buffer all = own(ImageUtils::imageFromMemory(bytes(png), int(png.size()), &w, &h, &channels, 0));
        ASSERT_NE(all, nullptr);
        EXPECT_EQ(w, 2u);
        EXPECT_EQ(h, 2u);
        EXPECT_EQ(channels, 4);
        EXPECT_EQ(std::vector<unsigned char>(all.get(), all.get() + 16), rgba2x2);

        Buffer rgb = own(ImageUtils::imageFromMemory(bytes(png), int(png.size()), &w, &h, &channels, 3));
        ASSERT_NE(rgb, nullptr);
        EXPECT_EQ(channels, 4) << "the file's own count is reported";
        EXPECT_EQ(std::vector<unsigned char>(rgb.get(), rgb.get() + 6),
                  (std::vector<unsigned char>{10, 20, 30, 50, 60, 70}));
    }

    TEST(ImageUtils, UndecodableMemoryAnswersNullWithTheReason)
    {
        LogRecorder log;
        const std::string junk(200, 'j');
        unsigned long w = 0, h = 0;
        int channels = 0;
        EXPECT_EQ(ImageUtils::imageFromMemory(bytes(junk), int(junk.size()), &w, &h, &channels, 0), nullptr);
        EXPECT_TRUE(log.contains("STB error")) << log.dump();
        EXPECT_EQ(ImageUtils::imageFromMemory(nullptr, 10, &w, &h, &channels, 0), nullptr);
        EXPECT_EQ(ImageUtils::pngImageFromMemory(bytes(junk), int(junk.size()), &w, &h, &channels), nullptr);
        std::unique_ptr<Pixels> none(PixelsUtils::pixelsFromMemory(bytes(junk), int(junk.size())));
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(log.count(logError), 4u) << log.dump();
    }

    TEST_F(ImageUtilsFiles, ExtensionChoosesTheDecoderInAnyCase)
    {
        const std::string png = pngOf(rgba16, 1, 1, 8);
        unsigned long w = 0, h = 0;
        int channels = 0;

        // "png": our decoder, 16-bit samples kept.
        Buffer lower = own(ImageUtils::imageFromFile(File(dir.writeFile("a.png", png)), &w, &h, &channels, 0));
        ASSERT_NE(lower, nullptr);
        ASSERT_EQ(channels, 8);
        EXPECT_EQ(std::vector<unsigned char>(lower.get(), lower.get() + 8), rgba16);

        // "PNG" from a camera card: the same decoder, not stb_image's 8 bits.
        Buffer upper = own(ImageUtils::imageFromFile(File(dir.writeFile("a.PNG", png)), &w, &h, &channels, 0));
        ASSERT_NE(upper, nullptr);
        ASSERT_EQ(channels, 8);
        EXPECT_EQ(std::vector<unsigned char>(upper.get(), upper.get() + 8), rgba16);

        // A PNG asked for in another layout comes in that layout.
        Buffer rgb =
            own(ImageUtils::imageFromFile(File(dir.writeFile("b.png", pngOf(rgba2x2, 2, 2, 4))), &w, &h, &channels, 3));
        ASSERT_NE(rgb, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(rgb.get(), rgb.get() + 6),
                  (std::vector<unsigned char>{10, 20, 30, 50, 60, 70}));

        LogRecorder log;
        EXPECT_EQ(ImageUtils::imageFromFile(File(dir.writeFile("a.qmi", png)), &w, &h, &channels, 0), nullptr);
        EXPECT_EQ(ImageUtils::imageFromFile(File(dir.file("missing.png")), &w, &h, &channels, 0), nullptr);
        EXPECT_EQ(ImageUtils::imageFromFile(File(dir.writeFile("empty.png", "")), &w, &h, &channels, 0), nullptr);
        EXPECT_TRUE(log.contains("Could not open file")) << log.dump();
        EXPECT_TRUE(log.contains("FileSize is zero")) << log.dump();
    }

    TEST_F(ImageUtilsFiles, WriteToPngFollowsTheStrideAndReportsFailures)
    {
        // Two rows of two RGB pixels, each row padded to 8 bytes.
        const std::vector<unsigned char> padded{1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 7, 8, 9, 10, 11, 12, 0xEE, 0xEE};
        const File file(dir.file("out.png"));
        ASSERT_TRUE(ImageUtils::writeToPng(file, 2, 2, 3, padded.data(), 8));
        std::unique_ptr<Pixels> back(PixelsUtils::pixelsFromFile(file));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->bytesPerPixel, 4);
        EXPECT_EQ(std::vector<unsigned char>(back->data, back->data + 16),
                  (std::vector<unsigned char>{1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255}));

        LogRecorder log;
        EXPECT_FALSE(ImageUtils::writeToPng(File(dir.file("no/such/dir/out.png")), 2, 2, 3, padded.data(), 8));
        EXPECT_FALSE(ImageUtils::writeToPng(file, 2, 2, 2, padded.data(), 0));
        EXPECT_EQ(log.count(logError), 2u) << log.dump();
    }

    TEST_F(ImageUtilsFiles, PixelsRoundTripThroughFilesAndMemory)
    {
        Pixels pixels(2, 2, 4, rgba2x2.data());
        const File file(dir.file("p.png"));
        ASSERT_TRUE(ImageUtils::writePixelsToPng(file, pixels));
        int w = 0, h = 0, channels = 0;
        Buffer raw = own(PixelsUtils::rawpixelsFromFile(file, &w, &h, &channels));
        ASSERT_NE(raw, nullptr);
        EXPECT_EQ(w, 2);
        EXPECT_EQ(channels, 4);
        EXPECT_EQ(std::vector<unsigned char>(raw.get(), raw.get() + 16), rgba2x2);

        int size = 0;
        Buffer encoded = own(ImageUtils::writePixelsToPng(&pixels, &size));
        ASSERT_NE(encoded, nullptr);
        std::unique_ptr<Pixels> decoded(PixelsUtils::pixelsFromMemory(encoded.get(), size));
        ASSERT_NE(decoded, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(decoded->data, decoded->data + 16), rgba2x2);

        LogRecorder log;
        Pixels unsupported(2, 2, 2, static_cast<const unsigned char*>(nullptr));
        EXPECT_EQ(ImageUtils::writePixelsToPng(&unsupported, &size), nullptr);
    }

    TEST_F(ImageUtilsFiles, TgaIsWrittenForOneToFourBytesPerPixel)
    {
        const File file(dir.file("t.tga"));
        ASSERT_TRUE(ImageUtils::writeToTga(file, 2, 2, 4, rgba2x2.data()));
        unsigned long w = 0, h = 0;
        int channels = 0;
        Buffer back = own(ImageUtils::imageFromFile(file, &w, &h, &channels, 4));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(back.get(), back.get() + 16), rgba2x2);

        LogRecorder log;
        EXPECT_FALSE(ImageUtils::writeToTga(file, 2, 2, 8, rgba2x2.data()));
        EXPECT_FALSE(ImageUtils::writeToTga(File(dir.file("no/dir/t.tga")), 2, 2, 4, rgba2x2.data()));
        EXPECT_EQ(log.count(logError), 2u) << log.dump();
    }

    TEST_F(ImageUtilsFiles, EmbeddedPngSourceFilesHaveTheExpectedShape)
    {
        const std::vector<unsigned char> pixel{1, 2, 3, 4};
        const File header(dir.file("Flake.h"));
        const File source(dir.file("Flake.cpp"));
        ASSERT_TRUE(ImageUtils::writeToPngAsCFiles(header, source, false, "Pimsel", "Flake", 1, 1, 4, pixel.data(), 0));

        const std::string png = pngOf(pixel, 1, 1, 4);
        const std::string headerText = dir.readFile("Flake.h");
        EXPECT_EQ(
            headerText,
            "#pragma once\nnamespace Pimsel\n{\n\textern const unsigned char* Flake_png;\n\tconst int Flake_size = " +
                std::to_string(png.size()) + ";\n}\n");

        std::string expectedSource = "#include \"Flake.h\"\nstatic const unsigned char data[] = {\n";
        for (size_t i = 0; i < png.size(); ++i)
            expectedSource += (i ? "," : "") + std::to_string(static_cast<unsigned char>(png[i]));
        expectedSource += "\n};\nconst unsigned char* Pimsel::Flake_png = (const unsigned char*) data;";
        EXPECT_EQ(dir.readFile("Flake.cpp"), expectedSource);

        Pixels pixels(1, 1, 4, pixel.data());
        ASSERT_TRUE(PixelsUtils::writeToPngAsCFiles(header, source, &pixels, true, "Pimsel", "Flake"));
        const std::string engineHeader = dir.readFile("Flake.h");
        EXPECT_EQ(engineHeader.substr(0, 27), "#pragma once\nnamespace vx\n{");
        EXPECT_EQ(engineHeader.back(), '}');
        EXPECT_EQ(dir.readFile("Flake.cpp").substr(dir.readFile("Flake.cpp").size() - 2), "\n}");
    }

    TEST_F(ImageUtilsFiles, EmbeddedPngFailuresAreReported)
    {
        LogRecorder log;
        const std::vector<unsigned char> pixel{1, 2, 3, 4};
        // Nothing encodable: no file is touched.
        EXPECT_FALSE(ImageUtils::writeToPngAsCFiles(File(dir.file("x.h")), File(dir.file("x.cpp")), false, "n", "x", 1,
                                                    1, 2, pixel.data(), 0));
        EXPECT_FALSE(File(dir.file("x.h")).exists());
        // An unwritable header.
        EXPECT_FALSE(ImageUtils::writeToPngAsCFiles(File(dir.file("no/dir/x.h")), File(dir.file("x.cpp")), false, "n",
                                                    "x", 1, 1, 4, pixel.data(), 0));
        EXPECT_TRUE(log.contains("could not write")) << log.dump();
    }
}
