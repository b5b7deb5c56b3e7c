// Installs the maker of the engine root's video-source manager, the current
// source directory while it exists. The engine links this file into every
// program that links the video-source layer.

#include "core/VXEngineRoot.h"
#include "engine/video/sources/VXVideoSourceManager.h"

namespace vx
{
    namespace
    {
        std::unique_ptr<EngineModule> makeVideoSourceManager(EngineRoot&)
        {
            auto manager = std::make_unique<VideoSourceManager>();
            SourceDirectory::setCurrent(manager.get());
            return std::make_unique<OwningEngineModule<VideoSourceManager>>(
                std::move(manager), [](VideoSourceManager& ending) { SourceDirectory::clearCurrent(&ending); });
        }

        const bool installed =
            (EngineRoot::setModuleMaker(EngineRoot::Module::VideoSourceManager, makeVideoSourceManager), true);
    }
}
