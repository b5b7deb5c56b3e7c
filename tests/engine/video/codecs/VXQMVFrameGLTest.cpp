#include "engine/video/codecs/VXQMVFrame.h"

#include <string>

#include "engine/video/codecs/VXYCoCgTestCorpus.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class QMVFrameGLTest : public GLTest
        {
        };

        // The first texel of a 16 x 16 DXT texture made from the blocks.
        PixelRGBA8 firstTexel(GLenum format, const Bytes& blocks)
        {
            GLuint texture = 0;
            glGenTextures(1, &texture);
            GLint previous = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
            glBindTexture(GL_TEXTURE_2D, texture);
            glCompressedTexImage2D(GL_TEXTURE_2D, 0, format, 16, 16, 0, GLsizei(blocks.size()), blocks.data());
            glBindTexture(GL_TEXTURE_2D, GLuint(previous));
            const std::vector<PixelRGBA8> texels = readTexture(GL_TEXTURE_2D, texture);
            glDeleteTextures(1, &texture);
            return texels.at(0);
        }
    }

    struct GLSwizzleCase
    {
        const char* name;
        int type;
        GLenum format;
        std::uint8_t alpha;
    };

    class QMVFrameSwizzleGLTest : public QMVFrameGLTest, public testing::WithParamInterface<GLSwizzleCase>
    {
    };

    // An alpha-first pixel 10 20 30 40 decodes on the GPU as R 20, G 30, B 40
    // and its alpha (DXT5) or 255 (DXT1), within the 5- and 6-bit steps of S3TC.
    TEST_P(QMVFrameSwizzleGLTest, AlphaFirstPixelDecodesOnTheGPU)
    {
        const GLSwizzleCase& c = GetParam();
        const Bytes pixel = {0x10, 0x20, 0x30, 0x40};
        Bytes frame(size_t(qmv::getCompressedSize(1, 1, c.type)) + 12);
        frame.resize(size_t(qmv::compressFrame(frame.data(), pixel.data(), 4, 1, 1, c.type, 1, -1, true, nullptr)));
        ASSERT_FALSE(frame.empty());
        Bytes blocks(size_t(qmv::getCompressedSize(1, 1, c.type)));
        ASSERT_TRUE(qmv::decompressFrame(blocks.data(), frame.data(), frame.size(), 1, 1, -1, int(blocks.size())));
        EXPECT_TRUE(isNear(firstTexel(c.format, blocks), PixelRGBA8{0x20, 0x30, 0x40, c.alpha}, 4))
            << firstTexel(c.format, blocks);
    }

    INSTANTIATE_TEST_SUITE_P(Types, QMVFrameSwizzleGLTest,
                             testing::Values(GLSwizzleCase{"DXT1", 0, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 255},
                                             GLSwizzleCase{"DXT5", 1, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0x10}),
                             [](const testing::TestParamInfo<GLSwizzleCase>& info) { return std::string(info.param.name); });
}
