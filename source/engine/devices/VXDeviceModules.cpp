// Installs the makers of the engine root's device managers: the hot-plug
// detector and, listening to it, the capture-device manager and the display
// collection. The engine links this file into every program that links the
// device layer; a root in a program that does not makes none of them.

#include "core/VXEngineRoot.h"
#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/VXDisplayCollection.h"
#include "engine/video/sources/VXSourceDirectory.h"

namespace vx
{
    namespace
    {
        using Module = EngineRoot::Module;

        DeviceChangeDetector* detectorOf(const EngineRoot& root)
        {
            auto* module = static_cast<EngineModuleOf<DeviceChangeDetector>*>(root.getModule(Module::DeviceChangeDetector));
            return module != nullptr ? module->manager : nullptr;
        }

        std::unique_ptr<EngineModule> makeDetector(EngineRoot&)
        {
            return std::make_unique<OwningEngineModule<DeviceChangeDetector>>(std::make_unique<DeviceChangeDetector>());
        }

        // Current while it exists; a source factory of the root's source
        // manager, when there is one.
        std::unique_ptr<EngineModule> makeCaptureDeviceManager(EngineRoot& root)
        {
            DeviceChangeDetector* detector = detectorOf(root);
            if (detector == nullptr)
                return nullptr;
            auto manager = std::make_unique<CaptureDeviceManager>(*detector);
            CaptureDeviceManager::setCurrent(manager.get());
            if (root.getModule(Module::VideoSourceManager) != nullptr)
                if (SourceDirectory* sources = SourceDirectory::getCurrent())
                    sources->registerSourceFactory(*manager);
            return std::make_unique<OwningEngineModule<CaptureDeviceManager>>(
                std::move(manager), [](CaptureDeviceManager& ending) { CaptureDeviceManager::clearCurrent(&ending); });
        }

        std::unique_ptr<EngineModule> makeDisplayCollection(EngineRoot& root)
        {
            DeviceChangeDetector* detector = detectorOf(root);
            if (detector == nullptr)
                return nullptr;
            return std::make_unique<OwningEngineModule<DisplayCollection>>(std::make_unique<DisplayCollection>(*detector));
        }

        const bool installed = (EngineRoot::setModuleMaker(Module::DeviceChangeDetector, makeDetector),
                                EngineRoot::setModuleMaker(Module::CaptureDeviceManager, makeCaptureDeviceManager),
                                EngineRoot::setModuleMaker(Module::DisplayCollection, makeDisplayCollection), true);
    }
}
