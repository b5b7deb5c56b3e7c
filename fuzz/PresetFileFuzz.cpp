// Arbitrary bytes as a preset file in a kind's folder, read by the render-pass
// manager into the presets of registered kinds (an effect with parameters and
// the dry/wet wrapper around it); every preset read is made into a pass and
// the tree is saved again. Files that are not presets must be skipped; what
// loads must instantiate and write back without touching memory out of
// bounds.

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
    // The folders, made once; a fresh manager per input.
    struct Workspace
    {
        Workspace()
        {
            char pattern[] = "/tmp/vx-preset-fuzz-XXXXXX";
            root = mkdtemp(pattern);
            for (const char* folder : {"/in", "/in/Transform", "/out"})
                vx::File(root + folder).createDirectory();
        }
        std::string root;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Workspace workspace;
    if (FILE* file = std::fopen((workspace.root + "/in/Transform/input.xml").c_str(), "wb"))
    {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    vx::RenderPassManager manager;
    manager.registerRenderPass<vx::TransformEffect>(vx::RenderPassCategoryEffect, 1, true, false);
    manager.registerRenderPass<vx::AlphaMixer>(vx::RenderPassCategoryMixer, 2, false, false);
    manager.registerRenderPass<vx::DryWetEffect>(vx::RenderPassCategoryAny, 100, false, false);
    vx::RenderPassManager::setCurrent(&manager);
    if (manager.loadPresets(vx::File(workspace.root + "/in")) > 0)
    {
        for (const auto& kind : manager.getRenderPassInfos(true))
        {
            vx::XmlStates& presets = *kind->getPresets();
            for (int i = 0; i < presets.getNumStates(); ++i)
                for (bool wrap : {false, true})
                    vx::GfxObject::deleteUsingManager(kind->createRenderPass(presets.getState(i), wrap));
        }
        manager.savePresets(vx::File(workspace.root + "/out"));
    }
    return 0;
}
