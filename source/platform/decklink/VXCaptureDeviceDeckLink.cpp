#include "engine/devices/VXCaptureDeviceDeckLink.h"

// The capture card's calls into the driver and its callbacks; the engine type
// is declared in engine/devices.

#include <epoxy/gl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>

#include "core/VXAsyncUpdatable.h"
#include "core/VXCriticalSection.h"
#include "core/VXLog.h"
#include "core/VXScopedLock.h"
#include "core/parameters/VXParamChoice.h"
#include "core/parameters/VXParamContainer.h"
#include "core/parameters/VXParamView.h"
#include "engine/devices/VXDeckLinkDevice.h"
#include "engine/gfx/VXTexture.h"
#include "engine/gfx/VXTextureManager.h"
#include "platform/decklink/VXDeckLinkAPI.h"
#include "platform/decklink/VXDeckLinkCallback.h"

namespace vx
{
    namespace
    {
        const TextureFormat& yuvTextureFormat = CaptureDevice::packedYUVTextureFormat;

        constexpr ParamView::ControlType choiceControl = static_cast<ParamView::ControlType>(2);
    }

    const std::string CaptureDeviceDeckLink::deviceCategory = "DeckLink Capture Device";

    // Counted: the device holds one reference and the driver may hold more,
    // so the callbacks outlive a device whose card still calls them. A
    // display mode the card reports is handed to the asynchronous callback,
    // on the thread that owns the parameters, which chooses it there.
    class CaptureDeviceDeckLink::Callbacks
        : public DeckLinkCallback<IDeckLinkInputCallback, IDeckLinkScreenPreviewCallback>,
          public AsyncUpdatable
    {
    public:
        Callbacks(CaptureDeviceDeckLink& device, const std::string& cardName) : owner(&device), card(cardName) {}

        ~Callbacks() override
        {
            cleanup();
            std::free(output.buffer);
        }

        HRESULT VideoInputFrameArrived(IDeckLinkVideoInputFrame*, IDeckLinkAudioInputPacket*) override { return S_OK; }

        HRESULT DrawFrame(IDeckLinkVideoFrame* frame) override
        {
            const InCall call(*this);
            if (frame == nullptr)
                return S_OK;
            ScopedLock hold(output.lock);
            if (! output.open || owner == nullptr)
                return S_OK;
            const long frameWidth = frame->GetWidth();
            const long frameHeight = frame->GetHeight();
            const long rowBytes = frame->GetRowBytes();
            if (frameWidth <= 0 || frameHeight <= 0 || rowBytes <= 0 || frameWidth > 65535 || frameHeight > 65535)
                return S_OK;
            if (frameWidth != output.width || frameHeight != output.height || rowBytes != output.rowBytes ||
                output.buffer == nullptr)
            {
                void* resized = std::realloc(output.buffer, size_t(rowBytes) * size_t(frameHeight));
                if (resized == nullptr)
                {
                    logPrint(logError, "%s: Cannot hold a %ld x %ld frame of %ld bytes per row.", "DrawFrame",
                             frameWidth, frameHeight, rowBytes);
                    return S_OK;
                }
                output.buffer = static_cast<unsigned char*>(resized);
                output.width = int(frameWidth);
                output.height = int(frameHeight);
                output.rowBytes = int(rowBytes);
                output.newFrame = false;
            }
            void* bytes = nullptr;
            if (frame->GetBytes(&bytes) == S_OK && bytes != nullptr)
            {
                std::memcpy(output.buffer, bytes, size_t(rowBytes) * size_t(frameHeight));
                output.newFrame = true;
            }
            owner->width = int(frameWidth);
            owner->height = int(frameHeight);
            return S_OK;
        }

        HRESULT VideoInputFormatChanged(BMDVideoInputFormatChangedEvents events, IDeckLinkDisplayMode* newMode,
                                        BMDDetectedVideoInputFormatFlags detectedSignalFlags) override
        {
            const InCall call(*this);
            const char* function = "VideoInputFormatChanged";
            if ((events & bmdVideoInputFieldDominanceChanged) != 0)
                logPrint(logWarning, "%s: Received video field change, we cannot handle these.", function);
            if ((events & bmdVideoInputColorspaceChanged) != 0)
            {
                ScopedLock hold(deviceLock);
                if (owner == nullptr || ! output.open)
                    return S_OK;
                if ((detectedSignalFlags & bmdDetectedVideoInputRGB444) != 0)
                {
                    logPrint(logInfo, "%s: Pixel format changed to RGB444.", function);
                    setFormat(DeckLinkDevice::PixelFormatRGB);
                }
                else if ((detectedSignalFlags & bmdDetectedVideoInputYCbCr422) != 0)
                {
                    logPrint(logInfo, "%s: Pixel format changed to YCbCr422.", function);
                    setFormat(DeckLinkDevice::PixelFormatYUV);
                }
            }
            if ((events & bmdVideoInputDisplayModeChanged) != 0 && newMode != nullptr)
            {
                const char* text = nullptr;
                const std::string name = newMode->GetName(&text) == S_OK ? StringToStdString(text) : std::string();
                logPrint(logInfo, "%s: Changing video mode to: '%s'.", function, name.c_str());
                {
                    ScopedLock hold(deviceLock);
                    if (owner == nullptr || ! output.open)
                        return S_OK;
                    reportedModes.push_back(name);
                }
                // Outside the lock: without a scheduler the callback runs
                // here, and it takes the lock.
                triggerAsyncUpdate();
            }
            return S_OK;
        }

        // The modes the card reported, in order, on the thread that owns the
        // parameters (the user's choices are set there too). Each selects
        // the "Format" entry of its name; the switch itself follows in
        // valueChanged. Counted as a call, so the device waits for it.
        void asyncCallback() override
        {
            const InCall call(*this);
            std::deque<std::string> modes;
            CaptureDeviceDeckLink* device = nullptr;
            {
                ScopedLock hold(deviceLock);
                modes.swap(reportedModes);
                device = owner;
            }
            if (device == nullptr)
                return;
            for (const std::string& name : modes)
                device->format->setValueByName(name, ValueChangeInfo());
        }

        // Under the device lock, with an owner and the card open. A device
        // that is stopping or stopped keeps the format for its next start
        // and restarts nothing.
        void setFormat(DeckLinkDevice::PixelFormat pixelFormat)
        {
            const bool yuv = pixelFormat == DeckLinkDevice::PixelFormatYUV;
            {
                ScopedLock hold(output.lock);
                owner->needsYUVToRGBA = yuv;
                owner->swizzleMode = yuv ? 0 : 1;
                owner->textureFormat = yuv ? yuvTextureFormat : Texture::RGBA8;
            }
            card.setPixelFormat(pixelFormat, owner->started);
        }

        // The device goes: later calls find no owner. Then waits for calls
        // that are in it (none can queue a mode after that), withdraws a
        // queued hand-over, and drops the device's reference.
        void detach()
        {
            {
                ScopedLock deviceHold(deviceLock);
                ScopedLock frameHold(output.lock);
                owner = nullptr;
                reportedModes.clear();
            }
            while (running.load() > 0)
                std::this_thread::yield();
            cleanup();
            Release();
        }

        // Counts a driver call running in these callbacks.
        class InCall
        {
        public:
            explicit InCall(Callbacks& callbacks) : running(callbacks.running) { ++running; }
            ~InCall() { --running; }
            InCall(const InCall&) = delete;
            InCall& operator=(const InCall&) = delete;

        private:
            std::atomic<int>& running;
        };

        // Null once the device went; guarded by both locks (either suffices
        // to read it).
        CaptureDeviceDeckLink* owner;
        DeckLinkDevice card;
        CriticalSection deviceLock;
        struct Output
        {
            CriticalSection lock;
            int width = 0;
            int height = 0;
            int rowBytes = 0;
            unsigned char* buffer = nullptr;
            bool newFrame = false;
            // Frames and format changes are taken only while the card is open:
            // one the driver delivers late, after the close, changes nothing.
            // Written under both locks.
            bool open = false;
        } output;
        // Display modes reported and not yet chosen; under the device lock.
        std::deque<std::string> reportedModes;
        // Driver calls running in these callbacks (see detach); a driver may
        // still be in one after it was cleared.
        std::atomic<int> running{0};
        // Rows repacked to the texture's width when the card's rows differ.
        std::vector<unsigned char> staging;
    };

