#include "core/parameters/VXParamCollection.h"

#include "VXParamTestHelpers.h"

#include "core/parameters/VXParam.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vx
{
    using test::RecordingParamListener;
    using Events = std::vector<std::string>;
    using ParamPtr = std::shared_ptr<ParamBase>;

    namespace
    {
        std::shared_ptr<Param<int>> makeParam(const std::string& path)
        {
            auto param = std::make_shared<Param<int>>("p", 0);
            param->setPath(path);
            return param;
        }
    }

    class ParamCollectionTest : public ::testing::Test
    {
    protected:
        ParamCollection registry;
    };

    TEST_F(ParamCollectionTest, LookupsFollowRegistrationButForEachWalksTheLastMap)
    {
        auto param = makeParam("/fx/blur/amount");
        registry.addParam(param);
        EXPECT_EQ(registry.findParamWithPath("/fx/blur/amount"), param);
        EXPECT_EQ(registry.findParam(param.get()), param);

        EXPECT_TRUE(registry.removeParam(param));
        int walked = 0;
        registry.forEachParam(
            [&](const ParamPtr& entry)
            {
                EXPECT_EQ(entry, param);
                ++walked;
            });
        EXPECT_EQ(walked, 1) << "no rebuild before the next lookup";

        EXPECT_EQ(registry.findParamWithPath("/fx/blur/amount"), nullptr);
        EXPECT_FALSE(registry.removeParam(param));
        EXPECT_EQ(registry.findParam(param.get()), nullptr);
    }

    TEST_F(ParamCollectionTest, RegisteringTwiceListensOnce)
    {
        RecordingParamListener listener;
        registry.addListener(listener, false);
        auto param = makeParam("/a");
        registry.addParam(param);
        registry.addParam(param);
        EXPECT_EQ(registry.getNumParams(), 1);

        param->setValue(3, ValueChangeInfo(ChangeSourceOSC));
        EXPECT_EQ(listener.events(), (Events{"value(8)"}));

        EXPECT_TRUE(registry.removeParam(param));
        param->setValue(4, ValueChangeInfo());
        EXPECT_EQ(listener.events().size(), 1u);
        registry.removeListener(listener);
    }

    TEST_F(ParamCollectionTest, RemovingAListWithAStrangerAnswersFalse)
    {
        auto registered = makeParam("/a");
        auto stranger = makeParam("/b");
        registry.addParam(registered);
        registry.findParamWithPath("/a");

        EXPECT_FALSE(registry.removeParams({registered, stranger}));
        EXPECT_EQ(registry.getNumParams(), 0);
        EXPECT_EQ(registry.findParamWithPath("/a"), nullptr);
        EXPECT_TRUE(registry.removeParams({}));
    }

    TEST_F(ParamCollectionTest, SharedPathsFindOneOfThem)
    {
        auto first = makeParam("/same");
        auto second = makeParam("/same");
        registry.addParam(first);
        registry.addParam(second);
        const ParamPtr found = registry.findParamWithPath("/same");
        EXPECT_TRUE(found == first || found == second);

        std::vector<ParamPtr> out{first};
        registry.findParamsWithPaths({"/missing", "/same", "/same"}, out);
        EXPECT_EQ(out.size(), 3u) << "appends, skipping misses";
    }

    TEST_F(ParamCollectionTest, UpstreamWalksTowardsTheRootButNeverAtIt)
    {
        auto nearest = makeParam("/a/b/speed");
        auto rootLevel = makeParam("/speed");
        registry.addParam(nearest);
        registry.addParam(rootLevel);

        EXPECT_EQ(registry.findParamUpstream("/a/b/c", "/speed"), nearest);
        EXPECT_EQ(registry.findParamUpstream("/a/b/c", "speed"), nullptr);
        EXPECT_EQ(registry.findParamUpstream("/x", "/speed"), nullptr) << "the root alone is never tried";
        EXPECT_EQ(registry.findParamUpstream("/a/x/y", "/b/speed"), nearest);
    }

    TEST_F(ParamCollectionTest, ScansGoInAddressOrder)
    {
        EXPECT_EQ(registry.findParamThatContainsPath("", ""), nullptr);
        auto a = makeParam("/group/one");
        auto b = makeParam("/group/two");
        auto c = makeParam("/other/one");
        registry.addParam(a);
        registry.addParam(b);
        registry.addParam(c);

        const ParamPtr lowest = std::min({ParamPtr(a), ParamPtr(b), ParamPtr(c)});
        EXPECT_EQ(registry.findParamThatContainsPath("", ""), lowest);
        EXPECT_EQ(registry.findParamThatContainsPath("one", "/other"), c);
        EXPECT_EQ(registry.findParamThatContainsPath("two", "/other"), nullptr);
        EXPECT_EQ(registry.findParamsWhichPathStartsWith("/group/").size(), 2u);
        EXPECT_EQ(registry.findParamsWhichPathStartsWith("").size(), 3u);
    }

    TEST_F(ParamCollectionTest, PathChangesAfterRegistrationAreFound)
    {
        auto param = makeParam("/old");
        registry.addParam(param);
        EXPECT_EQ(registry.findParamWithPath("/old"), param);

        param->setPath("/New Name");
        EXPECT_EQ(registry.findParamWithPath("/newname"), param);
        EXPECT_EQ(registry.findParamWithPath("/old"), nullptr);
    }

    // Enough paths that many share their first slot in the map: every one is
    // found, and nothing else is, after rebuilds that drop and rename some.
    TEST_F(ParamCollectionTest, ManyPathsAreFoundExactlyAcrossRebuilds)
    {
        constexpr int count = 3000;
        std::vector<std::shared_ptr<Param<int>>> made;
        for (int i = 0; i < count; ++i)
        {
            made.push_back(makeParam("/clip" + std::to_string(i % 37) + "/p" + std::to_string(i)));
            registry.addParam(made.back());
        }
        auto unnamed = makeParam("");
        registry.addParam(unnamed);
        for (const auto& param : made)
            ASSERT_EQ(registry.findParamWithPath(param->getPath()), param) << param->getPath();
        EXPECT_EQ(registry.findParamWithPath(""), unnamed) << "a parameter without a path sits under \"\"";
        EXPECT_EQ(registry.findParamWithPath("/clip0/p1"), nullptr) << "same slot region, other key";
        EXPECT_EQ(registry.findParamWithPath("/clip0/p0/"), nullptr);

        for (int i = 0; i < count; i += 3)
            registry.removeParam(made[size_t(i)]);
        made[1]->setPath("/renamed");
        for (int i = 0; i < count; ++i)
        {
            const std::string path = i == 1 ? "/renamed" : made[size_t(i)]->getPath();
            EXPECT_EQ(registry.findParamWithPath(path) != nullptr, i % 3 != 0) << path;
        }
        EXPECT_EQ(registry.findParamWithPath("/clip1/p1"), nullptr) << "the old path is gone";
    }

    TEST_F(ParamCollectionTest, ForEachMayLookUpWhileItWalks)
    {
        auto a = makeParam("/a");
        auto b = makeParam("/b");
        registry.addParam(a);
        registry.addParam(b);
        registry.findParamWithPath("/a");
        int found = 0;
        registry.forEachParam([&](const ParamPtr& entry)
                              { found += registry.findParamWithPath(entry->getPath()) == entry ? 1 : 0; });
        EXPECT_EQ(found, 2);
    }

    TEST(ParamCollectionLifetimeTest, ParametersOutlivingTheRegistryAreDetached)
    {
        auto param = makeParam("/survivor");
        {
            ParamCollection registry;
            registry.addParam(param);
        }
        // The registry is gone: a change must not reach it (ASan catches a
        // dangling listener here).
        EXPECT_TRUE(param->setValue(5, ValueChangeInfo()));
        EXPECT_EQ(param.use_count(), 1) << "the registry released its share";
    }

    TEST(ParamCollectionDeliveryTest, StateChangesReachSyncListenersNowAndAsyncOnesLater)
    {
        test::DeferringImplScope deferring;
        ParamCollection registry;
        auto a = makeParam("/a");
        auto b = makeParam("/b");
        registry.addParam(a);
        registry.addParam(b);

        RecordingParamListener sync;
        RecordingParamListener async;
        a->addListener(sync, false);
        a->addListener(async, true);
        b->addListener(async, true);

        registry.sendStateChangeToAllParams(StateChange_Read);
        registry.sendStateChangeToAllParams(StateChange_Reset);
        EXPECT_EQ(sync.events(), (Events{"state(4)", "state(2)"}));
        EXPECT_TRUE(async.events().empty());

        EXPECT_GE(test::DeferringImpl::flush(), 1);
        EXPECT_EQ(async.events(), (Events{"state(4)", "state(4)", "state(2)", "state(2)"}))
            << "both pending states, in order, each to every parameter";
        EXPECT_EQ(sync.events().size(), 2u);

        registry.sendStateChangeToAllParams(StateChange_Appearance);
        a->removeListener(sync);
        a->removeListener(async);
        b->removeListener(async);
        test::DeferringImpl::flush();
        EXPECT_EQ(async.events().size(), 4u);
    }

    TEST(ParamCollectionDeliveryTest, PendingDeliveryIsDroppedWithTheRegistry)
    {
        test::DeferringImplScope deferring;
        auto param = makeParam("/a");
        RecordingParamListener async;
        param->addListener(async, true);
        {
            ParamCollection registry;
            registry.addParam(param);
            registry.sendStateChangeToAllParams(StateChange_Read);
        }
        test::DeferringImpl::flush();
        EXPECT_TRUE(async.events().empty());
        param->removeListener(async);
    }

    // Lookups skip the set lock while the map is current: a thread must still
    // find what it has just registered (and not what it has just removed)
    // while other threads register and rebuild.
    TEST(ParamCollectionThreadTest, EachThreadSeesItsOwnRegistrationsAtOnce)
    {
        constexpr int threads = 4;
        constexpr int perThread = 200;
        ParamCollection registry;
        std::atomic<int> misses{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
        {
            workers.emplace_back(
                [&, t]
                {
                    for (int i = 0; i < perThread; ++i)
                    {
                        auto param = makeParam("/w" + std::to_string(t) + "/p" + std::to_string(i));
                        registry.addParam(param);
                        if (registry.findParamWithPath(param->getPath()) != param)
                            misses.fetch_add(1);
                        registry.removeParam(param);
                        if (registry.findParamWithPath(param->getPath()) != nullptr)
                            misses.fetch_add(1);
                    }
                });
        }
        for (std::thread& worker : workers)
            worker.join();
        EXPECT_EQ(misses.load(), 0);
        EXPECT_EQ(registry.getNumParams(), 0);
    }

    TEST(ParamCollectionThreadTest, LookupsDuringConcurrentRegistration)
    {
        constexpr int threads = 4;
        constexpr int perThread = 250;
        ParamCollection registry;
        std::vector<std::vector<std::shared_ptr<Param<int>>>> made(threads);
        for (int t = 0; t < threads; ++t)
            for (int i = 0; i < perThread; ++i)
                made[t].push_back(makeParam("/t" + std::to_string(t) + "/p" + std::to_string(i)));

        std::atomic<bool> go{false};
        std::atomic<int> finished{0};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
        {
            workers.emplace_back(
                [&, t]
                {
                    while (! go.load())
                        std::this_thread::yield();
                    for (int i = 0; i < perThread; ++i)
                    {
                        registry.addParam(made[t][i]);
                        // Every odd one goes again, concurrently with the others.
                        if (i % 2 == 1)
                            registry.removeParam(made[t][i]);
                    }
                    finished.fetch_add(1);
                });
        }

        int lookupsWithHits = 0;
        go.store(true);
        while (finished.load() < threads)
        {
            if (registry.findParamWithPath("/t0/p0") != nullptr)
                ++lookupsWithHits;
            registry.findParamUpstream("/t1/p2", "/p0");
        }
        for (std::thread& worker : workers)
            worker.join();

        EXPECT_EQ(registry.getNumParams(), threads * perThread / 2);
        for (int t = 0; t < threads; ++t)
            for (int i = 0; i < perThread; ++i)
                EXPECT_EQ(registry.findParamWithPath(made[t][i]->getPath()) != nullptr, i % 2 == 0)
                    << made[t][i]->getPath();
        (void)lookupsWithHits;
    }
}
