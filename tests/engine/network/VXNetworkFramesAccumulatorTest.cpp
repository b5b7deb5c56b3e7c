// The accumulator's choice of frames, driven without its thread (getPixels
// then resolves on the calling thread), and once with it.

#include <gtest/gtest.h>

#include "VXNetworkTestSupport.h"
#include "core/VXThread.h"
#include "core/VXTime.h"
#include "engine/network/VXNetworkFramesAccumulator.h"

#include <algorithm>
#include <vector>

namespace vx::test
{
    namespace
    {
        // A frame of packetCount packets (Dummy, 3 bytes per pixel) whose
        // first pixel byte tells frames apart.
        std::vector<Datagram> frameOf(std::uint32_t key, int packetCount, unsigned char tag)
        {
            const int pixels = (packetCount * 1358 - 100) / 3;
            auto picture = std::make_unique<Pixels>(pixels, 1, 3, nullptr);
            picture->data[0] = tag;
            const auto packed = compressWith(PixelsCompressor::Dummy, *picture);
            return packetise(*packed, key);
        }

        void add(NetworkFramesAccumulator& accumulator, const std::vector<Datagram>& datagrams)
        {
            for (const Datagram& d : datagrams)
                accumulator.addFrame(d.data(), int(d.size()));
        }
    }

