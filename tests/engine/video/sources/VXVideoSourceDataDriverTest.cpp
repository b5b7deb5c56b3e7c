#include "VXSourcesTestSupport.h"

#include "engine/video/sources/VXVideoSourceDataDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <dirent.h>

namespace vx::test
{
    namespace
    {
        // Counts updateVideo calls; can hold a call until released.
        class CountingSource : public PlainSource
        {
        public:
            void updateVideo() override
            {
                ++calls;
                if (holding.load())
                {
                    entered.store(true);
                    while (holding.load())
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    ++finishedCalls;
                }
                if (removed.load())
                    calledAfterRemoval.store(true);
            }
            std::atomic<int> calls{0};
            std::atomic<int> finishedCalls{0};
            std::atomic<bool> holding{false}, entered{false}, removed{false}, calledAfterRemoval{false};
        };

        // Polls until the predicate holds; half a minute is only the watchdog.
        template <typename Predicate>
        bool waitFor(Predicate predicate)
        {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (! predicate() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return predicate();
        }

        bool threadNamed(const std::string& name)
        {
            DIR* tasks = opendir("/proc/self/task");
            if (tasks == nullptr)
                return false;
            bool found = false;
            while (dirent* entry = readdir(tasks))
            {
                std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
                std::string text;
                if (std::getline(comm, text) && text == name)
                    found = true;
            }
            closedir(tasks);
            return found;
        }
    }

    TEST(VideoSourceDataDriverTest, RunsAsDataDriverAtPriorityFiveAndAnswersFalseWithNothing)
    {
        VideoSourceDataDriver driver;
        EXPECT_EQ(driver.getThreadName(), "DataDriver");
        EXPECT_EQ(VideoSourceDataDriver::threadPriority, 5);
        EXPECT_TRUE(driver.isThreadRunning());
        EXPECT_TRUE(threadNamed("DataDriver"));
        EXPECT_FALSE(driver.updateVideo());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(driver.isThreadRunning());
    }

    TEST(VideoSourceDataDriverTest, ASourceAddedTwiceIsCalledOncePerPass)
    {
        VideoSourceDataDriver driver;
        driver.requestThreadStop();
        ASSERT_TRUE(waitFor([&] { return ! driver.isThreadRunning(); }));
        CountingSource source;
        driver.addSource(&source);
        driver.addSource(&source);
        EXPECT_EQ(driver.getNumSources(), 1);
        EXPECT_TRUE(driver.updateVideo());
        EXPECT_EQ(source.calls.load(), 1);
        driver.removeSource(&source);
        driver.removeSource(&source);
        EXPECT_FALSE(driver.updateVideo());
        EXPECT_EQ(source.calls.load(), 1);
    }

    TEST(VideoSourceDataDriverTest, ASourceIsNeverCalledAfterRemoveSourceReturns)
    {
        VideoSourceDataDriver driver;
        CountingSource source;
        source.holding.store(true);
        driver.addSource(&source);
        ASSERT_TRUE(waitFor([&] { return source.entered.load(); }));
        std::thread remover(
            [&]
            {
                driver.removeSource(&source);
                source.removed.store(true);
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        // The pass holds the lock: removal waits for it.
        EXPECT_FALSE(source.removed.load());
        source.holding.store(false);
        remover.join();
        const int calls = source.calls.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(source.calls.load(), calls);
        EXPECT_FALSE(source.calledAfterRemoval.load());
    }

    TEST(VideoSourceDataDriverTest, DestroyingTheDriverWaitsForTheCurrentPass)
    {
        CountingSource source;
        source.holding.store(true);
        std::atomic<bool> destroyed{false};
        std::thread owner;
        {
            auto driver = std::make_unique<VideoSourceDataDriver>();
            driver->addSource(&source);
            ASSERT_TRUE(waitFor([&] { return source.entered.load(); }));
            owner = std::thread(
                [&, d = std::move(driver)]() mutable
                {
                    d.reset();
                    destroyed.store(true);
                });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(destroyed.load());
        source.holding.store(false);
        owner.join();
        EXPECT_TRUE(destroyed.load());
        EXPECT_EQ(source.finishedCalls.load(), 1);
    }
}
