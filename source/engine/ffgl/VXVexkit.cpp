#include "engine/ffgl/VXVexkit.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>

#include "core/VXCriticalSection.h"
#include "core/VXFile.h"
#include "core/VXLog.h"
#include "core/VXSystem.h"
#include "core/VXTaskManager.h"
#include "core/VXTime.h"
#include "core/parameters/VXColorManager.h"
#include "core/parameters/VXParamCollection.h"
#include "core/xml/VXApplicationInterface.h"
#include "core/parameters/VXParamRange.h"
#include "core/parameters/VXParamVector.h"
#include "engine/behaviours/VXAudioObjectManager.h"
#include "engine/behaviours/VXBehaviourFFTLink.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXFonts.h"
#include "engine/gfx/VXGfxInfo.h"
#include "engine/gfx/VXGfxObjectManager.h"
#include "engine/gfx/VXGfxUtils.h"
#include "engine/gfx/VXRenderTargetManager.h"
#include "engine/gfx/VXRenderer.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureDebugger.h"
#include "engine/gfx/VXTextureManager.h"
#include "engine/gui/VXInputController.h"
#include "engine/renderpasses/VXAudioSpectrumLink.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXSourceDirectory.h"

namespace vx
{
    namespace
    {
        std::atomic<Vexkit*> instance{nullptr};
        // Serialises making and deleting the root; reads take no lock.
        std::mutex instanceMutex;

        // The default colour format set through the root; DEFAULT_COLOR_FMT
        // points here once a host changed it, so it never dangles.
        TextureFormat& customDefaultColorFormat()
        {
            static TextureFormat format;
            return format;
        }

        // Module flag bits.
        enum ModuleFlag : unsigned int
        {
            flagTextureManager = 0x1,
            flagTaskManager = 0x4,
            flagCaptureDeviceManager = 0x8,
            flagDeviceChangeDetector = 0x10,
            flagInputController = 0x20,
            flagDisplayCollection = 0x40,
            flagVideoFormatManager = 0x80,
            flagVideoSourceManager = 0x100,
            flagRenderPassManager = 0x200,
            flagColorManager = 0x400,
        };

        // A manager lower layers reach through its CurrentInstance seam: the
        // seam names it for exactly as long as it exists.
        template <typename Manager>
        void makeManager(std::unique_ptr<Manager>& slot)
        {
            if (slot != nullptr)
                return;
            slot = std::make_unique<Manager>();
            Manager::setCurrent(slot.get());
        }

        template <typename Manager>
        void deleteManager(std::unique_ptr<Manager>& slot)
        {
            Manager::clearCurrent(slot.get());
            slot.reset();
        }

        using Module = EngineRoot::Module;
        constexpr auto numModules = static_cast<std::size_t>(Module::Count);

        // What a module's manager is called in the line saying it was not made.
        const char* moduleName(Module which)
        {
            switch (which)
            {
                case Module::DeviceChangeDetector:
                    return "device-change detector";
                case Module::VideoFormatManager:
                    return "video-format manager";
                case Module::VideoSourceManager:
                    return "video-source manager";
                case Module::CaptureDeviceManager:
                    return "capture-device manager";
                case Module::DisplayCollection:
                    return "display collection";
                case Module::Count:
                    break;
            }
            return "manager";
        }

        // The behaviours' audio-spectrum link, handed to the render passes,
        // which stand beside the behaviours and cannot name it.
        class FFTLinkAdapter : public AudioSpectrumLink
        {
        public:
            explicit FFTLinkAdapter(std::shared_ptr<BehaviourFFTLink> linkToUse) : behaviour(std::move(linkToUse)) {}

            bool link(const std::shared_ptr<ParamBase>& spectrum) override
            {
                return behaviour->link(spectrum, true, true);
            }
            void unlink() override { behaviour->unlink(); }
            bool isLinked() const override { return behaviour->getLinkedFFTParam() != nullptr; }
            const std::vector<float>& getFallingData() const override
            {
                return behaviour->getFallingDataParam()->getValue();
            }

        private:
            std::shared_ptr<BehaviourFFTLink> behaviour;
        };

        class FFTLinks : public AudioSpectrumLinks
        {
        public:
            std::shared_ptr<AudioSpectrumLink> makeLink(ParamRange& owner, double fallbackMs) override
            {
                auto behaviour = std::make_shared<BehaviourFFTLink>(owner);
                behaviour->getFallbackParam()->setValue(fallbackMs, ValueChangeInfo());
                owner.setBehaviour(behaviour);
                return std::make_shared<FFTLinkAdapter>(behaviour);
            }
        };
    }

