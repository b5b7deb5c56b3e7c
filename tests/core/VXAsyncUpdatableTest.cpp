#include "core/VXAsyncUpdatable.h"
#include "core/VXAsyncQueue.h"
#include "core/VXAsyncScheduler.h"
#include "core/VXSignal.h"
#include "core/VXThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace
{

    struct Counting : vx::AsyncUpdatable
    {
        ~Counting() override { cleanup(); }
        void asyncCallback() override
        {
            ++calls;
            if (onCallback)
                onCallback();
        }
        std::atomic<int> calls{0};
        std::function<void()> onCallback;
    };

    // Never calls back; only counts what it was asked.
    struct HoldingImpl : vx::AsyncUpdatableImpl
    {
        using vx::AsyncUpdatableImpl::AsyncUpdatableImpl;
        void triggerAsyncUpdateDerived(unsigned int delayMs) override { lastDelay = static_cast<int>(delayMs); }
        void triggerAsyncUpdateDerived() override { ++triggers; }
        void cancelPendingUpdateDerived() override { ++cancels; }
        static inline int triggers = 0;
        static inline int cancels = 0;
        static inline int lastDelay = -1;
    };

    vx::AsyncUpdatableImpl* createHolding(vx::AsyncUpdatable& owner)
    {
        return new HoldingImpl(owner);
    }

    TEST(AsyncUpdatable, DefaultImplementationCallsBackBeforeReturning)
    {
        ASSERT_EQ(vx::AsyncUpdatableImpl::creationFunc, &vx::createDummy);
        Counting updatable;
        updatable.triggerAsyncUpdate();
        EXPECT_EQ(updatable.calls, 1);
        updatable.triggerAsyncUpdate(2500);
        EXPECT_EQ(updatable.calls, 2);
        updatable.cancelPendingUpdate();
        EXPECT_EQ(updatable.calls, 2);
    }

    TEST(AsyncUpdatable, FactoryDecidesOnlyForObjectsMadeAfterIt)
    {
        Counting before;
        const vx::AsyncUpdatableImpl::CreationFunc previous = vx::AsyncUpdatableImpl::creationFunc;
        vx::AsyncUpdatableImpl::creationFunc = &createHolding;
        HoldingImpl::triggers = HoldingImpl::cancels = 0;
        {
            Counting after;
            vx::AsyncUpdatableImpl::creationFunc = previous;
            after.triggerAsyncUpdate();
            after.triggerAsyncUpdate(40);
            EXPECT_EQ(after.calls, 0);
            EXPECT_EQ(HoldingImpl::triggers, 1);
            EXPECT_EQ(HoldingImpl::lastDelay, 40);
            after.cancelPendingUpdate();
            EXPECT_EQ(HoldingImpl::cancels, 1);
        }
        EXPECT_EQ(HoldingImpl::cancels, 2) << "the destructor's cleanup cancels";
        before.triggerAsyncUpdate();
        EXPECT_EQ(before.calls, 1);
    }

    // Drains only when the test says so.
    struct TestScheduler : vx::AsyncScheduler
    {
        void updatableAdded(vx::AsyncUpdatable&) override { ++added; }
        void stopHandling() override {}
        std::atomic<int> added{0};
    };

    TEST(AsyncScheduler, DrainCallsEachEntryInArrivalOrderIncludingLateOnes)
    {
        TestScheduler scheduler;
        std::vector<std::string> order;
        Counting first;
        Counting second;
        Counting late;
        first.onCallback = [&]
        {
            order.push_back("first");
            if (first.calls == 1)
                scheduler.addAsyncUpdatable(&late);
        };
        second.onCallback = [&] { order.push_back("second"); };
        late.onCallback = [&] { order.push_back("late"); };

        scheduler.addAsyncUpdatable(&first);
        scheduler.addAsyncUpdatable(&second);
        scheduler.addAsyncUpdatable(&first);
        EXPECT_EQ(scheduler.added, 3);
        EXPECT_TRUE(order.empty());

        scheduler.handleAsyncUpdateInternal();
        EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "first", "late"}));
        scheduler.handleAsyncUpdateInternal();
        EXPECT_EQ(order.size(), 4u);
    }

    TEST(AsyncScheduler, RemovalWithdrawsEveryQueuedEntry)
    {
        TestScheduler scheduler;
        Counting removed;
        Counting kept;
        for (int i = 0; i < 3; ++i)
            scheduler.addAsyncUpdatable(&removed);
        scheduler.addAsyncUpdatable(&kept);
        scheduler.removeAsyncUpdatable(removed);

        scheduler.handleAsyncUpdateInternal();
        EXPECT_EQ(removed.calls, 0);
        EXPECT_EQ(kept.calls, 1);

        scheduler.addAsyncUpdatable(&removed);
        scheduler.handleAsyncUpdateInternal();
        EXPECT_EQ(removed.calls, 1) << "added anew after removal";
    }

    TEST(AsyncScheduler, RemovalWaitsForARunningCallback)
    {
        TestScheduler scheduler;
        Counting updatable;
        std::atomic<bool> inCallback{false};
        std::atomic<bool> release{false};
        std::atomic<bool> returned{false};
        updatable.onCallback = [&]
        {
            inCallback = true;
            while (! release)
                vx::Thread::sleep(1);
            returned = true;
        };
        scheduler.addAsyncUpdatable(&updatable);
        std::thread drainer([&] { scheduler.handleAsyncUpdateInternal(); });
        while (! inCallback)
            vx::Thread::sleep(1);

        bool returnedBeforeRemoval = false;
        std::thread remover(
            [&]
            {
                scheduler.removeAsyncUpdatable(updatable);
                returnedBeforeRemoval = returned;
            });
        vx::Thread::sleep(20);
        release = true;
        remover.join();
        drainer.join();
        EXPECT_TRUE(returnedBeforeRemoval);
        EXPECT_EQ(updatable.calls, 1);
    }

    TEST(AsyncQueue, PopAnswersWhatWasPushedSinceThePreviousPop)
    {
        vx::AsyncQueue<int> queue;
        EXPECT_TRUE(queue.pop().empty());
        queue.push(1);
        queue.push(2);
        EXPECT_EQ(queue.pop(), (std::vector<int>{1, 2}));
        queue.push(3);
        EXPECT_EQ(queue.pop(), std::vector<int>{3});
        EXPECT_TRUE(queue.pop().empty());
    }

    TEST(AsyncQueue, ManyProducersOneConsumerLoseNothing)
    {
        vx::AsyncQueue<int> queue;
        constexpr int perProducer = 5000;
        std::vector<std::thread> producers;
        for (int p = 0; p < 4; ++p)
            producers.emplace_back(
                [&, p]
                {
                    for (int i = 0; i < perProducer; ++i)
                        queue.push(p * perProducer + i);
                });

        std::vector<int> next = {0, 0, 0, 0};
        int received = 0;
        while (received < 4 * perProducer)
        {
            for (int item : queue.pop())
            {
                const int producer = item / perProducer;
                ASSERT_EQ(item % perProducer, next[producer]) << "producer " << producer;
                ++next[producer];
                ++received;
            }
        }
        for (std::thread& producer : producers)
            producer.join();
        EXPECT_TRUE(queue.pop().empty());
    }

    TEST(Signal, ListDelegatesInOrderThenKeyedOnesByIdentity)
    {
        vx::Signal<void, int> signal;
        signal.signal(1);

        std::vector<std::string> calls;
        int identities[2] = {0, 0};
        signal.connect(&identities[1], [&](int v) { calls.push_back("high" + std::to_string(v)); });
        const auto firstId = signal.connect([&](int v) { calls.push_back("first" + std::to_string(v)); });
        signal.connect([&](int v) { calls.push_back("second" + std::to_string(v)); });
        signal.connect(&identities[0], [&](int v) { calls.push_back("low" + std::to_string(v)); });

        signal.signal(7);
        EXPECT_EQ(calls, (std::vector<std::string>{"first7", "second7", "low7", "high7"}));

        calls.clear();
        EXPECT_TRUE(signal.disconnect(firstId));
        EXPECT_FALSE(signal.disconnect(firstId));
        EXPECT_TRUE(signal.disconnect(&identities[0]));
        signal.signal(8);
        EXPECT_EQ(calls, (std::vector<std::string>{"second8", "high8"}));
    }

} // namespace
