// The receiver over real UDP on 127.0.0.1: a paced sender in the test, the
// client's two threads decoding; clean and hostile traffic.

#include <gtest/gtest.h>

#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/VXLogRecorder.h"
#include "VXNetworkTestSupport.h"
#include "core/VXThread.h"
#include "core/VXTime.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXSockets.h"

namespace vx::test
{
    namespace
    {
        // Sends the frame again under a new key every 20 ms until the client
        // has a frame, for at most two seconds; true when one came.
        bool sendUntilReceived(NetworkVideoClient& client, UdpSender& sender, const CompressedPixels& packed,
                               std::uint32_t& key)
        {
            const double start = getTickCount();
            while (getTickCount() - start < 2000.0)
            {
                sender.sendFrame(packetise(packed, ++key), 20);
                if (client.readFrame())
                    return true;
            }
            return false;
        }
    }

    TEST(NetworkVideoClientTest, ReadyClientRunsBothNamedThreads)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        EXPECT_FALSE(client.isThreadRunning()) << "nothing runs before start";
        client.start();
        EXPECT_TRUE(client.isThreadRunning());
        const std::vector<int> receive = findThreads("NetworkVideoClient Thread");
        const std::vector<int> accumulate = findThreads("Unnamed Vexkit Thread");
        ASSERT_EQ(receive.size(), 1u);
        ASSERT_EQ(accumulate.size(), 1u);
        EXPECT_TRUE(hasEnginePriority(receive[0], 5));
        EXPECT_TRUE(hasEnginePriority(accumulate[0], 5));
        EXPECT_FALSE(client.readFrame());
        EXPECT_EQ(client.getPixels(), nullptr);
    }

    TEST(NetworkVideoClientTest, PortAlreadyBoundGivesNoClient)
    {
        const int port = findFreePort();
        const int holder = socket(AF_INET, SOCK_DGRAM, 0);
        ASSERT_TRUE(Sockets::bindSocketToPort(holder, port));
        LogRecorder log;
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        EXPECT_FALSE(client.isReady());
        client.start();
        EXPECT_FALSE(client.isThreadRunning());
        EXPECT_TRUE(log.contains("cannot bind port")) << log.dump();
        close(holder);
    }

    struct LoopbackCase
    {
        const char* name;
        int compressorId;
        int bytesPerPixel;
    };

    class NetworkVideoClientLoopbackTest : public testing::TestWithParam<LoopbackCase>
    {
    };

    TEST_P(NetworkVideoClientLoopbackTest, FramesArriveByteEqual)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        const auto picture = makePicture(160, 90, GetParam().bytesPerPixel, 4);
        const auto packed = compressWith(GetParam().compressorId, *picture);
        ASSERT_NE(packed, nullptr);

        UdpSender sender(port);
        std::uint32_t key = 1000;
        ASSERT_TRUE(sendUntilReceived(client, sender, *packed, key));
        EXPECT_EQ(client.getWidth(), 160);
        EXPECT_EQ(client.getHeight(), 90);
        const auto pixels = client.getPixels();
        ASSERT_NE(pixels, nullptr);
        ASSERT_EQ(pixels->getDataSize(), picture->getDataSize());
        EXPECT_EQ(std::memcmp(pixels->data, picture->data, size_t(picture->getDataSize())), 0);
        EXPECT_EQ(client.getPixels(), pixels) << "pending until uploaded";
    }

    INSTANTIATE_TEST_SUITE_P(Compressors, NetworkVideoClientLoopbackTest,
                             testing::Values(LoopbackCase{"Dummy", PixelsCompressor::Dummy, 4},
                                             LoopbackCase{"LZF", PixelsCompressor::LZF, 3},
                                             LoopbackCase{"LZ4", PixelsCompressor::LZ4, 4},
                                             LoopbackCase{"PNG", PixelsCompressor::PNG, 4}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(NetworkVideoClientTest, HostileTrafficNeverStopsGoodFrames)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        const auto picture = makePicture(120, 40, 4, 8);
        const auto packed = compressWith(PixelsCompressor::LZ4, *picture);
        UdpSender sender(port);

        std::vector<Datagram> good = packetise(*packed, 50);
        ASSERT_GE(good.size(), 2u);
        const unsigned char nothing = 0;
        sender.send(&nothing, 0); // empty datagrams
        sender.send(&nothing, 0);
        Datagram badMagic = good[0];
        badMagic[1] = 'Y';
        sender.send(badMagic);
        sender.send(good[0].data(), 700);               // short
        sender.send(Datagram(1409, 0x5A));              // one byte long
        sender.send(Datagram(4000, 0x11));              // far too long
        std::vector<Datagram> hostile = packetise(*packed, 60);
        writeU64(hostile[0], 17, 100000);               // payload past the area
        writeU32(hostile[1], 38, 0);                    // index twice
        sender.sendFrame(hostile, 0);
        std::vector<Datagram> huge = packetise(*packed, 70);
        for (Datagram& d : huge)
            writeU32(d, 8, 100000); // side too large
        sender.sendFrame(huge, 0);
        // Reordered, duplicated and dropped packets of other frames.
        sender.send(good[1]);
        sender.send(good[1]);
        sender.send(good[0]);
        sender.send(packetise(*packed, 40)[0]);
        sender.send(&nothing, 0);
        Thread::sleep(30);
        EXPECT_TRUE(client.isThreadRunning()) << "an empty datagram does not end receiving";

        std::uint32_t key = 100;
        ASSERT_TRUE(sendUntilReceived(client, sender, *packed, key));
        const auto pixels = client.getPixels();
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(std::memcmp(pixels->data, picture->data, size_t(picture->getDataSize())), 0);
        EXPECT_GE(client.getNumDatagramsRead(), 10u);
    }
}

namespace vx::test
{
    // One datagram keyed far above the stream (another sender's clock), then
    // frames whose packets come a few milliseconds apart, so that each spans
    // several of the accumulator's drains: every frame arrives.
    TEST(NetworkVideoClientTest, AStrayDatagramNeverStallsTheStream)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        const auto picture = makePicture(60, 20, 4, 9);
        const auto packed = compressWith(PixelsCompressor::Dummy, *picture);
        UdpSender sender(port);
        ASSERT_TRUE(sender.send(packetise(*packed, 4000000000u)[0]));

        int received = 0;
        for (std::uint32_t key = 1000; key < 1050; ++key)
        {
            const std::vector<Datagram> frame = packetise(*packed, key);
            ASSERT_GE(frame.size(), 3u);
            for (const Datagram& packet : frame)
            {
                sender.send(packet);
                Thread::sleep(5);
            }
            if (waitFor([&] { return client.readFrame(); }, 1000))
                ++received;
        }
        EXPECT_EQ(received, 50);
    }
}