    bool CaptureDeviceDeckLink::enumerateDevices(std::vector<CaptureDeviceInfo*>& infos)
    {
        std::vector<DDInfo> devices;
        if (! decklink_getAvailableDevices(devices))
            return false;
        for (const DDInfo& device : devices)
        {
            auto* info = new CaptureDeviceInfo();
            info->name = info->description = info->uniqueId = device.name;
            info->category = deviceCategory;
            info->inUseForOutput = DeckLinkDevice::getDeviceState(device.name) == DeckLinkDevice::StateOutputConnectionSet;
            info->hasInput = device.hasInput;
            info->hasOutput = device.hasOutput;
            infos.push_back(info);
        }
        return true;
    }

    CaptureDeviceDeckLink::CaptureDeviceDeckLink(const CaptureDeviceInfo& deviceInfo)
        : CaptureDevice(deviceInfo),
          connection(std::make_shared<ParamChoice<int>>("Connection")),
          format(std::make_shared<ParamChoice<int>>("Format")),
          callbacks(new Callbacks(*this, deviceInfo.name))
    {
        orientation = 1;
        needsYUVToRGBA = true;
        textureFormat = yuvTextureFormat;
        params->addParam(connection);
        params->addParam(format);
        params->setViewForParam(connection, ParamView(choiceControl), false);
        params->setViewForParam(format, ParamView(choiceControl), false);
        connection->addListener(*this, true);
        format->addListener(*this, true);
    }

