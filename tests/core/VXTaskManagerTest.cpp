#include "core/VXTaskManager.h"
#include "core/VXTaskThread.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"

#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

    using Mode = vx::TaskThreadMode;

    std::string currentThreadName()
    {
        char name[32] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        std::ostringstream text;
        text << name << " " << std::this_thread::get_id();
        return text.str();
    }

    // A latch worker tasks block on until the test opens it (stays open).
    class Gate
    {
    public:
        void open() { opened = true; }
        std::function<void()> blocker()
        {
            return [this]
            {
                ++entered;
                while (! opened)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
        }
        // True once that many blockers are inside (a fail-safe bounds the wait).
        bool waitEntered(int count = 1)
        {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (entered.load() < count && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return entered.load() >= count;
        }

    private:
        std::atomic<bool> opened{false};
        std::atomic<int> entered{0};
    };

    class RecordingGuard : public vx::TaskGuard
    {
    public:
        RecordingGuard(std::atomic<bool>& allowFlag, unsigned int retryMs, std::mutex& lock,
                       std::set<std::string>& askers)
            : allow(allowFlag), namesLock(lock), names(askers)
        {
            retryTimeout = retryMs;
        }
        bool canExecuteNow() override
        {
            std::lock_guard<std::mutex> hold(namesLock);
            names.insert(currentThreadName());
            return allow.load();
        }

    private:
        std::atomic<bool>& allow;
        std::mutex& namesLock;
        std::set<std::string>& names;
    };

    // Polls until the condition holds; the generous bound is only a fail-safe.
    bool waitUntil(const std::function<bool()>& condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline)
        {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return condition();
    }

    int countSleeping(const vx::TaskManager& manager)
    {
        int sleeping = 0;
        for (const vx::TaskThread* worker : manager.getTaskThreads())
            sleeping += worker->isCurrentlySleeping() ? 1 : 0;
        return sleeping;
    }

    bool allSleeping(const vx::TaskManager& manager)
    {
        for (const vx::TaskThread* worker : manager.getTaskThreads())
            if (! worker->isCurrentlySleeping())
                return false;
        return true;
    }

    TEST(TaskManager, LogsCreationAndClampsWorkerCount)
    {
        vx::test::LogRecorder log;
        vx::TaskManager manager(0);
        EXPECT_EQ(manager.getMaxNumTaskThreads(), 1);
        EXPECT_EQ(manager.getTaskThreads().size(), 1u);
        EXPECT_TRUE(log.contains("INFO: Created TaskManager with 1 threads.")) << log.dump();
    }

    TEST(TaskManager, ExecuteTasksRunsWhatWasQueuedAtStart)
    {
        vx::TaskManager manager(1);
        std::vector<int> ran;
        vx::Task* recurring = manager.constructTask(
            Mode::Update, 0, [&] { ran.push_back(99); }, true);
        manager.queueTask(recurring);
        for (int i = 0; i < 4; ++i)
            manager.queueTask(manager.constructTask(
                Mode::Update, 0, [&ran, i] { ran.push_back(i); }, false));
        manager.queueTask(nullptr);
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Update), 5u);

        manager.executeTasks(Mode::Update, 0.0);
        EXPECT_EQ(ran, (std::vector<int>{99, 0, 1, 2, 3}));
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Update), 1u) << "the recurring task stays queued";

        // A recurring task runs at most once per call.
        ran.clear();
        manager.executeTasks(Mode::Update, 0.0);
        EXPECT_EQ(ran, (std::vector<int>{99}));

        recurring->stopRecurring();
        manager.executeTasks(Mode::Update, 0.0);
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Update), 0u);
        manager.executeTasks(Mode::Update, 0.0); // empty: returns at once
        EXPECT_EQ(ran.size(), 2u);
    }

    TEST(TaskManager, ExecuteTasksStopsWhenBudgetIsSpent)
    {
        vx::TaskManager manager(1);
        int ran = 0;
        for (int i = 0; i < 6; ++i)
            manager.fireTask(
                Mode::Message,
                [&]
                {
                    ++ran;
                    std::this_thread::sleep_for(std::chrono::milliseconds(30));
                },
                false, 0);
        manager.executeTasks(Mode::Message, 0.04);
        // Tested before each task: the first always runs, one may overrun.
        EXPECT_GE(ran, 1);
        EXPECT_LE(ran, 3);
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Message), unsigned(6 - ran));
        manager.executeTasks(Mode::Message, -1.0);
        EXPECT_EQ(ran, 6);
    }

    TEST(TaskManager, FiredEventTriggersAfterFunctionRan)
    {
        vx::TaskManager manager(2);
        std::atomic<bool> ran{false};
        vx::WaitableEvent* done = manager.fireTask(
            Mode::Threaded,
            [&]
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                ran = true;
            },
            true, 0);
        ASSERT_NE(done, nullptr);
        ASSERT_TRUE(done->waitForTrigger(30000));
        EXPECT_TRUE(ran);
        delete done;
        EXPECT_EQ(manager.fireTask(
                      Mode::Control, [] {}, false, 0),
                  nullptr);
    }

    TEST(TaskManager, WorkersRunByPriority)
    {
        vx::TaskManager manager(1);
        Gate gate;
        manager.fireTask(Mode::Threaded, gate.blocker(), false, 0);
        ASSERT_TRUE(gate.waitEntered());

        std::mutex lock;
        std::vector<std::string> order;
        auto record = [&](const char* name)
        {
            return [&, name]
            {
                std::lock_guard<std::mutex> hold(lock);
                order.push_back(name);
            };
        };
        manager.fireTask(Mode::Threaded, record("first"), false, 0);
        manager.fireTask(Mode::Threaded, record("second"), false, 5);
        vx::WaitableEvent* last = manager.fireTask(Mode::Threaded, record("third"), true, 5);
        vx::WaitableEvent* lowest = manager.fireTask(Mode::Threaded, record("lowest"), true, -128);
        gate.open();
        ASSERT_TRUE(lowest->waitForTrigger(30000));
        EXPECT_TRUE(last->waitForTrigger(0));
        delete last;
        delete lowest;
        EXPECT_EQ(order, (std::vector<std::string>{"second", "third", "first", "lowest"}));
    }

    TEST(TaskManager, GuardedTaskRetriesWithoutNewWakeUp)
    {
        std::atomic<bool> allow{false};
        std::mutex lock;
        std::set<std::string> askers;
        std::atomic<int> ran{0};
        vx::TaskManager manager(2);
        vx::Task* task = manager.constructTask(
            Mode::Threaded, 0, [&] { ++ran; }, false);
        auto event = std::make_unique<vx::WaitableEvent>();
        task->installCompletionEvent(*event);
        task->installExecutionGuard(std::make_unique<RecordingGuard>(allow, 5, lock, askers));
        manager.queueTask(task);

        ASSERT_TRUE(waitUntil(
            [&]
            {
                std::lock_guard<std::mutex> hold(lock);
                return ! askers.empty();
            }));
        EXPECT_FALSE(event->waitForTrigger(30));
        EXPECT_EQ(ran, 0);
        // Nothing is queued now: only the guard's retry time-out wakes a worker.
        allow = true;
        ASSERT_TRUE(event->waitForTrigger(30000));
        EXPECT_EQ(ran, 1);
    }

    TEST(TaskManager, RecurringThreadedTaskRunsUntilStopped)
    {
        std::atomic<int> runs{0};
        vx::WaitableEvent tenth;
        vx::Task* task = nullptr;
        vx::TaskManager manager(2);
        task = manager.constructTask(
            Mode::Threaded, 0,
            [&]
            {
                if (++runs == 10)
                {
                    task->stopRecurring();
                    tenth.trigger();
                }
            },
            true);
        manager.queueTask(task);
        ASSERT_TRUE(tenth.waitForTrigger(30000));
        ASSERT_TRUE(waitUntil([&] { return manager.getNumPendingTasks(Mode::Threaded) == 0; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(runs, 10);
    }

    TEST(TaskManager, WakesOneSleepingWorkerPerQueuedTask)
    {
        // Declared first: guards left queued read them until the manager goes.
        std::atomic<bool> allow{false};
        std::mutex lock;
        std::set<std::string> askers;
        Gate gate; // open by the time the manager goes, which waits for the blockers
        vx::TaskManager manager(3);
        ASSERT_TRUE(waitUntil([&] { return manager.areAllWorkersAsleep(); }));

        // An empty queue: one worker takes the task and stays busy on it while
        // the others sleep on.
        std::atomic<bool> release{false};
        vx::WaitableEvent entered;
        vx::WaitableEvent* done = manager.fireTask(
            Mode::Threaded,
            [&]
            {
                entered.trigger();
                while (! release)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            },
            true, 0);
        ASSERT_TRUE(entered.waitForTrigger(30000));
        EXPECT_TRUE(waitUntil([&] { return countSleeping(manager) == 2; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // a chance for a stray wake-up to show
        EXPECT_EQ(countSleeping(manager), 2);
        release = true;
        ASSERT_TRUE(done->waitForTrigger(30000));
        delete done;

        // Two refused tasks already queued: a third one wakes all three workers,
        // each of which consults the guards. The refused ones are queued while
        // every worker is busy, so that each has seen them (and asked their
        // guards) before it sleeps: otherwise one that never saw them looks at
        // the queue on its way to sleep, and may be draining, not sleeping,
        // when the third comes (then one watcher is woken, not all).
        for (int i = 0; i < 3; ++i)
            manager.fireTask(Mode::Threaded, gate.blocker(), false, 0);
        if (! gate.waitEntered(3))
        {
            gate.open();
            FAIL() << "three blockers never ran at once";
        }
        for (int i = 0; i < 2; ++i)
        {
            vx::Task* refused = manager.constructTask(
                Mode::Threaded, 10, [] {}, false);
            refused->installExecutionGuard(std::make_unique<RecordingGuard>(allow, 60000, lock, askers));
            manager.queueTask(refused);
        }
        gate.open();
        ASSERT_TRUE(waitUntil([&] { return manager.areAllWorkersAsleep(); }));
        {
            std::lock_guard<std::mutex> hold(lock);
            EXPECT_EQ(askers.size(), 3u);
            askers.clear();
        }
        manager.fireTask(
            Mode::Threaded, [] {}, false, 0);
        EXPECT_TRUE(waitUntil(
            [&]
            {
                std::lock_guard<std::mutex> hold(lock);
                return askers.size() == 3;
            }));
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(askers.size(), 3u);
    }

    // Queues a task from inside the worker's fetch, after the fetch took its
    // snapshot: the worker's last check before sleeping then missed it, and
    // nobody wakes a worker that is not yet sleeping.
    class QueueingGuard : public vx::TaskGuard
    {
    public:
        QueueingGuard(vx::TaskManager& taskManager, std::function<void()> function, vx::WaitableEvent*& result)
            : manager(taskManager), task(std::move(function)), event(result)
        {
            retryTimeout = 60000;
        }
        bool canExecuteNow() override
        {
            if (! queued)
            {
                queued = true;
                event = manager.fireTask(Mode::Threaded, task, true, 0);
            }
            return false;
        }

    private:
        vx::TaskManager& manager;
        std::function<void()> task;
        vx::WaitableEvent*& event;
        bool queued = false;
    };

    TEST(TaskManager, TaskQueuedBetweenLastFetchAndSleepIsRun)
    {
        std::atomic<bool> ran{false};
        vx::WaitableEvent* done = nullptr;
        vx::TaskManager manager(1);
        ASSERT_TRUE(waitUntil([&] { return allSleeping(manager); }));
        vx::Task* refused = manager.constructTask(
            Mode::Threaded, 0, [] {}, false);
        refused->installExecutionGuard(std::make_unique<QueueingGuard>(
            manager, [&] { ran = true; }, done));
        manager.queueTask(refused);
        ASSERT_TRUE(waitUntil([&] { return ran.load(); })) << "the worker slept through a queued task";
        ASSERT_NE(done, nullptr);
        EXPECT_TRUE(done->waitForTrigger(30000));
        delete done;
    }

    TEST(TaskManager, ManyProducersEveryTaskRunsOnce)
    {
        constexpr int perProducer = 2500;
        std::atomic<int> ran{0};
        vx::TaskManager manager(4);
        std::vector<std::thread> producers;
        for (int p = 0; p < 3; ++p)
            producers.emplace_back(
                [&]
                {
                    for (int i = 0; i < perProducer; ++i)
                        manager.fireTask(
                            Mode::Threaded, [&] { ++ran; }, false, static_cast<signed char>(i % 7));
                });
        for (std::thread& producer : producers)
            producer.join();
        EXPECT_TRUE(waitUntil([&] { return ran.load() == 3 * perProducer; })) << ran.load();
        EXPECT_TRUE(waitUntil([&] { return manager.getNumPendingTasks(Mode::Threaded) == 0; }));
    }

    // Seeded bursts of tiny and of slower tasks from several threads, with pauses
    // long enough for workers to fall asleep between them: every task runs once
    // and none is left queued while workers sleep.
    TEST(TaskManager, BurstsWithPausesRunEveryTaskOnce)
    {
        const unsigned seed = 4242u;
        constexpr int producers = 3;
        constexpr int bursts = 40;
        constexpr int perBurst = 150;
        std::vector<std::atomic<int>> runs(producers * bursts * perBurst);
        vx::TaskManager manager(4);
        std::vector<std::thread> threads;
        for (int p = 0; p < producers; ++p)
            threads.emplace_back(
                [&, p]
                {
                    std::mt19937 random(seed + unsigned(p));
                    for (int burst = 0; burst < bursts; ++burst)
                    {
                        for (int i = 0; i < perBurst; ++i)
                        {
                            const int index = (p * bursts + burst) * perBurst + i;
                            const bool slow = random() % 10 == 0;
                            manager.fireTask(
                                Mode::Threaded,
                                [&runs, index, slow]
                                {
                                    if (slow)
                                        std::this_thread::sleep_for(std::chrono::microseconds(100));
                                    ++runs[size_t(index)];
                                },
                                false, static_cast<signed char>(random() % 3));
                        }
                        if (random() % 4 == 0)
                            std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    }
                });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_TRUE(waitUntil(
            [&]
            {
                for (const std::atomic<int>& count : runs)
                    if (count.load() == 0)
                        return false;
                return true;
            }))
            << "seed " << seed << ": tasks left unrun";
        for (size_t i = 0; i < runs.size(); ++i)
            ASSERT_EQ(runs[i].load(), 1) << "seed " << seed << " task " << i;
    }

    TEST(TaskManager, ShutdownDestroysQueuedTasksUnrun)
    {
        std::atomic<int> ran{0};
        Gate gate;
        auto manager = std::make_unique<vx::TaskManager>(2);
        manager->fireTask(Mode::Threaded, gate.blocker(), false, 0);
        manager->fireTask(Mode::Threaded, gate.blocker(), false, 0);
        ASSERT_TRUE(gate.waitEntered(2));
        // A recurring task the worker puts back while the manager shuts down.
        manager->queueTask(manager->constructTask(
            Mode::Threaded, 100, [&] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }, true));
        for (int i = 0; i < 200; ++i)
            manager->fireTask(
                Mode(i % vx::numTaskThreadModes), [&] { ++ran; }, false, 0);
        auto* heapTask = new vx::Task([&] { ++ran; }, Mode::Update, 0, false);
        manager->queueTask(heapTask);
        vx::WaitableEvent* never = manager->fireTask(
            Mode::Control, [&] { ++ran; }, true, 0);
        // The busy workers are let go only once the shutdown destroys the queued
        // tasks: this one's function holds the last reference to the opener.
        struct OpenOnRelease
        {
            explicit OpenOnRelease(Gate& latch) : gate(latch) {}
            ~OpenOnRelease() { gate.open(); }
            Gate& gate;
        };
        auto opener = std::make_shared<OpenOnRelease>(gate);
        manager->fireTask(
            Mode::Threaded, [opener, &ran] { ++ran; }, false, 0);
        opener.reset();

        manager.reset();
        EXPECT_EQ(ran, 0);
        EXPECT_FALSE(never->waitForTrigger(0));
        delete never;
    }

    // Tasks that wait for one another can only finish when each has a worker
    // of its own: queued in a burst while the workers sleep, they must bring
    // every worker in, however few were woken at first.
    struct WorkerCountCase
    {
        const char* name;
        unsigned char workers;
    };

    class TaskManagerLongTasks : public testing::TestWithParam<WorkerCountCase>
    {
    };

    TEST_P(TaskManagerLongTasks, EveryWorkerJoinsInForTasksThatWaitForEachOther)
    {
        const int count = GetParam().workers;
        vx::TaskManager manager(GetParam().workers);
        ASSERT_TRUE(waitUntil([&] { return allSleeping(manager); }));
        std::atomic<int> entered{0};
        std::atomic<int> metAll{0};
        std::vector<std::unique_ptr<vx::WaitableEvent>> done;
        for (int i = 0; i < count; ++i)
            done.emplace_back(manager.fireTask(
                Mode::Threaded,
                [&]
                {
                    ++entered;
                    if (waitUntil([&] { return entered.load() == count; }))
                        ++metAll;
                },
                true, 0));
        for (const auto& event : done)
            ASSERT_TRUE(event->waitForTrigger(60000));
        EXPECT_EQ(metAll.load(), count) << "tasks ran one after another, not side by side";
    }

    INSTANTIATE_TEST_SUITE_P(Workers, TaskManagerLongTasks,
                             testing::Values(WorkerCountCase{"Two", 2}, WorkerCountCase{"Four", 4},
                                             WorkerCountCase{"Eight", 8}),
                             [](const testing::TestParamInfo<WorkerCountCase>& info) { return info.param.name; });

    // A task still running when the manager goes is let finish, however long
    // it takes: its side effect and its completion event both happen, also
    // when its last step is a destructor that blocks.
    struct LongTaskCase
    {
        const char* name;
        bool blockInDestructor;
    };

    class TaskManagerShutdown : public testing::TestWithParam<LongTaskCase>
    {
    };

    // Well past the 250 ms a stop used to wait before cancelling the worker.
    constexpr std::chrono::milliseconds longTaskLength{400};

    TEST_P(TaskManagerShutdown, RunningTaskFinishesBeforeTheWorkerStops)
    {
        struct SlowToDestroy
        {
            explicit SlowToDestroy(std::atomic<bool>& flag) : finished(flag) {}
            ~SlowToDestroy()
            {
                std::this_thread::sleep_for(longTaskLength);
                finished = true;
            }
            std::atomic<bool>& finished;
        };

        const bool inDestructor = GetParam().blockInDestructor;
        std::atomic<bool> finished{false};
        vx::WaitableEvent entered;
        auto manager = std::make_unique<vx::TaskManager>(2);
        vx::WaitableEvent* done = manager->fireTask(
            Mode::Threaded,
            [&]
            {
                entered.trigger();
                if (inDestructor)
                {
                    SlowToDestroy last(finished);
                    return;
                }
                std::this_thread::sleep_for(longTaskLength);
                finished = true;
            },
            true, 0);
        ASSERT_TRUE(entered.waitForTrigger(30000));
        manager.reset();
        EXPECT_TRUE(finished);
        EXPECT_TRUE(done->waitForTrigger(0)) << "the completion event was not triggered";
        delete done;
    }

    INSTANTIATE_TEST_SUITE_P(LongTasks, TaskManagerShutdown,
                             testing::Values(LongTaskCase{"SleepsInItsBody", false},
                                             LongTaskCase{"SleepsInADestructor", true}),
                             [](const testing::TestParamInfo<LongTaskCase>& info) { return info.param.name; });

    TEST(TaskManager, PoolChainsPastItsThousandSlots)
    {
        vx::TaskManager manager(1);
        std::vector<vx::Task*> tasks;
        std::set<vx::Task*> distinct;
        int ran = 0;
        for (int i = 0; i < 2600; ++i)
        {
            vx::Task* task = manager.constructTask(
                Mode::Control, 0, [&] { ++ran; }, false);
            ASSERT_NE(task, nullptr) << i;
            tasks.push_back(task);
            distinct.insert(task);
        }
        EXPECT_EQ(distinct.size(), tasks.size());
        for (vx::Task* task : tasks)
            manager.queueTask(task);
        manager.executeTasks(Mode::Control, 0.0);
        EXPECT_EQ(ran, 2600);

        // Slots of every chained pool come back: the next round reuses them
        // instead of growing the chain.
        tasks.clear();
        for (int i = 0; i < 2600; ++i)
        {
            tasks.push_back(manager.constructTask(Mode::Control, 0, nullptr, false));
            distinct.erase(tasks.back());
        }
        EXPECT_TRUE(distinct.empty()) << distinct.size() << " slots not reused";
        for (vx::Task* task : tasks)
            manager.destructTask(task);
    }

    TEST(TaskManager, UnqueueRunsIfAskedAndAnswersWhetherQueued)
    {
        vx::TaskManager manager(1);
        int ran = 0;
        vx::Task* task = manager.constructTask(
            Mode::Input, 0, [&] { ++ran; }, false);
        vx::Task* other = manager.constructTask(
            Mode::Input, 0, [&] { ran += 10; }, false);
        manager.queueTask(task);
        manager.queueTask(other);
        EXPECT_TRUE(manager.unqueueTask(*task, true));
        EXPECT_EQ(ran, 1);
        EXPECT_TRUE(manager.unqueueTask(*other, false));
        EXPECT_EQ(ran, 1);
        EXPECT_EQ(manager.getNumPendingTasks(Mode::Input), 0u);

        vx::Task* never = manager.constructTask(
            Mode::Input, 0, [&] { ++ran; }, false);
        EXPECT_FALSE(manager.unqueueTask(*never, true));
        EXPECT_EQ(ran, 1);
        manager.destructTask(never);
        manager.destructTask(nullptr);
        manager.destructTask(new vx::Task(nullptr, Mode::Input, 0, false)); // heap task: deleted
    }

    TEST(TaskManager, ModeNamingNoQueueIsRefusedWithLogLine)
    {
        vx::test::LogRecorder log;
        vx::TaskManager manager(1);
        const Mode bogus = Mode(vx::numTaskThreadModes);
        int ran = 0;
        EXPECT_EQ(manager.fireTask(
                      bogus, [&] { ++ran; }, true, 0),
                  nullptr);
        vx::Task* task = manager.constructTask(
            Mode::Control, 0, [&] { ++ran; }, false);
        task->setThreadMode(bogus);
        manager.queueTask(task); // stays with the caller
        EXPECT_FALSE(manager.unqueueTask(*task, true));
        EXPECT_FALSE(manager.executeNextTask(bogus, nullptr));
        manager.executeTasks(Mode(-1), 0.0);
        EXPECT_EQ(manager.getNumPendingTasks(bogus), 0u);
        EXPECT_EQ(ran, 0);
        EXPECT_EQ(log.count(vx::logError), 6u) << log.dump();
        EXPECT_TRUE(log.contains("ERROR: TaskManager::queueTask: no task queue for thread mode 6")) << log.dump();
        manager.destructTask(task);
    }

    TEST(TaskManager, CurrentManagerIsClearedWhenItGoes)
    {
        {
            vx::TaskManager manager(1);
            vx::TaskManager::setCurrent(&manager);
            EXPECT_EQ(vx::TaskManager::getCurrent(), &manager);
        }
        EXPECT_EQ(vx::TaskManager::getCurrent(), nullptr);
    }

} // namespace
