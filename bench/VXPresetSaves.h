#pragma once

#include "VXScratchFolder.h"

#include <benchmark/benchmark.h>

#include "core/VXFile.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlCapable.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace vx::bench
{
    // The save after one preset changed, side by side with the first save of
    // the same presets: each iteration make(turn) changes a preset
    // (untimed), then save(changedFolder) saves into the tree it saved into
    // before (the iteration's time) and save(fullFolder) into an emptied
    // folder. Counters: "full_ms", the first save's mean, and "ratio", the
    // saves after one change over the first saves. save answers whether all
    // was saved; a save that failed marks the run as failed.
    template <typename Save, typename Change>
    void oneChangedVsFirstFull(benchmark::State& state, const std::string& changedFolder, const std::string& fullFolder,
                               Save&& save, Change&& change)
    {
        std::error_code ignored;
        std::filesystem::create_directory(changedFolder, ignored);
        bool allSaved = save(changedFolder);

        using Clock = std::chrono::steady_clock;
        Clock::duration changedTime{}, fullTime{};
        int turn = 0;
        for (auto _ : state)
        {
            change(turn++);
            std::filesystem::remove_all(fullFolder, ignored);
            std::filesystem::create_directory(fullFolder, ignored);

            const auto t0 = Clock::now();
            allSaved = save(changedFolder) && allSaved;
            const auto t1 = Clock::now();
            allSaved = save(fullFolder) && allSaved;
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

    // The cases of the many-presets benchmarks, as arguments presets, rows
    // per preset (about 80 bytes each) and disk (else tmpfs): 2,000 presets
    // of about 1 KB, 50 of about 3 MB. Few iterations: the first saves (and
    // a disk's syncs) are not timed but take their time.
    inline void manyPresetCases(benchmark::internal::Benchmark* b)
    {
        b->ArgNames({"presets", "rows", "disk"});
        for (const int disk : {0, 1})
        {
            b->Args({2000, 12, disk});
            b->Args({50, 37000, disk});
        }
        b->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
    }

    // An element as a source or pass writes one: elementName, named name,
    // of type, with rows range parameters (about 80 bytes each), "Amount"
    // set to amount.
    inline XmlNode* presetElement(XmlPool& pool, const char* elementName, const std::string& type,
                                  const std::string& name, int rows, double amount)
    {
        XmlNode* element = XmlCapable::createNode(pool, elementName);
        element->append_attribute(createAttribute(pool, "name", name));
        element->append_attribute(createAttribute(pool, "type", type));
        XmlNode* params = XmlCapable::createNode(pool, "ParamContainer");
        params->append_attribute(createAttribute(pool, "name", std::string("Params")));
        for (int r = 0; r < rows; ++r)
        {
            XmlNode* range = XmlCapable::createNode(pool, "ParamRange");
            range->append_attribute(
                createAttribute(pool, "name", r == 0 ? std::string("Amount") : "Point " + std::to_string(r)));
            range->append_attribute(createAttribute(pool, "value", r == 0 ? amount : double(r % 97) / 97.0));
            range->append_attribute(createAttribute(pool, "min", 0.0));
            range->append_attribute(createAttribute(pool, "max", 1.0));
            params->append_node(range);
        }
        element->append_node(params);
        return element;
    }

    // The seconds f takes, and its answer.
    template <typename F>
    auto timed(F&& f)
    {
        const auto t0 = std::chrono::steady_clock::now();
        const auto answer = f();
        return std::make_pair(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), answer);
    }

    inline ScratchFolder::Medium mediumOfCase(const benchmark::State& state)
    {
        return state.range(2) != 0 ? ScratchFolder::Medium::disk : ScratchFolder::Medium::tmpfs;
    }

    // A case of manyPresetCases for Presets, made of a preset count and rows
    // per preset, holding its manager and changing preset p with change(p,
    // amount): oneChangedVsFirstFull in a scratch folder named prefix.
    template <typename Presets>
    void manyPresetsOneChange(benchmark::State& state, const char* prefix)
    {
        Presets p(int(state.range(0)), int(state.range(1)));
        const ScratchFolder scratch(prefix, mediumOfCase(state));
        oneChangedVsFirstFull(
            state, scratch.getPath() + "/changed/", scratch.getPath() + "/full/",
            [&](const std::string& folder) { return p.manager.savePresets(File(folder)); },
            [&](int turn) { p.change(turn * 7, 0.001 * (turn + 1)); });
    }

    // The start-up of a manager over the presets of a case that Presets
    // saved: load(folder) makes a new manager (untimed), loads folder, and
    // answers timed's pair, the seconds of the load and the presets it added
    // (all of them, or the run fails).
    template <typename Presets, typename Load>
    void manyPresetsStartUp(benchmark::State& state, const char* prefix, Load&& load)
    {
        const ScratchFolder scratch(prefix, mediumOfCase(state));
        const std::string folder = scratch.getPath() + "/";
        {
            Presets p(int(state.range(0)), int(state.range(1)));
            if (! p.manager.savePresets(File(folder)))
                state.SkipWithError("the save failed");
        }
        for (auto _ : state)
        {
            const auto [seconds, added] = load(folder);
            state.SetIterationTime(seconds);
            if (added != int(state.range(0)))
                state.SkipWithError("the presets did not all load");
        }
    }
}
