// Arbitrary bytes as a preset file in a source kind's folder, read by the
// source manager into the presets of its kinds (screen capture and a generator
// kind of the render-pass manager); the presets are then saved again. Files
// that are not presets of a known kind must be skipped; nothing may touch
// memory out of bounds or leak.

#include "core/VXFile.h"
#include "core/xml/VXXmlStates.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXSourceExtension.h"
#include "engine/video/sources/VXVideoSourceManager.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
    // The folders and the managers, made once.
    struct Workspace
    {
        Workspace()
        {
            char pattern[] = "/tmp/vx-source-preset-fuzz-XXXXXX";
            root = mkdtemp(pattern);
            for (const char* folder : {"/in", "/in/Screen Capture", "/out"})
                vx::File(root + folder).createDirectory();
            passes.registerInternalRenderPasses();
            vx::RenderPassManager::setCurrent(&passes);
            vx::SourceDirectory::setCurrent(&sources);
        }
        std::string root;
        vx::RenderPassManager passes;
        vx::VideoSourceManager sources;
    };
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Workspace workspace;
    if (FILE* file = std::fopen((workspace.root + "/in/Screen Capture/input.xml").c_str(), "wb"))
    {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    workspace.sources.loadPresets(vx::File(workspace.root + "/in/"));
    workspace.sources.savePresets(vx::File(workspace.root + "/out/"));
    // Presets do not pile up from one input to the next.
    for (const auto& extension : workspace.sources.getSources(true))
        extension->setPresets(std::make_shared<vx::XmlStates>(nullptr, 4096, true));
    return 0;
}
