// The frame protocol on raw bytes: how frames are cut into datagrams, which
// headers pass, and how packet sets (shuffled, incomplete or hostile) are put
// back together and decoded.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "support/VXLogRecorder.h"
#include "VXNetworkTestSupport.h"
#include "core/VXTime.h"
#include "engine/network/VXNetworkVideoCompressor.h"

namespace vx::test
{
    namespace
    {
        using Packets = std::vector<std::shared_ptr<UDPNetworkVideoFrame>>;

        Packets toPackets(const std::vector<Datagram>& datagrams)
        {
            Packets packets;
            for (const Datagram& datagram : datagrams)
                packets.push_back(std::make_shared<UDPNetworkVideoFrame>(datagram.data(), unsigned(datagram.size())));
            return packets;
        }

        std::unique_ptr<CompressedPixels> bytesFrame(long size)
        {
            auto packed = std::make_unique<CompressedPixels>();
            packed->allocateData(size);
            for (long i = 0; i < size; ++i)
                packed->data[i] = static_cast<unsigned char>(i * 7 + 3);
            packed->width = 37;
            packed->height = 19;
            packed->bytesPerPixel = 4;
            packed->type = PixelsCompressor::LZ4;
            return packed;
        }

        Datagram header(const char* magic, int pixelFormat, std::uint32_t count)
        {
            Datagram datagram(UDPNetworkVideoFrame::Size, 0);
            std::memcpy(datagram.data(), magic, 4);
            datagram[16] = static_cast<unsigned char>(pixelFormat);
            writeU32(datagram, 34, count);
            return datagram;
        }
    }

    TEST(NetworkVideoProtocolTest, SplitWritesEveryFieldAtItsOffset)
    {
        updateTime(12345.75);
        const auto packed = bytesFrame(2717);
        NetworkVideoCompressor packetiser;
        ASSERT_TRUE(packetiser.compressedPixelsToNetworkFrames(*packed));
        ASSERT_EQ(packetiser.getNumFrames(), 3u);

        std::vector<Datagram> datagrams = packetise(*packed);
        ASSERT_EQ(datagrams.size(), 3u);
        const std::uint64_t expectedBytes[3] = {1358, 1358, 1};
        for (std::uint32_t i = 0; i < 3; ++i)
        {
            const Datagram& d = datagrams[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(std::memcmp(d.data(), "vxnv", 4), 0);
            EXPECT_EQ(readF64(d, 42), 12345.75);
            EXPECT_EQ(readU32(d, 4), 12345u) << "the key is the frame time truncated";
            EXPECT_EQ(readU32(d, 8), 37u);
            EXPECT_EQ(readU32(d, 12), 19u);
            EXPECT_EQ(d[16], 4);
            EXPECT_EQ(readU64(d, 17), expectedBytes[i]);
            EXPECT_EQ(readU64(d, 25), 1358u * i);
            EXPECT_EQ(d[33], PixelsCompressor::LZ4);
            EXPECT_EQ(readU32(d, 34), 3u);
            EXPECT_EQ(readU32(d, 38), i);
            EXPECT_EQ(std::memcmp(d.data() + 50, packed->data + 1358 * i, size_t(expectedBytes[i])), 0);
        }
        EXPECT_EQ(packetiser.getLastFrame()->getHeader().packetIndex, 2u);
        EXPECT_FALSE(packetiser.compressedPixelsToNetworkFrames(*packed)) << "refused while packets pend";
        EXPECT_EQ(packetiser.getNumFrames(), 3u);
        packetiser.clear();
        EXPECT_EQ(packetiser.getLastFrame(), nullptr);
        EXPECT_TRUE(packetiser.compressedPixelsToNetworkFrames(*packed));
    }

    struct SplitSizeCase
    {
        const char* name;
        long size;
        std::vector<std::uint64_t> payloads;
    };

    class NetworkVideoSplitSizeTest : public testing::TestWithParam<SplitSizeCase>
    {
    };

    TEST_P(NetworkVideoSplitSizeTest, PacketsCarryTheFrame)
    {
        const auto packed = bytesFrame(GetParam().size);
        const std::vector<Datagram> datagrams = packetise(*packed, 77);
        ASSERT_EQ(datagrams.size(), GetParam().payloads.size());
        std::uint64_t offset = 0;
        for (size_t i = 0; i < datagrams.size(); ++i)
        {
            EXPECT_EQ(readU32(datagrams[i], 34), datagrams.size());
            EXPECT_EQ(readU32(datagrams[i], 38), i);
            EXPECT_EQ(readU64(datagrams[i], 17), GetParam().payloads[i]);
            EXPECT_EQ(readU64(datagrams[i], 25), offset);
            offset += GetParam().payloads[i];
        }
        NetworkVideoCompressor receiver;
        const std::unique_ptr<CompressedPixels> back(receiver.netWorkFramesToCompressedPixels(toPackets(datagrams)));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->size, GetParam().size);
        if (back->size > 0)
        {
            EXPECT_EQ(std::memcmp(back->data, packed->data, size_t(back->size)), 0);
        }
    }

