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
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
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

        // Ends the binary instead of letting it hang when the guarded scope
        // (a destructor that used to wait for ever) does not end.
        class Watchdog
        {
        public:
            explicit Watchdog(const char* what)
                : thread(
                      [this, what]
                      {
                          std::unique_lock<std::mutex> hold(lock);
                          if (! changed.wait_for(hold, std::chrono::seconds(30), [this] { return finished; }))
                          {
                              std::fprintf(stderr, "Watchdog: %s did not end; aborting the run\n", what);
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
                changed.notify_all();
                thread.join();
            }

        private:
            std::mutex lock;
            std::condition_variable changed;
            bool finished = false;
            std::thread thread;
        };

        // Names the calling thread the message or render thread for a scope.
        class ScopedThreadRole
        {
        public:
            explicit ScopedThreadRole(void*& role) : role(role), saved(role) { role = Thread::getCurrentThreadID(); }
            ~ScopedThreadRole() { role = saved; }
            ScopedThreadRole(const ScopedThreadRole&) = delete;
            ScopedThreadRole& operator=(const ScopedThreadRole&) = delete;

        private:
            void*& role;
            void* const saved;
        };

        // What became of the messages of one test.
        struct Journal
        {
            std::atomic<int> created{0};
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
                journal.created.fetch_add(1);
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

        // Destruction ends on any thread, whoever drains which queue: messages
        // still queued for another thread are deleted unapplied, and their
        // tasks, run later, touch nothing of the controller.
        enum class DestroyedOn
        {
            messageThread,
            renderThread,
            otherThread
        };

        struct ShutdownCase
        {
            const char* name;
            unsigned int affinity;
            TaskThreadMode queue;
            DestroyedOn destroyedOn;
        };

        class InputControllerShutdown : public ::testing::TestWithParam<ShutdownCase>
        {
        };

        TEST_P(InputControllerShutdown, DropsWhatIsQueuedForOtherThreads)
        {
            const ShutdownCase& c = GetParam();
            TaskManager manager(1);
            Param<int> target("Target", 0);
            target.setThreadAffinity(ParamBase::ThreadAffinity(c.affinity));
            Journal journal;
            CountingListener listener;
            auto* controller = new InputController(manager);
            controller->addListener(listener, false);
            std::thread pusher(
                [&]
                {
                    for (int i = 0; i < 3; ++i)
                        controller->pushMessage(new RecordingMessage(&target, journal));
                });
            pusher.join();
            EXPECT_EQ(controller->getNumPendingMessages(), 3);
            {
                std::unique_ptr<ScopedThreadRole> role;
                if (c.destroyedOn == DestroyedOn::messageThread)
                    role = std::make_unique<ScopedThreadRole>(Thread::messageThreadID);
                else if (c.destroyedOn == DestroyedOn::renderThread)
                    role = std::make_unique<ScopedThreadRole>(Thread::renderThreadID);
                const Watchdog watchdog("~InputController with messages queued for another thread");
                delete controller;
            }
            EXPECT_EQ(journal.deleted.load(), 3) << "dropped by the destructor";
            manager.executeTasks(c.queue, 0.0);
            EXPECT_EQ(journal.applied.load(), 0);
            EXPECT_TRUE(listener.seen().empty());
        }

        INSTANTIATE_TEST_SUITE_P(
            Affinities, InputControllerShutdown,
            ::testing::Values(
                ShutdownCase{"MessageParamOnTheMessageThread", 1, TaskThreadMode::Message, DestroyedOn::messageThread},
                ShutdownCase{"RenderParamOnTheRenderThread", 2, TaskThreadMode::Renderer, DestroyedOn::renderThread},
                ShutdownCase{"RenderParamOnTheMessageThread", 2, TaskThreadMode::Renderer, DestroyedOn::messageThread},
                ShutdownCase{"ControlParamOnAnotherThread", 4, TaskThreadMode::Control, DestroyedOn::otherThread}),
            [](const auto& info) { return std::string(info.param.name); });

        // The message the input thread applies when destruction starts runs to
        // its end, however long (the thread is asked to stop, never
        // cancelled), and listeners hear of it; a message it pushes meanwhile
        // is refused.
        TEST(InputControllerLifetime, RunningMessageFinishesAndItsPushesAreRefused)
        {
            TaskManager manager(1);
            Param<int> target("Target", 0);
            Journal journal;
            CountingListener listener;
            auto* controller = new InputController(manager);
            controller->addListener(listener, false);
            std::atomic<bool> destroying{false};
            std::atomic<bool> finished{false};
            WaitableEvent first;
            controller->pushMessage(
                new RecordingMessage(&target, journal,
                                     [&]
                                     {
                                         first.trigger();
                                         while (! destroying.load())
                                             std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                         // The destructor is closing the controller now.
                                         std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                         controller->pushMessage(new RecordingMessage(&target, journal));
                                         // Longer than any bounded stop would wait.
                                         std::this_thread::sleep_for(std::chrono::milliseconds(600));
                                         finished = true;
                                     }));
            ASSERT_TRUE(first.waitForTrigger(30000));
            destroying = true;
            {
                const Watchdog watchdog("~InputController while its thread applies a message");
                delete controller;
            }
            EXPECT_TRUE(finished.load());
            EXPECT_EQ(journal.applied.load(), 1);
            EXPECT_EQ(journal.deleted.load(), 2) << "the message pushed during destruction is deleted";
            EXPECT_EQ(listener.seen().size(), 1u);
        }

        // A message applied on the input thread deletes the controller: the
        // thread cannot join itself, so it is asked to stop and ends once the
        // message returns; nothing touches the freed controller.
        TEST(InputControllerLifetime, DeletedFromAMessageOnItsOwnInputThread)
        {
            TaskManager manager(1);
            Param<int> target("Target", 0);
            Journal journal;
            test::LogRecorder log;
            auto* controller = new InputController(manager);
            WaitableEvent deleted;
            controller->pushMessage(new RecordingMessage(&target, journal,
                                                         [&]
                                                         {
                                                             delete controller;
                                                             deleted.trigger();
                                                         }));
            ASSERT_TRUE(deleted.waitForTrigger(30000));
            ASSERT_TRUE(waitFor([&] { return journal.deleted.load() == 1; }));
            EXPECT_EQ(journal.applied.load(), 1);
            EXPECT_TRUE(log.contains("deleted on its own input thread")) << log.dump();
            // Its successor works; its destructor deletes the orphan once ended.
            InputController next(manager);
            next.pushMessage(new RecordingMessage(&target, journal));
            EXPECT_TRUE(waitFor([&] { return journal.applied.load() == 2; }));
        }

        void pushChain(InputController* controller, const std::vector<ParamBase*>& targets, size_t step,
                       Journal& journal)
        {
            controller->pushMessage(new RecordingMessage(targets[step % targets.size()], journal,
                                                         [controller, &targets, step, &journal]
                                                         { pushChain(controller, targets, step + 1, journal); }));
        }

        // Messages applied on four threads keep pushing the next one while the
        // controller is destroyed: every message made is deleted exactly once,
        // and nothing touches the controller after it went.
        TEST(InputControllerLifetime, DestructionAmidPushesFromEveryThreadLosesNothing)
        {
            TaskManager manager(1);
            std::vector<std::unique_ptr<Param<int>>> params;
            std::vector<ParamBase*> targets;
            for (const auto affinity :
                 {ParamBase::ThreadAffinity_Default, ParamBase::ThreadAffinity_MessageThread,
                  ParamBase::ThreadAffinity_RenderThread, ParamBase::ThreadAffinity_ControlThread})
            {
                params.push_back(std::make_unique<Param<int>>("Target", 0));
                params.back()->setThreadAffinity(affinity);
                targets.push_back(params.back().get());
            }
            Journal journal;
            {
                QueueDrainer message(manager, TaskThreadMode::Message);
                QueueDrainer render(manager, TaskThreadMode::Renderer);
                QueueDrainer control(manager, TaskThreadMode::Control);
                auto* controller = new InputController(manager);
                for (size_t chain = 0; chain < 8; ++chain)
                    pushChain(controller, targets, chain, journal);
                ASSERT_TRUE(waitFor([&] { return journal.applied.load() >= 200; }));
                const Watchdog watchdog("~InputController amid pushes");
                delete controller;
                EXPECT_EQ(journal.deleted.load(), journal.created.load()) << "nothing left once it returned";
            }
            EXPECT_EQ(journal.deleted.load(), journal.created.load());
            EXPECT_GE(journal.applied.load(), 200);
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
