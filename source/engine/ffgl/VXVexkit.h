#pragma once

#include "core/VXEngineRoot.h"
#include "core/VXSignal.h"

#include <memory>

namespace vx
{
    class ApplicationInterface;
    class CaptureDeviceManager;
    class ColorManager;
    class ContextManager;
    class CriticalSection;
    class DeviceChangeDetector;
    class DisplayCollection;
    class File;
    class GfxObjectManager;
    class InputController;
    class ParamCollection;
    class Renderer;
    class RenderPassManager;
    class RenderTargetManager;
    class TaskManager;
    class TextureFormat;
    class TextureManager;
    class VideoFormatManager;
    class VideoSourceManager;

    // The engine root: one per process, owning one instance of each engine
    // manager for its whole life. Managers are built by initialise according
    // to the module flags and reached through the getters, which answer null
    // while a manager does not exist (before initialise, after shutdown, or
    // when its flag is off). Getters take no lock.
    //
    // Module flags: 0x1 texture manager, 0x4 task manager, 0x8 capture-device
    // manager, 0x10 device-change detector, 0x20 input controller (and task
    // manager), 0x40 display collection, 0x80 video-format manager, 0x100
    // video-source manager, 0x200 render-pass manager, 0x400 colour manager.
    // The parameter registry, context, GPU-object and render-target managers
    // are always made. The device-change detector, capture-device manager,
    // display collection, video-format and video-source managers are made
    // through the makers their layers install (EngineRoot::Module): a program
    // that does not link a layer gets none of its managers (a warning line
    // says so when its flag asks for one), and links none of its libraries.
    class Vexkit : public EngineRoot
    {
    public:
        // Module flag value that enables every manager.
        static constexpr unsigned int allModules = 0xFFFFFFFFu;

        // Fired around a change of the default colour format.
        enum FormatChangeState
        {
            formatChangeBefore = 0,
            formatChangeAfter = 1
        };

        // Makes the root with these flags and makes it the singleton; when one
        // exists already it is answered unchanged (with a warning line).
        static Vexkit* create(unsigned int moduleFlags);
        // The singleton; made with every flag (not initialised) when none
        // exists. Never null.
        static Vexkit* getInstance();
        // The singleton or null; never makes one.
        static Vexkit* getInstanceWithoutCreating();
        // Destroys the singleton, if any.
        static void deleteInstance();

        // Managers a host did not shut down are deleted here too.
        ~Vexkit() override;
        Vexkit(const Vexkit&) = delete;
        Vexkit& operator=(const Vexkit&) = delete;

        // Builds the managers that do not exist yet, without GL. withGL also
        // makes an offscreen primary context and runs init() on it; answers
        // false when that context cannot be made (the managers built remain).
        bool initialise(bool withGL);
        // The engine's GL start-up, with the primary context current: GL entry
        // points, capabilities, task manager, texture and render-target
        // managers, fonts. Stops silently at the first failing step, leaving
        // isInitialised() false.
        void init();
        // Gives the engine's GPU resources back, under the primary context.
        void release();
        // Deletes the managers, last made first.
        void shutdown();
        // True after a complete init(), until release().
        bool isInitialised() const;

        // Per-frame queue draining for the host. The render task ages the
        // texture pool and releases queued GPU objects; the message task
        // answers whether GPU objects were deleted.
        bool executeRenderTask();
        bool executeUpdateTask();
        bool executeMessageTask();

        unsigned int getConfiguration() const { return moduleFlags; }

        ParamCollection* getParamCollection() const;
        // Made with module flag 0x4 or 0x20.
        TaskManager* getTaskManager() const;
        ContextManager* getContextManager() const;
        GfxObjectManager* getGfxObjectManager() const;
        // Made only with module flag 0x1.
        TextureManager* getTextureManager() const;
        RenderTargetManager* getRenderTargetManager() const;
        // The renderer of the context manager's primary context, or null.
        Renderer* getPrimaryRenderer() const;

        // Made with module flag 0x20, over the task manager.
        InputController* getInputController() const;
        // Made with module flag 0x200; empty until the application registers
        // pass kinds.
        RenderPassManager* getRenderPassManager() const;

        // Made with module flag 0x80; it is also the image parameters'
        // PixelsLoader while it exists.
        VideoFormatManager* getVideoFormatManager() const;

        // Made with module flag 0x10, on the thread whose run loop receives
        // the hot-plug notifications.
        DeviceChangeDetector* getDeviceChangeDetector() const;
        // Made with module flag 0x100; the current source directory while it
        // exists.
        VideoSourceManager* getVideoSourceManager() const;
        // Made with module flags 0x8 and 0x10 (it listens to the detector);
        // registered with the video-source manager as a source factory.
        CaptureDeviceManager* getCaptureDeviceManager() const;
        // Made with module flags 0x40 and 0x10 (it listens to the detector).
        DisplayCollection* getDisplayCollection() const;
        ColorManager* getColorManager() const;

        EngineModule* getModule(Module which) const override;

        // The host application; not owned, null until set.
        void setCurrentApplication(ApplicationInterface* application);
        ApplicationInterface* getCurrentApplication() const;

        // A lock for hosts that render from several threads; the root never
        // takes it itself. Not owned; null goes back to the root's own lock.
        void setupRenderLock(CriticalSection* externalLock);
        CriticalSection& getRenderLock() const;

        // Keeps the folder (made when missing) and hands its "textureDebugger/"
        // child (made when missing) to the texture debugger.
        void setDebugDirectory(const File& directory);
        const File& getDebugDirectory() const;

        // Makes a copy of format the default colour format: textures and
        // render targets are given back first and the texture pool is started
        // again after. Nothing happens for the current default.
        void setDefaultColorFormat(const TextureFormat& format);
        Signal<void, FormatChangeState> formatChangeSignal;

        // Texture and render-target pool counts in white small text, one line
        // every 15 pixels from (x, y).
        void drawSystemInfo(Renderer& renderer, float x, float y);

        bool isResearch() const { return false; }

    private:
        explicit Vexkit(unsigned int moduleFlags);
        // Makes the module through its maker unless it exists.
        void makeModule(Module which);

        struct Pimpl;

        unsigned int moduleFlags;
        std::unique_ptr<Pimpl> pimpl;
    };
}
