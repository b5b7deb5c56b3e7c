#include "core/VXAsyncUpdatable.h"
#include "core/VXBroadcaster.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Listener lists changed from callbacks while other threads broadcast. The
// locks involved are invisible to ThreadSanitizer's deadlock detector, so every
// scenario runs on real threads under a watchdog.
namespace
{

    struct Listener
    {
        virtual ~Listener() = default;
        virtual void changed() {}
        virtual void valueSet(int) {}
    };

    using Announcer = vx::Broadcaster<Listener>;

    // Aborts the binary when the scenario has not finished after 30 s: the
    // threads it started are stuck and cannot be joined.
    class Watchdog
    {
    public:
        explicit Watchdog(std::string scenarioName)
            : name(std::move(scenarioName)),
              thread(
                  [this]
                  {
                      std::unique_lock<std::mutex> hold(lock);
                      if (! condition.wait_for(hold, std::chrono::seconds(30), [this] { return finished; }))
                      {
                          std::fprintf(stderr, "%s: deadlocked (no end after 30 s)\n", name.c_str());
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
            condition.notify_all();
            thread.join();
        }

    private:
        std::string name;
        std::mutex lock;
        std::condition_variable condition;
        bool finished = false;
        std::thread thread;
    };

    // Polls until the condition holds; false after the fail-safe bound.
    bool waitUntil(const std::function<bool()>& condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (! condition())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // Delivers at once like the default implementation, counting triggers so a
    // test can tell when a second thread has reached its delivery.
    struct CountingImpl : vx::AsyncUpdatableImpl
    {
        using vx::AsyncUpdatableImpl::AsyncUpdatableImpl;
        using vx::AsyncUpdatableImpl::triggerAsyncUpdateDerived;
        void triggerAsyncUpdateDerived() override
        {
            ++triggers;
            owner.asyncCallback();
        }
        void cancelPendingUpdateDerived() override {}
        static inline std::atomic<int> triggers{0};
    };

    vx::AsyncUpdatableImpl* createCounting(vx::AsyncUpdatable& owner)
    {
        return new CountingImpl(owner);
    }

    struct Action : Listener
    {
        void changed() override
        {
            ++calls;
            if (onChanged)
                onChanged();
        }
        void valueSet(int) override { ++calls; }

        std::atomic<int> calls{0};
        std::function<void()> onChanged;
    };

    struct DeliveryCase
    {
        const char* name;
        bool removeInsteadOfAdd;  // what the delivered callback does to the lists
        bool fromSynchronousPass; // the second thread's deferred broadcast starts inside a synchronous callback
    };

    class BroadcasterDelivery : public testing::TestWithParam<DeliveryCase>
    {
    protected:
        void SetUp() override
        {
            previous = vx::AsyncUpdatableImpl::creationFunc;
            vx::AsyncUpdatableImpl::creationFunc = &createCounting;
            CountingImpl::triggers = 0;
        }
        void TearDown() override { vx::AsyncUpdatableImpl::creationFunc = previous; }

        vx::AsyncUpdatableImpl::CreationFunc previous = nullptr;
    };

    // One thread delivers a deferred call whose callback changes the lists while
    // a second thread is inside a deferred broadcast of its own (and so waits
    // for the first one's delivery to end).
    TEST_P(BroadcasterDelivery, CallbackChangesListsWhileAnotherThreadBroadcasts)
    {
        const DeliveryCase& c = GetParam();
        Watchdog watchdog(c.name);
        Announcer announcer;
        Action mutator;
        Action extra;
        Action trigger; // synchronous; starts the second thread's deferred broadcast
        announcer.addListener(mutator, true);
        if (c.removeInsteadOfAdd)
            announcer.addListener(extra, true);

        std::atomic<bool> inDelivery{false};
        mutator.onChanged = [&]
        {
            if (inDelivery.exchange(true))
                return;
            // The second thread's trigger comes after its record is queued.
            EXPECT_TRUE(waitUntil([] { return CountingImpl::triggers.load() >= 2; }));
            if (c.removeInsteadOfAdd)
                EXPECT_TRUE(announcer.removeListener(extra));
            else
                EXPECT_TRUE(announcer.addListener(extra, true));
        };
        trigger.onChanged = [&] { announcer.callListeners<int>(&Listener::valueSet, 2, vx::CallType::onlyAsync); };

        std::thread delivering([&] { announcer.callListeners(&Listener::changed, vx::CallType::onlyAsync); });
        ASSERT_TRUE(waitUntil([&] { return inDelivery.load(); }));
        std::thread broadcasting(
            [&]
            {
                if (c.fromSynchronousPass)
                {
                    announcer.addListener(trigger, false);
                    announcer.callListeners(&Listener::changed, vx::CallType::onlySync);
                }
                else
                {
                    announcer.callListeners<int>(&Listener::valueSet, 2, vx::CallType::onlyAsync);
                }
            });
        delivering.join();
        broadcasting.join();

        // Both records reached the lists as they stood after the change (an
        // added listener is called later in the same pass).
        EXPECT_EQ(mutator.calls, 2);
        EXPECT_EQ(extra.calls, c.removeInsteadOfAdd ? 0 : 2);
    }

    INSTANTIATE_TEST_SUITE_P(Scenarios, BroadcasterDelivery,
                             testing::Values(DeliveryCase{"AddWhileOtherBroadcasts", false, false},
                                             DeliveryCase{"RemoveWhileOtherBroadcasts", true, false},
                                             DeliveryCase{"AddWhileOtherBroadcastsFromCallback", false, true},
                                             DeliveryCase{"RemoveWhileOtherBroadcastsFromCallback", true, true}),
                             [](const auto& info) { return std::string(info.param.name); });

    // Two threads in synchronous passes at once, inside the same one-shot
    // listeners, each of which removes itself.
    TEST(BroadcasterThreads, OneShotListenersRemoveThemselvesInConcurrentPasses)
    {
        Watchdog watchdog("OneShotListenersRemoveThemselvesInConcurrentPasses");
        Announcer announcer;
        std::barrier bothInside(2);
        struct OneShot : Listener
        {
            void changed() override
            {
                ++calls;
                inside->arrive_and_wait(); // the other thread's pass is in here too
                owner->removeListener(*this);
            }
            Announcer* owner = nullptr;
            std::barrier<>* inside = nullptr;
            std::atomic<int> calls{0};
        };
        OneShot first;
        OneShot second;
        for (OneShot* listener : {&first, &second})
        {
            listener->owner = &announcer;
            listener->inside = &bothInside;
            announcer.addListener(*listener, false);
        }

        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&] { announcer.callListeners(&Listener::changed, vx::CallType::onlySync); });
        for (std::thread& thread : threads)
            thread.join();

        EXPECT_EQ(first.calls, 2);
        EXPECT_EQ(second.calls, 2);
        EXPECT_FALSE(announcer.removeListener(first));
        EXPECT_FALSE(announcer.removeListener(second));
    }

