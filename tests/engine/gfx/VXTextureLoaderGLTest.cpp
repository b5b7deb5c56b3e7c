#include "engine/gfx/VXTexture.h"

#include "core/VXFile.h"
#include "engine/gfx/VXRenderTargetTestSupport.h"
#include "engine/gfx/VXTextureRef.h"
#include "engine/video/formats/VXPNGTestWriter.h"
#include "support/VXLogRecorder.h"
#include "support/VXTempDir.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vx
{
    namespace
    {

        using test::PixelRGBA8;

        // A PNG of 8-bit samples of the colour type, rows as given.
        std::string encodePng(unsigned w, unsigned h, int colorType, int channels, const std::vector<uint8_t>& samples)
        {
            test::RawPng png;
            png.width = w;
            png.height = h;
            png.colorType = colorType;
            for (unsigned y = 0; y < h; ++y)
                png.rows.emplace_back(samples.begin() + long(y * w * unsigned(channels)),
                                      samples.begin() + long((y + 1) * w * unsigned(channels)));
            return test::writeRaw(png);
        }

        const unsigned char* bytes(const std::string& s)
        {
            return reinterpret_cast<const unsigned char*>(s.data());
        }

        // An engine root with texture and render-target pools and a renderer on the
        // fixture's context.
        using TextureLoaderGLTest = test::HostRendererGLTest;

        TEST_F(TextureLoaderGLTest, GreyImageWithUnknownFormatTakesTheImagesLayout)
        {
            const std::string png = encodePng(3, 2, PNG_COLOR_TYPE_GRAY, 1, {0, 100, 200, 50, 150, 250});
            ASSERT_FALSE(png.empty());
            Texture texture;
            ASSERT_TRUE(texture.load(bytes(png), int(png.size()), Texture::UNKNOWN_FORMAT));
            EXPECT_EQ(texture.getFormat().format, GL_LUMINANCE);
            EXPECT_EQ(texture.getFormat().internalFormat, GL_RGBA8);
            EXPECT_EQ(texture.getFormat().bytesPerPixel, 1);
            EXPECT_EQ(texture.getWidth(), 3);
            EXPECT_EQ(texture.getHeight(), 2);
            const auto pixels = test::readTexture(GL_TEXTURE_2D, texture.getGLName());
            ASSERT_GE(pixels.size(), 6u);
            EXPECT_EQ(pixels[1], (PixelRGBA8{100, 100, 100, 255}));
            EXPECT_EQ(pixels[size_t(texture.getHardwareWidth()) + 2], (PixelRGBA8{250, 250, 250, 255}));

            // Grey with alpha: two channels become luminance-alpha, not a four-byte read.
            const std::string greyAlpha = encodePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 2, {10, 20, 30, 40});
            ASSERT_TRUE(texture.load(bytes(greyAlpha), int(greyAlpha.size()), Texture::UNKNOWN_FORMAT));
            EXPECT_EQ(texture.getFormat().format, GL_LUMINANCE_ALPHA);
            EXPECT_EQ(texture.getFormat().bytesPerPixel, 2);
        }

        TEST_F(TextureLoaderGLTest, RequestedLayoutsAreHonouredOrRefused)
        {
            const std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 9, 9, 9, 9};
            const std::string png = encodePng(2, 2, PNG_COLOR_TYPE_RGBA, 4, rgba);
            Texture texture;
            ASSERT_TRUE(texture.load(bytes(png), int(png.size()), Texture::RGB8));
            EXPECT_EQ(texture.getFormat().format, GL_RGB);
            EXPECT_EQ(texture.getFormat().bytesPerPixel, 3);

            // A float layout is uploaded from the decoder's bytes, never read as floats.
            ASSERT_TRUE(texture.load(bytes(png), int(png.size()), Texture::RGBA32F));
            EXPECT_EQ(texture.getFormat().internalFormat, Texture::RGBA32F.internalFormat);
            EXPECT_EQ(test::readTexture(GL_TEXTURE_2D, texture.getGLName())[1], (PixelRGBA8{0, 255, 0, 128}));

            test::LogRecorder log;
            EXPECT_FALSE(texture.load(bytes(png), int(png.size()), Texture::BGRA8));
            EXPECT_TRUE(log.contains("not supported")) << log.dump();
            EXPECT_FALSE(texture.load(bytes(png), 20, Texture::RGBA8)) << "truncated";
            EXPECT_FALSE(texture.load(nullptr, 100, Texture::RGBA8));
            const std::string junk(64, 'x');
            EXPECT_FALSE(texture.load(bytes(junk), int(junk.size()), Texture::UNKNOWN_FORMAT));
        }

        TEST_F(TextureLoaderGLTest, LoadsFromFiles)
        {
            test::TempDir dir;
            const std::string path =
                dir.writeFile("rgb.png", encodePng(2, 1, PNG_COLOR_TYPE_RGB, 3, {1, 2, 3, 4, 5, 6}));
            Texture texture;
            ASSERT_TRUE(texture.load(File(path), Texture::RGBA8));
            EXPECT_EQ(texture.getFormat().format, GL_RGBA);
            EXPECT_EQ(test::readTexture(GL_TEXTURE_2D, texture.getGLName())[1], (PixelRGBA8{4, 5, 6, 255}));

            test::LogRecorder log;
            EXPECT_FALSE(texture.load(File(dir.file("missing.png")), Texture::RGBA8));
            EXPECT_GE(log.count(logError), 1u);
        }

        TEST_F(TextureLoaderGLTest, RandomTexturesNeedASize)
        {
            EXPECT_EQ(Texture::createRandom(0, 16), nullptr);
            EXPECT_EQ(Texture::createRandom(16, 0), nullptr);
            EXPECT_NE(std::unique_ptr<Texture>(Texture::createRandom(4, 4)), nullptr);
        }

        struct WriterCase
        {
            const char* name;
            const TextureFormat* format;
            std::vector<uint8_t> expected; // bytes written at (1, 1, 0) into rows of 16 bytes
        };

        class PixelWriterTest : public test::GLTest, public ::testing::WithParamInterface<WriterCase>
        {
        };

        TEST_P(PixelWriterTest, WritesTheFormatsLayout)
        {
            GfxInfo::filloutGfxInfo();
            const WriterCase& c = GetParam();
            Texture texture;
            ASSERT_TRUE(texture.create(4, 4, *c.format));
            ASSERT_NE(texture.getPixelFunc(), nullptr);
            std::vector<uint8_t> data(64, 0xEE);
            const bool oneByteScale = *c.format == Texture::I8 || *c.format == Texture::RGB8;
            const float s = oneByteScale ? 255.0f : 1.0f;
            texture.getPixelFunc()(data.data(), 1, 1, 0, 16, 64, 0.5f * s, 0.25f * s, 1.0f * s, 1.0f);
            const size_t offset = size_t(texture.getFormat().bytesPerPixel) + 16;
            EXPECT_EQ(
                std::vector<uint8_t>(data.begin() + long(offset), data.begin() + long(offset + c.expected.size())),
                c.expected);
            EXPECT_EQ(data[offset - 1], 0xEE) << "nothing before the pixel";
            EXPECT_EQ(data[offset + c.expected.size()], 0xEE) << "nothing after it";
        }

        std::vector<uint8_t> floatBytes(std::initializer_list<float> values)
        {
            std::vector<uint8_t> out;
            for (float v : values)
            {
                uint8_t b[4];
                std::memcpy(b, &v, 4);
                out.insert(out.end(), b, b + 4);
            }
            return out;
        }

        INSTANTIATE_TEST_SUITE_P(
            Formats, PixelWriterTest,
            ::testing::Values(WriterCase{"I8", &Texture::I8, {127}}, WriterCase{"RGB8", &Texture::RGB8, {255, 63, 127}},
                              WriterCase{"RGBA8", &Texture::RGBA8, {255, 63, 127, 255}},
                              WriterCase{"R32F", &Texture::R32F, floatBytes({0.5f})},
                              WriterCase{"RGBA32F", &Texture::RGBA32F, floatBytes({0.5f, 0.25f, 1.0f, 1.0f})}),
            [](const ::testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

        TEST_F(TextureLoaderGLTest, FormatsWithoutWriterKeepTheirs)
        {
            Texture texture;
            ASSERT_TRUE(texture.create(4, 4, Texture::LA8));
            EXPECT_EQ(texture.getPixelFunc(), nullptr);
            EXPECT_FALSE(texture.setPixelFunc());
            ASSERT_TRUE(texture.create(4, 4, Texture::RGBA8));
            const auto rgbaWriter = texture.getPixelFunc();
            ASSERT_TRUE(texture.create(4, 4, Texture::LA8));
            EXPECT_EQ(texture.getPixelFunc(), rgbaWriter);

            // Out-of-range and NaN channels are well defined: low bits kept, NaN as 0.
            uint8_t word[4] = {};
            rgbaWriter(word, 0, 0, 0, 4, 4, 1e20f, std::nanf(""), -1.0f, 2.0f);
            EXPECT_EQ(word[1], 0);
        }

        TEST_F(TextureLoaderGLTest, CloneIsScaledAndOwnedByTheCaller)
        {
            std::vector<uint8_t> texels(101 * 51 * 4);
            for (size_t i = 0; i < texels.size(); i += 4)
                std::memcpy(&texels[i], "\x20\x80\xE0\xFF", 4);
            Texture source;
            ASSERT_TRUE(source.create(texels.data(), 101, 51, Texture::RGBA8));

            std::unique_ptr<Texture> clone(Texture::createClone(*renderer, source, 0.5f));
            ASSERT_NE(clone, nullptr);
            EXPECT_EQ(clone->getWidth(), 50);
            EXPECT_EQ(clone->getHeight(), 25);
            EXPECT_EQ(clone->getFormat(), Texture::RGBA8);
            const auto pixels = test::readTexture(GL_TEXTURE_2D, clone->getGLName());
            EXPECT_EQ(pixels[size_t(clone->getHardwareWidth()) * 10 + 20], (PixelRGBA8{0x20, 0x80, 0xE0, 0xFF}));
            EXPECT_EQ(textures().getFreeTextureCount(), 0) << "the clone left the pool";
            EXPECT_EQ(targets().getUsedRTCount(), 0u) << "the target went back";

            EXPECT_EQ(Texture::createClone(*renderer, source, 0.0f), nullptr);
            Texture unmade;
            test::LogRecorder log;
            EXPECT_EQ(Texture::createClone(*renderer, unmade, 1.0f), nullptr);
        }

        TEST_F(TextureLoaderGLTest, CloneOfACompressedTextureIsRGBA8)
        {
            Texture compressed;
            {
                test::LogRecorder log;
                if (! compressed.create(8, 8, Texture::DXT5_RGBA))
                    GTEST_SKIP() << "no S3TC on this GL";
            }
            std::unique_ptr<Texture> clone(Texture::createClone(*renderer, compressed, 1.0f));
            ASSERT_NE(clone, nullptr);
            EXPECT_EQ(clone->getFormat(), Texture::RGBA8);
        }

        TEST_F(TextureLoaderGLTest, AlphaIsAppliedAtTheLargerSize)
        {
            Texture source, alpha;
            ASSERT_TRUE(source.create(100, 50, Texture::RGBA8));
            ASSERT_TRUE(alpha.create(60, 80, Texture::RGB8));
            TextureRef result = Texture::applyAlpha(*renderer, source, alpha);
            ASSERT_NE(result.get(), nullptr);
            EXPECT_EQ(result->getWidth(), 100);
            EXPECT_EQ(result->getHeight(), 80);
            EXPECT_EQ(result->getFormat(), Texture::RGB8);
            EXPECT_EQ(test::getInteger(GL_BLEND), 0);
        }

        TEST_F(TextureLoaderGLTest, EffectCopiesNeedTheRenderPassManager)
        {
            Texture source, mask;
            ASSERT_TRUE(source.create(8, 8, Texture::RGBA8));
            ASSERT_TRUE(mask.create(8, 8, Texture::RGBA8));
            test::LogRecorder log;
            EXPECT_EQ(Texture::toLuminosity(*renderer, source).get(), nullptr);
            EXPECT_TRUE(log.contains("\"ToLuminosity\"")) << log.dump();
            EXPECT_EQ(Texture::applyMask(*renderer, source, mask).get(), nullptr);
            EXPECT_TRUE(log.contains("\"Mask\"")) << log.dump();
            EXPECT_EQ(log.count(logError), 2u);
        }

    } // namespace
} // namespace vx
