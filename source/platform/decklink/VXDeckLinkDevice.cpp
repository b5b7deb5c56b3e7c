#include "engine/devices/VXDeckLinkDevice.h"

// The card layer of the devices: the engine type is declared in
// engine/devices; its calls into the driver live here, with the driver's
// interfaces.

#include <cstdio>
#include <map>
#include <utility>

#include "core/VXLog.h"
#include "core/VXStringUtils.h"
#include "platform/decklink/VXDeckLinkAPI.h"

namespace vx
{
    namespace
    {
        struct ConnectionName
        {
            uint32_t connection;
            const char* name;
        };

        constexpr ConnectionName connectionTable[] = {
            {bmdVideoConnectionSDI, "SDI"},
            {bmdVideoConnectionHDMI, "HDMI"},
            {bmdVideoConnectionOpticalSDI, "Optical SDI"},
            {bmdVideoConnectionComponent, "Component"},
            {bmdVideoConnectionComposite, "Composite"},
            {bmdVideoConnectionSVideo, "S-Video"},
        };

        // At most 64 bytes with the terminator, as the driver's fixed buffers.
        std::string limitName(const char* text)
        {
            std::string result = StringToStdString(text);
            if (result.size() > 63)
                result.resize(63);
            return result;
        }

        template <typename Interface>
        Interface* queryInterface(IUnknown* object, REFIID iid)
        {
            void* found = nullptr;
            if (object == nullptr || object->QueryInterface(iid, &found) != S_OK)
                return nullptr;
            return static_cast<Interface*>(found);
        }

        template <typename Interface>
        void releaseInterface(Interface*& object)
        {
            if (object != nullptr)
                object->Release();
            object = nullptr;
        }

        bool readModes(IDeckLinkDisplayModeIterator* iterator, std::vector<DeckLinkMode*>& modes)
        {
            IDeckLinkDisplayMode* mode = nullptr;
            while (iterator->Next(&mode) == S_OK && mode != nullptr)
            {
                modes.push_back(new DeckLinkMode{deckLink_getDisplayModeName(mode), mode});
                mode = nullptr;
            }
            iterator->Release();
            return true;
        }

        void deleteModes(std::vector<DeckLinkMode*>& modes)
        {
            for (DeckLinkMode* mode : modes)
            {
                if (mode->mode != nullptr)
                    mode->mode->Release();
                delete mode;
            }
            modes.clear();
        }

        // Walks the driver's cards under their engine names until visit
        // answers true (the card is then kept for the caller, not released).
        template <typename Visit>
        IDeckLink* walkCards(IDeckLinkIterator& iterator, Visit visit)
        {
            std::map<std::string, int> countByModel;
            IDeckLink* card = nullptr;
            while (iterator.Next(&card) == S_OK && card != nullptr)
            {
                const std::string model = decklink_getModelName(card);
                if (! model.empty())
                {
                    const int count = ++countByModel[model];
                    if (visit(card, model + " " + intToString(count)))
                        return card;
                }
                card->Release();
                card = nullptr;
            }
            return nullptr;
        }

        DeckLinkMode* findMode(const std::vector<DeckLinkMode*>& modes, uint32_t displayMode)
        {
            for (DeckLinkMode* mode : modes)
                if (mode->mode != nullptr && mode->mode->GetDisplayMode() == displayMode)
                    return mode;
            return nullptr;
        }

        const DeckLinkVideoConnection* findConnection(const std::vector<DeckLinkVideoConnection>& connections,
                                                      uint32_t connection)
        {
            for (const DeckLinkVideoConnection& record : connections)
                if (record.connection == connection)
                    return &record;
            return nullptr;
        }
    }

