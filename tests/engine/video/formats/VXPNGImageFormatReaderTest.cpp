#include "engine/video/formats/VXPNGImageFormatReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/parameters/VXParamChoice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXImageVideoFormat.h"
#include "engine/video/formats/VXPNGTestWriter.h"
#include "engine/video/formats/VXPixels.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        std::vector<unsigned char> ramp(int w, int h, int bytesPerPixel, int seed)
        {
            std::vector<unsigned char> v(static_cast<std::size_t>(w) * h * bytesPerPixel);
            for (std::size_t i = 0; i < v.size(); ++i)
                v[i] = static_cast<unsigned char>(seed + i * 7);
            return v;
        }

        File writePng(TempDir& dir, const std::string& name, int w, int h, int bytesPerPixel, int seed)
        {
            const File file(dir.file(name));
            const auto bytes = ramp(w, h, bytesPerPixel, seed);
            EXPECT_TRUE(ImageUtils::writeToPng(file, w, h, bytesPerPixel, bytes.data(), 0));
            return file;
        }

        std::vector<unsigned char> decodeFrame(PNGImageFormatReader& reader, int index)
        {
            std::vector<unsigned char> frame(reader.getFrameSize(), 0xEE);
            unsigned char* target = frame.data();
            if (! reader.decompressPreparedFrame(index, &target))
                return {};
            return frame;
        }
    }

    TEST(PNGImageFormatReaderTest, LayoutOfTheFirstFile)
    {
        TempDir dir;
        PNGImageFormatReader wide(writePng(dir, "wide.png", 6, 2, 8, 1));
        ASSERT_TRUE(wide.isOpened());
        EXPECT_EQ(wide.getBitDepth(), 8);
        EXPECT_EQ(*wide.getTextureFormat(), Texture::RGBA16I);
        EXPECT_EQ(wide.getCodecName(), "PNG 64 bit");
        EXPECT_TRUE(wide.getHasAlpha());
        EXPECT_EQ(wide.getAlphaType().getValue(), 1);
        EXPECT_EQ(wide.getFrameSize(), 96u);

        RawPng grey;
        grey.width = 3;
        grey.height = 2;
        grey.rows = {{10, 20, 30}, {40, 50, 60}};
        const File greyFile(dir.writeFile("grey.png", writeRaw(grey)));
        PNGImageFormatReader reader(greyFile);
        EXPECT_FALSE(reader.getHasAlpha());
        EXPECT_EQ(reader.getAlphaType().getValue(), 2);
        EXPECT_EQ(reader.getBitDepth(), 4) << "frames are always RGBA";
        EXPECT_EQ(reader.getCodecName(), "PNG");

        std::unique_ptr<VideoFormatReader> fromFormat(ImageVideoFormat().createReaderFor(greyFile));
        EXPECT_NE(dynamic_cast<PNGImageFormatReader*>(fromFormat.get()), nullptr);
        EXPECT_EQ(ImageVideoFormat().createReaderFor(File(dir.writeFile("junk.png", "junk"))), nullptr);
    }

    TEST(PNGImageFormatReaderTest, ASequenceTakesOnlyFilesOfItsLayout)
    {
        TempDir dir;
        PNGImageFormatReader reader(writePng(dir, "0.png", 4, 3, 4, 1));
        EXPECT_FALSE(reader.addFile(writePng(dir, "big.png", 5, 3, 4, 2), false));
        EXPECT_FALSE(reader.addFile(writePng(dir, "wide.png", 4, 3, 8, 2), false));
        EXPECT_FALSE(reader.addFile(File(dir.file("missing.png")), false));
        ASSERT_TRUE(reader.addFile(writePng(dir, "1.png", 4, 3, 3, 20), true));
        ASSERT_TRUE(reader.addFile(writePng(dir, "2.png", 4, 3, 4, 30), true));
        EXPECT_FALSE(reader.addFile(File(dir.file("2.png")), true));
        EXPECT_EQ(reader.getTotalFrames(), 3u);
        EXPECT_EQ(reader.getLength(), 120.0);

        // From frame 2, three frames: files 2, 0, 1.
        int count = 3;
        EXPECT_TRUE(reader.prepareFrames(2, count, nullptr));
        EXPECT_EQ(count, 3);
        EXPECT_EQ(decodeFrame(reader, 0), ramp(4, 3, 4, 30));
        EXPECT_EQ(decodeFrame(reader, 1), ramp(4, 3, 4, 1));
        const std::vector<unsigned char> rgb = decodeFrame(reader, 2);
        ASSERT_EQ(rgb.size(), 48u);
        EXPECT_EQ(rgb[3], 255) << "3-byte files decode with opaque alpha";
        EXPECT_TRUE(decodeFrame(reader, 3).empty()) << "past the prepared list";
        EXPECT_TRUE(decodeFrame(reader, -1).empty());
    }

    TEST(PNGImageFormatReaderTest, AFileChangedOnDiskFailsItsFrame)
    {
        TempDir dir;
        PNGImageFormatReader reader(writePng(dir, "0.png", 4, 3, 4, 1));
        ASSERT_TRUE(reader.addFile(writePng(dir, "1.png", 4, 3, 4, 2), false));
        ASSERT_TRUE(reader.addFile(writePng(dir, "2.png", 4, 3, 4, 3), false));
        writePng(dir, "1.png", 40, 30, 4, 2);
        File(dir.file("2.png")).deleteFile();
        LogRecorder log;
        int count = 3;
        reader.prepareFrames(0, count, nullptr);
        EXPECT_EQ(count, 3);
        EXPECT_EQ(decodeFrame(reader, 0), ramp(4, 3, 4, 1));
        EXPECT_TRUE(decodeFrame(reader, 1).empty()) << "a larger picture never reaches the frame";
        EXPECT_TRUE(decodeFrame(reader, 2).empty());
        EXPECT_TRUE(log.contains("Could not open file")) << log.dump();

        // Through the bufferer: the reader reports no frame.
        EXPECT_TRUE(reader.read(41.0));
        std::shared_ptr<Pixels> pixels;
        EXPECT_FALSE(reader.updatePixels(pixels));
        EXPECT_TRUE(reader.read(0.0));
        ASSERT_TRUE(reader.updatePixels(pixels));
        EXPECT_EQ(std::vector<unsigned char>(pixels->data, pixels->data + 48), ramp(4, 3, 4, 1));
    }

    TEST(PNGImageFormatReaderTest, FrameSizeAndThumbnail)
    {
        TempDir dir;
        PNGImageFormatReader reader(writePng(dir, "big.png", 640, 480, 4, 1));
        EXPECT_EQ(reader.getFrameSize(), 1228800u);
        const auto thumbnail = reader.getCustomThumbnail();
        ASSERT_NE(thumbnail, nullptr);
        EXPECT_EQ(thumbnail->width, 640);
        // A still picture stays prepared.
        int count = 1;
        EXPECT_TRUE(reader.prepareFrames(0, count, nullptr));
        File(dir.file("big.png")).deleteFile();
        EXPECT_TRUE(reader.prepareFrames(0, count, nullptr));
        EXPECT_EQ(decodeFrame(reader, 0).size(), 1228800u);
    }
}