    // The managers, each owned here while it exists, in the order initialise
    // builds them.
    struct Vexkit::Pimpl
    {
        std::unique_ptr<ParamCollection> paramCollection;
        std::unique_ptr<TaskManager> taskManager;
        std::unique_ptr<InputController> inputController;
        // The device, format and source managers, made through the makers
        // their layers install (EngineRoot::Module order).
        std::array<std::unique_ptr<EngineModule>, numModules> modules;
        std::unique_ptr<ContextManager> contextManager;
        std::unique_ptr<GfxObjectManager> gfxObjectManager;
        std::unique_ptr<TextureManager> textureManager;
        std::unique_ptr<RenderTargetManager> renderTargetManager;
        std::unique_ptr<RenderPassManager> renderPassManager;
        std::unique_ptr<ColorManager> colorManager;
        std::unique_ptr<FFTLinks> audioSpectrumLinks;
        std::atomic<ApplicationInterface*> currentApplication{nullptr};
        CriticalSection renderLock;
        CriticalSection* externalRenderLock = nullptr;
        File debugDirectory;
        bool initialised = false;
        double lastTextureUpdate = 0.0;

        std::unique_ptr<EngineModule>& slot(Module which) { return modules[static_cast<std::size_t>(which)]; }
        EngineModule* module(Module which) const { return modules[static_cast<std::size_t>(which)].get(); }

        template <typename Manager>
        Manager* managerOf(Module which) const
        {
            auto* made = static_cast<EngineModuleOf<Manager>*>(module(which));
            return made != nullptr ? made->manager : nullptr;
        }

        // A manager the root's source manager, when there is one, asks to make
        // sources from XML.
        void registerSourceFactory(SourceFactory& factory) const
        {
            if (module(Module::VideoSourceManager) != nullptr)
                if (SourceDirectory* sources = SourceDirectory::getCurrent())
                    sources->registerSourceFactory(factory);
        }
    };

    Vexkit::Vexkit(unsigned int moduleFlags_) : moduleFlags(moduleFlags_), pimpl(std::make_unique<Pimpl>())
    {
    }

    Vexkit::~Vexkit()
    {
        try
        {
            // Managers a host did not shut down still go, in order.
            shutdown();
            ApplicationInterface::clearCurrent(pimpl->currentApplication.load());
            if (AudioObjectManager* audio = AudioObjectManager::getInstanceWithoutCreating())
            {
                audio->deleteObjects();
                AudioObjectManager::deleteInstance();
            }
            runEndHandlers();
        }
        catch (...)
        {
            logEscapedError("~Vexkit", __LINE__, "Managers could not be shut down");
        }
    }

    Vexkit* Vexkit::create(unsigned int moduleFlags)
    {
        std::lock_guard<std::mutex> hold(instanceMutex);
        if (Vexkit* existing = instance.load())
        {
            logPrint(logWarning, "%s: An engine root exists already; keeping it (flags 0x%X, not 0x%X).",
                     "Vexkit::create", existing->moduleFlags, moduleFlags);
            return existing;
        }
        Vexkit* root = new Vexkit(moduleFlags);
        instance.store(root);
        EngineRoot::setCurrent(root);
        return root;
    }

    Vexkit* Vexkit::getInstance()
    {
        if (Vexkit* root = instance.load())
            return root;
        return create(allModules);
    }

    Vexkit* Vexkit::getInstanceWithoutCreating()
    {
        return instance.load();
    }

    void Vexkit::deleteInstance()
    {
        std::lock_guard<std::mutex> hold(instanceMutex);
        Vexkit* root = instance.exchange(nullptr);
        EngineRoot::clearCurrent(root);
        delete root;
    }

