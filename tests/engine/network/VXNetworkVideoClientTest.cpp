// The receiver over real UDP on 127.0.0.1: a paced sender in the test, the
// client's two threads decoding; clean and hostile traffic.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/VXLargeAllocations.h"
#include "support/VXLogRecorder.h"
#include "support/VXMaxTextureSize.h"
#include "VXNetworkTestSupport.h"
#include "core/VXThread.h"
#include "core/VXTime.h"
#include "engine/network/VXNetworkVideoClient.h"
#include "engine/network/VXNetworkVideoCompressor.h"
#include "engine/network/VXSockets.h"

namespace vx::test
{
    namespace
    {
        // Sends the frame again under a new key every 20 ms until the client
        // has a frame (half a minute is only the watchdog); true when one came.
        bool sendUntilReceived(NetworkVideoClient& client, UdpSender& sender, const CompressedPixels& packed,
                               std::uint32_t& key)
        {
            const double start = getTickCount();
            while (getTickCount() - start < 30000.0)
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
    // Frames whose headers claim more than GL holds (here a smaller GPU's
    // 2048) are refused on arrival, before anything of their size is
    // allocated, with one line for the stream; a frame that fits comes.
    TEST(NetworkVideoClientTest, AFrameLargerThanGLHoldsIsRefusedBeforeAllocation)
    {
        const MaxTextureSize smaller(2048);
        const int port = findFreePort();
        LogRecorder log;
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        UdpSender sender(port);
        const auto picture = makePicture(64, 48, 4, 3);
        const auto packed = compressWith(PixelsCompressor::LZ4, *picture);
        ASSERT_NE(packed, nullptr);

        const LargeAllocations large(4000u * 3000u);
        for (std::uint32_t key = 100; key < 102; ++key)
        {
            std::vector<Datagram> claimed = packetise(*packed, key);
            for (Datagram& d : claimed)
            {
                writeU32(d, 8, 4000);
                writeU32(d, 12, 3000);
            }
            ASSERT_TRUE(sender.sendFrame(claimed, 0));
        }
        ASSERT_TRUE(waitFor([&] { return log.contains("4000 x 3000"); }, 10000)) << log.dump();
        std::uint32_t key = 200;
        ASSERT_TRUE(sendUntilReceived(client, sender, *packed, key));
        EXPECT_EQ(client.getWidth(), 64);
        EXPECT_EQ(client.getHeight(), 48);
        size_t refusals = 0;
        for (const LogRecorder::Line& line : log.lines())
            refusals += line.message.find("4000 x 3000") != std::string::npos ? 1 : 0;
        EXPECT_EQ(refusals, 1u) << log.dump();
        EXPECT_EQ(large.count(), 0u) << "the largest allocation was " << large.largest() << " bytes";
    }

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
            // Each frame comes, however late; the first that does not ends the wait.
            if (! waitFor([&] { return client.readFrame(); }))
                break;
            ++received;
        }
        EXPECT_EQ(received, 50);
    }
}

