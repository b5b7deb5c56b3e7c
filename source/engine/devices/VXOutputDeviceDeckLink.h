#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/VXBroadcaster.h"
#include "core/parameters/VXParamListener.h"
#include "engine/devices/VXCaptureDeviceInfo.h"

namespace vx
{
    class DeckLinkDevice;
    class ParamContainer;

    class OutputDeviceDeckLinkListener
    {
    public:
        virtual ~OutputDeviceDeckLinkListener() = default;
        virtual void outputConnectionChanged() {}
        virtual void outputModeChanged() {}
    };

    // The engine's picture out through a card's video output. The host draws
    // between begin and end; end turns the RGBA picture into 8-bit 4:2:2
    // (bytes U Y0 V Y1, BT.601 limited range) on the GPU, reads it back into
    // a card frame and schedules it. Drawing is paced by the card: begin
    // answers true only after the card completed a frame. "Connections",
    // "Modes" and "Overscan Compensation" (percent of the picture's size left
    // as a black border) are its parameters; a connection or mode change
    // reopens the card.
    //
    // begin, end and release run on the render thread (release also from the
    // message thread, handing GL objects to the GPU-object manager). The
    // card's completion callback only sets a flag of its own: each opening
    // gets a new, reference-counted callback, so a completion the driver
    // delivers after a close or after the device went changes nothing.
    class OutputDeviceDeckLink : public ParamListener, public Broadcaster<OutputDeviceDeckLinkListener>
    {
    public:
        // Appends the info of every card with outputs; false when the driver
        // is absent. A card not yet opened is opened and closed once to learn
        // its connections and modes.
        static bool enumerateDevices(std::vector<CaptureOutputDeviceInfo>& infos);
        static int getDeviceState(const std::string& deviceName);

        explicit OutputDeviceDeckLink(const std::string& deviceName);
        // Stops listening, then release().
        ~OutputDeviceDeckLink() override;
        OutputDeviceDeckLink(const OutputDeviceDeckLink&) = delete;
        OutputDeviceDeckLink& operator=(const OutputDeviceDeckLink&) = delete;

        // Opens the card, prerolls 60 frames and starts playback; false
        // (closed again) when a step fails.
        bool initialize();
        void release();

        // Binds the device's target for the host to draw into; false (draw
        // nothing) until the card completed a frame, or when the target or
        // the conversion program cannot be made (the device is then closed).
        bool begin();
        // Converts, reads back and schedules what the host drew.
        void end();

        std::shared_ptr<ParamContainer> getParams() const;
        uint16_t getWidth() const;
        uint16_t getHeight() const;
        DeckLinkDevice& getCard();
        // Frames ready to take the next picture.
        int getNumFreeFrames() const;
        // Without an output thread there is nothing to gather.
        void gatherCompletedFrames();

        void valueChanged(ParamBase& param, ChangeInfo info) override;

        static const char* const vsRGBAToYUV;
        static const char* const psRGBAToYUV;

        class Pimpl;

    private:
        std::unique_ptr<Pimpl> pimpl;
    };
}
