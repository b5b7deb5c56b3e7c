#include "core/VXBroadcaster.h"
#include "core/VXAsyncScheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{

    struct Listener
    {
        virtual ~Listener() = default;
        virtual void changed() {}
        virtual void valueSet(int) {}
        virtual void textSet(std::string) {}
        virtual void pairSet(int, const std::string&) {}
    };

    using Announcer = vx::Broadcaster<Listener>;

    // Journals every call as "<name>.<callback>" and runs an optional action.
    struct Recorder : Listener
    {
        Recorder(std::vector<std::string>& journalToWrite, std::string listenerName)
            : journal(journalToWrite), name(std::move(listenerName))
        {
        }

        void changed() override
        {
            journal.push_back(name + ".changed");
            if (onChanged)
                onChanged();
        }
        void valueSet(int value) override { journal.push_back(name + ".value" + std::to_string(value)); }
        void textSet(std::string text) override { journal.push_back(name + ".text " + text); }
        void pairSet(int value, const std::string& text) override
        {
            journal.push_back(name + ".pair" + std::to_string(value) + " " + text);
        }

        std::vector<std::string>& journal;
        std::string name;
        std::function<void()> onChanged;
    };

    // Holds triggers until the test delivers them, like a deferring scheduler.
    struct ManualImpl : vx::AsyncUpdatableImpl
    {
        using vx::AsyncUpdatableImpl::AsyncUpdatableImpl;
        using vx::AsyncUpdatableImpl::triggerAsyncUpdateDerived;
        void triggerAsyncUpdateDerived() override { ++triggers; }
        void cancelPendingUpdateDerived() override { ++cancels; }
        static inline int triggers = 0;
        static inline int cancels = 0;
    };

    struct IdleScheduler : vx::AsyncScheduler
    {
        void updatableAdded(vx::AsyncUpdatable&) override {}
        void stopHandling() override {}
    };

    // While it lives, broadcasters made get deliveries only when the test
    // calls asyncCallback (when deferred) or at once (the default).
    struct ScopedDelivery
    {
        explicit ScopedDelivery(bool deferred) : previous(vx::AsyncUpdatableImpl::creationFunc)
        {
            if (deferred)
                vx::AsyncUpdatableImpl::creationFunc = [](vx::AsyncUpdatable& owner) -> vx::AsyncUpdatableImpl*
                { return new ManualImpl(owner); };
            ManualImpl::triggers = ManualImpl::cancels = 0;
        }
        ~ScopedDelivery() { vx::AsyncUpdatableImpl::creationFunc = previous; }
        vx::AsyncUpdatableImpl::CreationFunc previous;
    };

    using Journal = std::vector<std::string>;

    template <bool deferred>
    class BroadcasterTest : public testing::Test
    {
    protected:
        Recorder& make(const std::string& name)
        {
            recorders.push_back(std::make_unique<Recorder>(journal, name));
            return *recorders.back();
        }
        // A recorder registered in the asynchronous or the synchronous list.
        Recorder& listen(const std::string& name, bool asynchronous)
        {
            Recorder& recorder = make(name);
            announcer.addListener(recorder, asynchronous);
            return recorder;
        }

        ScopedDelivery delivery{deferred};
        Journal journal;
        std::vector<std::unique_ptr<Recorder>> recorders;
        Announcer announcer;
    };

    using Broadcaster = BroadcasterTest<false>;
    using DeferredBroadcaster = BroadcasterTest<true>;

    TEST_F(Broadcaster, DuplicatesAreRefusedPerListAndBothListsAreCalledWhenForced)
    {
        Recorder& both = listen("both", false);
        EXPECT_FALSE(announcer.addListener(both, false));
        listen("sync", false);
        EXPECT_TRUE(announcer.addListener(both, true));
        EXPECT_FALSE(announcer.addListener(both, true));
        listen("async", true);

        announcer.callListeners(&Listener::changed, vx::CallType::forced);
        EXPECT_EQ(journal, (Journal{"both.changed", "sync.changed", "both.changed", "async.changed"}));
        // Call types without a list flag reach nobody.
        journal.clear();
        for (std::uint8_t flags : {0, 4, 8, 12})
            announcer.callListeners(&Listener::changed, vx::CallType(flags));
        EXPECT_TRUE(journal.empty());
    }

    TEST_F(Broadcaster, RemovalTakesTheSynchronousEntryFirst)
    {
        Recorder& both = listen("both", false);
        announcer.addListener(both, true);

        EXPECT_TRUE(announcer.removeListener(both));
        announcer.callListeners(&Listener::changed, vx::CallType::onlySync);
        EXPECT_TRUE(journal.empty());
        announcer.callListeners(&Listener::changed, vx::CallType::onlyAsyncForced);
        EXPECT_EQ(journal, Journal{"both.changed"});

        EXPECT_TRUE(announcer.removeListener(both));
        EXPECT_FALSE(announcer.removeListener(both));
    }

    TEST_F(Broadcaster, StandardDeliversAsyncListenersBeforeReturningWithTheDefaultImplementation)
    {
        listen("a", true);
        listen("s", false);
        announcer.callListeners(&Listener::changed, vx::CallType::standard);
        announcer.callListeners(&Listener::valueSet, 7, vx::CallType::standard);
        announcer.callListeners(&Listener::changed, vx::CallType::callEverythingAsync);
        EXPECT_EQ(journal, (Journal{"s.changed", "a.changed", "s.value7", "a.value7", "s.changed", "a.changed"}));
    }

    TEST_F(Broadcaster, TwoArgumentBroadcastsReachAsyncListenersOnlyWithAScheduler)
    {
        listen("s", false);
        listen("a", true);
        ASSERT_EQ(vx::AsyncScheduler::asyncScheduler, nullptr);

        announcer.callListeners(&Listener::pairSet, 1, "x", vx::CallType::standard);
        EXPECT_EQ(journal, Journal{"s.pair1 x"});

        vx::AsyncScheduler::asyncScheduler = std::make_shared<IdleScheduler>();
        journal.clear();
        announcer.callListeners<int, const std::string&>(&Listener::pairSet, 2, "y", vx::CallType::standard);
        vx::AsyncScheduler::asyncScheduler.reset();
        EXPECT_EQ(journal, (Journal{"s.pair2 y", "a.pair2 y"}));

        journal.clear();
        announcer.callListeners<int, const std::string&>(&Listener::pairSet, 3, "z", vx::CallType::onlyAsyncForced);
        EXPECT_EQ(journal, Journal{"a.pair3 z"});
    }

    // Within one pass: a listener removed before its turn is not called, one
    // added is called later in it, one removed and re-added after its call is
    // not called again (and is called last from then on).
    TEST_F(Broadcaster, ListsChangedDuringAPass)
    {
        Recorder& first = listen("first", false);
        Recorder& second = listen("second", false);
        listen("third", false);
        first.onChanged = [&] { announcer.removeListener(second); };
        announcer.callListeners(&Listener::changed, vx::CallType::standard);
        EXPECT_EQ(journal, (Journal{"first.changed", "third.changed"}));

        journal.clear();
        Recorder& added = make("added");
        first.onChanged = [&] { announcer.addListener(added, false); };
        announcer.callListeners(&Listener::changed, vx::CallType::standard);
        EXPECT_EQ(journal, (Journal{"first.changed", "third.changed", "added.changed"}));

        journal.clear();
        first.onChanged = [&]
        {
            announcer.removeListener(first);
            announcer.addListener(first, false);
        };
        announcer.callListeners(&Listener::changed, vx::CallType::standard);
        EXPECT_EQ(journal, (Journal{"first.changed", "third.changed", "added.changed"}));
        journal.clear();
        first.onChanged = nullptr;
        announcer.callListeners(&Listener::changed, vx::CallType::standard);
        EXPECT_EQ(journal, (Journal{"third.changed", "added.changed", "first.changed"}));
    }

    TEST_F(Broadcaster, CallbackMayBroadcastAgain)
    {
        Recorder& first = listen("first", false);
        listen("second", true);
        int depth = 0;
        first.onChanged = [&]
        {
            if (depth++ == 0)
                announcer.callListeners<int>(&Listener::valueSet, 5, vx::CallType::standard);
        };

        announcer.callListeners(&Listener::changed, vx::CallType::standard);
        EXPECT_EQ(journal, (Journal{"first.changed", "first.value5", "second.value5", "second.changed"}));
    }

    TEST_F(Broadcaster, CallbackDeletingTheBroadcasterEndsThePass)
    {
        Recorder& first = make("first");
        Recorder& second = make("second");
        for (const bool deferred : {false, true})
        {
            auto* doomed = new Announcer();
            doomed->addListener(first, deferred);
            doomed->addListener(second, deferred);
            if (! deferred)
                doomed->addListener(second, true);
            first.onChanged = [&] { delete doomed; };
            journal.clear();
            // Forced passes over both lists, or the same from a deferred delivery.
            doomed->callListeners(&Listener::changed, deferred ? vx::CallType::onlyAsync : vx::CallType::forced);
            EXPECT_EQ(journal, Journal{"first.changed"}) << (deferred ? "deferred" : "synchronous");
        }
    }

    TEST_F(DeferredBroadcaster, RecordsAreDeliveredInOrderToTheListsAsTheyStandThen)
    {
        Recorder& removed = listen("removed", true);
        listen("kept", true);
        announcer.callListeners<int>(&Listener::valueSet, 1, vx::CallType::standard);
        announcer.callListeners<std::string>(&Listener::textSet, std::string("two"), vx::CallType::onlyAsync);
        EXPECT_EQ(ManualImpl::triggers, 2);
        EXPECT_TRUE(journal.empty());

        announcer.removeListener(removed);
        listen("late", true);
        announcer.asyncCallback();
        EXPECT_EQ(journal, (Journal{"kept.value1", "late.value1", "kept.text two", "late.text two"}));

        journal.clear();
        announcer.asyncCallback();
        EXPECT_TRUE(journal.empty()) << "delivered records are gone";
    }

    TEST_F(DeferredBroadcaster, CallEverythingAsyncQueuesOneRecordPerNonEmptyList)
    {
        listen("a", true);
        announcer.callListeners(&Listener::changed, vx::CallType::callEverythingAsync);
        EXPECT_EQ(ManualImpl::triggers, 1);
        listen("s", false);
        announcer.callListeners<int>(&Listener::valueSet, 4, vx::CallType::callEverythingAsync);
        EXPECT_EQ(ManualImpl::triggers, 3);
        announcer.asyncCallback();
        EXPECT_EQ(journal, (Journal{"a.changed", "s.value4", "a.value4"}));
    }

    TEST_F(DeferredBroadcaster, DestroyingWithRecordsPendingCallsNobody)
    {
        Recorder& listener = make("l");
        {
            Announcer doomed;
            doomed.addListener(listener, true);
            doomed.callListeners<std::string>(&Listener::textSet, std::string("never"), vx::CallType::onlyAsync);
            doomed.callListeners(&Listener::changed, vx::CallType::onlyAsync);
            EXPECT_EQ(ManualImpl::triggers, 2);
        }
        EXPECT_EQ(ManualImpl::cancels, 1);
        EXPECT_TRUE(journal.empty());
    }

    TEST_F(DeferredBroadcaster, NestedDeliveryKeepsEveryRecordOnce)
    {
        Recorder& listener = listen("l", true);
        int deliveries = 0;
        listener.onChanged = [&]
        {
            // Queue into the other buffer and deliver it from inside the outer
            // delivery, twice over, so the outer buffer is drained by a nested one.
            if (deliveries++ < 2)
            {
                announcer.callListeners<int>(&Listener::valueSet, deliveries, vx::CallType::onlyAsync);
                announcer.callListeners(&Listener::changed, vx::CallType::onlyAsync);
                announcer.asyncCallback();
            }
        };
        announcer.callListeners(&Listener::changed, vx::CallType::onlyAsync);
        announcer.callListeners<int>(&Listener::valueSet, 9, vx::CallType::onlyAsync);
        announcer.asyncCallback();

        EXPECT_EQ(std::count(journal.begin(), journal.end(), "l.changed"), 3);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "l.value1"), 1);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "l.value2"), 1);
        EXPECT_EQ(std::count(journal.begin(), journal.end(), "l.value9"), 1);
        EXPECT_EQ(journal.size(), 6u);
        journal.clear();
        announcer.asyncCallback();
        EXPECT_TRUE(journal.empty());
    }

    // Seeded random re-entrancy: callbacks add, remove, or remove and re-add
    // listeners. After each pass, every listener still registered was called
    // exactly once, and nobody was called twice.
    TEST_F(Broadcaster, RandomMutationsDuringPassesKeepOnceEachForTheRegistered)
    {
        const unsigned seed = 77123u;
        std::mt19937 random(seed);
        constexpr int poolSize = 10;

        struct Member : Listener
        {
            void changed() override
            {
                ++calls;
                if (action)
                    action();
            }
            int calls = 0;
            std::function<void()> action;
        };
        std::vector<Member> pool(poolSize);
        std::vector<bool> registered(poolSize, false);

        for (int pass = 0; pass < 300; ++pass)
        {
            for (int i = 0; i < poolSize; ++i)
            {
                pool[i].calls = 0;
                const int kind = static_cast<int>(random() % 5);
                const int other = static_cast<int>(random() % poolSize);
                pool[i].action = [&, kind, other, i]
                {
                    if (kind == 1)
                        registered[other] = announcer.removeListener(pool[other]) ? false : registered[other];
                    else if (kind == 2)
                        registered[other] = announcer.addListener(pool[other], false) || registered[other];
                    else if (kind == 3)
                    {
                        announcer.removeListener(pool[i]);
                        announcer.addListener(pool[i], false);
                    }
                };
                if (random() % 3 == 0)
                {
                    if (registered[i])
                        announcer.removeListener(pool[i]);
                    else
                        announcer.addListener(pool[i], false);
                    registered[i] = ! registered[i];
                }
            }

            announcer.callListeners(&Listener::changed, vx::CallType::standard);

            for (int i = 0; i < poolSize; ++i)
            {
                ASSERT_LE(pool[i].calls, 1) << "seed " << seed << " pass " << pass << " listener " << i;
                if (registered[i])
                {
                    ASSERT_EQ(pool[i].calls, 1) << "seed " << seed << " pass " << pass << " listener " << i;
                }
            }
        }
    }

    // Deferred broadcasts from several threads at once, delivered by each thread
    // as it triggers: every record arrives exactly once and each thread's records
    // in its own order.
    TEST_F(Broadcaster, DeferredBroadcastsFromManyThreadsArriveOnceInOrder)
    {
        struct Counter : Listener
        {
            void valueSet(int value) override
            {
                // Deliveries of one broadcaster never overlap.
                const int thread = value / 100000;
                const int sequence = value % 100000;
                EXPECT_EQ(sequence, next[thread]) << "thread " << thread;
                next[thread] = sequence + 1;
                ++total;
            }
            int next[4] = {0, 0, 0, 0};
            int total = 0;
        } counter;
        announcer.addListener(counter, true);
        constexpr int perThread = 2000;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
        {
            threads.emplace_back(
                [&, t]
                {
                    for (int i = 0; i < perThread; ++i)
                        announcer.callListeners<int>(&Listener::valueSet, t * 100000 + i,
                                                     i % 2 == 0 ? vx::CallType::onlyAsync
                                                                : vx::CallType::callEverythingAsync);
                });
        }
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(counter.total, 4 * perThread);
    }

} // namespace
