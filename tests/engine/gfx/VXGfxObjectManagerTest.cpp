#include "engine/gfx/VXGfxObjectManager.h"

#include "core/VXTaskManager.h"
#include "core/VXThread.h"
#include "core/VXWaitableEvent.h"
#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXManagedGfxObject.h"
#include "engine/gfx/VXRenderThread.h"
#include "support/VXLogRecorder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace vx
{
    namespace
    {

        // Counts its release and destruction and where they ran.
        struct Tally
        {
            std::atomic<int> releases{0};
            std::atomic<int> deletions{0};
            std::mutex lock;
            std::set<void*> releaseThreads;
            std::vector<std::string> order;
        };

        class Probe : public GfxObject
        {
        public:
            Probe() = default;
            explicit Probe(Tally* t) : tally(t) {}
            ~Probe() override
            {
                if (tally == nullptr)
                    return;
                ++tally->deletions;
                const std::lock_guard<std::mutex> hold(tally->lock);
                tally->order.push_back("delete");
            }
            void release() override
            {
                GfxObject::release();
                if (tally == nullptr)
                    return;
                ++tally->releases;
                const std::lock_guard<std::mutex> hold(tally->lock);
                tally->releaseThreads.insert(Thread::getCurrentThreadID());
                tally->order.push_back("release");
                if (onRelease)
                    onRelease();
            }
            Tally* tally = nullptr;
            std::function<void()> onRelease;
        };

        // Makes the test's thread the render thread for the test's life.
        class RenderThreadScope
        {
        public:
            RenderThreadScope() : previous(Thread::renderThreadID)
            {
                Thread::renderThreadID = Thread::getCurrentThreadID();
            }
            ~RenderThreadScope() { Thread::renderThreadID = previous; }

        private:
            void* previous;
        };

        class GfxObjectManagerTest : public ::testing::Test
        {
        protected:
            GfxObjectManager manager;
            Tally tally;
        };

        TEST_F(GfxObjectManagerTest, NullIsIgnoredAndAnEmptyQueueLogsNothing)
        {
            test::LogRecorder log;
            manager.addForReleasing(nullptr);
            manager.addForDeletion(std::shared_ptr<GfxObject>());
            manager.addForDeletion(static_cast<GfxObject*>(nullptr));
            EXPECT_EQ(manager.getNumReleasingObjects(), 0);
            EXPECT_FALSE(manager.deleteObjects());
            EXPECT_EQ(log.count(), 0u) << log.dump();
        }

        TEST_F(GfxObjectManagerTest, DeletionReleasesOnceThenDeletesOnce)
        {
            manager.addForDeletion(new Probe(&tally));
            EXPECT_EQ(manager.getNumReleasingObjects(), 1);
            EXPECT_EQ(tally.releases, 0);

            manager.releaseObjects();
            EXPECT_EQ(tally.releases, 1);
            EXPECT_EQ(tally.deletions, 0);
            EXPECT_EQ(manager.getNumDeletingObjects(), 1);

            EXPECT_TRUE(manager.deleteObjects());
            EXPECT_EQ(tally.releases, 1);
            EXPECT_EQ(tally.deletions, 1);
            EXPECT_EQ(tally.order, (std::vector<std::string>{"release", "delete"}));
        }

        TEST_F(GfxObjectManagerTest, ReleaseOnlyKeepsObjectsOthersHold)
        {
            auto held = std::make_shared<Probe>(&tally);
            manager.addForReleasing(held);
            manager.addForReleasing(std::make_shared<Probe>(&tally));
            manager.releaseObjects();
            EXPECT_EQ(tally.releases, 2);
            EXPECT_EQ(tally.deletions, 1) << "the unreferenced one ends with its release";
            EXPECT_EQ(manager.getNumDeletingObjects(), 0);
            held.reset();
            EXPECT_EQ(tally.deletions, 2);
        }

        TEST_F(GfxObjectManagerTest, CleanAllLoopsUntilReleasesStopQueueing)
        {
            // Each release hands another object to the manager, three deep.
            std::function<void(int)> chain = [&](int depth)
            {
                auto* probe = new Probe(&tally);
                if (depth > 0)
                    probe->onRelease = [&, depth] { chain(depth - 1); };
                manager.addForDeletion(probe);
            };
            chain(3);
            manager.cleanAll();
            EXPECT_EQ(tally.releases, 4);
            EXPECT_EQ(tally.deletions, 4);
            EXPECT_EQ(manager.getNumReleasingObjects(), 0);
            EXPECT_EQ(manager.getNumDeletingObjects(), 0);
        }

        TEST_F(GfxObjectManagerTest, ImmediateModeEndsObjectsAtHandOver)
        {
            manager.addForDeletion(new Probe(&tally));
            manager.enableImmediateMode();
            EXPECT_EQ(tally.deletions, 1) << "enabling cleans what was queued";

            manager.addForDeletion(new Probe(&tally));
            EXPECT_EQ(tally.deletions, 2);
            EXPECT_EQ(manager.getNumReleasingObjects(), 0);
            EXPECT_EQ(manager.getNumDeletingObjects(), 0);

            manager.disableImmediateMode();
            manager.addForDeletion(new Probe(&tally));
            EXPECT_EQ(tally.deletions, 2);
            manager.cleanAll();
        }

        TEST_F(GfxObjectManagerTest, EndingTheManagerReleasesWhatIsStillQueued)
        {
            Tally ended;
            {
                GfxObjectManager doomed;
                doomed.addForDeletion(new Probe(&ended));
                doomed.addForReleasing(std::make_shared<Probe>(&ended));
                auto* released = new Probe(&ended);
                doomed.addForDeletion(released);
                doomed.releaseObjects();
                doomed.addForDeletion(new Probe(&ended));
            }
            EXPECT_EQ(ended.releases, 4) << "every queued object is released once before it goes";
            EXPECT_EQ(ended.deletions, 4);
            EXPECT_EQ(ended.order.back(), "delete");
        }

        TEST_F(GfxObjectManagerTest, ReleasingOnTheRenderThreadHappensAtOnce)
        {
            RenderThreadScope renderThread;
            auto held = std::make_shared<Probe>(&tally);
            manager.addForReleasing(held);
            EXPECT_EQ(tally.releases, 1);
            EXPECT_EQ(manager.getNumReleasingObjects(), 0);
        }

        TEST_F(GfxObjectManagerTest, ObjectsFromManyThreadsEndOnTheRenderThread)
        {
            RenderThreadScope renderThread;
            constexpr int threadCount = 4, perThread = 200;
            std::vector<std::thread> threads;
            std::atomic<bool> go{false};
            for (int t = 0; t < threadCount; ++t)
                threads.emplace_back(
                    [&]
                    {
                        while (! go)
                            std::this_thread::yield();
                        for (int i = 0; i < perThread; ++i)
                        {
                            if (i % 2 == 0)
                                manager.addForDeletion(new Probe(&tally));
                            else
                                manager.addForReleasing(std::make_shared<Probe>(&tally));
                        }
                    });
            go = true;
            // The render thread drains while the others queue.
            while (tally.releases < threadCount * perThread)
            {
                manager.releaseObjects();
                manager.deleteObjects();
                std::this_thread::yield();
            }
            for (auto& thread : threads)
                thread.join();
            manager.cleanAll();

            EXPECT_EQ(tally.releases, threadCount * perThread);
            EXPECT_EQ(tally.deletions, threadCount * perThread);
            EXPECT_EQ(tally.releaseThreads, (std::set<void*>{Thread::getCurrentThreadID()}));
        }

        //==============================================================================
        class GfxObjectEngineTest : public ::testing::Test
        {
        protected:
            void TearDown() override
            {
                if (auto* root = Vexkit::getInstanceWithoutCreating())
                {
                    if (auto* manager = root->getGfxObjectManager())
                        manager->cleanAll();
                    root->shutdown();
                }
                Vexkit::deleteInstance();
            }
            Tally tally;
        };

        TEST_F(GfxObjectEngineTest, WithoutAnEngineObjectsEndAtOnce)
        {
            ASSERT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr);
            GfxObject::deleteUsingManager(nullptr);
            RenderThreadScope renderThread;
            GfxObject::deleteUsingManager(new Probe(&tally));
            EXPECT_EQ(tally.releases, 1);
            EXPECT_EQ(tally.deletions, 1);
            EXPECT_EQ(Vexkit::getInstanceWithoutCreating(), nullptr) << "no root is made on the way";

            {
                ManagedGfxObject<Probe> managed;
                managed->tally = &tally;
                managed.managedRelease();
                EXPECT_EQ(tally.releases, 2);
            }
            EXPECT_EQ(tally.deletions, 2);
        }

        TEST_F(GfxObjectEngineTest, WithoutAnEngineOffTheRenderThreadTheLossIsLogged)
        {
            test::LogRecorder log;
            std::thread([&] { GfxObject::deleteUsingManager(new Probe(&tally)); }).join();
            EXPECT_EQ(tally.deletions, 1);
            EXPECT_TRUE(log.contains("no GPU-object manager")) << log.dump();
        }

        TEST_F(GfxObjectEngineTest, ManagedObjectsGoThroughTheEngineQueue)
        {
            Vexkit::create(3)->initialise(false);
            auto* manager = Vexkit::getInstanceWithoutCreating()->getGfxObjectManager();
            ASSERT_NE(manager, nullptr);

            Probe* first = nullptr;
            {
                ManagedGfxObject<Probe> managed;
                managed->tally = &tally;
                EXPECT_TRUE(managed->isManaged());
                first = managed.get();

                managed.recreate();
                managed->tally = &tally;
                EXPECT_NE(managed.get(), first);
                EXPECT_EQ(manager->getNumReleasingObjects(), 1);
                EXPECT_EQ(tally.deletions, 0) << "the old object waits for the render thread";

                managed.managedRelease();
                EXPECT_TRUE(managed->isManagedReleaseCalled());
                EXPECT_EQ(manager->getNumReleasingObjects(), 2);
            }
            EXPECT_EQ(manager->getNumReleasingObjects(), 3);
            manager->cleanAll();
            EXPECT_EQ(tally.deletions, 2);
            EXPECT_EQ(tally.releases, 3);

            GfxObject::deleteUsingManager(new Probe(&tally));
            EXPECT_EQ(manager->getNumReleasingObjects(), 1);
            manager->cleanAll();
            EXPECT_EQ(tally.deletions, 3);
        }

        //==============================================================================
        TEST(RenderThreadTest, OnTheRenderThreadRunsAtOnce)
        {
            RenderThreadScope renderThread;
            int runs = 0;
            WaitableEvent* done = RenderThread::execute([&] { ++runs; }, true, 0);
            ASSERT_NE(done, nullptr);
            EXPECT_TRUE(done->waitForTrigger(0));
            delete done;
            EXPECT_EQ(RenderThread::execute([&] { ++runs; }, false, 0), nullptr);
            RenderThread::executeNow([&] { ++runs; });
            EXPECT_EQ(runs, 3);
        }

        TEST(RenderThreadTest, WithoutTaskManagerOtherThreadsAreRefusedWithALogLine)
        {
            ASSERT_EQ(TaskManager::getCurrent(), nullptr);
            test::LogRecorder log;
            int runs = 0;
            std::thread(
                [&]
                {
                    EXPECT_EQ(RenderThread::execute([&] { ++runs; }, true, 0), nullptr);
                    RenderThread::executeNow([&] { ++runs; });
                })
                .join();
            EXPECT_EQ(runs, 0);
            EXPECT_EQ(log.count(logError), 2u) << log.dump();
        }

        TEST(RenderThreadTest, OtherThreadsQueueOnTheRendererQueue)
        {
            RenderThreadScope renderThread;
            TaskManager tasks(1);
            TaskManager::setCurrent(&tasks);
            std::atomic<void*> ranOn{nullptr};
            std::thread caller([&] { RenderThread::executeNow([&] { ranOn = Thread::getCurrentThreadID(); }); });
            while (ranOn == nullptr)
            {
                tasks.executeTasks(TaskThreadMode::Renderer, 0.0);
                std::this_thread::yield();
            }
            caller.join();
            TaskManager::setCurrent(nullptr);
            EXPECT_EQ(ranOn.load(), Thread::getCurrentThreadID());
        }

    } // namespace
} // namespace vx