    CaptureDeviceDeckLink::~CaptureDeviceDeckLink()
    {
        connection->removeListener(*this);
        format->removeListener(*this);
        stopDevice();
        deInitDevice();
    }

    void CaptureDeviceDeckLink::DetachCallbacks::operator()(Callbacks* callbacks) const
    {
        callbacks->detach();
    }

    CaptureDevice::FrameLayout CaptureDeviceDeckLink::getFrameLayout()
    {
        // The locks the driver's callbacks write these under, in their order.
        ScopedLock deviceHold(callbacks->deviceLock);
        ScopedLock frameHold(callbacks->output.lock);
        return CaptureDevice::getFrameLayout();
    }

    DeckLinkDevice& CaptureDeviceDeckLink::getCard()
    {
        return callbacks->card;
    }

    bool CaptureDeviceDeckLink::initDevice()
    {
        DeckLinkDevice& card = callbacks->card;
        IDeckLinkInput* input = nullptr;
        {
            ScopedLock hold(callbacks->deviceLock);
            if (card.initialize() && selectConnectionFromParam() && selectModeFromParam() &&
                card.getInputHandle() != nullptr)
            {
                ScopedLock frameHold(callbacks->output.lock);
                IDeckLinkDisplayMode* mode = card.getCurrentMode()->mode;
                width = int(mode->GetWidth());
                height = int(mode->GetHeight());
                callbacks->output.open = true;
                input = card.getInputHandle();
                input->AddRef();
            }
        }
        // The callbacks are set, and a failed opening closed, without the
        // device lock (see deInitDevice).
        if (input == nullptr)
        {
            deInitDevice();
            return false;
        }
        const char* failed = nullptr;
        if (input->SetScreenPreviewCallback(callbacks.get()) != S_OK)
            failed = "screen preview";
        else if (input->SetCallback(callbacks.get()) != S_OK)
            failed = "input";
        input->Release();
        if (failed != nullptr)
        {
            logPrint(logError, "%s: Setting the %s callback of '%s' failed.", "initDevice", failed,
                     card.getName().c_str());
            deInitDevice();
            return false;
        }
        return true;
    }

