// JPEG stills carrying an EXIF orientation, as phones store portrait shots,
// come out upright through the format registry: the ffmpeg tool turns an
// upright picture the way a camera stores it, the test adds the EXIF block
// naming the turn, and the reader must show the upright picture again. The
// tag's reader takes any bytes: blocks cut short or pointing outside
// themselves name no turn.

#include "engine/video/formats/VXExifOrientation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/VXFile.h"
#include "engine/video/formats/VXExifTestWriter.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        using namespace exif;

        // A JPEG's start with the given segments, then the picture data.
        Bytes jpegWith(const Bytes& segments)
        {
            return Bytes("\xFF\xD8", 2) + segments + Bytes("\xFF\xDA\x00\x02", 4);
        }

        int orientationOf(const Bytes& bytes)
        {
            // An exact-size copy: a read past its end shows under the sanitizer.
            const std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size()]);
            std::copy(bytes.begin(), bytes.end(), copy.get());
            return ExifOrientation::read(copy.get(), bytes.size());
        }

        // The upright picture: 32 x 48, blocks of 16 x 16, two across and three down.
        const int uprightWidth = 32, uprightHeight = 48;
        const unsigned char blockColours[3][2][3] = {
            {{230, 30, 30}, {30, 200, 40}}, {{40, 60, 220}, {240, 230, 40}}, {{30, 220, 220}, {220, 40, 220}}};

        struct OrientationCase
        {
            const char* name;
            int orientation;
            const char* storedBy; // the ffmpeg filter that turns the upright picture as a camera stores it
            bool bigEndian;
        };

        class ExifOrientationTest : public ::testing::TestWithParam<OrientationCase>
        {
        };
    }

    TEST_P(ExifOrientationTest, AJPEGStillComesOutUpright)
    {
        const OrientationCase& c = GetParam();
        TempDir dir;
        std::vector<unsigned char> upright;
        for (int y = 0; y < uprightHeight; ++y)
            for (int x = 0; x < uprightWidth; ++x)
                upright.insert(upright.end(), blockColours[y / 16][x / 16], blockColours[y / 16][x / 16] + 3);
        ASSERT_TRUE(
            ImageUtils::writeToPng(File(dir.file("upright.png")), uprightWidth, uprightHeight, 3, upright.data(), 0));
        const std::string command = "ffmpeg -v error -y -i \"" + dir.file("upright.png") + "\" -vf " + c.storedBy +
                                    " -pix_fmt yuvj444p -q:v 1 \"" + dir.file("stored.jpg") + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0);

        // The EXIF block after the tool's own first segment (JFIF or a comment).
        const Bytes jpeg = withOrientation(dir.readFile("stored.jpg"), c.orientation, c.bigEndian);
        ASSERT_FALSE(jpeg.empty());
        const std::string path = dir.writeFile("IMG_0001.JPG", jpeg);

        VideoFormatManager manager;
        std::unique_ptr<VideoFormatReader> reader(
            manager.createReaderFor(File(path), false, VideoFormatReader::purposePlayback));
        ASSERT_NE(reader, nullptr);
        reader->readFrame(0.0);
        std::shared_ptr<Pixels> shown;
        ASSERT_TRUE(reader->updatePixels(shown));
        ASSERT_NE(shown, nullptr);
        ASSERT_EQ(shown->width, uprightWidth);
        ASSERT_EQ(shown->height, uprightHeight);
        ASSERT_EQ(shown->bytesPerPixel, 3);
        // Block centres; JPEG's colour conversion may be a few levels off.
        for (int by = 0; by < 3; ++by)
            for (int bx = 0; bx < 2; ++bx)
            {
                const unsigned char* p = shown->data + ((by * 16 + 8) * uprightWidth + bx * 16 + 8) * 3;
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_NEAR(p[ch], blockColours[by][bx][ch], 8)
                        << "block " << bx << ", " << by << " channel " << ch;
            }
    }

    INSTANTIATE_TEST_SUITE_P(Orientations, ExifOrientationTest,
                             ::testing::Values(OrientationCase{"Upright", 1, "null", false},
                                               OrientationCase{"Mirrored", 2, "hflip", true},
                                               OrientationCase{"HalfTurn", 3, "hflip,vflip", false},
                                               OrientationCase{"UpsideDownMirrored", 4, "vflip", true},
                                               OrientationCase{"Transposed", 5, "transpose=0", false},
                                               OrientationCase{"QuarterClockwise", 6, "transpose=2", false},
                                               OrientationCase{"QuarterClockwiseBigEndian", 6, "transpose=2", true},
                                               OrientationCase{"Transversed", 7, "transpose=3", true},
                                               OrientationCase{"QuarterAnticlockwise", 8, "transpose=1", false}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(ExifOrientationReadTest, FindsTheTagOnlyWhereItIsWhole)
    {
        EXPECT_EQ(orientationOf(jpegWith(exifFor(6, false))), 6);
        EXPECT_EQ(orientationOf(jpegWith(exifFor(3, true))), 3);
        // An XMP block in APP1 before the EXIF one, and fill bytes.
        EXPECT_EQ(orientationOf(jpegWith(segment(0xFFE1, Bytes("http://ns.adobe.com/xap/1.0/\0<x/>", 33)) + "\xFF\xFF" +
                                         exifFor(8, false))),
                  8);
        struct Case
        {
            const char* what;
            Bytes bytes;
        };
        const Bytes whole = jpegWith(exifFor(6, false));
        const Case none[] = {
            {"no EXIF block", jpegWith(segment(0xFFE0, Bytes("JFIF\0\1\1", 7)))},
            {"a PNG", Bytes("\x89PNG\r\n\x1a\n", 8) + exifFor(6, false)},
            {"EXIF after the picture data", jpegWith("") + exifFor(6, false)},
            {"value 0", jpegWith(exifFor(0, false))},
            {"value 9", jpegWith(exifFor(9, true))},
            {"a LONG value", jpegWith(exifSegment(tiffBody(false, {{0x0112, 4, 1, 6}})))},
            {"no value", jpegWith(exifSegment(tiffBody(false, {{0x0112, 3, 0, 6}})))},
            {"a directory outside the block", jpegWith(exifSegment(tiffBody(false, {{0x0112, 3, 1, 6}}, 4000)))},
            {"a directory 4 GiB away", jpegWith(exifSegment(tiffBody(false, {{0x0112, 3, 1, 6}}, 0xFFFFFFFFu)))},
            {"no byte order", jpegWith(exifSegment("XX" + tiffBody(false, {{0x0112, 3, 1, 6}}).substr(2)))},
            {"a segment longer than the file", Bytes("\xFF\xD8\xFF\xE1\xFF\xF0", 6) + exifFor(6, false)},
            {"a segment length below 2", Bytes("\xFF\xD8\xFF\xE1\x00\x01", 6) + exifFor(6, false)},
        };
        for (const Case& c : none)
            EXPECT_EQ(orientationOf(c.bytes), 1) << c.what;
        // Every cut of a whole one: never read past the end, and no turn
        // unless the EXIF block is whole (the picture data may be cut).
        for (std::size_t n = 0; n < whole.size(); ++n)
            EXPECT_EQ(orientationOf(whole.substr(0, n)) == 6, n >= whole.size() - 4) << "cut at " << n;
        // The entry count says more entries than the block holds.
        Bytes many = tiffBody(false, {{0x010F, 2, 4, 0}});
        many[8] = char(0xFF);
        many[9] = char(0xFF);
        EXPECT_EQ(orientationOf(jpegWith(exifSegment(many))), 1);
    }

    TEST(ExifOrientationApplyTest, TurnsPixelsOfAnySizeAndKeepsOnesItCannot)
    {
        // 3 x 2 pixels of two bytes, each holding its stored x and y.
        const auto make = []
        {
            auto* p = static_cast<unsigned char*>(std::malloc(12));
            for (int i = 0; i < 6; ++i)
            {
                p[i * 2] = std::uint8_t(i % 3);
                p[i * 2 + 1] = std::uint8_t(i / 3);
            }
            return p;
        };
        unsigned char* pixels = make();
        int w = 3, h = 2;
        ASSERT_TRUE(ExifOrientation::apply(6, pixels, w, h, 2));
        EXPECT_EQ(w, 2);
        EXPECT_EQ(h, 3);
        // A quarter clockwise: the stored bottom-left corner is the top-left.
        const std::vector<unsigned char> turned(pixels, pixels + 12);
        EXPECT_EQ(turned, (std::vector<unsigned char>{0, 1, 0, 0, 1, 1, 1, 0, 2, 1, 2, 0}));
        std::free(pixels);

        for (int orientation : {0, 1, 9, -3})
        {
            pixels = make();
            unsigned char* before = pixels;
            w = 3;
            h = 2;
            EXPECT_TRUE(ExifOrientation::apply(orientation, pixels, w, h, 2));
            EXPECT_EQ(pixels, before);
            EXPECT_EQ(w, 3);
            std::free(pixels);
        }
        unsigned char* none = nullptr;
        w = 0;
        EXPECT_FALSE(ExifOrientation::apply(6, none, w, h, 2));
    }

    // A picture larger than the turn's tiles every way, and not a whole
    // number of them (a portrait phone photo is thousands of pixels each
    // way): every pixel lands where its orientation puts it, by the tag's
    // definition of where the stored first row and column belong.
    TEST(ExifOrientationApplyTest, TurnsPicturesLargerThanItsTiles)
    {
        constexpr int storedWidth = 70, storedHeight = 45;
        // Stored (x, y) of the pixel at upright (x, y), the stored picture
        // being w x h.
        struct Turn
        {
            int orientation;
            int (*x)(int ux, int uy, int w, int h);
            int (*y)(int ux, int uy, int w, int h);
        };
        const Turn turns[] = {
            {2, [](int ux, int, int w, int) { return w - 1 - ux; }, [](int, int uy, int, int) { return uy; }},
            {3, [](int ux, int, int w, int) { return w - 1 - ux; }, [](int, int uy, int, int h) { return h - 1 - uy; }},
            {4, [](int ux, int, int, int) { return ux; }, [](int, int uy, int, int h) { return h - 1 - uy; }},
            {5, [](int, int uy, int, int) { return uy; }, [](int ux, int, int, int) { return ux; }},
            {6, [](int, int uy, int, int) { return uy; }, [](int ux, int, int, int h) { return h - 1 - ux; }},
            {7, [](int, int uy, int w, int) { return w - 1 - uy; }, [](int ux, int, int, int h) { return h - 1 - ux; }},
            {8, [](int, int uy, int w, int) { return w - 1 - uy; }, [](int ux, int, int, int) { return ux; }},
        };
        for (const Turn& turn : turns)
        {
            SCOPED_TRACE(turn.orientation);
            // Four bytes a pixel: its stored x and y.
            auto* pixels = static_cast<unsigned char*>(std::malloc(storedWidth * storedHeight * 4));
            for (int y = 0; y < storedHeight; ++y)
                for (int x = 0; x < storedWidth; ++x)
                {
                    unsigned char* p = pixels + (y * storedWidth + x) * 4;
                    p[0] = std::uint8_t(x);
                    p[1] = std::uint8_t(y);
                    p[2] = p[3] = 0;
                }
            int w = storedWidth, h = storedHeight;
            ASSERT_TRUE(ExifOrientation::apply(turn.orientation, pixels, w, h, 4));
            const bool swaps = turn.orientation >= 5;
            ASSERT_EQ(w, swaps ? storedHeight : storedWidth);
            ASSERT_EQ(h, swaps ? storedWidth : storedHeight);
            int wrong = 0;
            for (int uy = 0; uy < h; ++uy)
                for (int ux = 0; ux < w; ++ux)
                {
                    const unsigned char* p = pixels + (uy * w + ux) * 4;
                    const int sx = turn.x(ux, uy, storedWidth, storedHeight);
                    const int sy = turn.y(ux, uy, storedWidth, storedHeight);
                    if ((p[0] != sx || p[1] != sy) && wrong++ < 3)
                        ADD_FAILURE() << "upright " << ux << ", " << uy << " holds stored " << int(p[0]) << ", "
                                      << int(p[1]) << ", not " << sx << ", " << sy;
                }
            EXPECT_EQ(wrong, 0);
            std::free(pixels);
        }
    }

    // The fuzz target's seeds (16 x 8 pictures, one 8 x 8 grey) name their
    // orientation and decode upright; one without Huffman tables decodes
    // without reading outside the decoder's tables (stb reads them as it
    // finds them: zeroed).
    TEST(ExifOrientationReadTest, FuzzSeedsTurnAsTheirNamesSay)
    {
        const char* data = std::getenv("VX_TEST_DATA");
        ASSERT_NE(data, nullptr) << "VX_TEST_DATA names the tests' data folder";
        int seen = 0;
        for (const auto& entry : std::filesystem::directory_iterator(std::string(data) + "/fuzz/ExifOrientationFuzz"))
        {
            const std::string name = entry.path().filename().string();
            ++seen;
            const std::size_t at = name.find("orientation-");
            const int named = at == std::string::npos ? 1 : name[at + 12] - '0';
            std::ifstream in(entry.path(), std::ios::binary);
            const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            EXPECT_EQ(orientationOf(bytes), name.rfind("xmp", 0) == 0 ? 8 : named) << name;
            unsigned long w = 0, h = 0;
            int channels = 0;
            MallocBuffer decoded(ImageUtils::imageFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                             int(bytes.size()), &w, &h, &channels, 0));
            // One defines no Huffman table: a picture of zeros, if any.
            if (name == "no-huffman-tables.jpg")
                continue;
            ASSERT_NE(decoded, nullptr) << name;
            if (name.rfind("orientation-", 0) == 0)
            {
                EXPECT_EQ(w, named >= 5 ? 8u : 16u) << name;
            }
        }
        EXPECT_GE(seen, 12);
    }
}