    // Outside any callback, removal returns only once passes running elsewhere
    // have ended, so the caller may then destroy the listener.
    TEST(BroadcasterThreads, RemovalOutsideCallbacksWaitsForPassesElsewhere)
    {
        Watchdog watchdog("RemovalOutsideCallbacksWaitsForPassesElsewhere");
        Announcer announcer;
        auto busy = std::make_unique<Action>();
        std::atomic<bool> entered{false};
        std::atomic<bool> release{false};
        busy->onChanged = [&]
        {
            entered = true;
            while (! release)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        announcer.addListener(*busy, false);
        std::thread passing([&] { announcer.callListeners(&Listener::changed, vx::CallType::onlySync); });
        ASSERT_TRUE(waitUntil([&] { return entered.load(); }));

        std::atomic<bool> removed{false};
        std::thread removing(
            [&]
            {
                EXPECT_TRUE(announcer.removeListener(*busy));
                removed = true;
            });
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // a chance to return too early
        EXPECT_FALSE(removed) << "returned while a pass was still inside the listener";
        release = true;
        removing.join();
        passing.join();
        busy.reset();
        announcer.callListeners(&Listener::changed, vx::CallType::onlySync);
    }

    // Seeded random run: threads broadcast synchronously and deferred while
    // callbacks add, remove, or remove and re-add listeners of both lists.
    // Within one synchronous pass no listener is called twice.
    TEST(BroadcasterThreads, RandomListChangesOnManyThreadsKeepOnceEachAndNeverBlock)
    {
        Watchdog watchdog("RandomListChangesOnManyThreadsKeepOnceEachAndNeverBlock");
        const unsigned seed = 5150u;
        constexpr int poolSize = 8;
        Announcer announcer;
        // The thread's generator, and the listeners called in its current pass.
        thread_local std::mt19937* random = nullptr;
        thread_local std::vector<int>* calledInPass = nullptr;

        struct Member : Listener
        {
            void changed() override
            {
                if (calledInPass != nullptr)
                {
                    for (int seen : *calledInPass)
                        EXPECT_NE(seen, index) << "called twice in one pass";
                    calledInPass->push_back(index);
                }
                valueSet(0);
            }
            void valueSet(int) override
            {
                std::this_thread::yield(); // widens the overlap of passes on different threads
                Member& other = *(*pool)[(*random)() % poolSize];
                switch (action.load()) // 0: nothing, 1: remove another, 2: add another, 3: re-add oneself
                {
                    case 1:
                        owner->removeListener(other);
                        break;
                    case 2:
                        owner->addListener(other, other.asynchronous);
                        break;
                    case 3:
                        owner->removeListener(*this);
                        owner->addListener(*this, asynchronous);
                        break;
                }
            }
            int index = 0;
            bool asynchronous = false;
            std::atomic<int> action{0};
            Announcer* owner = nullptr;
            std::vector<std::unique_ptr<Member>>* pool = nullptr;
        };
        std::vector<std::unique_ptr<Member>> pool;
        for (int i = 0; i < poolSize; ++i)
        {
            pool.push_back(std::make_unique<Member>());
            Member& m = *pool.back();
            m.index = i;
            m.asynchronous = i % 2 == 1;
            m.action = i % 4;
            m.owner = &announcer;
            m.pool = &pool;
            announcer.addListener(m, m.asynchronous);
        }

        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back(
                [&, t]
                {
                    std::mt19937 generator(seed + static_cast<unsigned>(t));
                    random = &generator;
                    std::vector<int> called;
                    for (int pass = 0; pass < 3000; ++pass)
                    {
                        called.clear();
                        calledInPass = &called;
                        announcer.callListeners(&Listener::changed, vx::CallType::onlySync);
                        calledInPass = nullptr;
                        announcer.callListeners<int>(&Listener::valueSet, pass, vx::CallType::onlyAsync);
                        if (generator() % 8 == 0)
                            pool[generator() % poolSize]->action = static_cast<int>(generator() % 4);
                    }
                });
        for (std::thread& thread : threads)
            thread.join();
        SUCCEED() << "seed " << seed;
    }

} // namespace
