// A network video source rendering its client's frames, read back from GL.

#include <gtest/gtest.h>

#include <memory>

#include "VXFakeDNSService.h"
#include "VXNetworkTestSupport.h"
#include "core/VXTime.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXNetworkVideoClientInstanceManager.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/renderpasses/VXRenderPassTestSupport.h"
#include "engine/video/sources/VXNetworkVideoSource.h"

namespace vx::test
{
    namespace
    {
        class NetworkVideoSourceGLTest : public HostRendererGLTest
        {
        protected:
            void TearDown() override
            {
                if (auto* objects = root->getGfxObjectManager())
                    objects->cleanAll();
                HostRendererGLTest::TearDown();
                NetworkVideoServerManager::deleteInstance();
                EXPECT_EQ(NetworkVideoClientInstanceManager::getInstance().getNumClients(), 0u);
            }

            // A started client for 127.0.0.1 on a free port, held by the
            // registry the manager keeps its clients in (one use).
            NetworkVideoClient* makeClient(int port)
            {
                auto* client = new NetworkVideoClient(NetworkVideoPeer("server", "127.0.0.1", std::uint16_t(port)));
                if (! client->isReady())
                {
                    delete client;
                    return nullptr;
                }
                client->start();
                NetworkVideoClientInstanceManager::getInstance().addClient(
                    NetworkVideoClientInstanceManager::keyFor("127.0.0.1", std::uint16_t(port)), client);
                return client;
            }

            // Opaque, every pixel different.
            static std::unique_ptr<Pixels> makeOpaquePicture(int width, int height)
            {
                auto pixels = std::make_unique<Pixels>(width, height, 4, nullptr);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                    {
                        unsigned char* p = pixels->data + (size_t(y) * size_t(width) + size_t(x)) * 4;
                        p[0] = static_cast<unsigned char>(x * 8);
                        p[1] = static_cast<unsigned char>(y * 16);
                        p[2] = 77;
                        p[3] = 255;
                    }
                return pixels;
            }

            // Sends the picture under fresh keys until the source renders it
            // at its width (frames sent before may still come first; half a
            // minute is only the watchdog).
            TextureRef receive(NetworkVideoSource& source, UdpSender& sender, const CompressedPixels& packed)
            {
                const double start = getTickCount();
                while (getTickCount() - start < 30000.0)
                {
                    sender.sendFrame(packetise(packed, ++key), 20);
                    TextureRef output = source.render(*renderer, info);
                    if (output.get() != nullptr && source.getWidth() == packed.width)
                        return output;
                }
                return {};
            }

            FakeDNSService dns;
            RenderInfo info;
            std::uint32_t key = 1;
        };
    }

    TEST_F(NetworkVideoSourceGLTest, WithoutAClientOrAFrameNothingIsRendered)
    {
        NetworkVideoSource unconnected(nullptr);
        EXPECT_EQ(unconnected.render(*renderer, info).get(), nullptr);
        NetworkVideoSource plain;
        EXPECT_EQ(plain.render(*renderer, info).get(), nullptr);

        NetworkVideoClient* client = makeClient(findFreePort());
        ASSERT_NE(client, nullptr);
        NetworkVideoSource waiting(client);
        EXPECT_EQ(waiting.render(*renderer, info).get(), nullptr) << "no frame yet";
        EXPECT_EQ(waiting.getWidth(), 0);
    }

    TEST_F(NetworkVideoSourceGLTest, ANewSourceTakesItsFirstFramesSizeAndRendersIt)
    {
        const int port = findFreePort();
        NetworkVideoClient* client = makeClient(port);
        ASSERT_NE(client, nullptr);
        NetworkVideoSource source(client);
        UdpSender sender(port);

        const auto picture = makeOpaquePicture(24, 12);
        TextureRef output = receive(source, sender, *compressWith(PixelsCompressor::Dummy, *picture));
        ASSERT_NE(output.get(), nullptr);
        EXPECT_EQ(source.getWidth(), 24);
        EXPECT_EQ(source.getHeight(), 12);
        const Picture read = readBack(*output.get());
        for (const auto& [x, y] : {std::pair{0, 0}, std::pair{23, 0}, std::pair{5, 11}, std::pair{23, 11}})
        {
            const unsigned char* expected = picture->data + (size_t(y) * 24 + size_t(x)) * 4;
            EXPECT_EQ(read.at(x, y), (PixelRGBA8{expected[0], expected[1], expected[2], expected[3]}))
                << "at " << x << ", " << y;
        }
        output.reset();

        const auto larger = makeOpaquePicture(30, 14);
        output = receive(source, sender, *compressWith(PixelsCompressor::Dummy, *larger));
        ASSERT_NE(output.get(), nullptr);
        EXPECT_EQ(source.getWidth(), 30) << "a new size follows the frames";
        EXPECT_EQ(source.getHeight(), 14);
    }
}
