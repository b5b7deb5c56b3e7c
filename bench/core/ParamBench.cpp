#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamCollection.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamListener.h"
#include "core/xml/VXXmlUtils.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
    class CountingListener : public vx::ParamListener
    {
    public:
        void valueChanged(vx::ParamBase&, vx::ChangeInfo) override { ++calls; }
        long calls = 0;
    };

    // Alternates between two choices so that every set stores and notifies.
    void BM_ChoiceSetValue(benchmark::State& state)
    {
        vx::ParamChoice<int> choice("Mode");
        choice.addChoices({"A", "B"});
        std::vector<CountingListener> listeners(static_cast<std::size_t>(state.range(0)));
        for (CountingListener& listener : listeners)
            choice.addListener(listener, false);

        int next = 1;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(choice.setValue(next, vx::ValueChangeInfo()));
            next ^= 1;
        }
        for (CountingListener& listener : listeners)
            choice.removeListener(listener);
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_ChoiceSetValue)->Arg(0)->Arg(1)->Arg(4)->ArgName("listeners");

    std::string pathOf(int index)
    {
        return "/source" + std::to_string(index / 100) + "/effect/param" + std::to_string(index % 100);
    }

    void BM_FindParamWithPath(benchmark::State& state)
    {
        const int count = static_cast<int>(state.range(0));
        vx::ParamCollection registry;
        std::vector<std::shared_ptr<vx::Param<int>>> params;
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i)
        {
            auto param = std::make_shared<vx::Param<int>>("p", 0);
            param->setPath(pathOf(i));
            registry.addParam(param);
            params.push_back(param);
            paths.push_back(pathOf((i * 7919) % count));
        }
        registry.findParamWithPath(paths[0]); // builds the map outside the loop

        std::size_t next = 0;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(registry.findParamWithPath(paths[next]));
            next = (next + 1) % paths.size();
        }
        for (const auto& param : params)
            registry.removeParam(param);
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_FindParamWithPath)->Arg(10000)->ArgName("params");

    // Baseline: the same lookups in a bare hash map of weak pointers.
    void BM_FindParamWithPathBaselineHashMap(benchmark::State& state)
    {
        const int count = static_cast<int>(state.range(0));
        std::vector<std::shared_ptr<vx::Param<int>>> params;
        std::unordered_map<std::string, std::weak_ptr<vx::ParamBase>> map;
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i)
        {
            params.push_back(std::make_shared<vx::Param<int>>("p", 0));
            map[pathOf(i)] = params.back();
            paths.push_back(pathOf((i * 7919) % count));
        }
        std::size_t next = 0;
        for (auto _ : state)
        {
            benchmark::DoNotOptimize(map.find(paths[next])->second.lock());
            next = (next + 1) % paths.size();
        }
        state.SetItemsProcessed(state.iterations());
    }
    BENCHMARK(BM_FindParamWithPathBaselineHashMap)->Arg(10000)->ArgName("params");

    void fillContainer(vx::ParamContainer& container, int count)
    {
        for (int i = 0; i < count; ++i)
        {
            const std::string name = "Param " + std::to_string(i);
            switch (i % 3)
            {
                case 0:
                    container.addParamDouble(name, 0.5)->setValue(0.25 + i, vx::ValueChangeInfo());
                    break;
                case 1:
                    container.addParamBool(name, false)->setValue(true, vx::ValueChangeInfo());
                    break;
                default:
                    container.addParamChoice(name, {"A", "B", "C"})->setValueByIndex(2, vx::ValueChangeInfo());
                    break;
            }
        }
    }

    // Writes a container as XML text, parses it and reads it into a twin.
    void BM_ContainerXmlRoundTrip(benchmark::State& state)
    {
        const int count = static_cast<int>(state.range(0));
        vx::ParamContainer source("Params", false);
        vx::ParamContainer target("Params", false);
        fillContainer(source, count);
        fillContainer(target, count);

        std::size_t bytes = 0;
        for (auto _ : state)
        {
            const std::string text = vx::XmlUtils::writeXmlToString(source, false);
            auto document = vx::XmlUtils::loadXmlFromString(text, true);
            target.readState(document->first_node(), false);
            bytes += text.size();
        }
        state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    }
    BENCHMARK(BM_ContainerXmlRoundTrip)->Arg(100)->ArgName("params");
}
