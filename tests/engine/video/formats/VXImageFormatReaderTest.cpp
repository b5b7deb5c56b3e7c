#include "engine/video/formats/VXImageFormatReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "core/parameters/VXParamChoice.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXImagePNGFormatWriter.h"
#include "engine/video/formats/VXImageVideoFormat.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        // A w x h picture of bytesPerPixel whose bytes count up from seed.
        std::vector<unsigned char> ramp(int w, int h, int bytesPerPixel, int seed)
        {
            std::vector<unsigned char> v(static_cast<std::size_t>(w) * h * bytesPerPixel);
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] = static_cast<unsigned char>(seed + i * 3);
            return v;
        }

        std::string writePng(TempDir& dir, const std::string& name, int w, int h, int bytesPerPixel, int seed)
        {
            const std::string path = dir.file(name);
            const auto bytes = ramp(w, h, bytesPerPixel, seed);
            EXPECT_TRUE(ImageUtils::writeToPng(File(path), w, h, bytesPerPixel, bytes.data(), 0));
            return path;
        }

        std::string writeJpeg(TempDir& dir, const std::string& name, int w, int h)
        {
            const std::string path = dir.file(name);
            const auto bytes = ramp(w, h, 3, 9);
            EXPECT_NE(stbi_write_jpg(path.c_str(), w, h, 3, bytes.data(), 95), 0);
            return path;
        }
    }

    TEST(ImageVideoFormatTest, ReadersByExtension)
    {
        TempDir dir;
        ImageVideoFormat format;
        const std::string jpeg = writeJpeg(dir, "x.jpg", 6, 4);
        std::unique_ptr<VideoFormatReader> reader(format.createReaderFor(File(jpeg)));
        ASSERT_NE(dynamic_cast<ImageFormatReader*>(reader.get()), nullptr);
        EXPECT_EQ(reader->getCodecName(), "JPG");
        EXPECT_EQ(reader->getBitDepth(), 3);
        EXPECT_EQ(reader->getAlphaType().getValue(), 2) << "a 3-byte picture keeps the alpha type";
        EXPECT_FALSE(reader->getHasAlpha());

        EXPECT_EQ(format.createReaderFor(File(dir.writeFile("broken.png", "not a picture"))), nullptr);
        EXPECT_EQ(format.createReaderFor(File(dir.file("missing.jpg"))), nullptr);
    }

    TEST(ImageFormatReaderTest, AStillPictureWaitsForItsUpload)
    {
        TempDir dir;
        ImageFormatReader reader(File(writePng(dir, "a.png", 5, 3, 4, 1)));
        ASSERT_TRUE(reader.isOpened());
        EXPECT_EQ(reader.getTotalFrames(), 1u);
        EXPECT_EQ(reader.getLength(), 1000.0);
        EXPECT_FALSE(reader.isSequence());
        EXPECT_TRUE(reader.isFlipped());
        EXPECT_EQ(reader.getCodecName(), "PNG");
        EXPECT_TRUE(reader.getHasAlpha());
        EXPECT_EQ(reader.getAlphaType().getValue(), 1);
        EXPECT_TRUE(reader.readFrame(500.0));
        std::shared_ptr<Pixels> pixels;
        ASSERT_TRUE(reader.updatePixels(pixels));
        EXPECT_EQ(std::vector<unsigned char>(pixels->data, pixels->data + pixels->dataSize), ramp(5, 3, 4, 1));
        EXPECT_NE(pixels, reader.getCustomThumbnail()) << "a copy";
    }

    TEST(ImageFormatReaderTest, ASequenceDecodesEachFrameFromItsFile)
    {
        TempDir dir;
        ImageFormatReader reader(File(writePng(dir, "a.png", 4, 2, 4, 10)));
        ASSERT_TRUE(reader.addFile(File(writePng(dir, "b.png", 4, 2, 4, 20)), true));
        ASSERT_TRUE(reader.addFile(File(writePng(dir, "c.png", 3, 3, 4, 30)), true));
        EXPECT_FALSE(reader.addFile(File(dir.file("b.png")), true));
        EXPECT_EQ(reader.getTotalFrames(), 3u);
        EXPECT_EQ(reader.getLength(), 120.0);
        EXPECT_TRUE(reader.isSequence());

        EXPECT_TRUE(reader.read(80.0));
        EXPECT_EQ(reader.getCurrentFrame(), 2);
        std::shared_ptr<Pixels> pixels;
        ASSERT_TRUE(reader.updatePixels(pixels));
        EXPECT_EQ(pixels->width, 3);
        EXPECT_EQ(reader.getTextureWidth(), 3);
        EXPECT_EQ(std::vector<unsigned char>(pixels->data, pixels->data + pixels->dataSize), ramp(3, 3, 4, 30));
    }

    TEST(ImagePNGFormatWriterTest, NumberedFilesInAFolderNamedAfterTheTarget)
    {
        TempDir dir;
        VideoCodecSettings settings;
        for (const char* target : {"clip.png", "clip"})
        {
            File file(dir.file(target));
            ImagePNGFormatWriter writer(file, 25.0f, 8, 4, 2, settings);
            ASSERT_TRUE(writer.isReady()) << target;
            EXPECT_EQ(writer.getDirectory().getFullPath(), dir.file("clip"));
            EXPECT_TRUE(writer.flipsRows());
        }

        File target(dir.file("clip.png"));
        VideoFormatManager manager;
        settings.fourCC = anyCodec;
        std::unique_ptr<VideoFormatWriter> writer(manager.createWriterFor(target, 25.0, 8, 4, 2, settings));
        ASSERT_NE(dynamic_cast<ImagePNGFormatWriter*>(writer.get()), nullptr);
        // Sixteen-bit frames come back equal.
        const auto wide = ramp(4, 2, 8, 5);
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(writer->writeFromPixels(std::make_shared<Pixels>(4, 2, 8, wide.data())));
        EXPECT_FALSE(writer->writeFromPixels(std::make_shared<Pixels>(4, 2, 4, wide.data()))) << "another pixel size";
        EXPECT_EQ(static_cast<ImagePNGFormatWriter&>(*writer).getCounter(), 3u);

        const std::string second = dir.readFile("clip/sequence_0000000002.png");
        ASSERT_FALSE(second.empty());
        std::istringstream in(second);
        unsigned long w = 0, h = 0;
        int bytesPerPixel = 0;
        unsigned char* decoded = PNGImageFormat::decodeImage(in, &w, &h, nullptr, &bytesPerPixel, nullptr);
        ASSERT_NE(decoded, nullptr);
        ASSERT_EQ(bytesPerPixel, 8);
        // Flipped rows on the way out: the file's first row is the last one given.
        EXPECT_EQ(std::vector<unsigned char>(decoded, decoded + 32), std::vector<unsigned char>(wide.begin() + 32, wide.end()));
        std::free(decoded);
        EXPECT_TRUE(File(dir.file("clip/sequence_0000000001.png")).exists());

        File unwritable("/proc/none/clip.png");
        EXPECT_EQ(manager.createWriterFor(unwritable, 25.0, 4, 4, 2, settings), nullptr);
    }
}
