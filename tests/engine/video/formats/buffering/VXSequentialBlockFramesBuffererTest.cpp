#include "engine/video/formats/VXSequentialBlockFramesBufferer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "core/VXTaskManager.h"
#include "engine/video/formats/VXFakeReaders.h"
#include "engine/video/formats/VXFrameTable.h"
#include "engine/video/formats/VXPixels.h"
#include "engine/video/formats/VXSingleFrameBufferer.h"

namespace vx::test
{
    namespace
    {
        // Aborts the binary, naming the test, when a test outlives its limit:
        // a wait without end is a failure, never a hang.
        class Watchdog
        {
        public:
            explicit Watchdog(int seconds = 60)
                : thread([this, seconds]
                         {
                             std::unique_lock<std::mutex> hold(lock);
                             if (! done.wait_for(hold, std::chrono::seconds(seconds), [this] { return finished; }))
                             {
                                 std::fprintf(stderr, "Watchdog: %s still running after %d s\n",
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name(), seconds);
                                 std::abort();
                             }
                         })
            {
            }
            ~Watchdog()
            {
                {
                    std::lock_guard<std::mutex> hold(lock);
                    finished = true;
                }
                done.notify_all();
                thread.join();
            }

        private:
            std::mutex lock;
            std::condition_variable done;
            bool finished = false;
            std::thread thread;
        };

        // Polls until the condition holds (bounded by the watchdog).
        template <typename Condition>
        void waitFor(Condition condition)
        {
            while (! condition())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }

        struct Workers
        {
            explicit Workers(unsigned char threads) : manager(threads) { TaskManager::setCurrent(&manager); }
            ~Workers() { TaskManager::setCurrent(nullptr); }
            TaskManager manager;
        };

        const File noFile("/nowhere/a.fake");

        std::set<unsigned> asSet(const std::vector<unsigned>& v) { return {v.begin(), v.end()}; }

        void settle(SequentialBlockFramesBufferer& bufferer)
        {
            bufferer.waitUntilIdle();
            waitFor([&] { return bufferer.getNumLiveTasks() == 0; });
        }
    }

    class BlockBuffererTest : public ::testing::TestWithParam<int>
    {
    protected:
        Watchdog watchdog;
        Workers workers{static_cast<unsigned char>(GetParam())};
    };

    TEST_P(BlockBuffererTest, ABlockTooLongForTheFramesShrinks)
    {
        FakeBufferableReader source(noFile, 3);
        SequentialBlockFramesBufferer bufferer(1, 3, true, source);
        EXPECT_EQ(bufferer.getFramesBehind(), 0u);
        EXPECT_EQ(bufferer.getFramesAhead(), 2u);
    }

    TEST_P(BlockBuffererTest, DecodesTheBlockAroundTheFrameClosestFirst)
    {
        FakeBufferableReader source(noFile, 100);
        SequentialBlockFramesBufferer bufferer(1, 3, true, source);
        source.pause();
        bufferer.frameRequested(0);
        source.resume();
        settle(bufferer);
        // One behind, three ahead, wrapping: 99 to 3.
        EXPECT_EQ(asSet(source.getDecoded()), (std::set<unsigned>{99, 0, 1, 2, 3}));
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 5u);
        EXPECT_EQ(bufferer.getNumFreePoolFrames(), 5u) << "a pool of twice the block";
        const std::vector<unsigned> order = source.getDecoded();
        EXPECT_EQ(order.front(), 0u);
        SequentialBlockFramesBufferer::TaskQueue::CompareFramesPriority distance{nullptr, 100};
        unsigned current = 0;
        distance.current = &current;
        for (std::size_t i = 1; i < order.size(); ++i)
            EXPECT_LE(distance.distance(order[i - 1]), distance.distance(order[i])) << "closest first";
        EXPECT_FALSE(source.overlapping) << "one preparation at a time";

