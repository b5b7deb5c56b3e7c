#include "core/VXTimeInfo.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamListener.h"
#include "core/parameters/VXParamRange.h"
#include "engine/behaviours/VXBehaviourDouble.h"
#include "engine/behaviours/VXParamModifier.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
    class CountingListener : public vx::ParamListener
    {
    public:
        void valueChanged(vx::ParamBase&, vx::ChangeInfo) override { ++calls; }
        long calls = 0;
    };

    // Alternates between two positions so that every set stores and notifies.
    void BM_RangeSetValueNormalized(benchmark::State& state)
    {
        vx::ParamRange param("Speed", 0.5, vx::ValueRange<double>(0.0, 10.0));
        std::vector<CountingListener> listeners(static_cast<std::size_t>(state.range(0)));
        for (CountingListener& listener : listeners)
            param.addListener(listener, false);

        double next = 0.25;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(param.setValueNormalized(next, vx::ValueChangeInfo()));
            next = 1.0 - next;
        }
        for (CountingListener& listener : listeners)
            param.removeListener(listener);
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_RangeSetValueNormalized)->Arg(0)->Arg(1)->Arg(4)->ArgName("listeners");

    // The same with the parameter registered in a path registry, which
    // listens to it and passes every change on to one listener of its own.
    void BM_RangeSetValueNormalizedRegistryListening(benchmark::State& state)
    {
        vx::ParamCollection registry;
        auto param = std::make_shared<vx::ParamRange>("Speed", 0.5, vx::ValueRange<double>(0.0, 10.0));
        param->setPath("/source/effect/speed");
        registry.addParam(param);
        CountingListener registryListener;
        registry.addListener(registryListener, false);

        double next = 0.25;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(param->setValueNormalized(next, vx::ValueChangeInfo()));
            next = 1.0 - next;
        }
        registry.removeListener(registryListener);
        registry.removeParam(param);
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_RangeSetValueNormalizedRegistryListening);

    // A play head that moves a little every frame.
    class Drift : public vx::ParamModifier
    {
    public:
        void apply(double& v) override { v = value; }
        std::uint32_t update(const vx::TimeInfo&) override
        {
            value = value >= 1.0 ? 0.0 : value + 0.001;
            return 1;
        }
    };

    class DriftBehaviour : public vx::BehaviourDouble
    {
    public:
        explicit DriftBehaviour(vx::ParamRange& owner) : vx::BehaviourDouble(owner)
        {
            addModifier(std::make_shared<Drift>());
        }
    };

    // One frame of a container of range parameters: idle ones run only the
    // time-unit check, animated ones run their chain and set their value.
    void BM_ContainerUpdateRanges(benchmark::State& state, bool animated)
    {
        vx::ParamContainer container("Params", false);
        for (int i = 0; i < state.range(0); ++i)
        {
            auto param =
                std::make_shared<vx::ParamRange>("Param " + std::to_string(i), 0.5, vx::ValueRange<double>(0.0, 1.0));
            if (animated)
                param->setBehaviour(std::make_shared<DriftBehaviour>(*param));
            container.addParam(param);
        }
        vx::TimeInfo info(1.0);
        for (auto _ : state)
        {
            info.increment(16.0);
            benchmark::DoNotOptimize(container.update(info));
        }
        state.SetItemsProcessed(state.iterations() * state.range(0));
    }
    BENCHMARK_CAPTURE(BM_ContainerUpdateRanges, idle, false)->Arg(100)->ArgName("params");
    BENCHMARK_CAPTURE(BM_ContainerUpdateRanges, animated, true)->Arg(100)->ArgName("params");
}