    void CaptureDeviceDeckLink::deInitDevice()
    {
        // The card closes under the device lock: a format callback that
        // comes in afterwards finds it closed and leaves it alone. The
        // driver is called after the lock is let go, since its
        // DisableVideoInput, like StopStreams, may wait for a callback that
        // waits for the lock.
        std::unique_ptr<DeckLinkDevice::DriverObjects> closed;
        {
            ScopedLock hold(callbacks->deviceLock);
            {
                ScopedLock frameHold(callbacks->output.lock);
                callbacks->output.open = false;
                std::free(callbacks->output.buffer);
                callbacks->output.buffer = nullptr;
                callbacks->output.width = callbacks->output.height = callbacks->output.rowBytes = 0;
                callbacks->output.newFrame = false;
                // The card forgets a detected format when released and opens
                // in YUV again: so does the device, until the card detects
                // anew.
                needsYUVToRGBA = true;
                swizzleMode = 0;
                textureFormat = yuvTextureFormat;
            }
            closed = callbacks->card.close();
        }
        if (IDeckLinkInput* input = closed->getInputHandle())
        {
            input->SetScreenPreviewCallback(nullptr);
            input->SetCallback(nullptr);
        }
        closed.reset();
    }

    void CaptureDeviceDeckLink::startDevice()
    {
        ScopedLock hold(callbacks->deviceLock);
        DeckLinkDevice& card = callbacks->card;
        IDeckLinkInput* input = card.getInputHandle();
        if (input == nullptr)
            return;
        if (! card.enableVideoInput())
            logPrint(logError, "%s: Enabling input failed!", "startDevice");
        if (input->StartStreams() == S_OK)
            started = true;
        else
            logPrint(logError, "%s: Starting the input streams of '%s' failed.", "startDevice", card.getName().c_str());
    }

    void CaptureDeviceDeckLink::stopDevice()
    {
        // StopStreams and DisableVideoInput wait for the driver's callback
        // thread, where a format change may wait for the device lock: they
        // are called without the lock, on a reference of their own (a close
        // elsewhere may let go of the card meanwhile). Once started is false
        // a format change restarts nothing.
        DeckLinkDevice& card = callbacks->card;
        IDeckLinkInput* input = nullptr;
        {
            ScopedLock hold(callbacks->deviceLock);
            started = false;
            input = card.getInputHandle();
            if (input == nullptr)
                return;
            input->AddRef();
        }
        input->StopStreams();
        IDeckLinkInput* disabling = nullptr;
        {
            ScopedLock hold(callbacks->deviceLock);
            if (card.getInputHandle() == input)
                disabling = card.takeInputToDisable();
        }
        if (disabling != nullptr)
        {
            disabling->DisableVideoInput();
            disabling->Release();
        }
        input->Release();
    }

    void CaptureDeviceDeckLink::reinit()
    {
        // Each step takes the device lock for what it changes and calls the
        // driver's stopping and closing calls without it (see stopDevice and
        // deInitDevice); a format change in between finds the device stopped
        // or the card closed.
        stopDevice();
        deInitDevice();
        initDevice();
        startDevice();
    }

    bool CaptureDeviceDeckLink::selectConnectionFromParam()
    {
        ScopedLock hold(callbacks->deviceLock);
        DeckLinkDevice& card = callbacks->card;
        const auto& connections = card.getInputConnections();
        if (connections.empty())
        {
            logPrint(logError, "%s: Encountered decklink device without any connections.", "selectConnectionFromParam");
            return false;
        }
        connection->clearChoices();
        for (size_t i = 0; i < connections.size(); ++i)
            connection->addChoice(connections[i].name, int(i), true, true);
        const int index = connection->getValue();
        const auto& chosen = index >= 0 && size_t(index) < connections.size() ? connections[size_t(index)]
                                                                              : connections.front();
        if (! card.setInputConnection(chosen.connection))
        {
            logPrint(logError, "%s: Could not switch current input connection to '%s'.", "selectConnectionFromParam",
                     chosen.name.c_str());
            return false;
        }
        return true;
    }

