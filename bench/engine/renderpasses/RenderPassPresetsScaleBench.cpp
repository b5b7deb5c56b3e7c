// One render-pass kind with many presets (2,000 of about 1 KB) or large ones
// (50 of about 3 MB), through the render-pass manager, on disk and on tmpfs:
// the save after one preset changed, side by side with the first save of the
// same presets into an empty folder ("ratio", goal: under a tenth), and the
// start-up, a new manager loading the tree. Compare the absolute times with
// the same cases built at an older commit.

#include <benchmark/benchmark.h>

#include "../../VXPresetSaves.h"

#include "core/VXFile.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlCapable.h"
#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"
#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/VXRenderPassInfo.h"
#include "engine/renderpasses/VXRenderPassManager.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>

namespace
{
    class ScalePass : public vx::Effect
    {
    public:
        ScalePass() : vx::Effect(1) {}
        static vx::RttiObject* creationFunc() { return new ScalePass(); }
        bool render(vx::Renderer&) override { return false; }
    };

    const char* const kindName = "ScalePass";

    vx::RenderPassInfo& registerKind(vx::RenderPassManager& manager)
    {
        manager.registerRenderPass(kindName, kindName, &ScalePass::creationFunc, vx::RenderPassCategoryEffect, 1, true,
                                   false);
        return *manager.getRenderPassInfo(kindName, vx::RenderPassCategoryAny);
    }

    // count presets of rows rows each, of one kind of a manager of its own.
    struct Presets
    {
        Presets(int presetCount, int presetRows) : count(presetCount), rows(presetRows), kind(registerKind(manager))
        {
            for (int p = 0; p < count; ++p)
            {
                vx::XmlPool pool;
                vx::XmlNode* preset = vx::XmlCapable::createNode(pool, "Preset");
                preset->append_attribute(vx::createAttribute(pool, "name", "Look " + std::to_string(p)));
                preset->append_node(
                    vx::bench::presetElement(pool, "RenderPass", kindName, "Look " + std::to_string(p), rows, 0.5));
                kind.loadPreset(preset);
            }
        }

        // Preset p (of those but "default", first) takes a new snapshot,
        // "Amount" set to amount; same state, same name.
        void change(int p, double amount)
        {
            vx::XmlState* state = kind.getPresets()->getState(1 + p % count);
            pools.emplace_back();
            state->setNode(
                vx::bench::presetElement(pools.back(), "RenderPass", kindName, state->getName(), rows, amount));
        }

        const int count;
        const int rows;
        vx::RenderPassManager manager;
        vx::RenderPassInfo& kind;
        // The snapshots changes made (a state does not own its node).
        std::deque<vx::XmlPool> pools;
    };

    void BM_RenderPassPresetsOneChange(benchmark::State& state)
    {
        vx::bench::manyPresetsOneChange<Presets>(state, "vx-presets-scale-bench-");
    }

    void BM_RenderPassPresetsStartUp(benchmark::State& state)
    {
        vx::bench::manyPresetsStartUp<Presets>(state, "vx-presets-scale-bench-",
                                               [](const std::string& from)
                                               {
                                                   // A new manager with the kind and its default preset only.
                                                   vx::RenderPassManager manager;
                                                   registerKind(manager);
                                                   return vx::bench::timed(
                                                       [&] { return manager.loadPresets(vx::File(from)); });
                                               });
    }

    BENCHMARK(BM_RenderPassPresetsOneChange)->Apply(vx::bench::manyPresetCases);
    BENCHMARK(BM_RenderPassPresetsStartUp)->Apply(vx::bench::manyPresetCases);
}
