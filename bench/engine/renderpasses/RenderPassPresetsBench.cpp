// Saving the presets of 41 kinds x 20 presets as a tree of XML files through
// the render-pass manager, against writing the same 820 elements to the same
// kind of paths with the bare XML writer (the elements built once, outside
// the loop). Both write into fresh folders (on tmpfs where there is one) and write the tree over
// itself every iteration, as the live re-save does, each file deleted and
// made anew (rewriting a file in place through truncation costs some file
// systems a flush per file and would swamp what is measured).

#include <benchmark/benchmark.h>

#include "../../VXScratchFolder.h"

#include "core/VXFile.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamRange.h"
#include "core/xml/VXXmlState.h"
#include "core/xml/VXXmlStates.h"
#include "core/xml/VXXmlUtils.h"
#include "engine/renderpasses/VXEffect.h"
#include "engine/renderpasses/VXRenderPassManager.h"

#include <string>
#include <utility>
#include <vector>

namespace
{
    constexpr int numKinds = 41;
    constexpr int presetsPerKind = 20;

    // A pass with a handful of parameters, as the catalogue's effects have.
    class PresetPass : public vx::Effect
    {
    public:
        PresetPass() : vx::Effect(1)
        {
            for (const char* name : {"Amount", "Size", "Angle", "Mix", "Softness"})
                params.push_back(getParams().addParamRange(name, 0.5));
        }
        static vx::RttiObject* creationFunc() { return new PresetPass(); }
        bool render(vx::Renderer&) override { return false; }
        std::vector<std::shared_ptr<vx::ParamRange>> params;
    };

    // On tmpfs where there is one: ext4 searches its recently deleted inodes
    // on every create, a cost that grows from run to run and would swamp
    // what is measured.
    std::string makeFolder(const vx::bench::ScratchFolder& root, const char* name)
    {
        vx::File(root.getPath() + "/" + name).createDirectory();
        return root.getPath() + "/" + name;
    }

    struct Presets
    {
        Presets()
        {
            for (int k = 0; k < numKinds; ++k)
            {
                const std::string kind = "Kind" + std::to_string(k);
                manager.registerRenderPass(kind, kind, &PresetPass::creationFunc, vx::RenderPassCategoryEffect, 1, true,
                                           false);
                vx::XmlStates& store = *manager.getRenderPassInfo(kind, vx::RenderPassCategoryAny)->getPresets();
                PresetPass pass;
                store.setXmlCapable(&pass);
                for (int p = 0; p < presetsPerKind; ++p)
                {
                    for (size_t i = 0; i < pass.params.size(); ++i)
                        pass.params[i]->setValue(double(p * 7 + int(i)) / 200.0, vx::ValueChangeInfo());
                    store.pushState("Preset " + std::to_string(p), std::string());
                }
                store.setXmlCapable(nullptr);
            }

            // The same elements the manager writes, in a pool of their own.
            bareFolder = makeFolder(bareRoot, "bare");
            for (const auto& kind : manager.getRenderPassInfos(true))
            {
                const std::string folder = bareFolder + "/" + kind->getExtensionName();
                vx::File(folder).createDirectory();
                vx::XmlStates& store = *kind->getPresets();
                for (int i = 1; i < store.getNumStates(); ++i)
                {
                    vx::XmlState* preset = store.getState(i);
                    vx::XmlNode* element = preset->writeState(pool, false);
                    element->name("Preset");
                    element->append_attribute(vx::createAttribute(pool, "renderPassId", kind->getExtensionUniqueId()));
                    element->append_attribute(vx::createAttribute(pool, "renderPass", kind->getExtensionName()));
                    files.emplace_back(vx::File(folder + "/" + preset->getName() + ".xml"), element);
                }
            }
            managerFolder = makeFolder(managerRoot, "manager");
        }

        vx::RenderPassManager manager;
        vx::XmlPool pool;
        std::vector<std::pair<vx::File, vx::XmlNode*>> files;
        vx::bench::ScratchFolder bareRoot{"vx-presets-bench-", vx::bench::ScratchFolder::Medium::tmpfs};
        vx::bench::ScratchFolder managerRoot{"vx-presets-bench-", vx::bench::ScratchFolder::Medium::tmpfs};
        std::string bareFolder, managerFolder;
    };

    Presets& presets()
    {
        static Presets instance;
        return instance;
    }

    void BM_WriteXmlFiles(benchmark::State& state)
    {
        Presets& p = presets();
        for (auto _ : state)
            for (auto& [file, element] : p.files)
            {
                file.deleteFile();
                benchmark::DoNotOptimize(vx::XmlUtils::writeXmlToFile(file, element));
            }
        state.SetItemsProcessed(int64_t(state.iterations()) * numKinds * presetsPerKind);
    }
    BENCHMARK(BM_WriteXmlFiles)->Name("BM_WriteXmlFiles/41x20")->Unit(benchmark::kMillisecond);

    void BM_SavePresets(benchmark::State& state)
    {
        Presets& p = presets();
        const vx::File folder(p.managerFolder);
        for (auto _ : state)
            benchmark::DoNotOptimize(p.manager.savePresets(folder));
        state.SetItemsProcessed(int64_t(state.iterations()) * numKinds * presetsPerKind);
    }
    BENCHMARK(BM_SavePresets)->Name("BM_SavePresets/41x20")->Unit(benchmark::kMillisecond);
}
