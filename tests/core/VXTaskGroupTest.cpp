#include "core/VXTaskGroup.h"
#include "core/VXTaskManager.h"
#include "core/VXTaskThreads.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

    using Mode = vx::TaskThreadMode;

    // Installs a manager as the current one for the test's duration.
    class TaskGroupTest : public testing::Test
    {
    protected:
        explicit TaskGroupTest(unsigned char workers = 1) : manager(workers) { vx::TaskManager::setCurrent(&manager); }
        ~TaskGroupTest() override { vx::TaskManager::setCurrent(nullptr); }

        vx::TaskManager manager;
    };

    struct PolicyCase
    {
        const char* name;
        int policy;
        signed char group;
        signed char sub;
        signed char expected;
    };

    class TaskGroupPolicy : public TaskGroupTest, public testing::WithParamInterface<PolicyCase>
    {
    };

    TEST_P(TaskGroupPolicy, SetsSubTaskPriority)
    {
        const PolicyCase& c = GetParam();
        vx::TaskGroup group;
        group.setPriority(c.group);
        vx::Task* sub = manager.constructTask(
            Mode::Control, c.sub, [] {}, false);
        group.addSubTask(sub);
        group.setUncollapseSettings({false, c.policy});
        group.executeGroup();
        EXPECT_EQ(group.getNumSubTasks(), 0u);
        ASSERT_EQ(manager.getNumPendingTasks(Mode::Control), 1u);
        EXPECT_EQ(int(sub->getPriority()), int(c.expected));
        manager.executeTasks(Mode::Control, 0.0);
    }

    INSTANTIATE_TEST_SUITE_P(
        Policies, TaskGroupPolicy,
        testing::Values(PolicyCase{"RaiseBelow", 1, 20, 5, 20}, PolicyCase{"RaiseKeepsAbove", 1, 20, 30, 30},
                        PolicyCase{"LowerAbove", 2, 20, 30, 20}, PolicyCase{"LowerKeepsBelow", 2, 20, 5, 5},
                        PolicyCase{"Set", 3, -7, 90, -7}, PolicyCase{"AddClampsHigh", 4, 100, 100, 127},
                        PolicyCase{"AddClampsLow", 4, -100, -100, -127}, PolicyCase{"Add", 4, 3, -5, -2},
                        PolicyCase{"Highest", 5, 0, -128, 127}, PolicyCase{"Unknown", 9, 50, 1, 1}),
        [](const testing::TestParamInfo<PolicyCase>& info) { return info.param.name; });

    // The sum is limited as an int: narrowed first, 384 would wrap to -128.
    TEST(TaskGroupClamp, LimitsTheWholeValue)
    {
        EXPECT_EQ(int(vx::clamp(-127, 127, 384)), 127);
        EXPECT_EQ(int(vx::clamp(-127, 127, -385)), -127);
        EXPECT_EQ(int(vx::clamp(-127, 127, 127)), 127);
        EXPECT_EQ(int(vx::clamp(-5, 5, -5)), -5);
        EXPECT_EQ(int(vx::clamp(-5, 5, 3)), 3);
    }

    TEST_F(TaskGroupTest, CollapsedRunsInPriorityOrderOnCallingThread)
    {
        vx::TaskGroup group;
        std::vector<int> order;
        const std::thread::id caller = std::this_thread::get_id();
        bool allOnCaller = true;
        for (int p : {1, 7, 1, 3})
            group.addSubTask(manager.constructTask(
                Mode::Threaded, static_cast<signed char>(p),
                [&, p]
                {
                    order.push_back(p * 10 + int(order.size()));
                    allOnCaller = allOnCaller && std::this_thread::get_id() == caller;
                },
                false));
        group.setUncollapseOnExecute(false);
        group.execute();
        EXPECT_EQ(order, (std::vector<int>{70, 31, 12, 13}));
        EXPECT_TRUE(allOnCaller);
        EXPECT_EQ(group.getNumSubTasks(), 0u);
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Threaded), 0u);
    }

    TEST_F(TaskGroupTest, WaitingGroupHelpsWhileWorkersAreBusy)
    {
        // The only worker is blocked, so the group must run its own sub-tasks.
        std::atomic<bool> release{false};
        vx::WaitableEvent blocked;
        vx::WaitableEvent* blockerDone = manager.fireTask(
            Mode::Threaded,
            [&]
            {
                blocked.trigger();
                while (! release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            },
            true, 0);
        ASSERT_TRUE(blocked.waitForTrigger(30000));

        std::atomic<int> ran{0};
        std::atomic<int> onCaller{0};
        const std::thread::id caller = std::this_thread::get_id();
        vx::TaskGroup group;
        for (int i = 0; i < 50; ++i)
            group.addSubTask(manager.constructTask(
                Mode::Threaded, 0,
                [&]
                {
                    ++ran;
                    if (std::this_thread::get_id() == caller)
                        ++onCaller;
                },
                false));
        group.setUncollapseSettings({true, 0});
        group.executeGroup();
        EXPECT_EQ(ran, 50);
        EXPECT_EQ(onCaller, 50);
        release = true;
        EXPECT_TRUE(blockerDone->waitForTrigger(30000));
        delete blockerDone;
    }

    TEST_F(TaskGroupTest, WaitingGroupWaitsForSubTasksOnOtherQueues)
    {
        std::atomic<bool> ran{false};
        vx::TaskGroup group;
        group.addSubTask(manager.constructTask(
            Mode::Control, 0, [&] { ran = true; }, false));
        group.setUncollapseSettings({true, 0});
        std::atomic<bool> finished{false};
        std::thread runner(
            [&]
            {
                group.executeGroup();
                finished = true;
            });
        // Only this thread drains Control, so the sub-task waits for it there.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (manager.getNumPendingTasks(Mode::Control) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(manager.getNumPendingTasks(Mode::Control), 1u) << "the group never queued its sub-task";
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // a chance to return too early
        EXPECT_FALSE(finished) << "returned before its sub-task ran";
        manager.executeTasks(Mode::Control, 0.0);
        runner.join();
        EXPECT_TRUE(ran);
    }

    TEST_F(TaskGroupTest, QueuedGroupFansOutOnWorkers)
    {
        std::atomic<int> ran{0};
        auto* group = new vx::TaskGroup();
        vx::WaitableEvent last;
        for (int i = 0; i < 20; ++i)
            group->addSubTask(manager.constructTask(
                Mode::Threaded, 0,
                [&]
                {
                    if (++ran == 20)
                        last.trigger();
                },
                false));
        group->setUncollapseSettings({true, 3});
        vx::WaitableEvent groupDone;
        group->installCompletionEvent(groupDone);
        manager.queueTask(group); // a heap task: deleted by the manager after it ran
        ASSERT_TRUE(groupDone.waitForTrigger(30000));
        EXPECT_EQ(ran, 20) << "a waiting group returns after all its sub-tasks";
    }

    TEST_F(TaskGroupTest, DestroyingGroupDestroysUnqueuedSubTasks)
    {
        int ran = 0;
        auto group = std::make_unique<vx::TaskGroup>();
        group->addSubTask(manager.constructTask(
            Mode::Update, 0, [&] { ++ran; }, false));
        group->addSubTask(new vx::Task([&] { ++ran; }, Mode::Update, 0, false));
        group.reset();
        EXPECT_EQ(ran, 0);
    }

    TEST(TaskEntryPoints, WithoutManagerRunInlineAndLog)
    {
        ASSERT_EQ(vx::TaskManager::getCurrent(), nullptr);
        vx::test::LogRecorder log;
        const std::thread::id caller = std::this_thread::get_id();
        int ran = 0;
        auto count = [&]
        {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            ++ran;
        };

        vx::WaitableEvent* done = vx::TaskThreads::execute(count, true, 0);
        ASSERT_NE(done, nullptr);
        EXPECT_TRUE(done->waitForTrigger(0)) << "already triggered";
        delete done;
        EXPECT_EQ(vx::ControlThread::execute(count, false, 0), nullptr);
        vx::MessageThread::executeNow(count);
        vx::TaskThreads::executeNow(count);
        vx::ControlThread::executeNow(count);
        EXPECT_EQ(ran, 5);
        EXPECT_EQ(log.count(vx::logError), 5u) << log.dump();
        EXPECT_TRUE(log.contains("no task manager")) << log.dump();

        log.clear();
        vx::TaskGroup group;
        group.addSubTask(new vx::Task(count, Mode::Threaded, 0, false));
        group.addSubTask(new vx::Task(count, Mode::Renderer, 0, false));
        group.setUncollapseSettings({true, 0});
        group.executeGroup();
        EXPECT_EQ(ran, 7);
        EXPECT_EQ(log.count(vx::logError), 1u) << log.dump();
    }

    TEST(TaskEntryPoints, MessageThreadRunsInlineOnMessageThread)
    {
        vx::test::LogRecorder log;
        void* const previous = vx::Thread::messageThreadID;
        vx::Thread::messageThreadID = vx::Thread::getCurrentThreadID();
        vx::TaskManager manager(1);
        vx::TaskManager::setCurrent(&manager);
        bool ran = false;
        vx::WaitableEvent* done = vx::MessageThread::execute([&] { ran = true; }, true, 0);
        EXPECT_TRUE(ran);
        EXPECT_TRUE(done->waitForTrigger(0));
        delete done;
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Message), 0u);
        EXPECT_EQ(log.count(vx::logError), 0u);

        // Elsewhere it goes to the Message queue.
        vx::Thread::messageThreadID = previous;
        vx::MessageThread::execute([&] { ran = false; }, false, 0);
        EXPECT_TRUE(ran);
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Message), 1u);
        manager.executeTasks(Mode::Message, 0.04);
        EXPECT_FALSE(ran);
        vx::TaskManager::setCurrent(nullptr);
    }

    TEST(TaskEntryPoints, ExecuteNowWaitsForTheOwningThread)
    {
        vx::TaskManager manager(2);
        vx::TaskManager::setCurrent(&manager);
        std::atomic<bool> stop{false};
        std::thread controlThread(
            [&]
            {
                while (! stop)
                {
                    manager.executeTasks(Mode::Control, 0.0);
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            });
        const std::thread::id caller = std::this_thread::get_id();
        std::thread::id ranOn;
        vx::ControlThread::executeNow([&] { ranOn = std::this_thread::get_id(); });
        EXPECT_EQ(ranOn, controlThread.get_id());
        vx::TaskThreads::executeNow([&] { ranOn = std::this_thread::get_id(); });
        EXPECT_NE(ranOn, caller);
        EXPECT_NE(ranOn, controlThread.get_id());
        stop = true;
        controlThread.join();
        vx::TaskManager::setCurrent(nullptr);
    }

} // namespace