    INSTANTIATE_TEST_SUITE_P(Sizes, NetworkVideoSplitSizeTest,
                             testing::Values(SplitSizeCase{"empty", 0, {0}},
                                             SplitSizeCase{"onePacketFull", 1358, {1358}},
                                             SplitSizeCase{"twoPacketsFull", 2716, {1358, 1358}},
                                             SplitSizeCase{"oneByteOver", 2717, {1358, 1358, 1}}),
                             [](const auto& info) { return std::string(info.param.name); });

    struct HeaderCase
    {
        const char* name;
        const char* magic;
        int pixelFormat;
        std::uint32_t count;
        bool valid;
    };

    class NetworkVideoHeaderTest : public testing::TestWithParam<HeaderCase>
    {
    };

    TEST_P(NetworkVideoHeaderTest, Validates)
    {
        const HeaderCase& c = GetParam();
        Datagram datagram = header(c.magic, c.pixelFormat, c.count);
        EXPECT_EQ(UDPNetworkVideoFrame::validateHeader(datagram.data()), c.valid);
        UDPNetworkVideoFrame frame(datagram.data(), unsigned(datagram.size()));
        EXPECT_EQ(frame.validateHeader(), c.valid);
        EXPECT_EQ(UDPNetworkVideoFrame::validateHeader(frame.getHeader()), c.valid);
    }

