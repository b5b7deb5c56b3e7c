#include "core/VXTaskProfiler.h"

#include "core/VXTaskManager.h"
#include "core/VXValueHistory.h"
#include "core/VXWaitableEvent.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace vx
{
    namespace
    {

        using Clock = std::chrono::steady_clock;

        // Polls until the newest sample of the queue's history equals value
        // (a fail-safe bounds the wait).
        bool waitForSample(ValueHistory& history, float value)
        {
            const auto deadline = Clock::now() + std::chrono::seconds(20);
            while (Clock::now() < deadline)
            {
                const auto entries = history.snapshot(ValueHistory::nowSeconds());
                if (! entries.empty() && entries.back().value == value)
                    return true;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        }

        class TaskProfilerTest : public ::testing::Test
        {
        protected:
            TaskManager manager{1};
        };

        // Real tasks on a queue nobody drains show up as samples of their
        // count; draining them brings the samples back to 0.
        TEST_F(TaskProfilerTest, SamplesFollowRealQueueCounts)
        {
            EXPECT_EQ(manager.getProfiler(), nullptr);
            manager.enableProfiler();
            TaskProfiler* profiler = manager.getProfiler();
            ASSERT_NE(profiler, nullptr);
            EXPECT_TRUE(profiler->isSampling());

            auto control = profiler->getHistory(TaskThreadMode::Control);
            auto update = profiler->getHistory(TaskThreadMode::Update);
            ASSERT_NE(control, nullptr);
            EXPECT_GE(control->size(), 1u) << "every history starts with a 0";

            for (int i = 0; i < 7; ++i)
                manager.fireTask(
                    TaskThreadMode::Control, [] {}, false, 0);
            EXPECT_EQ(profiler->getQueueCount(TaskThreadMode::Control), 7u);
            EXPECT_TRUE(waitForSample(*control, 7.0f));

            manager.executeTasks(TaskThreadMode::Control, 0.0);
            EXPECT_EQ(profiler->getQueueCount(TaskThreadMode::Control), 0u);
            EXPECT_TRUE(waitForSample(*control, 0.0f));
            EXPECT_TRUE(waitForSample(*update, 0.0f)) << "an untouched queue stays at 0";
        }

        TEST_F(TaskProfilerTest, ThreadedQueueReportsFromWorkers)
        {
            manager.enableProfiler();
            WaitableEvent* done = manager.fireTask(
                TaskThreadMode::Threaded, [] {}, true, 0);
            ASSERT_NE(done, nullptr);
            ASSERT_TRUE(done->waitForTrigger(20000));
            delete done;
            // The worker reports after the run; the count it leaves is 0.
            const auto deadline = Clock::now() + std::chrono::seconds(20);
            while (manager.getProfiler()->getQueueCount(TaskThreadMode::Threaded) != 0 && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_EQ(manager.getProfiler()->getQueueCount(TaskThreadMode::Threaded), 0u);
        }

        // Disabling stops the sampling thread and detaches the profiler; a
        // history kept by a viewer stops growing.
        TEST_F(TaskProfilerTest, DisablingStopsSampling)
        {
            manager.enableProfiler();
            auto history = manager.getProfiler()->getHistory(TaskThreadMode::Renderer);
            manager.disableProfiler();
            EXPECT_EQ(manager.getProfiler(), nullptr);
            const size_t frozen = history->size();
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            EXPECT_EQ(history->size(), frozen);
            // Queue changes with no profiler attached go nowhere.
            manager.fireTask(
                TaskThreadMode::Control, [] {}, false, 0);
            manager.executeTasks(TaskThreadMode::Control, 0.0);
        }

        // Enabling again replaces the profiler while workers keep queueing.
        TEST_F(TaskProfilerTest, ReplacingWhileTasksRun)
        {
            TaskManager busy(4);
            std::atomic<bool> stop{false};
            std::thread producer(
                [&]
                {
                    while (! stop.load())
                    {
                        busy.fireTask(
                            TaskThreadMode::Threaded, [] {}, false, 0);
                        busy.fireTask(
                            TaskThreadMode::Control, [] {}, false, 0);
                        busy.executeTasks(TaskThreadMode::Control, 0.0);
                    }
                });
            for (int i = 0; i < 20; ++i)
            {
                busy.enableProfiler();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            busy.disableProfiler();
            stop = true;
            producer.join();
            EXPECT_EQ(busy.getProfiler(), nullptr);
        }

    } // namespace
} // namespace vx
