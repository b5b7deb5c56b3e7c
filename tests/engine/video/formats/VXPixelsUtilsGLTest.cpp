#include "engine/video/formats/VXPixelsUtils.h"

#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "core/VXFile.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXTexture.h"
#include "engine/video/formats/VXImageUtils.h"
#include "engine/video/formats/VXPNGImageFormat.h"
#include "engine/video/formats/VXPixels.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

namespace vx::test
{
    namespace
    {
        // Row y of the bound framebuffer gets red 10 y, green 3 x (by column blocks of 1).
        void paintGradient(int width, int height)
        {
            glEnable(GL_SCISSOR_TEST);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                {
                    glScissor(x, y, 1, 1);
                    glClearColor((10 * y % 256) / 255.0f, (3 * x % 256) / 255.0f, 0.0f, 1.0f);
                    glClear(GL_COLOR_BUFFER_BIT);
                }
            glDisable(GL_SCISSOR_TEST);
            glClearColor(0, 0, 0, 0);
        }

        std::vector<unsigned char> ramp(size_t count)
        {
            std::vector<unsigned char> v(count);
            for (size_t i = 0; i < count; ++i)
                v[i] = static_cast<unsigned char>(i * 7 + 3);
            return v;
        }

        class PixelsUtilsGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                GfxInfo::filloutGfxInfo();
            }
        };
    }

    struct ReadCase
    {
        const char* name;
        int width;
        int bytesPerPixel;
    };

    class FrameBufferRead : public PixelsUtilsGLTest, public ::testing::WithParamInterface<ReadCase>
    {
    };

    // The buffer is exactly width x height x bytesPerPixel: a padded row would
    // run past it under the address sanitizer.
    TEST_P(FrameBufferRead, RowsArriveTightlyPackedBottomFirst)
    {
        const ReadCase& c = GetParam();
        const int height = 3;
        ScopedTestFramebuffer target(c.width, height);
        paintGradient(c.width, height);

        std::vector<unsigned char> buffer(static_cast<size_t>(c.width) * height * c.bytesPerPixel);
        ASSERT_TRUE(PixelsUtils::readFromFrameBufferToBuffer(0, 0, c.width, height, c.bytesPerPixel, buffer.data(),
                                                             c.bytesPerPixel == 1 ? GL_UNSIGNED_BYTE : 0,
                                                             c.bytesPerPixel == 1 ? GL_RED : 0));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < c.width; ++x)
            {
                const unsigned char* p = buffer.data() + (static_cast<size_t>(y) * c.width + x) * c.bytesPerPixel;
                ASSERT_EQ(p[0], 10 * y) << x << ", " << y;
                if (c.bytesPerPixel >= 3)
                {
                    ASSERT_EQ(p[1], 3 * x % 256) << x << ", " << y;
                }
            }
    }

    INSTANTIATE_TEST_SUITE_P(Widths, FrameBufferRead,
                             ::testing::Values(ReadCase{"grey_101", 101, 1}, ReadCase{"grey_100", 100, 1},
                                               ReadCase{"rgb_7", 7, 3}, ReadCase{"rgba_5", 5, 4}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST_F(PixelsUtilsGLTest, FrameBufferReadRefusesUnsafeRequests)
    {
        ScopedTestFramebuffer target(4, 4);
        LogRecorder log;
        std::vector<unsigned char> buffer(16, 0xAB);
        // No type or format, and no layout for 5 bytes per pixel.
        EXPECT_FALSE(PixelsUtils::readFromFrameBufferToBuffer(0, 0, 4, 4, 5, buffer.data(), 0, 0));
        // A layout writing more than the buffer's pixel size.
        EXPECT_FALSE(PixelsUtils::readFromFrameBufferToBuffer(0, 0, 4, 4, 1, buffer.data(), GL_UNSIGNED_BYTE, GL_RGBA));
        EXPECT_FALSE(PixelsUtils::readFromFrameBufferToBuffer(0, 0, 4, 4, 1, nullptr, 0, 0));
        EXPECT_EQ(buffer, std::vector<unsigned char>(16, 0xAB));
        EXPECT_EQ(log.count(logError), 3u) << log.dump();
    }

    TEST_F(PixelsUtilsGLTest, FrameBufferReadGoesToClientMemoryWhateverTheHostBound)
    {
        ScopedTestFramebuffer target(2, 2);
        clearTo(0, 1, 0, 1);
        const ScopedHostPackBuffer host(64);
        glPixelStorei(GL_PACK_ALIGNMENT, 8);

        std::unique_ptr<Pixels> pixels(PixelsUtils::readPixelsFromFrameBuffer(0, 0, 2, 2, 4, 0, 0));
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->data[1], 255);
        EXPECT_EQ(pixels->data[3], 255);

        EXPECT_EQ(static_cast<GLuint>(getInteger(GL_PIXEL_PACK_BUFFER_BINDING)), host.get());
        EXPECT_EQ(getInteger(GL_PACK_ALIGNMENT), 8);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
    }

    TEST_F(PixelsUtilsGLTest, GetTexImageGivesTheLogicalImage)
    {
        const ScopedGfxInfo gfxInfo;
        GfxInfo::VX_GFX_CARD_SUPPORTS_NONPOWEROFTWOTEXTURES = false; // 5 x 3 lives in 8 x 4
        const auto data = ramp(5 * 3 * 4);
        Texture texture;
        ASSERT_TRUE(texture.create(data.data(), 5, 3, Texture::RGBA8));
        ASSERT_EQ(texture.getHardwareWidth(), 8);

        std::unique_ptr<Pixels> pixels(PixelsUtils::textureToPixelsUsingGetTexImage(&texture, 4));
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->width, 5);
        EXPECT_EQ(pixels->height, 3);
        EXPECT_EQ(std::vector<unsigned char>(pixels->data, pixels->data + pixels->dataSize), data);

        LogRecorder log;
        EXPECT_EQ(PixelsUtils::textureToPixelsUsingGetTexImage(&texture, 3), nullptr);
        EXPECT_EQ(PixelsUtils::textureToPixelsUsingGetTexImage(&texture, 8), nullptr);
        EXPECT_EQ(PixelsUtils::textureToPixelsUsingGetTexImage(nullptr, 4), nullptr);
        EXPECT_EQ(log.count(logError), 2u) << log.dump();
    }

    TEST_F(PixelsUtilsGLTest, CompressedTexturesComeBackAsWholeBlocks)
    {
        // 10 x 6 DXT1: 3 x 2 blocks of 8 bytes, stored in a 16 x 8 level.
        const auto blocks = ramp(3 * 2 * 8);
        Texture texture;
        ASSERT_TRUE(texture.create(blocks.data(), 10, 6, Texture::DXT1_RGB));
        std::unique_ptr<Pixels> pixels(PixelsUtils::compressedTextureToPixels(&texture));
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->format, Texture::DXT1_RGB);
        EXPECT_TRUE(pixels->isCompressed());
        EXPECT_EQ(pixels->dataSize, 48);
        EXPECT_EQ(std::vector<unsigned char>(pixels->data, pixels->data + pixels->dataSize), blocks);

        const auto dxt5 = ramp(1 * 1 * 16);
        Texture five;
        ASSERT_TRUE(five.create(dxt5.data(), 3, 3, Texture::DXT5_RGBA));
        std::unique_ptr<Pixels> fivePixels(PixelsUtils::compressedTextureToPixels(&five));
        ASSERT_NE(fivePixels, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(fivePixels->data, fivePixels->data + fivePixels->dataSize), dxt5);

        LogRecorder log;
        Texture plain;
        ASSERT_TRUE(plain.create(4, 4, Texture::RGBA8));
        EXPECT_EQ(PixelsUtils::compressedTextureToPixels(&plain), nullptr);
        EXPECT_EQ(log.count(logError), 1u);
    }

    TEST_F(PixelsUtilsGLTest, UpdateTextureFromPixelsReusesOrRecreates)
    {
        const auto rgba = ramp(3 * 2 * 4);
        Pixels pixels(3, 2, 4, rgba.data());
        Texture texture;
        ASSERT_TRUE(PixelsUtils::updateTextureFromPixels(texture, pixels));
        EXPECT_EQ(texture.getFormat(), Texture::RGBA8);
        EXPECT_EQ(texture.getWidth(), 3);
        const unsigned int name = texture.getGLName();

        pixels.data[0] = 200;
        ASSERT_TRUE(PixelsUtils::updateTextureFromPixels(texture, pixels));
        EXPECT_EQ(texture.getGLName(), name) << "same format: updated in place";
        EXPECT_EQ(readTexture(GL_TEXTURE_2D, texture.getGLName()).at(0).r, 200);

        const auto rgb = ramp(2 * 2 * 3);
        Pixels other(2, 2, 3, rgb.data());
        ASSERT_TRUE(PixelsUtils::updateTextureFromPixels(texture, other));
        EXPECT_EQ(texture.getFormat(), Texture::RGB8);
        EXPECT_EQ(texture.getWidth(), 2);

        LogRecorder log;
        Pixels empty(static_cast<const Pixels*>(nullptr));
        EXPECT_FALSE(PixelsUtils::updateTextureFromPixels(texture, empty));
    }

    TEST_F(PixelsUtilsGLTest, TexturesFromImageBytes)
    {
        const auto rgba = ramp(2 * 2 * 4);
        std::ostringstream png;
        ASSERT_TRUE(PNGImageFormat::writePixelsToStream(rgba.data(), 2, 2, 4, png));
        const std::string bytes = png.str();

        std::unique_ptr<Texture> texture(
            ImageUtils::textureFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()), 0));
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->getFormat(), Texture::RGBA8);
        const auto texels = readTexture(GL_TEXTURE_2D, texture->getGLName());
        EXPECT_EQ(texels.at(0), (PixelRGBA8{rgba[0], rgba[1], rgba[2], rgba[3]}));
        EXPECT_EQ(texels.at(static_cast<size_t>(texture->getHardwareWidth()) + 1),
                  (PixelRGBA8{rgba[12], rgba[13], rgba[14], rgba[15]}));

        std::unique_ptr<Texture> rgb(
            ImageUtils::textureFromMemory(reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size()), 3));
        ASSERT_NE(rgb, nullptr);
        EXPECT_EQ(rgb->getFormat(), Texture::RGB8);

        LogRecorder log;
        const std::string junk(64, 'x');
        EXPECT_EQ(
            ImageUtils::textureFromMemory(reinterpret_cast<const unsigned char*>(junk.data()), int(junk.size()), 0),
            nullptr);
        EXPECT_EQ(ImageUtils::textureFromData(rgba.data(), 2, 2, 5), nullptr);
        EXPECT_EQ(ImageUtils::textureFromData(rgba.data(), 0, 2, 4), nullptr);
        EXPECT_EQ(log.count(logError), 4u) << log.dump(); // texture creation logs its own line too
    }

    TEST_F(PixelsUtilsGLTest, TexturesAreWrittenToFiles)
    {
        TempDir dir;
        const auto rgba = ramp(4 * 2 * 4);
        Texture texture;
        ASSERT_TRUE(texture.create(rgba.data(), 4, 2, Texture::RGBA8));

        const File png(dir.file("t.png"));
        ASSERT_TRUE(ImageUtils::writeTextureToPng(png, &texture, 0, 0));
        std::unique_ptr<Pixels> back(PixelsUtils::pixelsFromFile(png));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->width, texture.getHardwareWidth());
        EXPECT_EQ(std::vector<unsigned char>(back->data, back->data + 16),
                  std::vector<unsigned char>(rgba.begin(), rgba.begin() + 16));

        // From (1, 1): the part of the image inside the texture.
        ASSERT_TRUE(ImageUtils::writeTextureToPng(png, &texture, 1, 1));
        back.reset(PixelsUtils::pixelsFromFile(png));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->width, texture.getHardwareWidth() - 1);
        EXPECT_EQ(back->height, texture.getHardwareHeight() - 1);
        EXPECT_EQ(back->data[0], rgba[(1 * 4 + 1) * 4]);

        const File tga(dir.file("t.tga"));
        ASSERT_TRUE(ImageUtils::writeTextureToTga(tga, &texture));
        unsigned long w = 0, h = 0;
        int channels = 0;
        std::unique_ptr<unsigned char, decltype(&std::free)> decoded(
            ImageUtils::imageFromFile(tga, &w, &h, &channels, 4), &std::free);
        ASSERT_NE(decoded, nullptr);
        EXPECT_EQ(decoded.get()[0], rgba[0]);

        LogRecorder log;
        EXPECT_FALSE(ImageUtils::writeTextureToPng(png, nullptr, 0, 0));
        EXPECT_FALSE(ImageUtils::writeTextureToPng(png, &texture, 99, 0));
        Texture half;
        ASSERT_TRUE(half.create(2, 2, Texture::RGBA16F));
        EXPECT_FALSE(ImageUtils::writeTextureToPng(png, &half, 0, 0));
        EXPECT_FALSE(ImageUtils::writeTextureToTga(tga, &half));
        EXPECT_EQ(log.count(logError), 4u) << log.dump();
    }

    namespace
    {
        // Four rows of two RGBA pixels; row r is (40 r, 255 - 40 r, 9, 255).
        std::vector<unsigned char> rowsImage()
        {
            std::vector<unsigned char> bytes;
            for (int r = 0; r < 4; ++r)
                for (int x = 0; x < 2; ++x)
                    bytes.insert(bytes.end(), {static_cast<unsigned char>(40 * r),
                                               static_cast<unsigned char>(255 - 40 * r), 9, 255});
            return bytes;
        }

        // Read-back draws with the viewport set to what it draws, by design.
        template <typename Fixture>
        class ReadbackGLTest : public Fixture
        {
        protected:
            void SetUp() override
            {
                Fixture::SetUp();
                this->restoresViewport = true;
            }
        };

        using TextureReadbackGLTest = ReadbackGLTest<RenderTargetGLTest>;
        // The test's context as the engine's primary one, with its renderer:
        // drawing for read-back binds through that renderer's binding cache.
        using CachedReadbackGLTest = ReadbackGLTest<HostRendererGLTest>;
    }

    TEST_F(TextureReadbackGLTest, ThroughARenderTargetRowsKeepOrUnflip)
    {
        const auto image = rowsImage();
        Texture texture;
        ASSERT_TRUE(texture.create(image.data(), 2, 4, Texture::RGBA8));

        std::unique_ptr<Pixels> kept(PixelsUtils::textureToPixels(&texture, 4, PixelsUtils::keepOrder, false, true));
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(kept->data, kept->data + kept->dataSize), image);

        std::unique_ptr<Pixels> flipped(PixelsUtils::textureToPixels(&texture, 4, PixelsUtils::keepOrder, true, true));
        ASSERT_NE(flipped, nullptr);
        EXPECT_EQ(flipped->data[0], 120) << "first row = the texture's last row";
        EXPECT_EQ(flipped->data[3 * 8], 0);

        EXPECT_EQ(targets().getUsedRTCount(), 0u) << "the target goes back to the pool";
        EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), nullptr);
        EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), 0);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    }

    TEST_F(TextureReadbackGLTest, SixteenBitReadsGoThroughAWideTarget)
    {
        const auto image = rowsImage();
        Texture texture;
        ASSERT_TRUE(texture.create(image.data(), 2, 4, Texture::RGBA8));
        std::unique_ptr<Pixels> wide(PixelsUtils::textureToPixels(&texture, 8, PixelsUtils::keepOrder, false, true));
        ASSERT_NE(wide, nullptr);
        // High bytes of little-endian 16-bit channels of row 2.
        const unsigned char* row2 = wide->data + 2 * wide->stride;
        EXPECT_EQ(row2[1], 80);
        EXPECT_EQ(row2[3], 175);
        EXPECT_EQ(row2[7], 255);
    }

    TEST_F(TextureReadbackGLTest, IntoTheBoundFramebufferAndBackToTheBoundTarget)
    {
        const auto image = rowsImage();
        Texture texture;
        ASSERT_TRUE(texture.create(image.data(), 2, 4, Texture::RGBA8));
        RenderTarget* outer = targets().retain(16, 16, Texture::RGBA8, false, DEFAULT_DEPTH_FMT);
        ASSERT_NE(outer, nullptr);
        ASSERT_TRUE(outer->bind());

        std::vector<unsigned char> buffer(2 * 4 * 4);
        ASSERT_TRUE(
            PixelsUtils::textureToPixelsBuffer(&texture, 4, PixelsUtils::keepOrder, false, false, buffer.data()));
        EXPECT_EQ(buffer, image);

        std::fill(buffer.begin(), buffer.end(), 0);
        ASSERT_TRUE(
            PixelsUtils::textureToPixelsBuffer(&texture, 4, PixelsUtils::keepOrder, false, true, buffer.data()));
        EXPECT_EQ(buffer, image);
        EXPECT_EQ(RenderTarget::getCurrentRenderTarget(), outer) << "the caller's target is bound again";
        EXPECT_TRUE(outer->isBound());
        RenderTarget::unbind();
        targets().release(outer);
    }

    TEST_F(TextureReadbackGLTest, ChannelOrdersNeedTheRenderersProgram)
    {
        const auto image = rowsImage();
        Texture texture;
        ASSERT_TRUE(texture.create(image.data(), 2, 4, Texture::RGBA8));
        LogRecorder log;
        std::vector<unsigned char> buffer(2 * 4 * 4, 0xAB);
        PixelsUtils::textureToPixelsBuffer(&texture, 4, PixelsUtils::swapRedBlue, false, true, buffer.data());
        EXPECT_EQ(buffer[0], 0) << "nothing drawn: the cleared target is read";
        EXPECT_TRUE(log.contains("channel-order")) << log.dump();
        EXPECT_EQ(PixelsUtils::textureToPixels(nullptr, 4, PixelsUtils::keepOrder, false, true), nullptr);
    }

    namespace
    {
        struct RepeatCase
        {
            const char* name;
            bool useRenderTarget;
            PixelsUtils::PixelsOrder firstOrder;
        };

        class RepeatedReadback : public CachedReadbackGLTest, public ::testing::WithParamInterface<RepeatCase>
        {
        };
    }

    // Every read of the same texture gives its pixels, and afterwards the
    // renderer's cache records what GL has bound on unit 0.
    TEST_P(RepeatedReadback, GivesTheTexturesPixelsEveryTime)
    {
        const RepeatCase& c = GetParam();
        const auto image = rowsImage();
        Texture texture;
        ASSERT_TRUE(texture.create(image.data(), 2, 4, Texture::RGBA8));
        std::unique_ptr<ScopedTestFramebuffer> bound;
        if (! c.useRenderTarget)
            bound = std::make_unique<ScopedTestFramebuffer>(2, 4);

        std::vector<unsigned char> first(image.size());
        ASSERT_TRUE(
            PixelsUtils::textureToPixelsBuffer(&texture, 4, c.firstOrder, false, c.useRenderTarget, first.data()));
        for (int round = 0; round < 3; ++round)
        {
            std::vector<unsigned char> again(image.size(), 0xAB);
            ASSERT_TRUE(PixelsUtils::textureToPixelsBuffer(&texture, 4, PixelsUtils::keepOrder, false,
                                                           c.useRenderTarget, again.data()));
            EXPECT_EQ(again, image) << "read " << round + 2;
            EXPECT_EQ(host->cache().getBoundTexture(0), static_cast<unsigned int>(getInteger(GL_TEXTURE_BINDING_2D)));
            EXPECT_EQ(host->cache().getActiveSampler(),
                      static_cast<unsigned int>(getInteger(GL_ACTIVE_TEXTURE) - GL_TEXTURE0));
        }
    }

    INSTANTIATE_TEST_SUITE_P(Paths, RepeatedReadback,
                             ::testing::Values(RepeatCase{"through_a_target", true, PixelsUtils::keepOrder},
                                               RepeatCase{"into_the_bound_framebuffer", false, PixelsUtils::keepOrder},
                                               RepeatCase{"after_a_channel_swap", true, PixelsUtils::swapRedBlue}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST_F(CachedReadbackGLTest, ChannelOrdersSwapRedAndBlueOrMoveAlphaFirst)
    {
        const std::vector<unsigned char> pixel{10, 20, 30, 255, 40, 50, 60, 255};
        Texture texture;
        ASSERT_TRUE(texture.create(pixel.data(), 2, 1, Texture::RGBA8));

        std::unique_ptr<Pixels> swapped(
            PixelsUtils::textureToPixels(&texture, 4, PixelsUtils::swapRedBlue, false, true));
        ASSERT_NE(swapped, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(swapped->data, swapped->data + 8),
                  (std::vector<unsigned char>{30, 20, 10, 255, 60, 50, 40, 255}));

        std::unique_ptr<Pixels> alpha(PixelsUtils::textureToPixels(&texture, 4, PixelsUtils::alphaFirst, false, true));
        ASSERT_NE(alpha, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(alpha->data, alpha->data + 4),
                  (std::vector<unsigned char>{255, 10, 20, 30}));
        EXPECT_EQ(getInteger(GL_CURRENT_PROGRAM), 0) << "the program is unbound afterwards";
    }
}