    INSTANTIATE_TEST_SUITE_P(Headers, NetworkVideoHeaderTest,
                             testing::Values(HeaderCase{"format1", "vxnv", 1, 1, false},
                                             HeaderCase{"format5", "vxnv", 5, 1, false},
                                             HeaderCase{"countZero", "vxnv", 4, 0, false},
                                             HeaderCase{"badMagic", "vxnw", 4, 1, false},
                                             HeaderCase{"format2", "vxnv", 2, 1, true},
                                             HeaderCase{"format3", "vxnv", 3, 9, true},
                                             HeaderCase{"format4", "vxnv", 4, 70000, true}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(NetworkVideoProtocolTest, WrongLengthLeavesTheHeaderZero)
    {
        const auto packed = bytesFrame(10);
        Datagram datagram = packetise(*packed, 5)[0];
        const UDPNetworkVideoFrame frame(datagram.data(), unsigned(datagram.size() - 1));
        EXPECT_EQ(frame.getHeader().packetCount, 0u);
        EXPECT_EQ(frame.getHeader().frameTimeKey, 0u);
    }

    TEST(NetworkVideoProtocolTest, PacketsPastThePoolAreFreedCleanly)
    {
        const auto packed = bytesFrame(600 * 1358);
        NetworkVideoCompressor packetiser;
        ASSERT_TRUE(packetiser.compressedPixelsToNetworkFrames(*packed));
        ASSERT_EQ(packetiser.getNumFrames(), 600u);
        for (int i = 0; i < 150; ++i)
            packetiser.popLastFrame(); // heap ones, then pool ones
        EXPECT_EQ(packetiser.getLastFrame()->getHeader().packetIndex, 449u);
        packetiser.clear();
        ASSERT_TRUE(packetiser.compressedPixelsToNetworkFrames(*packed)) << "the pool took its slots back";
        EXPECT_EQ(packetiser.getNumFrames(), 600u);
        // The destructor frees the rest (the address sanitizer watches).
    }

    struct RoundTripCase
    {
        const char* name;
        int compressorId;
        int bytesPerPixel;
        bool exact; // pixels equal the picture; else equal to a direct decode
    };

    class NetworkVideoRoundTripTest : public testing::TestWithParam<RoundTripCase>
    {
    };

    TEST_P(NetworkVideoRoundTripTest, ShuffledPacketsDecode)
    {
        const RoundTripCase& c = GetParam();
        const std::unique_ptr<Pixels> picture = c.compressorId == PixelsCompressor::HAP
                                                    ? makeDXT1Picture(96, 64, 5)
                                                    : makePicture(96, 64, c.bytesPerPixel, 5);
        ASSERT_NE(picture, nullptr);
        const auto packed = compressWith(c.compressorId, *picture);
        ASSERT_NE(packed, nullptr);
        std::vector<Datagram> datagrams = packetise(*packed, 1000);
        std::mt19937 random(11);
        std::shuffle(datagrams.begin(), datagrams.end(), random);

        NetworkVideoCompressor receiver;
        const Packets packets = toPackets(datagrams);
        const std::unique_ptr<CompressedPixels> reassembled(receiver.netWorkFramesToCompressedPixels(packets));
        ASSERT_NE(reassembled, nullptr);
        ASSERT_EQ(reassembled->size, packed->size);
        EXPECT_EQ(std::memcmp(reassembled->data, packed->data, size_t(packed->size)), 0);

        const std::unique_ptr<Pixels> decoded(receiver.netWorkFramesToPixels(packets));
        ASSERT_NE(decoded, nullptr);
        std::unique_ptr<Pixels> expected;
        if (! c.exact)
        {
            expected.reset(makeCompressor(c.compressorId)->decompress(*packed));
            ASSERT_NE(expected, nullptr);
        }
        const Pixels& reference = c.exact ? *picture : *expected;
        ASSERT_EQ(decoded->getDataSize(), reference.getDataSize());
        EXPECT_EQ(std::memcmp(decoded->data, reference.data, size_t(reference.getDataSize())), 0);
        EXPECT_TRUE(decoded->format == reference.format);

        datagrams.pop_back();
        EXPECT_EQ(receiver.netWorkFramesToPixels(toPackets(datagrams)), nullptr) << "a packet missing";
    }

    INSTANTIATE_TEST_SUITE_P(Compressors, NetworkVideoRoundTripTest,
                             testing::Values(RoundTripCase{"Dummy", PixelsCompressor::Dummy, 3, true},
                                             RoundTripCase{"LZF", PixelsCompressor::LZF, 4, true},
                                             RoundTripCase{"LZ4", PixelsCompressor::LZ4, 4, true},
                                             RoundTripCase{"PNG", PixelsCompressor::PNG, 4, true},
                                             RoundTripCase{"LZ4TwoBytes", PixelsCompressor::LZ4, 2, true},
                                             RoundTripCase{"DXT", PixelsCompressor::DXT, 4, false},
                                             RoundTripCase{"HAP", PixelsCompressor::HAP, 4, false}),
                             [](const auto& info) { return std::string(info.param.name); });

    TEST(NetworkVideoProtocolTest, KeptCompressorIsReusedAndReplaced)
    {
        const auto picture = makePicture(40, 30, 4, 2);
        const auto lz4 = compressWith(PixelsCompressor::LZ4, *picture);
        const auto png = compressWith(PixelsCompressor::PNG, *picture);
        NetworkVideoCompressor receiver;
        std::unique_ptr<Pixels>(receiver.netWorkFramesToPixels(toPackets(packetise(*lz4, 10))));
        const PixelsCompressor* first = receiver.getKeptCompressor();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->getType(), PixelsCompressor::LZ4);
        std::unique_ptr<Pixels>(receiver.netWorkFramesToPixels(toPackets(packetise(*lz4, 11))));
        EXPECT_EQ(receiver.getKeptCompressor(), first) << "the same LZ4 compressor";
        std::unique_ptr<Pixels>(receiver.netWorkFramesToPixels(toPackets(packetise(*png, 12))));
        ASSERT_NE(receiver.getKeptCompressor(), nullptr);
        EXPECT_EQ(receiver.getKeptCompressor()->getType(), PixelsCompressor::PNG);

        const auto dxt = compressWith(PixelsCompressor::DXT, *picture);
        std::vector<Datagram> six = packetise(*dxt, 13);
        for (Datagram& d : six)
            d[33] = 6;
        const std::unique_ptr<Pixels> asDXT(receiver.netWorkFramesToPixels(toPackets(six)));
        ASSERT_NE(asDXT, nullptr) << "id 6 decodes as DXT";
        EXPECT_EQ(asDXT->width, 48);
    }

    // Each case damages a good three-packet frame the way a hostile or broken
    // peer could; none may be decoded (or read out of bounds).
    struct HostileCase
    {
        const char* name;
        void (*damage)(std::vector<Datagram>&);
    };

    class NetworkVideoHostileTest : public testing::TestWithParam<HostileCase>
    {
    };

    TEST_P(NetworkVideoHostileTest, FrameIsRefused)
    {
        const auto picture = makePicture(64, 48, 4, 9);
        const auto packed = compressWith(PixelsCompressor::Dummy, *picture);
        std::vector<Datagram> datagrams = packetise(*packed, 500);
        ASSERT_GE(datagrams.size(), 3u);
        NetworkVideoCompressor receiver;
        std::unique_ptr<Pixels>(receiver.netWorkFramesToPixels(toPackets(datagrams))); // keeps a compressor
        ASSERT_NE(receiver.getKeptCompressor(), nullptr);

        GetParam().damage(datagrams);
        LogRecorder log;
        EXPECT_EQ(receiver.netWorkFramesToPixels(toPackets(datagrams)), nullptr);
        EXPECT_EQ(log.count(logWarning), 1u) << log.dump();
    }

    INSTANTIATE_TEST_SUITE_P(
        Damage, NetworkVideoHostileTest,
        testing::Values(
            HostileCase{"duplicateIndex", [](std::vector<Datagram>& d) { d[1] = d[0]; }},
            HostileCase{"payloadOver1358", [](std::vector<Datagram>& d) { writeU64(d[2], 17, 5000); }},
            HostileCase{"offsetPastFrame", [](std::vector<Datagram>& d) { writeU64(d.back(), 25, 0xFFFFFF00u); }},
            HostileCase{"offsetOverlaps", [](std::vector<Datagram>& d) { writeU64(d[1], 25, 10); }},
            HostileCase{"indexOutOfRange", [](std::vector<Datagram>& d) { writeU32(d[1], 38, 99); }},
            HostileCase{"widthDisagrees", [](std::vector<Datagram>& d) { writeU32(d[0], 8, 65); }},
            HostileCase{"countDisagrees",
                        [](std::vector<Datagram>& d) { writeU32(d[0], 34, std::uint32_t(d.size() + 1)); }},
            HostileCase{"formatDisagrees", [](std::vector<Datagram>& d) { d[0][16] = 3; }},
            HostileCase{"compressorDisagrees", [](std::vector<Datagram>& d) { d[0][33] = 1; }},
            HostileCase{"sideOver16384",
                        [](std::vector<Datagram>& d) {
                            for (Datagram& x : d)
                                writeU32(x, 8, 0x40000001u);
                        }},
            HostileCase{"zeroHeight",
                        [](std::vector<Datagram>& d) {
                            for (Datagram& x : d)
                                writeU32(x, 12, 0);
                        }},
            HostileCase{"compressor4",
                        [](std::vector<Datagram>& d) {
                            for (Datagram& x : d)
                                x[33] = 4;
                        }},
            HostileCase{"compressor7",
                        [](std::vector<Datagram>& d) {
                            for (Datagram& x : d)
                                x[33] = 7;
                        }},
            HostileCase{"compressor9UVA",
                        [](std::vector<Datagram>& d) {
                            for (Datagram& x : d)
                                x[33] = 9;
                        }},
            HostileCase{"compressor200",
                        [](std::vector<Datagram>& d) {
                            for (Datagram& x : d)
                                x[33] = 200;
                        }}),
        [](const auto& info) { return std::string(info.param.name); });

    TEST(NetworkVideoProtocolTest, CountBelowTheSetIsIncompleteNotHostile)
    {
        const auto packed = bytesFrame(3000);
        std::vector<Datagram> datagrams = packetise(*packed, 3);
        datagrams.pop_back();
        LogRecorder log;
        NetworkVideoCompressor receiver;
        EXPECT_EQ(receiver.netWorkFramesToCompressedPixels(toPackets(datagrams)), nullptr);
        EXPECT_EQ(log.count(), 0u) << "an incomplete set is normal traffic";
    }
}
