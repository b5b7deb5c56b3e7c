// Every image reader through updateTexture and a VideoTextureBuffer, read
// back from GL exactly.

#include <memory>
#include <vector>

#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImageFormatReader.h"
#include "engine/video/formats/VXGIFTestWriter.h"
#include "engine/video/formats/VXGIFVideoFormatReader.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPNGImageFormatReader.h"
#include "engine/video/formats/VXTIFFImageFormatReader.h"
#include "engine/video/formats/VXTIFFTestWriter.h"
#include "engine/video/formats/VXVideoFormatManager.h"
#include "core/VXTaskManager.h"
#include "engine/video/formats/VXVideoTextureBuffer.h"
#include "support/VXTempDir.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class ImageReadersGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                GfxInfo::filloutGfxInfo();
            }
        };

        std::vector<PixelRGBA8> asPixels(const std::vector<unsigned char>& bytes)
        {
            std::vector<PixelRGBA8> pixels(bytes.size() / 4);
            for (std::size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = {bytes[4 * i], bytes[4 * i + 1], bytes[4 * i + 2], bytes[4 * i + 3]};
            return pixels;
        }
    }

    TEST_F(ImageReadersGLTest, StillImageUploadsOncePerInit)
    {
        TempDir dir;
        std::vector<unsigned char> bytes(5 * 3 * 4);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<unsigned char>(i * 5 + 1);
        const File file(dir.file("a.png"));
        ASSERT_TRUE(ImageUtils::writeToPng(file, 5, 3, 4, bytes.data(), 0));

        ImageFormatReader reader(file);
        VideoTextureBuffer buffer(1, 1, 1, nullptr);
        ASSERT_TRUE(reader.init(0, 0));
        EXPECT_TRUE(reader.read(0.0));
        ASSERT_TRUE(buffer.readTextureFromVideoReader(reader, 0));
        Texture* texture = buffer.getTexture(0);
        // The texture's first data row is the picture's first row (the reader is flipped).
        EXPECT_EQ(readTexture(GL_TEXTURE_2D, texture->getGLName()), asPixels(bytes));
        EXPECT_FALSE(reader.read(0.0)) << "nothing new until the next init";
        EXPECT_FALSE(reader.updateTexture(texture));
        ASSERT_TRUE(reader.init(0, 0));
        EXPECT_TRUE(reader.updateTexture(texture));

        // A texture smaller than the picture is refused, never over-read.
        Texture small;
        ASSERT_TRUE(small.create(2, 2, Texture::RGBA8));
        reader.init(0, 0);
        EXPECT_FALSE(reader.updateTexture(&small));
    }

    TEST_F(ImageReadersGLTest, PNGSequenceThroughTheBlockBufferer)
    {
        TaskManager tasks(2);
        TaskManager::setCurrent(&tasks);
        TempDir dir;
        dir.makeDirectory("seq");
        std::vector<std::vector<unsigned char>> frames;
        for (int f = 0; f < 7; ++f)
        {
            std::vector<unsigned char> bytes(3 * 2 * 4);
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<unsigned char>(f * 30 + i);
            ASSERT_TRUE(ImageUtils::writeToPng(File(dir.file("seq/f" + std::to_string(f) + ".png")), 3, 2, 4,
                                               bytes.data(), 0));
            frames.push_back(bytes);
        }
        {
            VideoFormatManager manager;
            std::unique_ptr<VideoFormatReader> reader(manager.createReaderForImageSequence(File(dir.file("seq"))));
            ASSERT_NE(dynamic_cast<PNGImageFormatReader*>(reader.get()), nullptr);
            ASSERT_TRUE(reader->isBuffering());
            ASSERT_TRUE(reader->init(0, 0));
            VideoTextureBuffer buffer(1, 1, 1, nullptr);
            for (int f : {0, 1, 2, 6, 3})
            {
                ASSERT_TRUE(reader->read(f * 40.0 + 1.0));
                ASSERT_TRUE(buffer.readTextureFromVideoReader(*reader, 0)) << f;
                EXPECT_EQ(readTexture(GL_TEXTURE_2D, buffer.getTexture(0)->getGLName()), asPixels(frames[f])) << f;
            }
            reader->release();
        }
        TaskManager::setCurrent(nullptr);
    }

    TEST_F(ImageReadersGLTest, TIFFPaletteUploadsAsSixteenBitRGBA)
    {
        TempDir dir;
        RawTiff t;
        t.width = 2;
        t.height = 1;
        t.bitsPerSample = 8;
        t.photometric = PHOTOMETRIC_PALETTE;
        for (unsigned i = 0; i < 256; ++i)
        {
            t.red.push_back(static_cast<std::uint16_t>(i * 257));
            t.green.push_back(static_cast<std::uint16_t>((255 - i) * 257));
            t.blue.push_back(0);
        }
        t.rows = {{0, 200}};
        ASSERT_TRUE(writeTiff(dir.file("p.tif"), t));
        TIFFImageFormatReader reader{File(dir.file("p.tif"))};
        ASSERT_TRUE(reader.init(0, 0));
        ASSERT_TRUE(reader.read(0.0));
        VideoTextureBuffer buffer(1, 1, 1, nullptr);
        ASSERT_TRUE(buffer.readTextureFromVideoReader(reader, 0));
        EXPECT_EQ(buffer.getTexture(0)->getFormat(), Texture::RGBA16I);
        // GL hands the 16-bit channels back as bytes: exactly the palette's high bytes.
        EXPECT_EQ(readTexture(GL_TEXTURE_2D, buffer.getTexture(0)->getGLName()),
                  (std::vector<PixelRGBA8>{{0, 255, 0, 255}, {200, 55, 0, 255}}));
    }

    TEST_F(ImageReadersGLTest, GIFFramesUploadAsComposed)
    {
        TempDir dir;
        RawGif g;
        g.width = 2;
        g.height = 2;
        g.background = 0;
        g.globalMap = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        RawGifFrame first;
        first.width = 2;
        first.height = 2;
        first.indexes = {1, 1, 1, 1};
        RawGifFrame second;
        second.left = 1;
        second.top = 1;
        second.width = 1;
        second.height = 1;
        second.indexes = {3};
        g.frames = {first, second};
        ASSERT_TRUE(writeGif(dir.file("a.gif"), g));
        GIFVideoFormatReader reader{File(dir.file("a.gif"))};
        ASSERT_TRUE(reader.init(0, 0));
        VideoTextureBuffer buffer(1, 1, 1, nullptr);
        ASSERT_TRUE(reader.read(150.0));
        ASSERT_TRUE(buffer.readTextureFromVideoReader(reader, 0));
        const PixelRGBA8 red{255, 0, 0, 255}, blue{0, 0, 255, 255};
        EXPECT_EQ(readTexture(GL_TEXTURE_2D, buffer.getTexture(0)->getGLName()),
                  (std::vector<PixelRGBA8>{red, red, red, blue}));
        ASSERT_TRUE(reader.read(50.0));
        ASSERT_TRUE(buffer.readTextureFromVideoReader(reader, 0));
        EXPECT_EQ(readTexture(GL_TEXTURE_2D, buffer.getTexture(0)->getGLName()),
                  (std::vector<PixelRGBA8>{red, red, red, red}));
    }
}