    bool decklink_getAvailableDevices(std::vector<DDInfo>& devices)
    {
        logPrint(logInfo, "Enumerating available decklink devices.");
        IDeckLinkIterator* iterator = CreateDeckLinkIteratorInstance();
        if (iterator == nullptr)
        {
            logPrint(logError, "%s: A DeckLink iterator could not be created. The DeckLink drivers may not be installed.",
                     "decklink_getAvailableDevices");
            return false;
        }
        int found = 0;
        walkCards(*iterator, [&](IDeckLink* card, const std::string& name) {
            DDInfo info;
            info.name = name;
            std::vector<DeckLinkVideoConnection> connections;
            info.hasInput = decklink_getVideoConnections(card, true, connections) && ! connections.empty();
            connections.clear();
            info.hasOutput = decklink_getVideoConnections(card, false, connections) && ! connections.empty();
            devices.push_back(info);
            ++found;
            logPrint(logInfo, "Found Blackmagic device: %s", name.c_str());
            return false;
        });
        iterator->Release();
        logPrint(logInfo, "Found %d decklink devices.", found);
        return true;
    }

    IDeckLink* decklink_findDeckLinkByName(const std::string& name)
    {
        IDeckLinkIterator* iterator = CreateDeckLinkIteratorInstance();
        if (iterator == nullptr)
        {
            debugPrint("A DeckLink iterator could not be created.  The DeckLink drivers may not be installed.");
            return nullptr;
        }
        if (auto* information = queryInterface<IDeckLinkAPIInformation>(iterator, IID_IDeckLinkAPIInformation))
        {
            int64_t version = 0;
            if (information->GetInt(BMDDeckLinkAPIVersion, &version) == S_OK)
                std::printf("DeckLinkAPI version: %d.%d.%d\n", int((version >> 24) & 0xff),
                            int((version >> 16) & 0xff), int((version >> 8) & 0xff));
            information->Release();
        }
        IDeckLink* card =
            walkCards(*iterator, [&](IDeckLink*, const std::string& cardName) { return cardName == name; });
        iterator->Release();
        return card;
    }

    std::string decklink_getModelName(IDeckLink* deckLink)
    {
        const char* text = nullptr;
        if (deckLink == nullptr || deckLink->GetModelName(&text) != S_OK)
            return {};
        const std::string name = limitName(text);
        std::printf("=============== %s ===============\n\n", name.c_str());
        return name;
    }

    std::string deckLink_getDisplayModeName(IDeckLinkDisplayMode* displayMode)
    {
        const char* text = nullptr;
        if (displayMode == nullptr || displayMode->GetName(&text) != S_OK)
            return {};
        const std::string name = limitName(text);
        std::printf("=============== %s ===============\n\n", name.c_str());
        return name;
    }

    bool decklink_getVideoConnections(IDeckLink* deckLink, bool input,
                                      std::vector<DeckLinkVideoConnection>& connections)
    {
        logPrint(logInfo, "Enumerating decklink connections.");
        auto* attributes = queryInterface<IDeckLinkAttributes>(deckLink, IID_IDeckLinkAttributes);
        if (attributes == nullptr)
        {
            logPrint(logError, "Creating deckLinkConfig failed!");
            return false;
        }
        int64_t mask = 0;
        if (attributes->GetInt(input ? BMDDeckLinkVideoInputConnections : BMDDeckLinkVideoOutputConnections,
                               &mask) == S_OK)
        {
            for (const ConnectionName& entry : connectionTable)
            {
                if ((mask & entry.connection) == 0)
                    continue;
                connections.push_back({entry.name, entry.connection});
                logPrint(logInfo, "-Connection: %s ", entry.name);
            }
        }
        attributes->Release();
        return true;
    }

    bool decklink_getModesForInput(IDeckLinkInput* input, std::vector<DeckLinkMode*>& modes)
    {
        IDeckLinkDisplayModeIterator* iterator = nullptr;
        if (input == nullptr || input->GetDisplayModeIterator(&iterator) != S_OK || iterator == nullptr)
        {
            std::fputs("Could not obtain the input display mode iterator\n", stderr);
            return false;
        }
        return readModes(iterator, modes);
    }

    bool decklink_getModesForOutput(IDeckLinkOutput* output, std::vector<DeckLinkMode*>& modes)
    {
        IDeckLinkDisplayModeIterator* iterator = nullptr;
        if (output == nullptr || output->GetDisplayModeIterator(&iterator) != S_OK || iterator == nullptr)
        {
            std::fputs("Could not obtain the output display mode iterator\n", stderr);
            return false;
        }
        return readModes(iterator, modes);
    }

