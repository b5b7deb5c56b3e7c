#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/parameters/VXParamListener.h"
#include "engine/devices/VXCaptureDevice.h"

namespace vx
{
    class DeckLinkDevice;
    template <typename T>
    class ParamChoice;

    // The input of a capture card as a capture device. "Connection" and
    // "Format" choose the card's input connection and display mode; frames
    // arrive on the driver's thread into a CPU buffer (the newest only) and
    // are uploaded once per engine frame. It follows the card's format
    // detection: a new display mode is chosen by name, a switch between
    // YCbCr 4:2:2 and RGB 4:4:4 changes the pixel format.
    //
    // YUV frames are uploaded two pixels per texel, reading (Y0, V, Y1, U);
    // RGB frames one pixel per texel as (A, R, G, B), swizzle mode 1.
    //
    // Threads: driver callbacks take the frame lock (frames) or the device
    // lock (format changes); updateTexture and getFrameLayout (render
    // thread) take the device lock, then the frame lock; parameter changes
    // take the device lock. The choices are set only on the thread that
    // runs the asynchronous callbacks (the message thread), as the user's
    // are: a display mode the card reports is queued for that thread and
    // chosen there by name. The driver calls that may wait for its callback
    // thread (stopping, disabling, clearing the callbacks, closing) are made
    // without the device lock. Frames and format changes delivered after
    // the card closed are dropped, and nothing restarts the input of a
    // device that is stopping or stopped (a new format or mode is kept for
    // the next start); the callbacks are reference counted, and when the
    // device goes they let go of it, wait for driver calls still in them and
    // live on while the driver holds them.
    class CaptureDeviceDeckLink : public CaptureDevice, public ParamListener
    {
    public:
        static const std::string deviceCategory;

        // Appends a new info (owned by the caller) per card; false when the
        // driver is absent.
        static bool enumerateDevices(std::vector<CaptureDeviceInfo*>& infos);

        explicit CaptureDeviceDeckLink(const CaptureDeviceInfo& deviceInfo);
        // Stops listening, stops the streams and closes the card.
        ~CaptureDeviceDeckLink() override;

        bool initDevice() override;
        void deInitDevice() override;
        void startDevice() override;
        // Stops the streams and disables the input without holding the
        // device lock: the driver's StopStreams and DisableVideoInput wait
        // for a format callback that may be waiting for it.
        void stopDevice() override;
        void updateTexture() override;
        uint16_t getTextureWidth() const override;
        bool requiresOpaqueForce() override;
        // Under the device lock, then the frame lock.
        FrameLayout getFrameLayout() override;

        // Stops the streams, closes and reopens the card, and starts it.
        void reinit();
        // Apply the choices to the card (refilling their entries); false
        // (logged) when the card has none or refuses.
        bool selectConnectionFromParam();
        bool selectModeFromParam();

        void valueChanged(ParamBase& param, ChangeInfo info) override;
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        void readStateDerived(const XmlNode& node) override;

        DeckLinkDevice& getCard();
        std::shared_ptr<ParamChoice<int>> getConnectionParam() const { return connection; }
        std::shared_ptr<ParamChoice<int>> getFormatParam() const { return format; }

        // The driver's callbacks, on its threads.
        class Callbacks;

    private:
        std::shared_ptr<ParamChoice<int>> connection;
        std::shared_ptr<ParamChoice<int>> format;
        // Detached and released when the device goes; the driver may hold
        // the callbacks longer.
        struct DetachCallbacks
        {
            void operator()(Callbacks* callbacks) const;
        };
        std::unique_ptr<Callbacks, DetachCallbacks> callbacks;
    };
}
