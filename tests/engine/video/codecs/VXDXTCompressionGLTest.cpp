#include "engine/video/codecs/VXDXTCompression.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "VXDXTTestCorpus.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        using Bytes = std::vector<std::uint8_t>;

        class DXTUploadGLTest : public GLTest
        {
        protected:
            void SetUp() override
            {
                GLTest::SetUp();
                if (! epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc"))
                    GTEST_SKIP() << "the GL has no S3TC textures";
            }

            // rygCompress's blocks as an S3TC texture, read back by GL's own decoder.
            static std::vector<PixelRGBA8> uploadAndRead(const Bytes& rgba, int width, int height, bool alpha)
            {
                Bytes blocks(size_t((width + 3) / 4) * size_t((height + 3) / 4) * (alpha ? 16 : 8));
                qmv::rygCompress(blocks.data(), rgba.data(), width, height, alpha ? 1 : 0);
                GLuint texture = 0;
                glGenTextures(1, &texture);
                glBindTexture(GL_TEXTURE_2D, texture);
                glCompressedTexImage2D(GL_TEXTURE_2D, 0,
                                       alpha ? GL_COMPRESSED_RGBA_S3TC_DXT5_EXT : GL_COMPRESSED_RGB_S3TC_DXT1_EXT,
                                       width, height, 0, GLsizei(blocks.size()), blocks.data());
                glBindTexture(GL_TEXTURE_2D, 0);
                std::vector<PixelRGBA8> pixels = readTexture(GL_TEXTURE_2D, texture);
                glDeleteTextures(1, &texture);
                return pixels;
            }
        };

        double psnr(const Bytes& rgba, const std::vector<PixelRGBA8>& decoded, int channels)
        {
            double squares = 0;
            for (size_t i = 0; i < decoded.size(); ++i)
            {
                const int got[4] = {decoded[i].r, decoded[i].g, decoded[i].b, decoded[i].a};
                for (int c = 0; c < channels; ++c)
                {
                    const double d = got[c] - rgba[i * 4 + size_t(c)];
                    squares += d * d;
                }
            }
            const double mean = squares / double(decoded.size() * size_t(channels));
            return mean == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mean);
        }
    }

    struct DXTFlatCase
    {
        const char* name;
        PixelRGBA8 colour;
        bool alpha;
    };

    class DXTFlatUpload : public DXTUploadGLTest, public ::testing::WithParamInterface<DXTFlatCase>
    {
    };

    // A flat block keeps its colour within the endpoints' quantisation (5 bits
    // red and blue, 6 green: half a step is 4 and 2, plus one for the
    // decoder's rounding); DXT5 alpha of a flat block is exact, DXT1 opaque.
    TEST_P(DXTFlatUpload, ReadsBackTheColour)
    {
        const DXTFlatCase& c = GetParam();
        const int width = 12, height = 8;
        Bytes rgba;
        for (int i = 0; i < width * height; ++i)
            rgba.insert(rgba.end(), {c.colour.r, c.colour.g, c.colour.b, c.colour.a});
        const std::vector<PixelRGBA8> pixels = uploadAndRead(rgba, width, height, c.alpha);
        ASSERT_EQ(pixels.size(), size_t(width * height));
        for (size_t i = 0; i < pixels.size(); ++i)
        {
            EXPECT_NEAR(pixels[i].r, c.colour.r, 5) << "pixel " << i;
            EXPECT_NEAR(pixels[i].g, c.colour.g, 3) << "pixel " << i;
            EXPECT_NEAR(pixels[i].b, c.colour.b, 5) << "pixel " << i;
            EXPECT_EQ(pixels[i].a, c.alpha ? c.colour.a : 255) << "pixel " << i;
        }
    }

    INSTANTIATE_TEST_SUITE_P(Colours, DXTFlatUpload,
                             ::testing::Values(DXTFlatCase{"DXT1Red", {255, 0, 0, 255}, false},
                                               DXTFlatCase{"DXT1Grey", {128, 128, 128, 255}, false},
                                               DXTFlatCase{"DXT1Teal", {37, 201, 99, 255}, false},
                                               DXTFlatCase{"DXT5DarkBlue", {3, 7, 250, 77}, true},
                                               DXTFlatCase{"DXT5Orange", {250, 131, 12, 200}, true},
                                               DXTFlatCase{"DXT5Clear", {0, 0, 0, 0}, true}),
                             [](const auto& info) { return std::string(info.param.name); });

    struct DXTUploadPictureCase
    {
        dxt::Picture picture;
        bool alpha;
        double minimumPsnr; // colour, and alpha with DXT5
    };

    class DXTPictureUpload : public DXTUploadGLTest, public ::testing::WithParamInterface<DXTUploadPictureCase>
    {
    };

    // The blocks land where they belong and decode close to the picture: a
    // misplaced block or a wrong endpoint order costs far more than these
    // margins (measured PSNRs are some 4 dB higher; the video picture's random
    // tiles are the worst case of DXT).
    TEST_P(DXTPictureUpload, ReadsBackWithinDXTError)
    {
        const DXTUploadPictureCase& c = GetParam();
        const int width = 64, height = 48;
        Bytes rgba = dxt::makePicture(c.picture, width, height, 12);
        if (! c.alpha)
            for (size_t i = 3; i < rgba.size(); i += 4)
                rgba[i] = 255;
        const std::vector<PixelRGBA8> pixels = uploadAndRead(rgba, width, height, c.alpha);
        ASSERT_EQ(pixels.size(), size_t(width * height));
        EXPECT_GE(psnr(rgba, pixels, 3), c.minimumPsnr);
        if (c.alpha)
        {
            Bytes alphaOnly(rgba.size());
            std::vector<PixelRGBA8> decodedAlpha(pixels.size());
            for (size_t i = 0; i < pixels.size(); ++i)
            {
                alphaOnly[i * 4] = rgba[i * 4 + 3];
                decodedAlpha[i].r = pixels[i].a;
            }
            EXPECT_GE(psnr(alphaOnly, decodedAlpha, 1), 40.0);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Pictures, DXTPictureUpload,
                             ::testing::Values(DXTUploadPictureCase{dxt::Picture::gradient, false, 33.0},
                                               DXTUploadPictureCase{dxt::Picture::edges, false, 37.0},
                                               DXTUploadPictureCase{dxt::Picture::video, false, 17.0},
                                               DXTUploadPictureCase{dxt::Picture::alphaRamp, true, 33.0},
                                               DXTUploadPictureCase{dxt::Picture::video, true, 17.0}),
                             [](const auto& info) {
                                 return std::string(info.param.alpha ? "DXT5_" : "DXT1_") +
                                        dxt::pictureName(info.param.picture);
                             });
}
