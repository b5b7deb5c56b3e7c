#pragma once

// What the capture and screen source suites share: a capture device manager
// over the scripted capture framework and the simulated card driver, current
// while it lives.

#include "engine/devices/VXCaptureDeviceManager.h"
#include "engine/devices/VXDeviceChangeDetector.h"
#include "engine/devices/scripted/VXScriptedAVCapture.h"
#include "engine/devices/simdriver/VXDeckLinkSimControl.h"

#include <dlfcn.h>

#include <memory>

namespace vx::test
{
    // The simulated card driver's control surface, the loader pointed at it
    // (once per process); null when it does not load.
    inline DeckLinkSimControl* cardSimulator()
    {
        static DeckLinkSimControl* control = [] {
            setDeckLinkDriverPath(VX_DECKLINK_SIM_PATH);
            void* module = dlopen(VX_DECKLINK_SIM_PATH, RTLD_NOW | RTLD_LOCAL);
            if (module == nullptr)
                return static_cast<DeckLinkSimControl*>(nullptr);
            auto find = reinterpret_cast<DeckLinkSimControl* (*)()>(dlsym(module, "vxDeckLinkSimControl"));
            return find != nullptr ? find() : nullptr;
        }();
        return control;
    }

    // A card named "M 1" with one input and a 1080p30 mode.
    inline DeckLinkSimCard inputCard()
    {
        DeckLinkSimCard card;
        card.model = "M";
        card.inputConnections = 1;
        card.modes = {{bmdModeHD1080p30, "1080p30", 1920, 1080, 1000, 30000}};
        return card;
    }

    inline ScriptedAVCapture::DeviceSpec cameraSpec(const std::string& name, const std::string& id)
    {
        ScriptedAVCapture::DeviceSpec spec;
        spec.name = name;
        spec.uniqueId = id;
        spec.inputs = {{"in-a", "Front"}, {"in-b", "Back"}};
        spec.activeInput = 0;
        spec.formats = {{640, 480}, {1280, 720}};
        spec.presets = {"AVCaptureSessionPreset640x480"};
        return spec;
    }

    // Scripted cameras, the simulated driver (emptied) and a current
    // capture device manager on a detector of its own.
    class CaptureDevices
    {
    public:
        CaptureDevices() : sim(cardSimulator()), cameras(ScriptedAVCapture::install())
        {
            if (sim != nullptr)
                sim->reset();
            manager = std::make_unique<CaptureDeviceManager>(detector);
            CaptureDeviceManager::setCurrent(manager.get());
        }
        ~CaptureDevices()
        {
            CaptureDeviceManager::clearCurrent(manager.get());
            manager.reset();
            ScriptedAVCapture::uninstall();
            if (sim != nullptr)
                sim->reset();
        }
        CaptureDevices(const CaptureDevices&) = delete;
        CaptureDevices& operator=(const CaptureDevices&) = delete;

        // What the detector sends after a USB device came or went.
        void usbChanged()
        {
            detector.callListeners(&DeviceChangeListener::DeviceGotConnected, DeviceCategoryUSB, CallType::standard);
        }

        DeckLinkSimControl* sim;
        std::shared_ptr<ScriptedAVCapture> cameras;
        DeviceChangeDetector detector;
        std::unique_ptr<CaptureDeviceManager> manager;
    };
}
