// One frame of a container of 100 range parameters, each animated by one
// behaviour kind, against the same container with the basic behaviour every
// parameter starts with; and keyframe lookups against a bare binary search
// over the same keys.

#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXAnimation.h"
#include "engine/behaviours/VXBehaviourLFO.h"
#include "engine/behaviours/VXBehaviourLink.h"
#include "engine/behaviours/VXBehaviourTimeline.h"
#include "engine/behaviours/VXKeyFrame.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{
    enum class Kind
    {
        basic,
        lfo,
        timeline,
        link
    };

    void BM_ContainerUpdate(benchmark::State& state, Kind kind)
    {
        const int count = static_cast<int>(state.range(0));
        vx::ParamContainer container("Params", false);
        std::vector<std::shared_ptr<vx::ParamRange>> sources;
        for (int i = 0; i < count; ++i)
        {
            auto param = container.addParamRange("Param " + std::to_string(i), 0.5);
            switch (kind)
            {
                case Kind::basic:
                    break;
                case Kind::lfo:
                    param->setBehaviour(std::make_shared<vx::BehaviourLFO>(*param, 5000.0));
                    break;
                case Kind::timeline:
                    param->setBehaviour(std::make_shared<vx::BehaviourTimeline>(*param, 5000.0));
                    break;
                case Kind::link:
                {
                    auto link = std::make_shared<vx::BehaviourLink>(*param);
                    param->setBehaviour(link);
                    auto source = std::make_shared<vx::ParamRange>("Source", 0.5, vx::ValueRange<double>());
                    link->link(source, true, false);
                    sources.push_back(source);
                    break;
                }
            }
        }
        vx::TimeInfo info(1.0);
        for (auto _ : state)
        {
            info.increment(16.0);
            info.tempo.increment(16.0);
            benchmark::DoNotOptimize(container.update(info));
        }
        for (int i = 0; i < count; ++i)
            std::static_pointer_cast<vx::ParamRange>(container.getParam(i))->removeBehaviour();
        state.SetItemsProcessed(state.iterations() * count);
    }
    BENCHMARK_CAPTURE(BM_ContainerUpdate, basic, Kind::basic)->Arg(100)->ArgName("params");
    BENCHMARK_CAPTURE(BM_ContainerUpdate, lfo, Kind::lfo)->Arg(100)->ArgName("params");
    BENCHMARK_CAPTURE(BM_ContainerUpdate, timeline, Kind::timeline)->Arg(100)->ArgName("params");
    BENCHMARK_CAPTURE(BM_ContainerUpdate, link, Kind::link)->Arg(100)->ArgName("params");

    // Keyframes at sorted pseudo-random phases and lookups spread over them.
    struct Keys
    {
        explicit Keys(std::size_t count) : animation(5000)
        {
            std::mt19937 random(12345);
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            for (std::size_t i = 0; i < count; ++i)
            {
                const double phase = unit(random);
                phases.push_back(phase);
                animation.insert(std::make_unique<vx::KeyFrame>(animation, phase, unit(random), 1));
            }
            std::sort(phases.begin(), phases.end());
            for (int i = 0; i < 1024; ++i)
                lookups.push_back(unit(random));
        }

        vx::Animation animation;
        std::vector<double> phases;
        std::vector<double> lookups;
    };

    void BM_KeyframeFindFrameForPhase(benchmark::State& state)
    {
        Keys keys(static_cast<std::size_t>(state.range(0)));
        std::size_t next = 0;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(keys.animation.findFrameForPhase(keys.lookups[next]));
            next = (next + 1) & 1023;
        }
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_KeyframeFindFrameForPhase)->Arg(16)->Arg(256)->ArgName("keys");

    void BM_BinarySearchKeys(benchmark::State& state)
    {
        Keys keys(static_cast<std::size_t>(state.range(0)));
        std::size_t next = 0;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(std::upper_bound(keys.phases.begin(), keys.phases.end(), keys.lookups[next]));
            next = (next + 1) & 1023;
        }
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_BinarySearchKeys)->Arg(16)->Arg(256)->ArgName("keys");

    // The envelope's per-frame read: the baked samples at a normalised time.
    void BM_AnimationSampleAt(benchmark::State& state)
    {
        Keys keys(static_cast<std::size_t>(state.range(0)));
        std::size_t next = 0;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(keys.animation[keys.lookups[next]]);
            next = (next + 1) & 1023;
        }
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_AnimationSampleAt)->Arg(16)->Arg(256)->ArgName("keys");
}