namespace vx::test
{
    // Frames of tens of thousands of datagrams. The sender waits for the client
    // to have read what it sent before sending more than a few, so the 64 KB
    // receive buffer never overflows and no datagram is lost.
    class NetworkVideoClientLargeFrameTest : public testing::Test
    {
    protected:
        void SetUp() override
        {
            port = findFreePort();
            client = std::make_unique<NetworkVideoClient>(
                NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
            ASSERT_TRUE(client->isReady());
            client->start();
            sender = std::make_unique<UdpSender>(port);
        }

        bool sendPaced(const unsigned char* datagram)
        {
            ++sent;
            if (! sender->send(datagram, UDPNetworkVideoFrame::Size))
                return false;
            if (sent % 16 != 0)
                return true;
            return waitFor([&] { return client->getNumDatagramsRead() >= sent; }, 10000);
        }

        // Every packet of the frame under the key, from the last to the
        // first, straight from the packetiser, the compressed frame freed
        // once split (no more copies of a large frame than needed).
        bool sendFrame(std::unique_ptr<CompressedPixels> packed, std::uint32_t key)
        {
            NetworkVideoCompressor packetiser;
            if (! packetiser.compressedPixelsToNetworkFrames(*packed))
                return false;
            packed.reset();
            for (; packetiser.getNumFrames() > 0; packetiser.popLastFrame())
            {
                UDPNetworkVideoFrame* packet = packetiser.getLastFrame();
                NetworkFrameHeader header = packet->getHeader();
                header.frameTimeKey = key;
                packet->setNewHeader(header);
                if (! sendPaced(packet->getDataReadOnly()))
                    return false;
            }
            return true;
        }

        // A few packets of a frame whose header claims an 8K RGBA picture sent
        // uncompressed: more packets than the accumulator holds.
        bool sendPacketsOf8KFrame(std::uint32_t key)
        {
            const auto small = makePicture(60, 20, 4, 3);
            std::vector<Datagram> packets = packetise(*compressWith(PixelsCompressor::Dummy, *small), key);
            const std::uint32_t count = (7680u * 4320u * 4u + UDPNetworkVideoFrame::PayloadSize - 1) /
                                        UDPNetworkVideoFrame::PayloadSize;
            for (Datagram& packet : packets)
            {
                writeU32(packet, 8, 7680);
                writeU32(packet, 12, 4320);
                writeU32(packet, 34, count);
                if (! sendPaced(packet.data()))
                    return false;
            }
            return true;
        }

        // FNV-1a over the pixel bytes.
        static std::uint64_t hashOf(const Pixels& pixels)
        {
            std::uint64_t hash = 14695981039346656037ull;
            for (int i = 0; i < pixels.getDataSize(); ++i)
                hash = (hash ^ pixels.data[i]) * 1099511628211ull;
            return hash;
        }

        size_t reportsOfOversizedFrames() const
        {
            size_t reports = 0;
            for (const LogRecorder::Line& line : log.lines())
                reports += line.message.find("cannot be held") != std::string::npos ? 1 : 0;
            return reports;
        }

        LogRecorder log;
        int port = -1;
        std::unique_ptr<NetworkVideoClient> client;
        std::unique_ptr<UdpSender> sender;
        std::uint64_t sent = 0;
    };

    TEST_F(NetworkVideoClientLargeFrameTest, UncompressedRGBA4KFrameArrivesWhole)
    {
        // The picture is kept as its hash only: three copies of it live at once
        // while it is received.
        auto picture = makePicture(3840, 2160, 4, 11);
        const std::uint64_t expected = hashOf(*picture);
        auto packed = compressWith(PixelsCompressor::Dummy, *picture);
        picture.reset();
        ASSERT_NE(packed, nullptr);
        ASSERT_GT(size_t(packed->size) / UDPNetworkVideoFrame::PayloadSize, 24000u);
        ASSERT_TRUE(sendFrame(std::move(packed), 5000)) << "the client stopped reading";

        ASSERT_TRUE(waitFor([&] { return client->readFrame(); }, 20000)) << log.dump();
        EXPECT_EQ(client->getWidth(), 3840);
        EXPECT_EQ(client->getHeight(), 2160);
        const auto pixels = client->getPixels();
        ASSERT_NE(pixels, nullptr);
        ASSERT_EQ(pixels->getDataSize(), 3840 * 2160 * 4);
        EXPECT_EQ(hashOf(*pixels), expected);
        EXPECT_EQ(reportsOfOversizedFrames(), 0u);
    }

    // Two such frames in a row give one report; after a frame that fits
    // another one is reported again.
    TEST_F(NetworkVideoClientLargeFrameTest, FrameBeyondTheBoundIsReportedOnce)
    {
        ASSERT_TRUE(sendPacketsOf8KFrame(500));
        ASSERT_TRUE(sendPacketsOf8KFrame(501));
        ASSERT_TRUE(waitFor([&] { return reportsOfOversizedFrames() > 0; }, 10000)) << log.dump();
        const auto picture = makePicture(60, 20, 4, 5);
        const auto packed = compressWith(PixelsCompressor::Dummy, *picture);
        std::uint32_t key = 600;
        ASSERT_TRUE(sendUntilReceived(*client, *sender, *packed, key));
        EXPECT_EQ(reportsOfOversizedFrames(), 1u) << log.dump();
        EXPECT_TRUE(log.contains("7680x4320")) << log.dump();

        ASSERT_TRUE(sendPacketsOf8KFrame(key + 100));
        EXPECT_TRUE(waitFor([&] { return reportsOfOversizedFrames() == 2; }, 10000)) << log.dump();
    }
}

namespace vx::test
{
    // UDP may deliver a datagram twice: one datagram in eight comes again,
    // right behind itself or after the frame's last packet (when the frame
    // may have completed), and every third frame comes again whole once it
    // was read. Each frame arrives once, byte-equal.
    TEST(NetworkVideoClientTest, RepeatedDatagramsLoseNoFrameAndRepeatNone)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        UdpSender sender(port);