    bool decklink_doesDeviceSupportInputFormatDetection(IDeckLink* deckLink)
    {
        void* found = nullptr;
        const HRESULT result =
            deckLink != nullptr ? deckLink->QueryInterface(IID_IDeckLinkAttributes, &found) : E_NOINTERFACE;
        if (result != S_OK || found == nullptr)
        {
            std::fprintf(stderr, "Could not obtain the IDeckLinkAttributes interface - result = %08x\n",
                         static_cast<unsigned int>(result));
            return false;
        }
        auto* attributes = static_cast<IDeckLinkAttributes*>(found);
        bool supported = false;
        if (attributes->GetFlag(BMDDeckLinkSupportsInputFormatDetection, &supported) != S_OK)
            supported = false;
        attributes->Release();
        return supported;
    }

    DeckLinkDevice::DeckLinkDevice(const std::string& deviceName) : name(deviceName) {}

    DeckLinkDevice::~DeckLinkDevice()
    {
        release();
    }

    std::map<std::string, int>& DeckLinkDevice::deviceStates()
    {
        static std::map<std::string, int> states;
        return states;
    }

    std::map<std::string, CaptureOutputDeviceInfo>& DeckLinkDevice::knownDevices()
    {
        static std::map<std::string, CaptureOutputDeviceInfo> known;
        return known;
    }

    bool DeckLinkDevice::initialize()
    {
        const char* function = "initialize";
        if (deviceStates().count(name) != 0)
        {
            logPrint(logError, "%s: Device '%s' is allready in use.\n", function, name.c_str());
            return false;
        }
        if (! comUsage.isInitialized())
        {
            logPrint(logError, "%s: Failed initializing com.\n", function);
            return false;
        }
        deckLink = decklink_findDeckLinkByName(name);
        if (deckLink == nullptr)
        {
            logPrint(logError, "%s: Failed finding decklink device '%s'.\n", function, name.c_str());
            return false;
        }
        configuration = queryInterface<IDeckLinkConfiguration>(deckLink, IID_IDeckLinkConfiguration);
        if (configuration == nullptr)
        {
            logPrint(logError, "%s: Failed getting decklink device '%s' config.\n", function, name.c_str());
            return false;
        }

        input = queryInterface<IDeckLinkInput>(deckLink, IID_IDeckLinkInput);
        if (input != nullptr)
        {
            deleteModes(inputModes);
            if (! decklink_getModesForInput(input, inputModes))
            {
                logPrint(logWarning, "%s: Getting device input formats failed.", function);
                return false;
            }
        }
        else
            logPrint(logError, "%s: Getting device input handle failed, device might have no inputs.", function);

        output = queryInterface<IDeckLinkOutput>(deckLink, IID_IDeckLinkOutput);
        if (output != nullptr)
        {
            deleteModes(outputModes);
            if (! decklink_getModesForOutput(output, outputModes))
            {
                logPrint(logWarning, "%s: Getting device output formats failed.", function);
                return false;
            }
        }
        else
        {
            logPrint(logInfo, "%s: Getting device output handle failed, device might have no outputs.", function);
            if (input == nullptr)
            {
                logPrint(logError, "%s: Device has no working input or output.", function);
                return false;
            }
        }

        if (input != nullptr && ! decklink_getVideoConnections(deckLink, true, inputConnections))
        {
            logPrint(logError, "%s: Failed getting available input connections.\n", function);
            return false;
        }
        if (output != nullptr && ! decklink_getVideoConnections(deckLink, false, outputConnections))
        {
            logPrint(logError, "%s: Failed getting available output connections.\n", function);
            return false;
        }

        deviceStates()[name] = StateOpened;
        ownsStateEntry = true;

        if (knownDevices().count(name) == 0)
        {
            CaptureOutputDeviceInfo info;
            info.name = name;
            for (size_t i = 0; i < outputConnections.size(); ++i)
            {
                if (! setOutputConnection(outputConnections[i].connection))
                    break;
                CaptureOutputDeviceInfo::Connection record;
                record.name = outputConnections[i].name;
                record.index = static_cast<int>(i);
                for (size_t m = 0; m < outputModes.size(); ++m)
                    record.modes.push_back({outputModes[m]->name, static_cast<int>(m)});
                info.connections.push_back(record);
            }
            knownDevices()[name] = info;
        }
        return true;
    }

