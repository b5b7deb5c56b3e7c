// Installs the maker of the engine root's video-format manager, which is the
// image parameters' PixelsLoader while it exists. The engine links this file
// into every program that links the format layer.

#include "core/VXEngineRoot.h"
#include "engine/video/formats/VXVideoFormatManager.h"

namespace vx
{
    namespace
    {
        std::unique_ptr<EngineModule> makeVideoFormatManager(EngineRoot&)
        {
            auto manager = std::make_unique<VideoFormatManager>();
            PixelsLoader::setCurrent(manager.get());
            return std::make_unique<OwningEngineModule<VideoFormatManager>>(
                std::move(manager), [](VideoFormatManager& ending) { PixelsLoader::clearCurrent(&ending); },
                [](VideoFormatManager& releasing) { releasing.release(); });
        }

        const bool installed =
            (EngineRoot::setModuleMaker(EngineRoot::Module::VideoFormatManager, makeVideoFormatManager), true);
    }
}