        for (unsigned f : {99u, 0u, 1u, 2u, 3u})
        {
            const unsigned char* data = bufferer.getFrame(f);
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(data[0], (f + 1) & 0xFF);
            bufferer.releaseFrame();
        }
        EXPECT_EQ(bufferer.getFrame(50), nullptr);
        bufferer.releaseFrame();
    }

    TEST_P(BlockBuffererTest, AFullBlockQueuesNothingAndAStepDecodesOnlyTheNewFrame)
    {
        FakeBufferableReader source(noFile, 20);
        SequentialBlockFramesBufferer bufferer(1, 3, true, source);
        bufferer.frameRequested(5);
        settle(bufferer);
        source.clearRecords();
        bufferer.frameRequested(5);
        EXPECT_EQ(bufferer.getNumLiveTasks(), 0);
        settle(bufferer);
        EXPECT_TRUE(source.getPrepared().empty());

        const unsigned long long before = bufferer.getNumTasksMade();
        bufferer.frameRequested(6);
        settle(bufferer);
        EXPECT_EQ(source.getDecoded(), (std::vector<unsigned>{9}));
        EXPECT_EQ(bufferer.getNumTasksMade() - before, 1u) << "one step, one task";
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 5u) << "frame 4 went back to the pool";
        EXPECT_EQ(bufferer.getNumFreePoolFrames(), 5u);
    }

    TEST_P(BlockBuffererTest, SeeksDropStaleWorkAndGiveEverythingBack)
    {
        FakeBufferableReader source(noFile, 200);
        SequentialBlockFramesBufferer bufferer(1, 3, true, source);
        source.pause();
        bufferer.frameRequested(0);
        // Jumps while the first preparation is held: only it may finish.
        waitFor([&] { return ! source.getPrepared().empty(); });
        for (unsigned f : {40u, 80u, 120u, 160u})
            bufferer.frameRequested(f);
        source.resume();
        settle(bufferer);
        const std::set<unsigned> decoded = asSet(source.getDecoded());
        for (unsigned f : {159u, 160u, 161u, 162u, 163u})
            EXPECT_TRUE(decoded.count(f)) << f;
        for (unsigned f : {40u, 80u, 81u, 120u, 121u})
            EXPECT_FALSE(decoded.count(f)) << "stale block decoded: " << f;
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 5u);
        EXPECT_EQ(bufferer.getNumFreePoolFrames(), 10u - 5u);

        // Many seeks, then nothing in flight: every task and frame is back.
        for (unsigned f = 0; f < 200; f += 7)
            bufferer.frameRequested(f);
        settle(bufferer);
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 5u);
        EXPECT_EQ(bufferer.getNumFreePoolFrames(), 5u);
        bufferer.clearBuffer();
        EXPECT_EQ(bufferer.getNumLiveTasks(), 0);
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 0u);
    }

    TEST_P(BlockBuffererTest, FramesNobodyFillsAreAnsweredAsEmpty)
    {
        FakeBufferableReader source(noFile, 50);
        {
            SequentialBlockFramesBufferer bufferer(1, 3, true, source);
            source.failDecodes = true;
            bufferer.frameRequested(10);
            EXPECT_EQ(bufferer.getFrame(10), nullptr);
            bufferer.releaseFrame();
            settle(bufferer);
            // A later request decodes it again.
            source.failDecodes = false;
            bufferer.frameRequested(10);
            const unsigned char* data = bufferer.getFrame(10);
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(data[0], 11);
            bufferer.releaseFrame();
        }
        {
            SequentialBlockFramesBufferer bufferer(1, 3, true, source);
            source.shortPrepares = true;
            bufferer.frameRequested(20);
            EXPECT_EQ(bufferer.getFrame(21), nullptr);
            bufferer.releaseFrame();
            source.shortPrepares = false;
        }
        {
            // A block that went stale before its task ran: its frames are
            // given up, not waited for.
            SequentialBlockFramesBufferer bufferer(1, 3, true, source);
            source.pause();
            bufferer.frameRequested(0);
            bufferer.frameRequested(30);
            source.resume();
            for (unsigned f : {1u, 2u, 30u, 31u})
            {
                bufferer.getFrame(f);
                bufferer.releaseFrame();
            }
            settle(bufferer);
        }
    }

    TEST_P(BlockBuffererTest, RandomPlayBuffersOnlyTheRequestedFrame)
    {
        FakeBufferableReader source(noFile, 30);
        SequentialBlockFramesBufferer bufferer(1, 3, true, source);
        bufferer.frameRequested(3);
        settle(bufferer);
        bufferer.playbackDirectionChanged(playRandom);
        bufferer.playbackDirectionChanged(playRandom);
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 0u);
        bufferer.frameRequested(17);
        settle(bufferer);
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 1u);
        bufferer.playbackDirectionChanged(playForward);
        EXPECT_EQ(bufferer.getFramesBehind(), 1u);
        EXPECT_EQ(bufferer.getFramesAhead(), 3u) << "two random requests keep the saved block";
        bufferer.frameRequested(17);
        settle(bufferer);
        EXPECT_EQ(bufferer.getNumBufferedFrames(), 5u);
    }

    TEST_P(BlockBuffererTest, AReaderPlaysForwardThroughTheBufferer)
    {
        FakeBufferableReader reader(noFile, 40);
        reader.setBufferer(new SequentialBlockFramesBufferer(1, 3, true, reader));
        ASSERT_TRUE(reader.isBuffering());
        for (int f = 0; f < 40; ++f)
        {
            ASSERT_TRUE(reader.read(f * 40.0 + 1.0));
            std::shared_ptr<Pixels> pixels;
            ASSERT_TRUE(reader.updatePixels(pixels)) << f;
            EXPECT_EQ(pixels->data[0], f + 1);
            EXPECT_EQ(pixels->data[pixels->dataSize - 1], f + 1);
        }
        reader.release();
        EXPECT_FALSE(reader.overlapping);
    }

    TEST_P(BlockBuffererTest, FeedingAndRenderThreadsMeetThroughTheReader)
    {
        FakeBufferableReader reader(noFile, 60);
        reader.setBufferer(new SequentialBlockFramesBufferer(1, 3, true, reader));
        std::atomic<bool> done{false};
        std::thread feeding(
            [&]
            {
                for (int pass = 0; pass < 3; ++pass)
                    for (int f = 0; f < 60; f += 1 + pass)
                    {
                        reader.read(f * 40.0 + 1.0);
                        if (f % 17 == 0)
                            reader.setPlaybackDirection(f % 2 == 0 ? playRandom : playForward);
                    }
                reader.setPlaybackDirection(playForward);
                done = true;
            });
        int uploads = 0;
        while (! done)
        {
            std::shared_ptr<Pixels> pixels;
            if (reader.updatePixels(pixels))
            {
                ++uploads;
                // Never a frame half overwritten by another decode.
                const unsigned char first = pixels->data[0];
                for (int i = 1; i < pixels->dataSize; ++i)
                    ASSERT_EQ(pixels->data[i], first);
            }
        }
        feeding.join();
        reader.release();
        EXPECT_FALSE(reader.overlapping) << "one preparation at a time";
        (void)uploads;
    }

    INSTANTIATE_TEST_SUITE_P(Workers, BlockBuffererTest, ::testing::Values(1, 2, 4),
                             [](const auto& info) { return std::to_string(info.param) + "Workers"; });

    TEST(BlockBuffererTest, WithoutATaskManagerNothingIsBuffered)
    {
        Watchdog watchdog;
        ASSERT_EQ(TaskManager::getCurrent(), nullptr);
        FakeBufferableReader source(noFile, 30);
        SequentialBlockFramesBufferer bufferer(1, 3, true, source);
        bufferer.frameRequested(3);
        EXPECT_EQ(bufferer.getFrame(3), nullptr);
        bufferer.releaseFrame();
    }

    TEST(FramesBuffererTest, PriorityAndBlockArithmetic)
    {
        unsigned current = 98;
        SequentialBlockFramesBufferer::TaskQueue::CompareFramesPriority order{&current, 100};
        Task* const none = nullptr;
        EXPECT_TRUE(order.test({94, none}, {1, none})) << "frame 1 (distance 3) above frame 94 (distance 4)";
        EXPECT_FALSE(order.test({1, none}, {94, none}));
        EXPECT_FALSE(order.test({97, none}, {99, none})) << "equal distances are not ordered";
        EXPECT_TRUE(oneBehindFourInFrontPredicate(9, 10));
        EXPECT_FALSE(oneBehindFourInFrontPredicate(8, 10));
        EXPECT_TRUE(oneBehindFourInFrontPredicate(4, 0));
        EXPECT_FALSE(oneBehindFourInFrontPredicate(5, 0));
    }

    TEST(FramesBuffererTest, AllocatorHandsOutInAddressOrderAndReusesTheLastReleased)
    {
        FrameAllocator pool(3, 100);
        unsigned char* a = pool.getFrame();
        unsigned char* b = pool.getFrame();
        unsigned char* c = pool.getFrame();
        EXPECT_LT(a, b);
        EXPECT_LT(b, c);
        EXPECT_EQ(pool.getFrame(), nullptr);
        pool.releaseFrame(b);
        EXPECT_EQ(pool.getFrame(), b);
        unsigned char outside[8];
        pool.releaseFrame(outside);
        EXPECT_EQ(pool.getNumFreeFrames(), 0u);
        pool.releaseFrame(a);
        pool.releaseFrame(b);
        pool.releaseFrame(c);
        EXPECT_TRUE(pool.reallocate(5));
        EXPECT_EQ(pool.getNumFreeFrames(), 5u);
        std::set<unsigned char*> all;
        for (int i = 0; i < 5; ++i)
            all.insert(pool.getFrame());
        EXPECT_EQ(all.size(), 5u);
        EXPECT_FALSE(all.count(nullptr));
        EXPECT_FALSE(pool.allocate(2)) << "frames are out";
    }

    TEST(FramesBuffererTest, TableBlocksWrap)
    {
        FrameTable table(9, 5, 16);
        EXPECT_EQ(table.getFirstNotBufferedFrameOfBlock(8, 4), 8u);
        for (unsigned f : {8u, 9u, 0u})
            table.addFrame(f);
        EXPECT_EQ(table.getFirstNotBufferedFrameOfBlock(8, 4), 1u);
        EXPECT_EQ(table.getFirstNotBufferedFrameOfBlock(8, 3), 1u) << "the frame after the last walked";
        EXPECT_EQ(table.getFirstNotBufferedFrameOfBlock(3, 0), 3u);
        unsigned first = 0, last = 0;
        table.addFrame(4);
        table.getNotBufferedBoundariesInBlock(8, 6, first, last);
        EXPECT_EQ(first, 1u);
        EXPECT_EQ(last, 3u);
        table.clearBetween(9, 8, false);
        EXPECT_EQ(table.getNumEntries(), 2u) << "everything but 8 and 9";
        EXPECT_TRUE(table.contains(8));
        EXPECT_TRUE(table.contains(9));
    }

    TEST(FramesBuffererTest, SingleFrameBuffererDecodesOnRequest)
    {
        FakeBufferableReader source(noFile, 5);
        SingleFrameBufferer bufferer(source);
        EXPECT_EQ(bufferer.getFrame(0), nullptr);
        bufferer.releaseFrame();
        bufferer.frameRequested(3);
        const unsigned char* data = bufferer.getFrame(3);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data[0], 4);
        bufferer.releaseFrame();
        source.failDecodes = true;
        bufferer.frameRequested(2);
        EXPECT_EQ(bufferer.getFrame(2), nullptr);
        bufferer.releaseFrame();
    }
}
