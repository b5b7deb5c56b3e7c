// The client's upload of received frames on the render thread, read back
// from GL.

#include <cstring>

#include "VXNetworkTestSupport.h"
#include "core/VXTime.h"
#include "engine/gfx/VXTexture.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "support/gl/VXGLTestFixture.h"

namespace vx::test
{
    namespace
    {
        class NetworkVideoClientGLTest : public GLTest
        {
        protected:
            // Sends packed under fresh keys until the client takes a frame of
            // its width (frames sent before may still come first; half a
            // minute is only the watchdog), then uploads it.
            Texture* receive(NetworkVideoClient& client, UdpSender& sender, const CompressedPixels& packed)
            {
                const double start = getTickCount();
                while (getTickCount() - start < 30000.0)
                {
                    sender.sendFrame(packetise(packed, ++key), 20);
                    if (client.readFrame() && client.getTexture() != nullptr &&
                        client.getTexture()->getWidth() == packed.width)
                        return client.getTexture();
                }
                return nullptr;
            }

            static std::vector<unsigned char> readBack(const Texture& texture, bool compressed)
            {
                GLint previous = 0;
                glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
                glBindTexture(GL_TEXTURE_2D, texture.getGLName());
                std::vector<unsigned char> bytes;
                if (compressed)
                {
                    GLint size = 0;
                    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
                    bytes.resize(size_t(size));
                    glGetCompressedTexImage(GL_TEXTURE_2D, 0, bytes.data());
                }
                else
                {
                    bytes.resize(size_t(texture.getHardwareWidth()) * size_t(texture.getHardwareHeight()) * 4);
                    glPixelStorei(GL_PACK_ALIGNMENT, 1);
                    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
                    glPixelStorei(GL_PACK_ALIGNMENT, 4);
                }
                glBindTexture(GL_TEXTURE_2D, GLuint(previous));
                return bytes;
            }

            static bool sameRGBA(const std::vector<unsigned char>& read, const Texture& texture, const Pixels& picture)
            {
                for (int y = 0; y < picture.height; ++y)
                    if (std::memcmp(&read[size_t(y) * size_t(texture.getHardwareWidth()) * 4],
                                    picture.data + size_t(y) * size_t(picture.stride), size_t(picture.stride)) != 0)
                        return false;
                return true;
            }

            std::uint32_t key = 1;
        };
    }

    TEST_F(NetworkVideoClientGLTest, UploadsFramesAndRemakesOnSizeChange)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        EXPECT_EQ(client.getTexture(), nullptr) << "nothing before the first frame";
        UdpSender sender(port);

        const auto first = makePicture(64, 32, 4, 1);
        Texture* texture = receive(client, sender, *compressWith(PixelsCompressor::Dummy, *first));
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->getWidth(), 64);
        EXPECT_TRUE(texture->getFormat() == Texture::RGBA8);
        EXPECT_TRUE(sameRGBA(readBack(*texture, false), *texture, *first));
        EXPECT_EQ(client.getPixels(), nullptr) << "the frame went into the texture";
        EXPECT_EQ(client.getTexture(), texture) << "nothing new: the same texture";

        const auto second = makePicture(40, 20, 4, 2);
        texture = receive(client, sender, *compressWith(PixelsCompressor::LZ4, *second));
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->getWidth(), 40);
        EXPECT_EQ(texture->getHeight(), 20);
        EXPECT_TRUE(sameRGBA(readBack(*texture, false), *texture, *second));
    }

    TEST_F(NetworkVideoClientGLTest, UploadsDXTBlocksAsTheyCame)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        UdpSender sender(port);
        const auto blocks = makeDXT1Picture(64, 64, 3);
        ASSERT_NE(blocks, nullptr);
        Texture* texture = receive(client, sender, *compressWith(PixelsCompressor::HAP, *blocks));
        ASSERT_NE(texture, nullptr);
        EXPECT_TRUE(texture->getFormat() == Texture::DXT1_RGBA);
        const std::vector<unsigned char> read = readBack(*texture, true);
        ASSERT_EQ(read.size(), size_t(blocks->getDataSize()));
        EXPECT_EQ(std::memcmp(read.data(), blocks->data, read.size()), 0);
    }
}
