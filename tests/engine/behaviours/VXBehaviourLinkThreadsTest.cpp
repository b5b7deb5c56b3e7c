#include "engine/behaviours/VXBehaviourLink.h"

#include "VXBehaviourTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vx
{
    namespace
    {
        // The owners are updated and read on a render thread while another
        // thread keeps changing the parameters they link to: values handed
        // over between the threads reach the owners at their next update.
        TEST(LinkThreads, SourcesChangedOnAnotherThreadReachOwnersOnTheirOwn)
        {
            constexpr int linkCount = 16;
            constexpr int writes = 2000;
            ParamContainer owners("Params", false);
            std::vector<std::shared_ptr<ParamRange>> sources;
            for (int i = 0; i < linkCount; ++i)
            {
                auto owner = owners.addParamRange("Owner " + std::to_string(i), 0.0);
                auto source = std::make_shared<ParamRange>("Source", 0.0, ValueRange<double>());
                auto link = std::make_shared<BehaviourLink>(*owner);
                owner->setBehaviour(link);
                ASSERT_TRUE(link->link(source, true, false));
                sources.push_back(source);
            }

            std::atomic<bool> rendering{false};
            std::atomic<bool> writing{true};
            std::atomic<int> outOfRange{0};
            std::thread render(
                [&]
                {
                    double time = 0.0;
                    do
                    {
                        time += 16.0;
                        owners.update(test::frame(time, 16.0));
                        rendering.store(true);
                        for (int i = 0; i < linkCount; ++i)
                        {
                            const double v = std::static_pointer_cast<ParamRange>(owners.getParam(i))->getValue();
                            outOfRange += v < 0.0 || v > 1.0 ? 1 : 0;
                        }
                    } while (writing.load());
                    owners.update(test::frame(time + 16.0, 16.0));
                });
            while (! rendering.load())
                std::this_thread::yield();

            std::thread writer(
                [&]
                {
                    for (int n = 1; n <= writes; ++n)
                        for (const auto& source : sources)
                            source->setValueNormalized(static_cast<double>(n) / writes, ValueChangeInfo());
                    writing.store(false);
                });
            writer.join();
            render.join();

            EXPECT_EQ(outOfRange.load(), 0);
            for (int i = 0; i < linkCount; ++i)
            {
                const auto owner = std::static_pointer_cast<ParamRange>(owners.getParam(i));
                EXPECT_EQ(owner->getValueNormalized(), 1.0);
                owner->removeBehaviour();
            }
        }
    }
}
