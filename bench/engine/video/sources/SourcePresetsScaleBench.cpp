// One source with many presets (2,000 of about 1 KB) or large ones (50 of
// about 3 MB), through the source manager, on disk and on tmpfs: the save
// after one preset changed, side by side with the first save of the same
// presets into an empty folder ("ratio", goal: under a tenth), and the
// start-up, a new manager loading the tree. Compare the absolute times with
// the same cases built at an older commit.

#include <benchmark/benchmark.h>

#include "../../../VXPresetSaves.h"

#include "core/VXFile.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlCapable.h"
#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"
#include "engine/video/sources/VXSourceExtension.h"
#include "engine/video/sources/VXVideoSourceManager.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>

namespace
{
    class BenchExtension : public vx::VideoSourceExtension
    {
    public:
        BenchExtension() : VideoSourceExtension(vx::SourceInfo{"Deck", "bench", "bench-deck", "Bench"}, false) {}
        vx::VideoSource* createSource(vx::XmlState*) override { return nullptr; }
        using VideoSourceExtension::createSource;
        vx::XmlNode* saveSourceToXML(vx::XmlPool&, vx::XmlCapable*) override { return nullptr; }
    };

    // count presets of rows rows each, registered with a manager of its own.
    struct Presets
    {
        Presets(int presetCount, int presetRows) : count(presetCount), rows(presetRows)
        {
            extension = new BenchExtension();
            manager.registerSource(extension);
            for (int p = 0; p < count; ++p)
            {
                vx::XmlPool pool;
                vx::XmlNode* preset = vx::XmlCapable::createNode(pool, "Preset");
                preset->append_attribute(vx::createAttribute(pool, "name", "Look " + std::to_string(p)));
                preset->append_node(vx::bench::presetElement(pool, "VideoSource", "BenchSource",
                                                             "Look " + std::to_string(p), rows, 0.5));
                extension->loadPreset(preset);
            }
        }

        // Preset p (of those but "default") takes a new snapshot, "Amount"
        // set to amount; same state, same name.
        void change(int p, double amount)
        {
            vx::XmlState* state = extension->getPresets()->getState(p % count);
            pools.emplace_back();
            state->setNode(
                vx::bench::presetElement(pools.back(), "VideoSource", "BenchSource", state->getName(), rows, amount));
        }

        const int count;
        const int rows;
        vx::VideoSourceManager manager;
        BenchExtension* extension = nullptr;
        // The snapshots changes made (a state does not own its node).
        std::deque<vx::XmlPool> pools;
    };

    void BM_SourcePresetsOneChange(benchmark::State& state)
    {
        vx::bench::manyPresetsOneChange<Presets>(state, "vx-source-presets-scale-bench-");
    }

    void BM_SourcePresetsStartUp(benchmark::State& state)
    {
        vx::bench::manyPresetsStartUp<Presets>(state, "vx-source-presets-scale-bench-",
                                               [](const std::string& from)
                                               {
                                                   // A new manager with the source and no presets.
                                                   vx::VideoSourceManager manager;
                                                   auto* extension = new BenchExtension();
                                                   manager.registerSource(extension);
                                                   return vx::bench::timed(
                                                       [&]
                                                       {
                                                           manager.loadPresets(vx::File(from));
                                                           return extension->getPresets()->getNumStates();
                                                       });
                                               });
    }

    BENCHMARK(BM_SourcePresetsOneChange)->Apply(vx::bench::manyPresetCases);
    BENCHMARK(BM_SourcePresetsStartUp)->Apply(vx::bench::manyPresetCases);
}
