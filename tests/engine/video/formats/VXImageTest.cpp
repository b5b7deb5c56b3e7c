#include "engine/video/formats/VXImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/VXColor.h"
#include "core/VXFile.h"
#include "engine/video/formats/VXImageUtils.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        // An image of the format whose bytes are given, row by row.
        Image imageOf(int w, int h, int format, const std::vector<unsigned char>& bytes)
        {
            Image image(w, h, format);
            EXPECT_EQ(image.getDataSize(), bytes.size());
            image.copy(bytes.data());
            return image;
        }

        std::vector<unsigned char> bytesOf(const Image& image)
        {
            return {image.getData(), image.getData() + image.getDataSize()};
        }

        void expectColor(const Color& c, float r, float g, float b, float a)
        {
            EXPECT_FLOAT_EQ(c.r, r);
            EXPECT_FLOAT_EQ(c.g, g);
            EXPECT_FLOAT_EQ(c.b, b);
            EXPECT_FLOAT_EQ(c.a, a);
        }
    }

    class ImageTest : public ::testing::Test
    {
    protected:
        TempDir dir;
    };

    TEST_F(ImageTest, PixelsOutsideTheImageReadAsTransparentAndAreNotWritten)
    {
        Image image(3, 2, 1);
        expectColor(image.getPixel(-1, 0), 0, 0, 0, 0);
        expectColor(image.getPixel(3, 0), 0, 0, 0, 0);
        expectColor(image.getPixel(0, 2), 0, 0, 0, 0);
        EXPECT_EQ(image.getIntensity(3, 0), 0.0f);
        for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, 2}, {100000, 100000}})
            image.setPixel(x, y, Color::white);
        EXPECT_EQ(bytesOf(image), std::vector<unsigned char>(24, 0));
    }

    TEST_F(ImageTest, ChannelOrderOfEachOperation)
    {
        // getPixel reads four-byte images as red, green, blue, alpha.
        Image rgba = imageOf(1, 1, 1, {255, 0, 0, 255});
        expectColor(rgba.getPixel(0, 0), 1.00011f, 0.0f, 0.0f, 1.00011f);
        // setPixel and getIntensity see them as blue, green, red, alpha.
        rgba.setPixel(0, 0, Color(1.0f, 0.0f, 0.0f, 1.0f));
        EXPECT_EQ(bytesOf(rgba), (std::vector<unsigned char>{0, 0, 255, 255}));
        EXPECT_NEAR(rgba.getIntensity(0, 0), 0.3f * 255.0f * 0.003922f, 1e-5f);

        Image grey(1, 1, 2);
        grey.setPixel(0, 0, Color(0.5f, 0.9f, 0.9f, 0.9f));
        EXPECT_EQ(bytesOf(grey), std::vector<unsigned char>{127});
        expectColor(grey.getPixel(0, 0), 127 * 0.003922f, 127 * 0.003922f, 127 * 0.003922f, 127 * 0.003922f);

        Image rgb(1, 1, 0);
        rgb.setPixel(0, 0, Color(0.2f, 0.4f, 1.0f, 0.0f));
        EXPECT_EQ(bytesOf(rgb), (std::vector<unsigned char>{51, 102, 255}));
        EXPECT_FLOAT_EQ(rgb.getPixel(0, 0).a, 1.0f);
        EXPECT_TRUE(rgb.isDirty());
    }

    TEST_F(ImageTest, NonFiniteChannelsWriteZero)
    {
        Image rgb(1, 1, 0);
        rgb.setPixel(0, 0, Color(std::nanf(""), 1e30f, -1.0f / 0.0f, 1.0f));
        EXPECT_EQ(bytesOf(rgb)[0], 0);
        EXPECT_EQ(bytesOf(rgb)[2], 0);
    }

    TEST_F(ImageTest, RefusedSizesAndFormatsLeaveAnEmptyImage)
    {
        LogRecorder log;
        Image image(4, 4, 1);
        EXPECT_FALSE(image.create(-1, 4, 1));
        EXPECT_FALSE(image.hasData());
        EXPECT_FALSE(image.create(4, 4, 7));
        EXPECT_EQ(log.count(logError), 2u) << log.dump();
        EXPECT_TRUE(image.create(0, 0, 3)) << "an image of no pixels is fine";
        EXPECT_TRUE(image.hasData());
        EXPECT_EQ(image.getDataSize(), 0u);
    }

    struct TintCase
    {
        const char* name;
        int format;
        std::vector<unsigned char> before;
        Color tint;
        std::vector<unsigned char> after;
    };

    class ImageTint : public ImageTest, public ::testing::WithParamInterface<TintCase>
    {
    };

    // One- and three-byte images are stepped by their own pixel size: no byte
    // past the data is read or written (AddressSanitizer watches).
    TEST_P(ImageTint, TableRoundsEachChannel)
    {
        const TintCase& c = GetParam();
        const int w = int(c.before.size()) / Image::bytesPerPixelOfFormat(c.format);
        Image image = imageOf(w, 1, c.format, c.before);
        Image::multiplyImageWithColour(image, c.tint);
        EXPECT_EQ(bytesOf(image), c.after);
    }

    INSTANTIATE_TEST_SUITE_P(
        Formats, ImageTint,
        ::testing::Values(
            TintCase{"FullTintKeepsFull", 1, {255, 255, 255, 255}, Color::white, {255, 255, 255, 255}},
            TintCase{"HalfOfHalf", 1, {128, 128, 128, 128}, Color(0.502f, 0.502f, 0.502f, 0.502f), {64, 64, 64, 64}},
            TintCase{
                "FourBytePerChannel", 1, {200, 200, 200, 200}, Color(1.0f, 0.0f, 0.502f, 1.0f), {200, 0, 100, 200}},
            TintCase{"ThreeBytePixels",
                     0,
                     {200, 100, 50, 10, 20, 30},
                     Color(0.502f, 1.0f, 0.0f, 1.0f),
                     {100, 100, 0, 5, 20, 0}},
            TintCase{"GreyTakesRed", 2, {200, 100, 255}, Color(0.502f, 0.0f, 0.0f, 0.0f), {100, 50, 128}}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST_F(ImageTest, CopyKeepsItsOwnLayoutAndNeverOverruns)
    {
        const Image rgba = imageOf(2, 1, 1, {1, 2, 3, 4, 5, 6, 7, 8});

        Image empty;
        empty.copy(rgba);
        EXPECT_EQ(empty.getFormat(), 1);
        EXPECT_EQ(bytesOf(empty), bytesOf(rgba));

        // Another layout: resized to the other's size, pixels not taken.
        Image rgb = imageOf(1, 1, 0, {9, 9, 9});
        rgb.copy(rgba);
        EXPECT_EQ(rgb.getFormat(), 0);
        EXPECT_EQ(rgb.getWidth(), 2);
        EXPECT_EQ(bytesOf(rgb), std::vector<unsigned char>(6, 0));

        // Same layout, same size: the bytes come over.
        Image same = imageOf(2, 1, 1, {0, 0, 0, 0, 0, 0, 0, 0});
        same.copy(rgba);
        EXPECT_EQ(bytesOf(same), bytesOf(rgba));

        const Image copied(rgba);
        EXPECT_EQ(bytesOf(copied), bytesOf(rgba));

        Image fromNothing = imageOf(1, 1, 0, {1, 2, 3});
        fromNothing.copy(Image());
        EXPECT_FALSE(fromNothing.hasData());
    }

    TEST_F(ImageTest, LoadingTakesTheFileLayoutForFormatThree)
    {
        const std::vector<unsigned char> rgb{255, 0, 0, 0, 255, 0};
        const File tga(dir.file("two.tga"));
        ASSERT_TRUE(ImageUtils::writeToTga(tga, 2, 1, 3, rgb.data()));
        Image image(tga, 3);
        ASSERT_TRUE(image.hasData());
        EXPECT_EQ(image.getFormat(), 0);
        EXPECT_EQ(image.getBytesPerPixel(), 3);
        expectColor(image.getPixel(1, 0), 0.0f, 1.00011f, 0.0f, 1.0f);

        // A layout asked for is what arrives, whatever the file holds.
        Image grey(tga, 2);
        EXPECT_EQ(grey.getBytesPerPixel(), 1);
        EXPECT_EQ(grey.getDataSize(), 2u);
        Image rgba(tga, 1);
        EXPECT_EQ(rgba.getDataSize(), 8u);
        EXPECT_EQ(bytesOf(rgba)[7], 255);
    }

    TEST_F(ImageTest, SavedImagesLoadBack)
    {
        Image image = imageOf(2, 2, 1, {10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255, 1, 2, 3, 4});
        const File png(dir.file("saved.png"));
        ASSERT_TRUE(image.save(png));
        Image loaded(png, 3);
        EXPECT_EQ(loaded.getFormat(), 1);
        EXPECT_EQ(bytesOf(loaded), bytesOf(image));
    }

    TEST_F(ImageTest, FailedLoadLeavesNoPixels)
    {
        LogRecorder log;
        Image image(2, 2, 1);
        EXPECT_FALSE(image.load(File(dir.file("missing.png")), 1));
        EXPECT_FALSE(image.hasData());
        EXPECT_EQ(image.getTexture(), nullptr);
        const unsigned char junk[] = {1, 2, 3, 4};
        EXPECT_FALSE(image.fromMemory(junk, 4, 1));
        EXPECT_FALSE(image.hasData());
        EXPECT_FALSE(image.save(File(dir.file("none.png"))));
        EXPECT_GE(log.count(logError), 3u);
    }

} // namespace vx::test
