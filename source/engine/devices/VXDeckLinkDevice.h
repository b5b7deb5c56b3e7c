#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/VXScopedComUsage.h"
#include "engine/devices/VXCaptureDeviceInfo.h"

class IDeckLink;
class IDeckLinkConfiguration;
class IDeckLinkDisplayMode;
class IDeckLinkInput;
class IDeckLinkOutput;

namespace vx
{
    // A card as enumeration lists it.
    struct DDInfo
    {
        std::string name;
        bool hasInput = false;
        bool hasOutput = false;
    };

    struct DeckLinkVideoConnection
    {
        std::string name;
        uint32_t connection = 0; // the card's connection bit
    };

    // A display mode of a card; holds a reference on the mode while it lives
    // in a device's lists.
    struct DeckLinkMode
    {
        std::string name;
        IDeckLinkDisplayMode* mode = nullptr;
    };

    // Cards of the driver, named "<model> <n>" with n counting the cards of
    // one model in the driver's order; cards without a model name are left
    // out. False (logged) when the driver is absent.
    bool decklink_getAvailableDevices(std::vector<DDInfo>& devices);
    // The card of that name, held for the caller (who releases it); null when
    // none has it or the driver is absent.
    IDeckLink* decklink_findDeckLinkByName(const std::string& name);
    std::string decklink_getModelName(IDeckLink* deckLink);
    std::string deckLink_getDisplayModeName(IDeckLinkDisplayMode* displayMode);
    // Appends the card's input or output connections in the fixed order SDI,
    // HDMI, Optical SDI, Component, Composite, S-Video. False only when the
    // card answers no attributes.
    bool decklink_getVideoConnections(IDeckLink* deckLink, bool input,
                                      std::vector<DeckLinkVideoConnection>& connections);
    // Append a new mode per display mode of the interface (owned by the
    // caller); false when the interface gives no mode iterator.
    bool decklink_getModesForInput(IDeckLinkInput* input, std::vector<DeckLinkMode*>& modes);
    bool decklink_getModesForOutput(IDeckLinkOutput* output, std::vector<DeckLinkMode*>& modes);
    bool decklink_doesDeviceSupportInputFormatDetection(IDeckLink* deckLink);

    // One opened card: its input and output, connections, display modes and
    // input pixel format. Cards in use are marked in a process-wide registry,
    // so a second object cannot open the same card; what each card offers for
    // output is recorded the first time it opens. Message thread only: the
    // registries have no lock.
    class DeckLinkDevice
    {
    public:
        enum PixelFormat : int
        {
            PixelFormatYUV = 0, // 8-bit 4:2:2, bytes U Y0 V Y1
            PixelFormatRGB = 1  // 8-bit ARGB
        };

        // Registry states of a card in use.
        enum State : int
        {
            StateOpened = 1,
            StateInputConnectionSet = 2,
            StateOutputConnectionSet = 3
        };

        explicit DeckLinkDevice(const std::string& deviceName);
        // release().
        ~DeckLinkDevice();
        DeckLinkDevice(const DeckLinkDevice&) = delete;
        DeckLinkDevice& operator=(const DeckLinkDevice&) = delete;

        // What a closed device held of the driver. Given back when it goes:
        // the input's callback cleared and the input disabled, the output
        // disabled, the modes and interfaces released, then the card's
        // registry entry freed (when the device made it) and the card
        // released. A driver may wait in these calls for its callback
        // thread: an owner whose callbacks take a lock of its own closes
        // under that lock and lets this go outside it.
        class DriverObjects
        {
        public:
            ~DriverObjects();
            DriverObjects(const DriverObjects&) = delete;
            DriverObjects& operator=(const DriverObjects&) = delete;
            // Null when the card had no input.
            IDeckLinkInput* getInputHandle() const { return input; }

        private:
            friend class DeckLinkDevice;
            DriverObjects() = default;

            std::string name;
            bool ownsStateEntry = false;
            IDeckLink* deckLink = nullptr;
            IDeckLinkConfiguration* configuration = nullptr;
            IDeckLinkInput* input = nullptr;
            IDeckLinkOutput* output = nullptr;
            std::vector<DeckLinkMode*> modes;
        };