    bool Vexkit::initialise(bool withGL)
    {
        Pimpl& p = *pimpl;

        // 1. Parameter registry, and the audio-spectrum links the render
        //    passes make.
        makeManager(p.paramCollection);
        if (p.audioSpectrumLinks == nullptr)
        {
            p.audioSpectrumLinks = std::make_unique<FFTLinks>();
            AudioSpectrumLinks::setCurrent(p.audioSpectrumLinks.get());
        }

        // 2. Task manager.
        if ((moduleFlags & (flagTaskManager | flagInputController)) != 0 && p.taskManager == nullptr)
        {
            const unsigned int threads = std::clamp(System::getNumParallelThreads(), 1u, 255u);
            p.taskManager = std::make_unique<TaskManager>(static_cast<unsigned char>(threads));
            TaskManager::setCurrent(p.taskManager.get());
        }

        // 3. Input controller, given the task manager.
        if ((moduleFlags & flagInputController) != 0 && p.inputController == nullptr && p.taskManager != nullptr)
        {
            p.inputController = std::make_unique<InputController>(*p.taskManager);
            InputController::setCurrent(p.inputController.get());
        }

        // 4. Device-change detector; hot-plug notifications arrive on this
        //    thread's run loop.
        if ((moduleFlags & flagDeviceChangeDetector) != 0)
            makeModule(Module::DeviceChangeDetector);

        // 5. Video-format manager, which loads image parameters' files.
        if ((moduleFlags & flagVideoFormatManager) != 0)
            makeModule(Module::VideoFormatManager);

        // 6. Video-source manager, the sources' directory of extensions.
        if ((moduleFlags & flagVideoSourceManager) != 0)
            makeModule(Module::VideoSourceManager);

        // 7. Capture-device manager, given the detector (none without it)
        //    and registered with the video-source manager.
        if ((moduleFlags & flagCaptureDeviceManager) != 0 && p.module(Module::DeviceChangeDetector) != nullptr)
            makeModule(Module::CaptureDeviceManager);

        // 8. Context and GPU-object managers. Every context made or wrapped
        // from now on carries a renderer.
        Renderer::installContextHooks();
        makeManager(p.contextManager);
        makeManager(p.gfxObjectManager);

        // 9. Texture manager.
        if ((moduleFlags & flagTextureManager) != 0)
            makeManager(p.textureManager);

        // 10. Render-target manager.
        makeManager(p.renderTargetManager);

        // 11. Render-pass manager; registered with the video-source manager
        //     as a source factory.
        if ((moduleFlags & flagRenderPassManager) != 0 && p.renderPassManager == nullptr)
        {
            makeManager(p.renderPassManager);
            p.registerSourceFactory(*p.renderPassManager);
        }

        // 12. Display collection, given the detector (none without it).
        if ((moduleFlags & flagDisplayCollection) != 0 && p.module(Module::DeviceChangeDetector) != nullptr)
            makeModule(Module::DisplayCollection);
        // 13. Colour manager.
        if ((moduleFlags & flagColorManager) != 0 && p.colorManager == nullptr)
            p.colorManager = std::make_unique<ColorManager>();

        if (! withGL)
            return true;

        // 14. An offscreen primary context, with the GL start-up run on it.
        Context* offscreen = Context::createOffscreenContext(true, 0, nullptr);
        if (offscreen == nullptr)
        {
            logPrint(logError, "%s: No offscreen context available to start OpenGL.", "Vexkit::initialise");
            return false;
        }
        p.contextManager->addContext(offscreen);
        const auto selected = p.contextManager->getScopedPrimaryContextLock();
        if (! selected->isContextUsable())
        {
            logPrint(logError, "%s: The offscreen context cannot be made current.", "Vexkit::initialise");
            return false;
        }
        init();
        return true;
    }

    void Vexkit::init()
    {
        Pimpl& p = *pimpl;
        if (! gfx::initGL())
            return;
        GfxInfo::filloutGfxInfo();

        if (p.taskManager != nullptr)
        {
            const auto primary = p.contextManager != nullptr ? p.contextManager->getPrimaryContext() : nullptr;
            if (primary == nullptr || ! p.taskManager->init(*primary))
                return;
        }
        if (p.textureManager != nullptr)
            p.textureManager->init();
        if (p.renderTargetManager == nullptr || ! p.renderTargetManager->init())
            return;
        Fonts::initialize();

        p.initialised = true;
    }

    void Vexkit::release()
    {
        Pimpl& p = *pimpl;
        p.initialised = false;

        std::shared_ptr<ScopedContextSelector> selected;
        if (p.contextManager != nullptr)
            selected = p.contextManager->getScopedPrimaryContextLock();

        if (EngineModule* formats = p.module(Module::VideoFormatManager))
            formats->release();
        if (p.renderPassManager != nullptr)
            p.renderPassManager->release();
        if (p.renderTargetManager != nullptr)
            p.renderTargetManager->release();
        if (p.gfxObjectManager != nullptr)
            p.gfxObjectManager->cleanAll();
        // Again: cleaning may have handed targets back.
        if (p.renderTargetManager != nullptr)
            p.renderTargetManager->release();
        if (p.textureManager != nullptr)
            p.textureManager->release();
        Fonts::release();
    }

