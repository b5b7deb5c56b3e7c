#include "core/VXPoolAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

namespace
{
    TEST(PoolAllocator, HandsOutSlotsUpwardsThenNullAndReturnedOnesFirst)
    {
        vx::PoolAllocator pool(2, 32);
        unsigned char* first = pool.aquireObject();
        unsigned char* second = pool.aquireObject();
        ASSERT_NE(nullptr, first);
        EXPECT_EQ(first + pool.getObjectSize(), second);
        EXPECT_EQ(nullptr, pool.aquireObject());
        pool.unaquireObject(first);
        pool.unaquireObject(second);
        EXPECT_EQ(second, pool.aquireObject());
        EXPECT_EQ(first, pool.aquireObject());
    }

    TEST(PoolAllocator, ChainingGrowsOneOverflowPoolAtATime)
    {
        vx::PoolAllocator pool(2, 16);
        pool.enableChaining();
        unsigned char* a = pool.aquireObject();
        unsigned char* b = pool.aquireObject();
        unsigned char* c = pool.aquireObject();
        ASSERT_NE(nullptr, c);
        EXPECT_TRUE(pool.containsObject(c));
        // c lies outside the first block, in the overflow pool.
        const auto start = reinterpret_cast<std::uintptr_t>(a);
        const auto address = reinterpret_cast<std::uintptr_t>(c);
        EXPECT_TRUE(address < start || address >= start + 2 * pool.getObjectSize());

        // The overflow pool has one slot left; giving c back makes it the next one out.
        unsigned char* d = pool.aquireObject();
        pool.unaquireObject(c);
        EXPECT_EQ(c, pool.aquireObject());

        // A fifth request needs a second overflow pool.
        unsigned char* e = pool.aquireObject();
        ASSERT_NE(nullptr, e);
        std::set<unsigned char*> distinct{a, b, c, d, e};
        EXPECT_EQ(5u, distinct.size());
        for (unsigned char* slot : distinct)
            EXPECT_TRUE(pool.containsObject(slot));
    }

    TEST(PoolAllocator, OwnsOnlyItsBlockAndTakesBackOnlyWholeSlots)
    {
        vx::PoolAllocator pool(2, 32);
        unsigned char* a = pool.aquireObject();
        unsigned char* b = pool.aquireObject();
        unsigned char outside[64] = {};
        EXPECT_FALSE(pool.containsObject(nullptr));
        EXPECT_FALSE(pool.containsObject(outside));
        EXPECT_TRUE(pool.containsObject(a + 1));
        EXPECT_FALSE(pool.containsObject(a + 2 * pool.getObjectSize()));
        pool.unaquireObject(outside);
        pool.unaquireObject(a + 3);
        pool.unaquireObject(nullptr);
        EXPECT_EQ(nullptr, pool.aquireObject());
        pool.unaquireObject(b);
        EXPECT_EQ(b, pool.aquireObject());
    }

    // Slots given back in one call go to the pools that own them; addresses
    // no pool owns, or inside a slot, are passed over.
    TEST(PoolAllocator, GivingBackManyReturnsEachSlotToItsOwnPool)
    {
        vx::PoolAllocator pool(2, 64);
        pool.enableChaining();
        std::vector<unsigned char*> slots;
        for (int i = 0; i < 5; ++i)
            slots.push_back(pool.aquireObject());
        unsigned char outside[128] = {};
        std::vector<unsigned char*> back = {slots[4], outside, slots[0], slots[2] + 1, nullptr, slots[1], slots[3]};
        pool.unaquireObjects(back.data(), back.size());

        // The first pool's two come out first, then the others; nothing twice,
        // nothing foreign, and no sixth slot without a new pool.
        std::set<unsigned char*> first{pool.aquireObject(), pool.aquireObject()};
        EXPECT_EQ(first, (std::set<unsigned char*>{slots[0], slots[1]}));
        std::set<unsigned char*> rest{pool.aquireObject(), pool.aquireObject()};
        EXPECT_EQ(rest, (std::set<unsigned char*>{slots[3], slots[4]}));
        unsigned char* fresh = pool.aquireObject();
        EXPECT_EQ(slots.end(), std::find(slots.begin(), slots.end(), fresh)) << "slot 2 was never given back";
        EXPECT_NE(fresh, outside);
    }

    struct Payload
    {
        Payload(int a, double b) : a(a), b(b) {}
        int a;
        double b;
    };

    TEST(PoolAllocator, ConstructBuildsInASlot)
    {
        vx::PoolAllocator pool(1, sizeof(Payload));
        Payload* payload = pool.construct<Payload>(3, 4.5);
        ASSERT_NE(nullptr, payload);
        EXPECT_TRUE(pool.containsObject(reinterpret_cast<unsigned char*>(payload)));
        EXPECT_EQ(3, payload->a);
        EXPECT_EQ(4.5, payload->b);
        EXPECT_EQ(nullptr, pool.construct<Payload>(1, 2.0));
        payload->~Payload();
        pool.unaquireObject(reinterpret_cast<unsigned char*>(payload));
    }

    // Threads take and give back slots at once; every slot in use must be
    // held by exactly one thread, which each checks through a stamp it writes.
    TEST(PoolAllocator, ConcurrentUseNeverHandsOneSlotToTwoThreads)
    {
        constexpr int threadCount = 4;
        constexpr int rounds = 20000;
        vx::PoolAllocator pool(8, 16);
        pool.enableChaining();
        std::atomic<int> clashes{0};
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t)
        {
            threads.emplace_back(
                [&, t]
                {
                    while (! go.load())
                        std::this_thread::yield();
                    std::vector<unsigned char*> held;
                    for (int i = 0; i < rounds; ++i)
                    {
                        if (held.size() < 6 && (i % 3) != 2)
                        {
                            unsigned char* slot = pool.aquireObject();
                            if (slot == nullptr)
                            {
                                clashes.fetch_add(1);
                                continue;
                            }
                            slot[sizeof(void*)] = static_cast<unsigned char>(t);
                            held.push_back(slot);
                        }
                        else if (! held.empty())
                        {
                            unsigned char* slot = held.back();
                            held.pop_back();
                            if (slot[sizeof(void*)] != static_cast<unsigned char>(t))
                                clashes.fetch_add(1);
                            pool.unaquireObject(slot);
                        }
                    }
                    for (unsigned char* slot : held)
                    {
                        if (slot[sizeof(void*)] != static_cast<unsigned char>(t))
                            clashes.fetch_add(1);
                        pool.unaquireObject(slot);
                    }
                });
        }
        go.store(true);
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(0, clashes.load());

        // Everything came back: 8 + overflow slots are all free again and distinct.
        std::set<unsigned char*> all;
        for (int i = 0; i < threadCount * 6; ++i)
            all.insert(pool.aquireObject());
        EXPECT_EQ(static_cast<size_t>(threadCount * 6), all.size());
        EXPECT_EQ(0u, all.count(nullptr));
    }
}