    void DeckLinkDevice::release()
    {
        close();
    }

    std::unique_ptr<DeckLinkDevice::DriverObjects> DeckLinkDevice::close()
    {
        std::unique_ptr<DriverObjects> held(new DriverObjects());
        pixelFormat = PixelFormatYUV;
        currentConnection = nullptr;
        inputConnections.clear();
        outputConnections.clear();
        currentMode = nullptr;
        held->modes.swap(inputModes);
        held->modes.insert(held->modes.end(), outputModes.begin(), outputModes.end());
        outputModes.clear();
        inputEnabled = outputEnabled = false;
        held->name = name;
        held->ownsStateEntry = std::exchange(ownsStateEntry, false);
        held->deckLink = std::exchange(deckLink, nullptr);
        held->configuration = std::exchange(configuration, nullptr);
        held->input = std::exchange(input, nullptr);
        held->output = std::exchange(output, nullptr);
        return held;
    }

    DeckLinkDevice::DriverObjects::~DriverObjects()
    {
        deleteModes(modes);
        if (input != nullptr)
        {
            input->SetCallback(nullptr);
            input->DisableVideoInput();
            releaseInterface(input);
        }
        if (output != nullptr)
        {
            output->DisableVideoOutput();
            releaseInterface(output);
        }
        // Whatever state the card reached (an input-only card stays at 1, an
        // opening that failed after registering too): the entry goes with the
        // object that made it, and never another object's. It stays until the
        // card is given back, so nothing opens it meanwhile.
        if (ownsStateEntry)
            deviceStates().erase(name);
        releaseInterface(configuration);
        releaseInterface(deckLink);
    }

    const DeckLinkVideoConnection* DeckLinkDevice::findInputConnection(uint32_t connection) const
    {
        return findConnection(inputConnections, connection);
    }

    const DeckLinkVideoConnection* DeckLinkDevice::findOutputConnection(uint32_t connection) const
    {
        return findConnection(outputConnections, connection);
    }

    DeckLinkMode* DeckLinkDevice::findInputMode(uint32_t displayMode) const
    {
        return findMode(inputModes, displayMode);
    }

    DeckLinkMode* DeckLinkDevice::findOutputMode(uint32_t displayMode) const
    {
        return findMode(outputModes, displayMode);
    }

    void DeckLinkDevice::setState(int state)
    {
        if (ownsStateEntry)
            deviceStates()[name] = state;
    }

    bool DeckLinkDevice::setInputConnection(uint32_t connection)
    {
        const char* function = "setInputConnection";
        if (inputConnections.empty())
        {
            logPrint(logError, "%s: Cannot set input connection, there are none available.", function);
            return false;
        }
        currentConnection = findInputConnection(connection);
        if (currentConnection == nullptr)
            currentConnection = &inputConnections.front();
        if (configuration == nullptr ||
            configuration->SetInt(bmdDeckLinkConfigVideoInputConnection, currentConnection->connection) != S_OK)
        {
            logPrint(logError, "%s: Setting input connection mode failed.", function);
            return false;
        }
        setState(StateInputConnectionSet);
        return true;
    }

    bool DeckLinkDevice::setOutputConnection(uint32_t connection)
    {
        const char* function = "setOutputConnection";
        if (outputConnections.empty())
        {
            logPrint(logError, "%s: Cannot set output connection, there are none available.", function);
            return false;
        }
        currentConnection = findOutputConnection(connection);
        if (currentConnection == nullptr)
            currentConnection = &outputConnections.front();
        if (configuration == nullptr ||
            configuration->SetInt(bmdDeckLinkConfigVideoOutputConnection, currentConnection->connection) != S_OK)
        {
            logPrint(logError, "%s: Setting output connection mode failed.", function);
            return false;
        }
        setState(StateOutputConnectionSet);
        return true;
    }