    void Vexkit::shutdown()
    {
        Pimpl& p = *pimpl;
        p.colorManager.reset();
        p.slot(Module::DisplayCollection).reset();
        deleteManager(p.renderPassManager);
        deleteManager(p.renderTargetManager);
        deleteManager(p.textureManager);
        deleteManager(p.gfxObjectManager);
        deleteManager(p.contextManager);
        p.slot(Module::CaptureDeviceManager).reset();
        p.slot(Module::VideoSourceManager).reset();
        p.slot(Module::VideoFormatManager).reset();
        p.slot(Module::DeviceChangeDetector).reset();
        deleteManager(p.inputController);
        if (p.taskManager != nullptr)
        {
            if (TaskManager::getCurrent() == p.taskManager.get())
                TaskManager::setCurrent(nullptr);
            p.taskManager.reset();
        }
        if (p.audioSpectrumLinks != nullptr)
        {
            AudioSpectrumLinks::clearCurrent(p.audioSpectrumLinks.get());
            p.audioSpectrumLinks.reset();
        }
        deleteManager(p.paramCollection);
        p.initialised = false;
    }

    bool Vexkit::isInitialised() const
    {
        return pimpl->initialised;
    }

    bool Vexkit::executeRenderTask()
    {
        Pimpl& p = *pimpl;
        if (p.textureManager != nullptr)
        {
            const double now = getTickCount();
            const double seconds = std::min((now - p.lastTextureUpdate) / 1000.0, 0.1);
            p.textureManager->update(static_cast<float>(seconds));
            p.lastTextureUpdate = now;
        }
        if (p.gfxObjectManager != nullptr)
            p.gfxObjectManager->releaseObjects();
        if (p.taskManager != nullptr)
            p.taskManager->executeTasks(TaskThreadMode::Renderer, 0.0);
        return true;
    }

    bool Vexkit::executeUpdateTask()
    {
        if (pimpl->taskManager != nullptr)
            pimpl->taskManager->executeTasks(TaskThreadMode::Update, 0.0);
        return true;
    }

    bool Vexkit::executeMessageTask()
    {
        Pimpl& p = *pimpl;
        if (p.taskManager != nullptr)
            p.taskManager->executeTasks(TaskThreadMode::Message, 0.04);
        const bool deleted = p.gfxObjectManager != nullptr && p.gfxObjectManager->deleteObjects();
        if (AudioObjectManager* audio = AudioObjectManager::getInstanceWithoutCreating())
            audio->deleteObjects();
        return deleted;
    }

    EngineModule* Vexkit::getModule(Module which) const
    {
        return which < Module::Count ? pimpl->module(which) : nullptr;
    }

    void Vexkit::makeModule(Module which)
    {
        std::unique_ptr<EngineModule>& slot = pimpl->slot(which);
        if (slot != nullptr)
            return;
        if (ModuleMaker maker = getModuleMaker(which))
            slot = maker(*this);
        else
            logPrint(logWarning, "%s: No %s is made: this program does not link its layer.", "Vexkit::initialise",
                     moduleName(which));
    }

    ParamCollection* Vexkit::getParamCollection() const
    {
        return pimpl->paramCollection.get();
    }

    TaskManager* Vexkit::getTaskManager() const
    {
        return pimpl->taskManager.get();
    }

    VideoFormatManager* Vexkit::getVideoFormatManager() const
    {
        return pimpl->managerOf<VideoFormatManager>(Module::VideoFormatManager);
    }

    InputController* Vexkit::getInputController() const
    {
        return pimpl->inputController.get();
    }

    ContextManager* Vexkit::getContextManager() const
    {
        return pimpl->contextManager.get();
    }

    GfxObjectManager* Vexkit::getGfxObjectManager() const
    {
        return pimpl->gfxObjectManager.get();
    }

    TextureManager* Vexkit::getTextureManager() const
    {
        return pimpl->textureManager.get();
    }

    ColorManager* Vexkit::getColorManager() const
    {
        return pimpl->colorManager.get();
    }

    DeviceChangeDetector* Vexkit::getDeviceChangeDetector() const
    {
        return pimpl->managerOf<DeviceChangeDetector>(Module::DeviceChangeDetector);
    }

