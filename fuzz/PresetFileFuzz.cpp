// Arbitrary bytes as a preset file in a kind's folder, read by the render-pass
// manager into the presets of registered kinds (an effect with parameters and
// the dry/wet wrapper around it); every preset read is made into a pass and
// the tree is saved again. Files that are not presets must be skipped; what
// loads must instantiate and write back without touching memory out of
// bounds. The presets are dropped before the next input.

#include "core/VXFile.h"
#include "core/xml/VXXmlStates.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/renderpasses/VXAlphaMixer.h"
#include "engine/renderpasses/VXDryWetEffect.h"
#include "engine/renderpasses/VXRenderPass.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/renderpasses/VXTransformEffect.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
    struct Workspace
    {
        Workspace()
        {
            char pattern[] = "/tmp/vx-preset-fuzz-XXXXXX";
            root = mkdtemp(pattern);
            vx::File(root + "/in").createDirectory();
            vx::File(root + "/in/Transform").createDirectory();
            vx::File(root + "/out").createDirectory();
            manager.registerRenderPass<vx::TransformEffect>(vx::RenderPassCategoryEffect, 1, true, false);
            manager.registerRenderPass<vx::AlphaMixer>(vx::RenderPassCategoryMixer, 2, false, false);
            manager.registerRenderPass<vx::DryWetEffect>(vx::RenderPassCategoryAny, 100, false, false);
            vx::RenderPassManager::setCurrent(&manager);
        }
        std::string root;
        vx::RenderPassManager manager;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Workspace workspace;
    const std::string path = workspace.root + "/in/Transform/input.xml";
    if (FILE* file = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    if (workspace.manager.loadPresets(vx::File(workspace.root + "/in")) > 0)
    {
        for (const auto& kind : workspace.manager.getRenderPassInfos(true))
        {
            vx::XmlStates& presets = *kind->getPresets();
            for (int i = 0; i < presets.getNumStates(); ++i)
                for (bool wrap : {false, true})
                    vx::GfxObject::deleteUsingManager(kind->createRenderPass(presets.getState(i), wrap));
        }
        workspace.manager.savePresets(vx::File(workspace.root + "/out"));
        for (const auto& kind : workspace.manager.getRenderPassInfos(true))
        {
            vx::XmlStates& presets = *kind->getPresets();
            while (presets.getNumStates() > 1)
                presets.removeState(presets.getNumStates() - 1, true);
        }
    }
    return 0;
}