    void DeckLinkDevice::restartInput()
    {
        input->PauseStreams();
        enableVideoInput();
        input->FlushStreams();
        input->StartStreams();
    }

    bool DeckLinkDevice::setInputMode(uint32_t displayMode, bool restartEnabledInput)
    {
        if (inputModes.empty())
        {
            logPrint(logError, "%s: Cannot set input mode, there are none available.", "setInputMode");
            return false;
        }
        currentMode = findInputMode(displayMode);
        if (currentMode == nullptr)
            currentMode = inputModes.front();
        if (restartEnabledInput && inputEnabled && input != nullptr)
            restartInput();
        return true;
    }

    bool DeckLinkDevice::setOutputMode(uint32_t displayMode)
    {
        if (outputModes.empty())
        {
            logPrint(logError, "%s: Cannot set output mode, there are none available.", "setOutputMode");
            return false;
        }
        currentMode = findOutputMode(displayMode);
        if (currentMode == nullptr)
            currentMode = outputModes.front();
        return ! outputEnabled;
    }

    void DeckLinkDevice::setPixelFormat(PixelFormat format, bool restartEnabledInput)
    {
        if (format == pixelFormat)
            return;
        pixelFormat = format;
        if (restartEnabledInput && inputEnabled && input != nullptr)
            restartInput();
    }

    bool DeckLinkDevice::enableVideoInput()
    {
        if (input == nullptr)
            return false;
        if (currentMode == nullptr || currentMode->mode == nullptr)
        {
            logPrint(logError, "%s: No input mode selected on '%s'.", "enableVideoInput", name.c_str());
            inputEnabled = false;
            return false;
        }
        const BMDVideoInputFlags flags = decklink_doesDeviceSupportInputFormatDetection(deckLink)
                                             ? bmdVideoInputEnableFormatDetection
                                             : bmdVideoInputFlagDefault;
        const BMDPixelFormat format = pixelFormat == PixelFormatYUV ? bmdFormat8BitYUV : bmdFormat8BitARGB;
        inputEnabled = input->EnableVideoInput(currentMode->mode->GetDisplayMode(), format, flags) == S_OK;
        return inputEnabled;
    }

    bool DeckLinkDevice::disableVideoInput()
    {
        IDeckLinkInput* disabling = takeInputToDisable();
        if (disabling == nullptr)
            return false;
        const bool disabled = disabling->DisableVideoInput() == S_OK;
        disabling->Release();
        return disabled;
    }

    IDeckLinkInput* DeckLinkDevice::takeInputToDisable()
    {
        inputEnabled = false;
        if (input != nullptr)
            input->AddRef();
        return input;
    }

    bool DeckLinkDevice::enableVideoOutput()
    {
        if (output == nullptr)
            return false;
        if (currentMode == nullptr || currentMode->mode == nullptr)
        {
            logPrint(logError, "%s: No output mode selected on '%s'.", "enableVideoOutput", name.c_str());
            outputEnabled = false;
            return false;
        }
        outputEnabled = output->EnableVideoOutput(currentMode->mode->GetDisplayMode(), bmdVideoOutputFlagDefault) == S_OK;
        return outputEnabled;
    }

    bool DeckLinkDevice::disableVideoOutput()
    {
        outputEnabled = false;
        return output != nullptr && output->DisableVideoOutput() == S_OK;
    }

    int DeckLinkDevice::getDeviceState(const std::string& deviceName)
    {
        const auto found = deviceStates().find(deviceName);
        return found != deviceStates().end() ? found->second : 0;
    }

    bool DeckLinkDevice::isDeviceKnown(const std::string& deviceName)
    {
        return knownDevices().count(deviceName) != 0;
    }

    bool DeckLinkDevice::getKnownDeviceInfo(const std::string& deviceName, CaptureOutputDeviceInfo& deviceInfo)
    {
        const auto found = knownDevices().find(deviceName);
        if (found == knownDevices().end())
            return false;
        deviceInfo.name = found->second.name;
        deviceInfo.connections = found->second.connections;
        return true;
    }
}