    VideoSourceManager* Vexkit::getVideoSourceManager() const
    {
        return pimpl->managerOf<VideoSourceManager>(Module::VideoSourceManager);
    }

    CaptureDeviceManager* Vexkit::getCaptureDeviceManager() const
    {
        return pimpl->managerOf<CaptureDeviceManager>(Module::CaptureDeviceManager);
    }

    DisplayCollection* Vexkit::getDisplayCollection() const
    {
        return pimpl->managerOf<DisplayCollection>(Module::DisplayCollection);
    }

    RenderPassManager* Vexkit::getRenderPassManager() const
    {
        return pimpl->renderPassManager.get();
    }

    RenderTargetManager* Vexkit::getRenderTargetManager() const
    {
        return pimpl->renderTargetManager.get();
    }

    Renderer* Vexkit::getPrimaryRenderer() const
    {
        return pimpl->contextManager != nullptr ? pimpl->contextManager->getPrimaryRenderer() : nullptr;
    }

    void Vexkit::setCurrentApplication(ApplicationInterface* application)
    {
        ApplicationInterface::clearCurrent(pimpl->currentApplication.exchange(application));
        if (application != nullptr)
            ApplicationInterface::setCurrent(application);
    }

    ApplicationInterface* Vexkit::getCurrentApplication() const
    {
        return pimpl->currentApplication.load();
    }

    void Vexkit::setupRenderLock(CriticalSection* externalLock)
    {
        pimpl->externalRenderLock = externalLock;
    }

    CriticalSection& Vexkit::getRenderLock() const
    {
        return pimpl->externalRenderLock != nullptr ? *pimpl->externalRenderLock : pimpl->renderLock;
    }

    void Vexkit::setDebugDirectory(const File& directory)
    {
        pimpl->debugDirectory = directory;
        if (! directory.existsAsDirectory() && ! directory.createDirectory())
            logPrint(logError, "%s: Cannot create the debug folder \"%s\".", "Vexkit::setDebugDirectory",
                     directory.getFullPath().c_str());

        const File textureFolder = directory.getChildFile("textureDebugger/");
        if (! textureFolder.existsAsDirectory() && ! textureFolder.createDirectory())
            logPrint(logError, "%s: Cannot create the debug folder \"%s\".", "Vexkit::setDebugDirectory",
                     textureFolder.getFullPath().c_str());
        TextureDebugger::getInstance().setDirectory(textureFolder);
    }

    const File& Vexkit::getDebugDirectory() const
    {
        return pimpl->debugDirectory;
    }

    void Vexkit::setDefaultColorFormat(const TextureFormat& format)
    {
        if (DEFAULT_COLOR_FMT != nullptr && *DEFAULT_COLOR_FMT == format)
            return;

        Pimpl& p = *pimpl;
        formatChangeSignal.signal(formatChangeBefore);
        if (p.renderTargetManager != nullptr)
            p.renderTargetManager->release();
        if (p.textureManager != nullptr)
            p.textureManager->release();
        if (p.gfxObjectManager != nullptr)
            p.gfxObjectManager->cleanAll();

        TextureFormat& stored = customDefaultColorFormat();
        stored = format;
        DEFAULT_COLOR_FMT = &stored;

        if (p.textureManager != nullptr)
            p.textureManager->init();
        formatChangeSignal.signal(formatChangeAfter);
    }

    void Vexkit::drawSystemInfo(Renderer& renderer, float x, float y)
    {
        const Pimpl& p = *pimpl;
        constexpr double megabyte = 1024.0 * 1024.0;
        if (p.textureManager != nullptr)
        {
            const TextureManager& textures = *p.textureManager;
            renderer.drawText(Fonts::small14, x, y, Color::white, "Managed textures: %u (%u)",
                              textures.getUsedTextureCount(), textures.getTotalTextureCount());
            renderer.drawText(Fonts::small14, x, y + 15.0f, Color::white, "Texture VRAM: %.1fMB (%.1f)",
                              textures.getUsedVRAMUsage() / megabyte, textures.getTotalVRAMUsage() / megabyte);
        }
        if (p.renderTargetManager != nullptr)
        {
            const RenderTargetManager& targets = *p.renderTargetManager;
            renderer.drawText(Fonts::small14, x, y + 30.0f, Color::white, "Managed RTs: %u (%u)",
                              targets.getUsedRTCount(), targets.getTotalRTCount());
        }
    }
}
