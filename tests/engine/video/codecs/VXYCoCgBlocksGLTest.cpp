#include "engine/video/codecs/VXYCoCgBlocks.h"

#include <string>

#include "engine/video/codecs/VXYCoCgTestCorpus.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        // The plane as a compressed texture, read back as RGBA8; the binding
        // comes back as it was.
        std::vector<PixelRGBA8> uploadAndRead(GLenum format, const std::uint8_t* blocks, int width, int height,
                                              int blockBytes)
        {
            GLuint texture = 0;
            glGenTextures(1, &texture);
            GLint previous = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
            glBindTexture(GL_TEXTURE_2D, texture);
            glCompressedTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0,
                                   width / 4 * (height / 4) * blockBytes, blocks);
            glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
            std::vector<PixelRGBA8> pixels = readTexture(GL_TEXTURE_2D, texture);
            glDeleteTextures(1, &texture);
            return pixels;
        }

        // Every texel's channel is within the tolerance of the CPU decoder's
        // 13-bit sample >> 5 (the GPU interpolates the eight-value palette in
        // its own precision). Channel 0 reads the block at offset 0, channel 1
        // the one at offset 8.
        void expectTexelsMatchDecoder(const std::vector<PixelRGBA8>& texels, const std::uint8_t* blocks, int width,
                                      int height, int blockBytes, int channels, int tolerance)
        {
            ASSERT_EQ(texels.size(), static_cast<size_t>(width * height));
            int mismatches = 0;
            for (int by = 0; by < height / 4; ++by)
                for (int bx = 0; bx < width / 4; ++bx)
                    for (int channel = 0; channel < channels; ++channel)
                    {
                        std::uint16_t samples[16];
                        YCoCg_decodeBC4UBlock_13bits(blocks + (by * (width / 4) + bx) * blockBytes + 8 * channel,
                                                     samples);
                        for (int i = 0; i < 16; ++i)
                        {
                            const PixelRGBA8& texel = texels[(4 * by + i / 4) * width + 4 * bx + i % 4];
                            const int gpu = channel == 0 ? texel.r : texel.g;
                            if (std::abs(gpu - (samples[i] >> 5)) > tolerance && mismatches++ < 5)
                                ADD_FAILURE() << "block " << bx << "," << by << " channel " << channel << " texel "
                                              << i << ": GPU " << gpu << ", CPU " << (samples[i] >> 5);
                        }
                    }
            EXPECT_EQ(mismatches, 0);
        }

        class YCoCgBlocksGLTest : public GLTest
        {
        };
    }

    struct SceneCase
    {
        const char* name;
        Scene scene;
    };

    class YCoCgPlanesAsTextures : public YCoCgBlocksGLTest, public ::testing::WithParamInterface<SceneCase>
    {
    };

    TEST_P(YCoCgPlanesAsTextures, ReadBackAsTheCpuDecodes)
    {
        const int w = 64, h = 48;
        const Bytes rgba = makeFrame(GetParam().scene, w, h, 8);

        Bytes planes(w * h * 3 / 4);
        ASSERT_EQ(YCoCg6_Convertfrom_RGBA32(rgba.data(), w, h, planes.data()), 0);
        {
            SCOPED_TRACE("YCoCg6 luma as RGTC1");
            expectTexelsMatchDecoder(uploadAndRead(GL_COMPRESSED_RED_RGTC1, planes.data(), w, h, 8), planes.data(), w,
                                     h, 8, 1, 1);
        }
        {
            SCOPED_TRACE("YCoCg6 chroma as RGTC2");
            const std::uint8_t* chroma = planes.data() + w * h / 2;
            expectTexelsMatchDecoder(uploadAndRead(GL_COMPRESSED_RG_RGTC2, chroma, w / 2, h / 2, 16), chroma, w / 2,
                                     h / 2, 16, 2, 1);
        }
        {
            // Mesa's software rasteriser reads the second channel of RGTC2 up
            // to 2 above the exact palette value on blocks spanning most of
            // 0..255 (the random tiles' alpha); the first channel stays within 1.
            SCOPED_TRACE("YACoCg10 luma and alpha as RGTC2");
            Bytes withAlpha(w * h * 5 / 4);
            ASSERT_EQ(YACoCg10_Convertfrom_RGBA32(rgba.data(), w, h, withAlpha.data()), 0);
            expectTexelsMatchDecoder(uploadAndRead(GL_COMPRESSED_RG_RGTC2, withAlpha.data(), w, h, 16),
                                     withAlpha.data(), w, h, 16, 2, 2);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Corpus, YCoCgPlanesAsTextures,
                             ::testing::Values(SceneCase{"Gradient", Scene::gradient}, SceneCase{"Edges", Scene::edges},
                                               SceneCase{"Tiles", Scene::tiles},
                                               SceneCase{"AlphaRamp", Scene::alphaRamp}),
                             [](const auto& info) { return std::string(info.param.name); });
}
