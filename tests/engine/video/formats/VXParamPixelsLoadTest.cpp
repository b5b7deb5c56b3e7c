// Image parameters loading real files through an engine root with its
// video-format manager.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "core/parameters/VXParamPixels.h"
#include "core/parameters/VXParamTestHelpers.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/video/formats/VXGIFTestWriter.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXTIFFTestWriter.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        class ParamPixelsLoadTest : public ::testing::Test
        {
        protected:
            void SetUp() override
            {
                root = Vexkit::create(0x80);
                ASSERT_TRUE(root->initialise(false));
            }
            void TearDown() override
            {
                root->shutdown();
                Vexkit::deleteInstance();
            }

            Vexkit* root = nullptr;
            TempDir dir;
        };

        struct LoadCase
        {
            const char* name;
            const char* file;
            const char* description;
            int bytesPerPixel;
        };
    }

    class ParamPixelsFileTest : public ParamPixelsLoadTest, public ::testing::WithParamInterface<LoadCase>
    {
    protected:
        // A 6 x 4 picture of each kind.
        void writeFiles()
        {
            std::vector<unsigned char> rgba(6 * 4 * 4, 0);
            for (std::size_t i = 0; i < rgba.size(); ++i)
                rgba[i] = static_cast<unsigned char>(i * 5);
            ASSERT_TRUE(ImageUtils::writeToPng(File(dir.file("a.png")), 6, 4, 4, rgba.data(), 0));
            ASSERT_NE(stbi_write_jpg(dir.file("a.jpg").c_str(), 6, 4, 4, rgba.data(), 90), 0);
            RawTiff tiff;
            tiff.width = 6;
            tiff.height = 4;
            tiff.samplesPerPixel = 3;
            tiff.photometric = PHOTOMETRIC_RGB;
            tiff.rows.assign(4, std::vector<unsigned char>(18, 77));
            ASSERT_TRUE(writeTiff(dir.file("a.tif"), tiff));
            RawGif gif;
            gif.width = 6;
            gif.height = 4;
            gif.globalMap = {{0, 0, 0}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
            RawGifFrame frame;
            frame.width = 6;
            frame.height = 4;
            frame.indexes.assign(24, 2);
            gif.frames = {frame, frame};
            ASSERT_TRUE(writeGif(dir.file("a.gif"), gif));
        }
    };

    TEST_P(ParamPixelsFileTest, LoadsThroughTheEnginesFormats)
    {
        writeFiles();
        const LoadCase& c = GetParam();
        ParamPixels param("Image");
        const File file(dir.file(c.file));
        ASSERT_TRUE(param.loadFromFile(file, ValueChangeInfo()));
        ASSERT_NE(param.getValue(), nullptr);
        EXPECT_EQ(param.getValue()->width, 6);
        EXPECT_EQ(param.getValue()->height, 4);
        EXPECT_EQ(param.getValue()->bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(param.getDescription(), c.description);

        const std::string text = writeToText(param, false);
        EXPECT_EQ(text, "<ParamPixels name=\"Image\" fileName=\"" + file.getFullPath() + "\"/>\n");
        auto document = parseText(text);
        std::unique_ptr<ParamBase> copy(ParamPixels::createParamFromXmlNode(document->first_node()));
        EXPECT_EQ(static_cast<ParamPixels&>(*copy).getDescription(), c.description);
    }

    INSTANTIATE_TEST_SUITE_P(Files, ParamPixelsFileTest,
                             ::testing::Values(LoadCase{"Png", "a.png", "PNG\n6x4", 4},
                                               LoadCase{"Jpeg", "a.jpg", "JPG\n6x4", 3},
                                               LoadCase{"Tiff", "a.tif", "TIF\n6x4", 4},
                                               LoadCase{"Gif", "a.gif", "GIF\n6x4", 4}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST_F(ParamPixelsLoadTest, NoReaderChangesNothingAndNoManagerAnswersFalse)
    {
        ParamPixels param("Image");
        EXPECT_FALSE(param.loadFromFile(File(dir.writeFile("a.txt", "text")), ValueChangeInfo()));
        EXPECT_FALSE(param.loadFromFile(File(dir.file("missing.png")), ValueChangeInfo()));
        EXPECT_EQ(param.getValue(), nullptr);

        root->shutdown();
        Vexkit::deleteInstance();
        std::vector<unsigned char> rgba(16, 9);
        ASSERT_TRUE(ImageUtils::writeToPng(File(dir.file("b.png")), 2, 2, 4, rgba.data(), 0));
        EXPECT_FALSE(param.loadFromFile(File(dir.file("b.png")), ValueChangeInfo()));
        EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr) << "loading never makes a root";
        root = Vexkit::create(0x80);
        ASSERT_TRUE(root->initialise(false));
    }
}