    TEST(NetworkFramesAccumulatorTest, NewerFrameWinsAndTheOlderNeverComes)
    {
        NetworkFramesAccumulator accumulator;
        add(accumulator, frameOf(200, 2, 'B'));
        add(accumulator, frameOf(100, 2, 'A'));
        const auto first = accumulator.getPixels();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->data[0], 'B');
        EXPECT_EQ(accumulator.getNumPendingPackets(), 0u) << "A's packets went with B";
        EXPECT_EQ(accumulator.getPixels(), nullptr);
    }

    // A one-packet frame drained with a newer one stays (fewer than two
    // entries were left), but never comes after it.
    TEST(NetworkFramesAccumulatorTest, OnePacketFrameDrainedWithANewerOneNeverComesAfterIt)
    {
        NetworkFramesAccumulator accumulator;
        add(accumulator, frameOf(100, 1, 'A'));
        add(accumulator, frameOf(200, 1, 'B'));
        auto frame = accumulator.getPixels();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'B');
        EXPECT_EQ(accumulator.getNumPendingPackets(), 1u);
        EXPECT_EQ(accumulator.getPixels(), nullptr) << "A is older than B";
        EXPECT_EQ(accumulator.getNumPendingPackets(), 0u) << "and went once complete";
        add(accumulator, frameOf(210, 1, 'C'));
        frame = accumulator.getPixels();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'C');
    }

    // Frames that complete after a newer one was taken: a reordered datagram
    // of a one-packet frame, the last packet of a longer one.
    TEST(NetworkFramesAccumulatorTest, AFrameCompletedLateNeverComesAfterANewerOne)
    {
        NetworkFramesAccumulator accumulator;
        const auto older = frameOf(300, 2, 'O');
        add(accumulator, {older[0]});
        add(accumulator, frameOf(320, 1, 'N'));
        auto frame = accumulator.getPixels();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'N');
        add(accumulator, {older[1]});
        EXPECT_EQ(accumulator.getPixels(), nullptr) << "the older frame completed late";
        add(accumulator, frameOf(310, 1, 'R'));
        EXPECT_EQ(accumulator.getPixels(), nullptr) << "a reordered one-packet frame";
        add(accumulator, frameOf(330, 1, 'M'));
        frame = accumulator.getPixels();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'M');
    }

    // A sender started again with its clock behind the last frame taken: far
    // behind it is taken at once; a little behind, once nothing newer came
    // for a while (the sender keeps sending meanwhile).
    struct RestartCase
    {
        const char* name;
        std::uint32_t lastKey;
        std::uint32_t restartKey;
    };

    class NetworkFramesAccumulatorRestartTest : public testing::TestWithParam<RestartCase>
    {
    };

    TEST_P(NetworkFramesAccumulatorRestartTest, TheRestartedSenderIsShown)
    {
        NetworkFramesAccumulator accumulator;
        add(accumulator, frameOf(GetParam().lastKey, 1, 'L'));
        ASSERT_NE(accumulator.getPixels(), nullptr);
        // Keys stay within 200 ms of the first one: the restarted clock never
        // catches up with the last frame taken.
        std::uint32_t step = 0;
        EXPECT_TRUE(waitFor([&] {
            add(accumulator, frameOf(GetParam().restartKey + step++ % 200, 1, 'S'));
            const auto frame = accumulator.getPixels();
            return frame != nullptr && frame->data[0] == 'S';
        }));
        add(accumulator, frameOf(GetParam().restartKey + 250, 1, 'T'));
        const auto next = accumulator.getPixels();
        ASSERT_NE(next, nullptr) << "the restarted stream goes on";
        EXPECT_EQ(next->data[0], 'T');
    }

    INSTANTIATE_TEST_SUITE_P(Clocks, NetworkFramesAccumulatorRestartTest,
                             ::testing::Values(RestartCase{"FarBehind", 9000000, 1000},
                                               RestartCase{"JustBehind", 9000000, 8999600},
                                               RestartCase{"Wrapped", 4294967000u, 200}),
                             [](const testing::TestParamInfo<RestartCase>& info) { return info.param.name; });

    TEST(NetworkFramesAccumulatorTest, KeyZeroIsNeverDelivered)
    {
        NetworkFramesAccumulator accumulator;
        auto zero = frameOf(7, 2, 'Z');
        for (Datagram& d : zero)
            writeU32(d, 4, 0);
        add(accumulator, zero);
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 2u);
    }

    TEST(NetworkFramesAccumulatorTest, IncompleteFramesGoWithALaterCompleteOne)
    {
        NetworkFramesAccumulator accumulator;
        auto partial = frameOf(150, 3, 'P');
        partial.pop_back();
        add(accumulator, partial);
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 2u);
        add(accumulator, frameOf(300, 2, 'C'));
        const auto frame = accumulator.getPixels();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'C');
        EXPECT_EQ(accumulator.getNumPendingPackets(), 0u);
    }

    // A copy of a packet counts once, whenever it comes: before its frame
    // completes (the frame still completes, the first copy's bytes kept),
    // after (it starts nothing and the frame is not handed out again).
    TEST(NetworkFramesAccumulatorTest, RepeatedPacketsCountOnce)
    {
        NetworkFramesAccumulator accumulator;
        const auto frame = frameOf(100, 4, 'D');
        Datagram forged = frame[0];
        forged[50] = 'X'; // same slot, other bytes
        add(accumulator, {frame[0], frame[0], frame[1], forged, frame[1], frame[2]});
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 3u);
        add(accumulator, {frame[3], frame[2]});
        const auto pixels = accumulator.getPixels();
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->data[0], 'D');
        EXPECT_EQ(accumulator.getNumPendingPackets(), 0u);

        add(accumulator, {frame[2]});
        add(accumulator, frame);
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 0u) << "late copies start no frame";

        // A frame of one packet, repeated once taken.
        add(accumulator, frameOf(200, 1, 'O'));
        ASSERT_NE(accumulator.getPixels(), nullptr);
        add(accumulator, frameOf(200, 1, 'O'));
        EXPECT_EQ(accumulator.getPixels(), nullptr);
    }

    // A packet whose index lies outside its frame neither waits nor stands in
    // for a missing one.
    TEST(NetworkFramesAccumulatorTest, IndexBeyondTheCountIsDropped)
    {
        NetworkFramesAccumulator accumulator;
        auto frame = frameOf(100, 3, 'I');
        Datagram outside = frame[2];
        writeU32(outside, 38, 3);
        add(accumulator, {frame[0], frame[1], outside});
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 2u);
        add(accumulator, {frame[2]});
        const auto pixels = accumulator.getPixels();
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->data[0], 'I');
    }

    TEST(NetworkFramesAccumulatorTest, DatagramsThatAreNoPacketsAreIgnored)
    {
        NetworkFramesAccumulator accumulator;
        Datagram good = frameOf(10, 1, 'G')[0];
        accumulator.addFrame(nullptr, 1408);
        accumulator.addFrame(good.data(), 0);
        accumulator.addFrame(good.data(), 1407);
        Datagram badMagic = good;
        badMagic[0] = 'X';
        accumulator.addFrame(badMagic.data(), 1408);
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 0u);
    }

    TEST(NetworkFramesAccumulatorTest, FloodOfIncompleteKeysStaysBounded)
    {
        NetworkFramesAccumulator accumulator;
        Datagram packet = frameOf(1, 2, 'F')[0]; // index 0 of two: never complete
        const std::uint32_t flood = std::uint32_t(NetworkFramesAccumulator::maxPackets) + 5000;
        // When each packet was handed in: on a busy machine the flood may
        // take longer than the purge age, and its first packets go by it.
        std::vector<double> handedAt;
        handedAt.reserve(flood);
        for (std::uint32_t key = 1; key <= flood; ++key)
        {
            writeU32(packet, 4, key);
            writeF64(packet, 42, double(key)); // one ms apart
            handedAt.push_back(getTickCount());
            accumulator.addFrame(packet.data(), int(packet.size()));
        }
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), NetworkFramesAccumulator::maxPackets);
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        // The newest maxPackets are kept, but for those handed in more than
        // the purge age before the drain.
        const double oldestKept = getTickCount() - NetworkFramesAccumulator::purgeAgeMs;
        const auto fresh = static_cast<std::size_t>(
            std::count_if(handedAt.end() - long(NetworkFramesAccumulator::maxPackets), handedAt.end(),
                          [oldestKept](double at) { return at >= oldestKept; }));
        EXPECT_LE(accumulator.getNumPendingPackets(), NetworkFramesAccumulator::maxPackets);
        EXPECT_GE(accumulator.getNumPendingPackets(), fresh)
            << "all arrived within the purge age: the senders' frame times do not age them";

        add(accumulator, frameOf(flood + 1, 2, 'G'));
        const auto frame = accumulator.getPixels();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'G');
    }

    // Frames whose packets arrive over several drains, after one packet
    // keyed far above them (another sender's clock): each still completes.
    // Then a sender restarts with lower keys beside the old one's leftovers.
    TEST(NetworkFramesAccumulatorTest, AStrayHigherKeyNeverStallsTheStream)
    {
        NetworkFramesAccumulator accumulator;
        add(accumulator, {frameOf(4000000000u, 2, 'S')[0]});
        const auto deliveredOf = [&](std::uint32_t firstKey)
        {
            int delivered = 0;
            for (std::uint32_t key = firstKey; key < firstKey + 20; ++key)
            {
                const unsigned char tag = static_cast<unsigned char>('a' + key % 20);
                std::shared_ptr<Pixels> frame;
                for (const Datagram& packet : frameOf(key, 3, tag))
                {
                    add(accumulator, {packet});
                    frame = accumulator.getPixels();
                }
                delivered += frame != nullptr && frame->data[0] == tag ? 1 : 0;
            }
            return delivered;
        };
        EXPECT_EQ(deliveredOf(1000), 20);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 1u) << "the stray waits for its age";

        auto leftover = frameOf(5000, 3, 'L');
        leftover.pop_back();
        add(accumulator, leftover);
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(deliveredOf(10), 20);
    }

    // Packets nobody completes go once they are purgeAgeMs old, a stray with
    // the highest key among them.
    TEST(NetworkFramesAccumulatorTest, PacketsGoByTheirArrivalAge)
    {
        NetworkFramesAccumulator accumulator;
        add(accumulator, {frameOf(4000000000u, 2, 'S')[0]});
        add(accumulator, {frameOf(70, 2, 'P')[0]});
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        Thread::sleep(int(NetworkFramesAccumulator::purgeAgeMs) + 100);
        add(accumulator, {frameOf(80, 2, 'Q')[0]});
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        EXPECT_EQ(accumulator.getNumPendingPackets(), 1u) << "only the packet that came last stays";
    }

    TEST(NetworkFramesAccumulatorTest, ThreadHandsEachFrameOutOnce)
    {
        NetworkFramesAccumulator accumulator;
        accumulator.start();
        add(accumulator, frameOf(400, 2, 'T'));
        std::shared_ptr<Pixels> frame;
        EXPECT_TRUE(waitFor([&] { return (frame = accumulator.getPixels()) != nullptr; }));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'T');
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        accumulator.stop();
        EXPECT_FALSE(accumulator.isThreadRunning());
    }
}