        // Opens the card of this name: its interfaces, modes and connections.
        // False (logged) when it is in use, missing or unusable; what was
        // obtained stays held until release().
        bool initialize();
        bool isInitialized() const { return deckLink != nullptr; }
        // Gives everything back and frees the card's registry entry when this
        // object made it.
        void release();
        // Closes the object as release() does, leaving the calls into the
        // driver to the answer (see DriverObjects).
        std::unique_ptr<DriverObjects> close();

        const std::string& getName() const { return name; }
        const std::vector<DeckLinkVideoConnection>& getInputConnections() const { return inputConnections; }
        const std::vector<DeckLinkVideoConnection>& getOutputConnections() const { return outputConnections; }
        const std::vector<DeckLinkMode*>& getInputModes() const { return inputModes; }
        const std::vector<DeckLinkMode*>& getOutputModes() const { return outputModes; }
        const DeckLinkVideoConnection* getCurrentConnection() const { return currentConnection; }
        DeckLinkMode* getCurrentMode() const { return currentMode; }
        PixelFormat getPixelFormat() const { return pixelFormat; }
        IDeckLinkInput* getInputHandle() const { return input; }
        IDeckLinkOutput* getOutputHandle() const { return output; }
        bool isInputEnabled() const { return inputEnabled; }
        bool isOutputEnabled() const { return outputEnabled; }

        const DeckLinkVideoConnection* findInputConnection(uint32_t connection) const;
        const DeckLinkVideoConnection* findOutputConnection(uint32_t connection) const;
        DeckLinkMode* findInputMode(uint32_t displayMode) const;
        DeckLinkMode* findOutputMode(uint32_t displayMode) const;

        // Select the connection of that value, or the first one; false (logged)
        // when there is none or the card refuses it.
        bool setInputConnection(uint32_t connection);
        bool setOutputConnection(uint32_t connection);
        // Selects the mode of that id, or the first; an enabled input
        // restarts in it unless told not to (its device is stopping or
        // stopped), and takes it when next enabled. False (logged) when there
        // are no modes.
        bool setInputMode(uint32_t displayMode, bool restartEnabledInput = true);
        // Selects the mode of that id, or the first. False while the output is
        // enabled: the mode takes effect at the next enableVideoOutput.
        bool setOutputMode(uint32_t displayMode);
        // An enabled input restarts in the new format, unless told not to
        // (its streams are stopping); it takes the format when next enabled.
        void setPixelFormat(PixelFormat format, bool restartEnabledInput = true);

        bool enableVideoInput();
        bool disableVideoInput();
        // Clears input-enabled and answers the input with a reference for the
        // caller, who calls its DisableVideoInput and Release (outside its own
        // locks, see DriverObjects); null without an input.
        IDeckLinkInput* takeInputToDisable();
        bool enableVideoOutput();
        bool disableVideoOutput();

        // The registry state of a card (0 when not in use).
        static int getDeviceState(const std::string& deviceName);
        static bool isDeviceKnown(const std::string& deviceName);
        static bool getKnownDeviceInfo(const std::string& deviceName, CaptureOutputDeviceInfo& deviceInfo);

    private:
        void restartInput();
        void setState(int state);
        static std::map<std::string, int>& deviceStates();
        static std::map<std::string, CaptureOutputDeviceInfo>& knownDevices();

        std::string name;
        ScopedComUsage comUsage;
        IDeckLink* deckLink = nullptr;
        IDeckLinkConfiguration* configuration = nullptr;
        std::vector<DeckLinkVideoConnection> inputConnections;
        std::vector<DeckLinkVideoConnection> outputConnections;
        const DeckLinkVideoConnection* currentConnection = nullptr;
        IDeckLinkInput* input = nullptr;
        bool inputEnabled = false;
        IDeckLinkOutput* output = nullptr;
        bool outputEnabled = false;
        std::vector<DeckLinkMode*> inputModes;
        std::vector<DeckLinkMode*> outputModes;
        DeckLinkMode* currentMode = nullptr;
        PixelFormat pixelFormat = PixelFormatYUV;
        // Whether this object made the card's registry entry.
        bool ownsStateEntry = false;
    };
}