        size_t sent = 0;
        for (std::uint32_t key = 1000; key < 1030; ++key)
        {
            const auto picture = makePicture(60, 50, 4, key);
            const auto packed = compressWith(PixelsCompressor::Dummy, *picture);
            const std::vector<Datagram> frame = packetise(*packed, key);
            ASSERT_GE(frame.size(), 8u);
            std::vector<const Datagram*> late;
            for (const Datagram& packet : frame)
            {
                ASSERT_TRUE(sender.send(packet));
                if (++sent % 8 != 0)
                    continue;
                if (sent % 16 == 0)
                {
                    ASSERT_TRUE(sender.send(packet));
                }
                else
                {
                    late.push_back(&packet);
                }
            }
            for (const Datagram* packet : late)
                ASSERT_TRUE(sender.send(*packet));

            ASSERT_TRUE(waitFor([&] { return client.readFrame(); }, 10000)) << "frame " << key << " never came";
            const auto pixels = client.getPixels();
            ASSERT_NE(pixels, nullptr);
            ASSERT_EQ(pixels->getDataSize(), picture->getDataSize());
            ASSERT_EQ(std::memcmp(pixels->data, picture->data, size_t(picture->getDataSize())), 0)
                << "frame " << key << " came as another (an earlier one again?)";
            if (key % 3 == 0)
            {
                ASSERT_TRUE(sender.sendFrame(frame, 0));
            }
        }
    }
}

namespace vx::test
{
    namespace
    {
        // Whether the client's pending frame holds picture's bytes.
        bool holds(NetworkVideoClient& client, const Pixels& picture)
        {
            const auto pixels = client.getPixels();
            return pixels != nullptr && pixels->getDataSize() == picture.getDataSize() &&
                   std::memcmp(pixels->data, picture.data, size_t(picture.getDataSize())) == 0;
        }
    }

    // Late datagrams on the socket: the last packet of an older frame comes
    // after a newer frame was read, then a one-packet frame older than both.
    // Each completes and is dropped; a newer frame still comes. Then the
    // sender starts again with its clock far behind and is shown again.
    TEST(NetworkVideoClientTest, AFrameCompletedByLateDatagramsNeverFollowsANewerOne)
    {
        const int port = findFreePort();
        NetworkVideoClient client(NetworkVideoExtension("server", "127.0.0.1", std::uint16_t(port)));
        ASSERT_TRUE(client.isReady());
        client.start();
        UdpSender sender(port);

        const auto oldPicture = makePicture(40, 30, 3, 1);
        const auto newPicture = makePicture(8, 8, 3, 2);
        const auto nextPicture = makePicture(8, 8, 3, 3);
        const std::vector<Datagram> older = packetise(*compressWith(PixelsCompressor::Dummy, *oldPicture), 5000);
        const std::vector<Datagram> newer = packetise(*compressWith(PixelsCompressor::Dummy, *newPicture), 5040);
        const std::vector<Datagram> reordered = packetise(*compressWith(PixelsCompressor::Dummy, *oldPicture), 5020);
        ASSERT_GE(older.size(), 2u);
        ASSERT_EQ(newer.size(), 1u);

        ASSERT_TRUE(sender.send(older[0]));
        ASSERT_TRUE(sender.sendFrame(newer));
        ASSERT_TRUE(waitFor([&] { return client.readFrame(); }));
        EXPECT_TRUE(holds(client, *newPicture));
        ASSERT_EQ(client.getNumFramesCompleted(), 1u);

        for (size_t i = 1; i < older.size(); ++i)
            ASSERT_TRUE(sender.send(older[i]));
        ASSERT_TRUE(waitFor([&] { return client.getNumFramesCompleted() == 2; })) << "the older frame completed";
        EXPECT_FALSE(client.readFrame()) << "and was not handed out after the newer one";
        // Packets of one frame in reverse order, all behind the newer frame.
        for (auto packet = reordered.rbegin(); packet != reordered.rend(); ++packet)
            ASSERT_TRUE(sender.send(*packet));
        ASSERT_TRUE(waitFor([&] { return client.getNumFramesCompleted() == 3; }));
        EXPECT_FALSE(client.readFrame());

        ASSERT_TRUE(sender.sendFrame(packetise(*compressWith(PixelsCompressor::Dummy, *nextPicture), 5060)));
        ASSERT_TRUE(waitFor([&] { return client.readFrame(); }));
        EXPECT_TRUE(holds(client, *nextPicture));

        std::uint32_t key = 10;
        ASSERT_TRUE(sendUntilReceived(client, sender, *compressWith(PixelsCompressor::Dummy, *oldPicture), key))
            << "a sender started again is shown";
        EXPECT_TRUE(holds(client, *oldPicture));
    }
}