    bool CaptureDeviceDeckLink::selectModeFromParam()
    {
        ScopedLock hold(callbacks->deviceLock);
        DeckLinkDevice& card = callbacks->card;
        const auto& modes = card.getInputModes();
        if (modes.empty())
        {
            logPrint(logError, "%s: Encountered decklink device without any formats.", "selectModeFromParam");
            return false;
        }
        format->clearChoices();
        for (size_t i = 0; i < modes.size(); ++i)
            format->addChoice(modes[i]->name, int(i), true, true);
        // A restored index this card has no mode for takes the first mode.
        const int index = format->getValue();
        const DeckLinkMode* chosen = index >= 0 && size_t(index) < modes.size() ? modes[size_t(index)] : modes.front();
        // A device that is stopping or stopped keeps the mode for its next
        // start: nothing restarts its input.
        if (! card.setInputMode(chosen->mode->GetDisplayMode(), started))
        {
            logPrint(logError, "%s: Could not switch current input mode to '%s'.", "selectModeFromParam",
                     chosen->name.c_str());
            return false;
        }
        return true;
    }

    void CaptureDeviceDeckLink::valueChanged(ParamBase& param, ChangeInfo)
    {
        if (&param == connection.get())
            selectConnectionFromParam();
        else if (&param == format.get())
            selectModeFromParam();
    }

    XmlNode* CaptureDeviceDeckLink::writeStateDerived(XmlPool& pool, bool force)
    {
        return CaptureDevice::writeStateDerived(pool, force);
    }

    void CaptureDeviceDeckLink::readStateDerived(const XmlNode& node)
    {
        CaptureDevice::readStateDerived(node);
        connection->setValue(connection->getValue(), ValueChangeInfo(ChangeType_Always));
        format->setValue(format->getValue(), ValueChangeInfo(ChangeType_Always));
    }

    uint16_t CaptureDeviceDeckLink::getTextureWidth() const
    {
        if (callbacks->card.getPixelFormat() == DeckLinkDevice::PixelFormatYUV)
            return static_cast<uint16_t>((width + 1) / 2);
        return static_cast<uint16_t>(width);
    }

    bool CaptureDeviceDeckLink::requiresOpaqueForce()
    {
        return callbacks->card.getPixelFormat() == DeckLinkDevice::PixelFormatRGB;
    }

    void CaptureDeviceDeckLink::updateTexture()
    {
        // The whole call under both locks, in this order: the driver's
        // threads write the geometry and the format these reads depend on.
        ScopedLock deviceHold(callbacks->deviceLock);
        ScopedLock frameHold(callbacks->output.lock);
        const uint16_t textureWidth = getTextureWidth();
        const uint16_t textureHeight = getTextureHeight();
        if (textureWidth == 0 || textureHeight == 0)
            return;
        if (texture.get() == nullptr || texture->getWidth() != textureWidth || texture->getHeight() != textureHeight ||
            texture->getFormat() != textureFormat)
        {
            Texture* made = nullptr;
            if (TextureManager* manager = TextureManager::getCurrent())
                made = manager->aquireTexture(textureWidth, textureHeight, textureFormat);
            else
            {
                made = new Texture();
                made->create(textureWidth, textureHeight, textureFormat);
            }
            texture.reset(made);
            if (made == nullptr || ! made->isValid())
            {
                texture.reset();
                return;
            }
        }

        auto& output = callbacks->output;
        if (output.buffer == nullptr || ! output.newFrame)
            return;
        output.newFrame = false;
        // The card's rows need not be 4 x the texture width (odd YUV widths,
        // padded rows): repack so nothing is skewed or read past the buffer.
        const size_t textureRow = size_t(textureWidth) * 4;
        const size_t frameRow = size_t(output.rowBytes);
        const int rows = std::min<int>(textureHeight, output.height);
        const unsigned char* pixels = output.buffer;
        if (frameRow != textureRow || rows != textureHeight)
        {
            callbacks->staging.assign(textureRow * textureHeight, 0);
            const size_t copied = std::min(frameRow, textureRow);
            for (int y = 0; y < rows; ++y)
                std::memcpy(callbacks->staging.data() + size_t(y) * textureRow, output.buffer + size_t(y) * frameRow,
                            copied);
            pixels = callbacks->staging.data();
        }
        texture->update(pixels, textureWidth, textureHeight);
    }
}
