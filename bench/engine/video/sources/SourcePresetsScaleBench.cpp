// One source with many presets (2,000 of about 1 KB) or large ones (50 of
// about 3 MB), through the source manager, on disk and on tmpfs: the save
// after one preset changed, side by side with the first save of the same
// presets into an empty folder ("ratio", goal: under a tenth), and the
// start-up, a new manager loading the tree. Compare the absolute times with
// the same cases built at an older commit.

#include <benchmark/benchmark.h>

#include "../../../VXScratchFolder.h"

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

    // A source element with rows parameters (about 80 bytes each), "Amount"
    // set to amount.
    vx::XmlNode* makeSource(vx::XmlPool& pool, const std::string& name, int rows, double amount)
    {
        vx::XmlNode* source = vx::XmlCapable::createNode(pool, "VideoSource");
        source->append_attribute(vx::createAttribute(pool, "name", name));
        source->append_attribute(vx::createAttribute(pool, "type", std::string("BenchSource")));
        vx::XmlNode* params = vx::XmlCapable::createNode(pool, "ParamContainer");
        params->append_attribute(vx::createAttribute(pool, "name", std::string("Params")));
        for (int r = 0; r < rows; ++r)
        {
            vx::XmlNode* range = vx::XmlCapable::createNode(pool, "ParamRange");
            range->append_attribute(vx::createAttribute(pool, "name", r == 0 ? std::string("Amount")
                                                                             : "Point " + std::to_string(r)));
            range->append_attribute(vx::createAttribute(pool, "value", r == 0 ? amount : double(r % 97) / 97.0));
            range->append_attribute(vx::createAttribute(pool, "min", 0.0));
            range->append_attribute(vx::createAttribute(pool, "max", 1.0));
            params->append_node(range);
        }
        source->append_node(params);
        return source;
    }

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
                preset->append_node(makeSource(pool, "Look " + std::to_string(p), rows, 0.5));
                extension->loadPreset(preset);
            }
        }

        // Preset p (of those but "default") takes a new snapshot, "Amount"
        // set to amount; same state, same name.
        void change(int p, double amount)
        {
            vx::XmlState* state = extension->getPresets()->getState(p % count);
            pools.emplace_back();
            state->setNode(makeSource(pools.back(), state->getName(), rows, amount));
        }

        const int count;
        const int rows;
        vx::VideoSourceManager manager;
        BenchExtension* extension = nullptr;
        // The snapshots changes made (a state does not own its node).
        std::deque<vx::XmlPool> pools;
    };

    vx::bench::ScratchFolder::Medium mediumOf(const benchmark::State& state)
    {
        return state.range(2) != 0 ? vx::bench::ScratchFolder::Medium::disk : vx::bench::ScratchFolder::Medium::tmpfs;
    }

    void BM_SourcePresetsOneChange(benchmark::State& state)
    {
        Presets p(int(state.range(0)), int(state.range(1)));
        const vx::bench::ScratchFolder scratch("vx-source-presets-scale-bench-", mediumOf(state));
        const std::string changedFolder = scratch.getPath() + "/changed/";
        const std::string fullFolder = scratch.getPath() + "/full/";
        std::error_code ignored;
        std::filesystem::create_directory(changedFolder, ignored);
        bool allSaved = p.manager.savePresets(vx::File(changedFolder));

        using Clock = std::chrono::steady_clock;
        Clock::duration changedTime{}, fullTime{};
        int turn = 0;
        for (auto _ : state)
        {
            // Untimed: one preset changes; the full save gets an empty folder.
            p.change(turn * 7, 0.001 * (turn + 1));
            ++turn;
            std::filesystem::remove_all(fullFolder, ignored);
            std::filesystem::create_directory(fullFolder, ignored);

            const auto t0 = Clock::now();
            allSaved = p.manager.savePresets(vx::File(changedFolder)) && allSaved;
            const auto t1 = Clock::now();
            allSaved = p.manager.savePresets(vx::File(fullFolder)) && allSaved;
            const auto t2 = Clock::now();
            changedTime += t1 - t0;
            fullTime += t2 - t1;
            state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        }
        if (! allSaved)
            state.SkipWithError("a save failed");
        const double iterations = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
        state.counters["full_ms"] = std::chrono::duration<double, std::milli>(fullTime).count() / iterations;
        state.counters["ratio"] = double(changedTime.count()) / double(std::max<Clock::rep>(fullTime.count(), 1));
    }

    void BM_SourcePresetsStartUp(benchmark::State& state)
    {
        const vx::bench::ScratchFolder scratch("vx-source-presets-scale-bench-", mediumOf(state));
        const std::string folder = scratch.getPath() + "/";
        {
            Presets p(int(state.range(0)), int(state.range(1)));
            if (! p.manager.savePresets(vx::File(folder)))
                state.SkipWithError("the save failed");
        }
        using Clock = std::chrono::steady_clock;
        for (auto _ : state)
        {
            // Untimed: a new manager with the source and no presets.
            vx::VideoSourceManager manager;
            auto* extension = new BenchExtension();
            manager.registerSource(extension);
            const auto t0 = Clock::now();
            manager.loadPresets(vx::File(folder));
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
            if (extension->getPresets()->getNumStates() != int(state.range(0)))
                state.SkipWithError("the presets did not all load");
        }
    }

    // presets, rows per preset, disk; few iterations: the full saves (and a
    // disk's syncs) are not timed but take their time.
    void cases(benchmark::internal::Benchmark* b)
    {
        b->ArgNames({"presets", "rows", "disk"});
        for (const int disk : {0, 1})
        {
            b->Args({2000, 12, disk});
            b->Args({50, 37000, disk});
        }
        b->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
    }
    BENCHMARK(BM_SourcePresetsOneChange)->Apply(cases);
    BENCHMARK(BM_SourcePresetsStartUp)->Apply(cases);
}