namespace vx::test
{
    // The bound on waiting packets under a flood of datagrams keyed above the
    // stream (each one packet of a frame that never completes), all arriving
    // now, so that only the bound, not the age purge, decides what goes.
    class NetworkFramesAccumulatorBoundTest : public testing::Test
    {
    protected:
        void addStrays(size_t count)
        {
            for (size_t i = 0; i < count; ++i)
            {
                writeU32(stray, 4, nextStrayKey);
                writeF64(stray, 42, double(nextStrayKey));
                ++nextStrayKey;
                accumulator.addFrame(stray.data(), int(stray.size()));
            }
        }

        static unsigned char tagOf(std::uint32_t key) { return static_cast<unsigned char>('a' + key % 26); }

        NetworkFramesAccumulator accumulator;
        Datagram stray = frameOf(1, 2, 'S')[0]; // index 0 of two
        std::uint32_t nextStrayKey = 3000000000u;
    };

    // The accumulator keeps up, but strays fill the bound: each packet of the
    // stream comes among a hundred more of them.
    TEST_F(NetworkFramesAccumulatorBoundTest, StraysAtTheBoundGiveWayToTheStream)
    {
        addStrays(NetworkFramesAccumulator::maxPackets);
        EXPECT_EQ(accumulator.getPixels(), nullptr);
        ASSERT_EQ(accumulator.getNumPendingPackets(), NetworkFramesAccumulator::maxPackets);

        int delivered = 0;
        for (std::uint32_t key = 1000; key < 1020; ++key)
        {
            std::shared_ptr<Pixels> frame;
            for (const Datagram& packet : frameOf(key, 3, tagOf(key)))
            {
                accumulator.addFrame(packet.data(), int(packet.size()));
                addStrays(100);
                frame = accumulator.getPixels();
                EXPECT_LE(accumulator.getNumPendingPackets(), NetworkFramesAccumulator::maxPackets);
            }
            delivered += frame != nullptr && frame->data[0] == tagOf(key) ? 1 : 0;
        }
        EXPECT_EQ(delivered, 20);
    }

    // The accumulator stalls (a long decode) while a bound's worth of strays
    // and then a whole frame arrive: the frame, the newest, is what stays.
    TEST_F(NetworkFramesAccumulatorBoundTest, AStalledAccumulatorKeepsTheNewestArrivals)
    {
        addStrays(NetworkFramesAccumulator::maxPackets);
        add(accumulator, frameOf(1000, 3, 'N'));
        const auto frame = accumulator.getPixels();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->data[0], 'N');
        EXPECT_LE(accumulator.getNumPendingPackets(), NetworkFramesAccumulator::maxPackets);
    }
}
