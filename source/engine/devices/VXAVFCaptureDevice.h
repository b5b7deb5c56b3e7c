#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/parameters/VXParamListener.h"
#include "engine/devices/VXCaptureDevice.h"

namespace vx
{
    class AVFCapture;
    template <typename T>
    class ParamChoice;

    namespace avcapture
    {
        class Device;
    }

    // A camera (any video device the platform's capture framework lists) as a
    // capture device: BGRA frames from an AVFCapture session, the device's
    // input sources as "Connection" and its formats as "Format" ("Resolution"
    // stays empty). Changing either choice stops, reconfigures and restarts
    // the session; the device listens asynchronously, so the change runs
    // wherever the host's scheduler delivers it.
    class AVFCaptureDevice : public CaptureDevice, public ParamListener
    {
    public:
        // Appends a new info (owned by the caller) per video device: its name
        // as name and description, its unique id, category "OSX" and the
        // session presets it supports as resolutions.
        static void getAvailableDevices(std::vector<CaptureDeviceInfo*>& infos);

        explicit AVFCaptureDevice(const CaptureDeviceInfo& deviceInfo);
        // Stops listening, then deInitDevice.
        ~AVFCaptureDevice() override;

        // Builds the session and fills the choices; true even when the device
        // could not be opened (it then never delivers a frame).
        bool initDevice() override;
        // Stops and drops the session.
        void deInitDevice() override;
        void updateTexture() override;
        uint16_t getTextureWidth() const override;
        uint16_t getTextureHeight() const override;
        bool uploadToPixels(std::shared_ptr<Pixels>& pixels) override;

        void valueChanged(ParamBase& param, ChangeInfo info) override;

        AVFCapture* getCapture() const { return capture.get(); }
        std::shared_ptr<ParamChoice<int>> getConnectionParam() const { return connectionParam; }
        std::shared_ptr<ParamChoice<int>> getFormatParam() const { return formatParam; }
        std::shared_ptr<ParamChoice<int>> getResolutionParam() const { return resolutionParam; }

    private:
        std::unique_ptr<AVFCapture> capture;
        std::shared_ptr<ParamChoice<int>> connectionParam;
        std::shared_ptr<ParamChoice<int>> formatParam;
        std::shared_ptr<ParamChoice<int>> resolutionParam;
    };

    // The sizes of the session presets 320x240, 352x288, 640x480, 960x540
    // and 1280x720 that the device supports, in that order.
    std::vector<CaptureDeviceInfo::Resolution> getAvailableResolutionsForDevice(const avcapture::Device& device);
}
