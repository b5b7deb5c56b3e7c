// Saving 200 source presets (10 extensions x 20, each preset a source
// element with a chain and a dozen parameters) through the source manager:
// the save after one preset changed, into the tree it wrote before, side by
// side with the first full save of the same presets into an empty folder.
// Every file a save writes is synced and renamed into place, and its folder
// synced, so the full save costs the disk's syncs; the save after one change
// reads and compares, and writes one file (goal: under a tenth of the full
// save). "disk" is the system's temporary folder (TMPDIR, else /tmp), where a
// sync reaches the device; "tmpfs" is /dev/shm, where it costs nothing and
// only printing, reading and comparing are left.

#include <benchmark/benchmark.h>

#include "../../../VXPresetSaves.h"

#include "core/VXFile.h"
#include "core/xml/VXXmlAttributes.h"
#include "core/xml/VXXmlCapable.h"
#include "core/xml/VXXmlStates.h"
#include "engine/network/VXNetworkVideoServerManager.h"
#include "engine/video/sources/VXSourceExtension.h"
#include "engine/video/sources/VXVideoSourceManager.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{
    constexpr int numExtensions = 10;
    constexpr int presetsPerExtension = 20;

    class BenchExtension : public vx::VideoSourceExtension
    {
    public:
        explicit BenchExtension(const std::string& name)
            : VideoSourceExtension(vx::SourceInfo{name, "bench", "bench-" + name, "Bench"}, false)
        {
        }
        vx::VideoSource* createSource(vx::XmlState*) override { return nullptr; }
        using VideoSourceExtension::createSource;
        vx::XmlNode* saveSourceToXML(vx::XmlPool&, vx::XmlCapable*) override { return nullptr; }
    };

    // A preset as a source writes one: its parameters and a two-pass chain,
    // "Amount" set to amount.
    vx::XmlNode* makePreset(vx::XmlPool& pool, const std::string& name, double amount)
    {
        vx::XmlNode* preset = vx::XmlCapable::createNode(pool, "Preset");
        preset->append_attribute(vx::createAttribute(pool, "name", name));
        vx::XmlNode* source = vx::XmlCapable::createNode(pool, "VideoSource");
        source->append_attribute(vx::createAttribute(pool, "name", name));
        source->append_attribute(vx::createAttribute(pool, "type", std::string("BenchSource")));
        vx::XmlNode* params = vx::XmlCapable::createNode(pool, "ParamContainer");
        params->append_attribute(vx::createAttribute(pool, "name", std::string("Params")));
        for (const char* param : {"Amount", "Position", "Speed", "Opacity", "Scale", "Angle", "Hue", "Saturation",
                                  "Brightness", "Contrast", "Blur", "Mix"})
        {
            vx::XmlNode* range = vx::XmlCapable::createNode(pool, "ParamRange");
            range->append_attribute(vx::createAttribute(pool, "name", std::string(param)));
            range->append_attribute(vx::createAttribute(pool, "value", std::string(param) == "Amount" ? amount : 0.5));
            range->append_attribute(vx::createAttribute(pool, "min", 0.0));
            range->append_attribute(vx::createAttribute(pool, "max", 1.0));
            params->append_node(range);
        }
        source->append_node(params);
        vx::XmlNode* chain = vx::XmlCapable::createNode(pool, "RenderPassChain");
        for (const char* pass : {"Blur", "BrightnessContrast"})
        {
            vx::XmlNode* node = vx::XmlCapable::createNode(pool, "RenderPass");
            node->append_attribute(vx::createAttribute(pool, "type", std::string(pass)));
            node->append_attribute(vx::createAttribute(pool, "enabled", true));
            chain->append_node(node);
        }
        source->append_node(chain);
        preset->append_node(source);
        return preset;
    }

    struct Presets
    {
        Presets()
        {
            for (int e = 0; e < numExtensions; ++e)
            {
                auto* extension = new BenchExtension("Deck " + std::to_string(e));
                manager.registerSource(extension);
                extensions.push_back(extension);
                for (int p = 0; p < presetsPerExtension; ++p)
                    setPreset(*extension, p, double(p) / presetsPerExtension);
            }
        }

        // Preset p of extension replaced by one whose "Amount" is amount.
        void setPreset(vx::VideoSourceExtension& extension, int p, double amount)
        {
            const std::string name = "Look " + std::to_string(p);
            extension.getPresets()->removeStateByName(name, true);
            vx::XmlPool pool;
            extension.loadPreset(makePreset(pool, name, amount));
        }

        vx::VideoSourceManager manager;
        std::vector<vx::VideoSourceExtension*> extensions;
    };

    Presets& presets()
    {
        static Presets instance;
        return instance;
    }

    void BM_SaveSourcePresets(benchmark::State& state)
    {
        const bool onDisk = state.range(0) != 0;
        Presets& p = presets();
        const vx::bench::ScratchFolder scratch("vx-source-presets-bench-",
                                               onDisk ? vx::bench::ScratchFolder::Medium::disk
                                                      : vx::bench::ScratchFolder::Medium::tmpfs);
        vx::bench::oneChangedVsFirstFull(
            state, scratch.getPath() + "/changed/", scratch.getPath() + "/full/",
            [&](const std::string& folder) { return p.manager.savePresets(vx::File(folder)); },
            [&](int turn) {
                p.setPreset(*p.extensions[size_t(turn % numExtensions)], turn % presetsPerExtension,
                            0.001 * (turn + 1));
            });
    }
    BENCHMARK(BM_SaveSourcePresets)
        ->Name("BM_SaveSourcePresets/200/OneChangedVsFirstFull")
        ->ArgName("disk")
        ->Arg(1)
        ->Arg(0)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}
