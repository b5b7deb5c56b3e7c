#include "engine/gui/VXInputController.h"

#include "core/VXTaskManager.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"
#include "core/parameters/VXParam.h"
#include "engine/gui/VXBaseInputMessage.h"
#include "engine/gui/VXInputThread.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vx
{
    namespace
    {
        using Clock = std::chrono::steady_clock;

        std::string threadName()
        {
            char name[32] = {};
            pthread_getname_np(pthread_self(), name, sizeof(name));
            return name;
        }

        bool waitFor(const std::function<bool()>& condition)
        {
            const auto deadline = Clock::now() + std::chrono::seconds(30);
            while (! condition() && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return condition();
        }

        // What became of the messages of one test.
        struct Journal
        {
            std::atomic<int> applied{0};
            std::atomic<int> deleted{0};
            std::mutex lock;
            std::vector<std::thread::id> applyThreads;
            std::vector<std::string> applyThreadNames;
        };

        class RecordingMessage : public BaseInputMessage
        {
        public:
            RecordingMessage(ParamBase* target, Journal& journal, std::function<void()> onApply = {})
                : BaseInputMessage(target), journal(journal), onApply(std::move(onApply))
            {
            }
            ~RecordingMessage() override { journal.deleted.fetch_add(1); }
            void apply() override
            {
                {
                    std::lock_guard<std::mutex> hold(journal.lock);
                    journal.applyThreads.push_back(std::this_thread::get_id());
                    journal.applyThreadNames.push_back(threadName());
                }
                if (onApply)
                    onApply();
                journal.applied.fetch_add(1);
            }

        private:
            Journal& journal;
            std::function<void()> onApply;
        };

        class CountingListener : public InputControllerListener
        {
        public:
            void inputMessageHandled(BaseInputMessage* message) override
            {
                EXPECT_NE(message, nullptr);
                std::lock_guard<std::mutex> hold(lock);
                threads.push_back(std::this_thread::get_id());
            }
            std::vector<std::thread::id> seen()
            {
                std::lock_guard<std::mutex> hold(lock);
                return threads;
            }

        private:
            std::mutex lock;
            std::vector<std::thread::id> threads;
        };

        // A thread draining one task queue, as a host's message, render or
        // control loop would.
        class QueueDrainer
        {
        public:
            QueueDrainer(TaskManager& manager, TaskThreadMode mode)
                : worker(
                      [this, &manager, mode]
                      {
                          while (! stopFlag.load())
                          {
                              manager.executeTasks(mode, 0.0);
                              std::this_thread::sleep_for(std::chrono::milliseconds(1));
                          }
                      })
            {
            }
            ~QueueDrainer()
            {
                stopFlag = true;
                worker.join();
            }
            std::thread::id id() const { return worker.get_id(); }

        private:
            std::atomic<bool> stopFlag{false};
            std::thread worker;
        };

        class InputControllerTest : public ::testing::Test
        {
        protected:
            void SetUp() override { controller.addListener(listener, false); }
            void TearDown() override { controller.removeListener(listener); }

            ParamBase* targetWith(ParamBase::ThreadAffinity affinity)
            {
                params.push_back(std::make_unique<Param<int>>("Target", 0));
                params.back()->setThreadAffinity(affinity);
                return params.back().get();
            }

            TaskManager manager{1};
            std::vector<std::unique_ptr<ParamBase>> params;
            Journal journal;
            CountingListener listener;
            InputController controller{manager};
        };

        struct RouteCase
        {
            const char* name;
            unsigned int affinity;
            TaskThreadMode drainedQueue; // Input: the controller's own thread
        };

        class InputControllerRouting : public InputControllerTest, public ::testing::WithParamInterface<RouteCase>
        {
        };

        TEST_P(InputControllerRouting, AppliesOnTheTargetsThreadAndTellsListenersThere)
        {
            const RouteCase& c = GetParam();
            std::unique_ptr<QueueDrainer> drainer;
            if (c.drainedQueue != TaskThreadMode::Input)
                drainer = std::make_unique<QueueDrainer>(manager, c.drainedQueue);
            ParamBase* target = targetWith(ParamBase::ThreadAffinity(c.affinity));
            constexpr int count = 5;
            for (int i = 0; i < count; ++i)
                controller.pushMessage(new RecordingMessage(target, journal));
            ASSERT_TRUE(waitFor([&] { return journal.deleted.load() == count; }));
            ASSERT_TRUE(waitFor([&] { return controller.getNumPendingMessages() == 0; }));
            EXPECT_EQ(journal.applied.load(), count);
            const auto heard = listener.seen();
            ASSERT_EQ(heard.size(), size_t(count));
            for (int i = 0; i < count; ++i)
            {
                EXPECT_EQ(heard[size_t(i)], journal.applyThreads[size_t(i)]) << "listeners hear on the applying thread";
                if (drainer != nullptr)
                    EXPECT_EQ(journal.applyThreads[size_t(i)], drainer->id());
                else
                    EXPECT_EQ(journal.applyThreadNames[size_t(i)].rfind("Input Contr", 0), 0u)
                        << journal.applyThreadNames[size_t(i)];
            }
        }

        INSTANTIATE_TEST_SUITE_P(Affinities, InputControllerRouting,
                                 ::testing::Values(RouteCase{"DefaultToInputThread", 0, TaskThreadMode::Input},
                                                   RouteCase{"MessageThread", 1, TaskThreadMode::Message},
                                                   RouteCase{"RenderThread", 2, TaskThreadMode::Renderer},
                                                   RouteCase{"ControlThread", 4, TaskThreadMode::Control},
                                                   RouteCase{"UnknownToInputThread", 9, TaskThreadMode::Input}),
                                 [](const auto& info) { return std::string(info.param.name); });

        // On the render (or message) thread itself the message is applied and
        // deleted before pushMessage returns.
        TEST_F(InputControllerTest, OnItsOwnThreadAMessageRunsBeforePushReturns)
        {
            void* const savedRender = Thread::renderThreadID;
            void* const savedMessage = Thread::messageThreadID;
            Thread::renderThreadID = Thread::getCurrentThreadID();
            Thread::messageThreadID = Thread::getCurrentThreadID();
            controller.pushMessage(new RecordingMessage(targetWith(ParamBase::ThreadAffinity_RenderThread), journal));
            EXPECT_EQ(journal.applied.load(), 1);
            EXPECT_EQ(journal.deleted.load(), 1);
            EXPECT_EQ(controller.getNumPendingMessages(), 0);
            controller.pushMessage(new RecordingMessage(targetWith(ParamBase::ThreadAffinity_MessageThread), journal));
            EXPECT_EQ(journal.deleted.load(), 2);
            EXPECT_EQ(listener.seen().size(), 2u);
            EXPECT_EQ(manager.getNumPendingTasks(TaskThreadMode::Renderer), 0u);
            Thread::renderThreadID = savedRender;
            Thread::messageThreadID = savedMessage;
        }

        TEST_F(InputControllerTest, NotDispatchedTargetsAreDroppedUnapplied)
        {
            controller.pushMessage(new RecordingMessage(targetWith(ParamBase::ThreadAffinity_NotDispatched), journal));
            EXPECT_EQ(journal.deleted.load(), 1);
            EXPECT_EQ(journal.applied.load(), 0);
            EXPECT_EQ(controller.getNumPendingMessages(), 0) << "nothing keeps the destructor waiting";
            EXPECT_TRUE(listener.seen().empty());
        }

        // A message without a target is deleted after the log line instead of
        // leaking.
        TEST_F(InputControllerTest, MessagesWithoutTargetAreLoggedAndDeleted)
        {
            test::LogRecorder log;
            controller.pushMessage(nullptr);
            controller.pushMessage(new RecordingMessage(nullptr, journal));
            EXPECT_TRUE(log.contains("Escaped from error in pushMessage("));
            EXPECT_TRUE(log.contains("Input Controller received null message."));
            EXPECT_TRUE(log.contains("Input Controller received message without a target."));
            EXPECT_EQ(log.count(logError), 2u);
            EXPECT_EQ(journal.deleted.load(), 1);
            EXPECT_EQ(journal.applied.load(), 0);
        }

        TEST_F(InputControllerTest, AfterStopMessagesAreDeletedUnapplied)
        {
            controller.stop();
            EXPECT_FALSE(controller.isRunning());
            controller.pushMessage(new RecordingMessage(targetWith(ParamBase::ThreadAffinity_Default), journal));
            EXPECT_EQ(journal.deleted.load(), 1);
            EXPECT_EQ(journal.applied.load(), 0);
        }

        TEST_F(InputControllerTest, ManyThreadsPushingConcurrently)
        {
            ParamBase* target = targetWith(ParamBase::ThreadAffinity_Default);
            constexpr int pushers = 4, each = 100;
            std::vector<std::thread> threads;
            for (int t = 0; t < pushers; ++t)
                threads.emplace_back(
                    [&]
                    {
                        for (int i = 0; i < each; ++i)
                            controller.pushMessage(new RecordingMessage(target, journal));
                    });
            for (auto& t : threads)
                t.join();
            ASSERT_TRUE(waitFor([&] { return journal.deleted.load() == pushers * each; }));
            EXPECT_EQ(journal.applied.load(), pushers * each);
            EXPECT_TRUE(waitFor([&] { return listener.seen().size() == size_t(pushers * each); }));
        }

        // Destruction waits for the messages queued for another thread until
        // that thread has run them.
        TEST(InputControllerLifetime, DestructionWaitsForOtherThreadsMessages)
        {
            TaskManager manager(1);
            Param<int> target("Target", 0);
            target.setThreadAffinity(ParamBase::ThreadAffinity_ControlThread);
            Journal journal;
            auto* controller = new InputController(manager);
            for (int i = 0; i < 3; ++i)
                controller->pushMessage(new RecordingMessage(&target, journal));
            std::atomic<bool> destroyed{false};
            std::thread destroyer(
                [&]
                {
                    delete controller;
                    destroyed = true;
                });
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            EXPECT_FALSE(destroyed.load()) << "the control thread has not run them yet";
            EXPECT_EQ(journal.applied.load(), 0);
            while (! destroyed.load())
            {
                manager.executeTasks(TaskThreadMode::Control, 0.0);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            destroyer.join();
            EXPECT_EQ(journal.applied.load(), 3);
            EXPECT_EQ(journal.deleted.load(), 3);
        }

        // A message that reaches the Input queue while the input thread is
        // stopping would be left there with the destructor waiting for it
        // for ever: the destructor runs it itself.
        TEST(InputControllerLifetime, MessagesQueuedDuringShutdownAreDrained)
        {
            TaskManager manager(1);
            Param<int> target("Target", 0);
            Journal journal;
            auto* controller = new InputController(manager);
            std::atomic<bool> destroying{false};
            WaitableEvent first;
            controller->pushMessage(
                new RecordingMessage(&target, journal,
                                     [&]
                                     {
                                         first.trigger();
                                         while (! destroying.load())
                                             std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                         // The destructor is asking the thread to stop now.
                                         std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                         controller->pushMessage(new RecordingMessage(&target, journal));
                                     }));
            ASSERT_TRUE(first.waitForTrigger(30000));
            destroying = true;
            delete controller;
            EXPECT_EQ(journal.applied.load(), 2);
            EXPECT_EQ(journal.deleted.load(), 2);
        }

        TEST(InputThreadTest, RunsOnTheInputControllersThread)
        {
            TaskManager manager(1);
            TaskManager::setCurrent(&manager);
            {
                InputController controller(manager);
                std::string ranOn;
                InputThread::executeNow([&] { ranOn = threadName(); });
                EXPECT_EQ(ranOn.rfind("Input Contr", 0), 0u) << ranOn;
            }
            TaskManager::setCurrent(nullptr);
        }

    } // namespace
} // namespace vx
