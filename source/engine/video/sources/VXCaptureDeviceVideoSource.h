#pragma once

#include "engine/video/sources/VXPositionableVideoSource.h"

#include <memory>
#include <string>

namespace vx
{
    class CaptureDevice;
    class Deinterlace;
    class FormatConversion;
    template <typename T>
    class Param;

    // A live capture device as a source. The device's texture heads the
    // chain, through the shared "FormatConversion" when the device delivers
    // YUV, swizzled or upside-down frames, and through a deinterlace pass
    // after it while "Deinterlace" is on; both stay at the head of the chain
    // whatever edits, presets and restores do. The source has the device's
    // picture size (not resizable); a YUV device's texture holds two pixels
    // per texel.
    //
    // The source holds one reference of its device, given back through the
    // capture device manager when it changes device or goes. A source without
    // device (restored before its device is plugged) takes it by id at the
    // next update once the manager lists it; until then it saves the device
    // and its settings as it read them. Render and update thread.
    class CaptureDeviceVideoSource : public PositionableVideoSource
    {
    public:
        // Takes over one reference of device (null: none).
        explicit CaptureDeviceVideoSource(CaptureDevice* device);
        CaptureDeviceVideoSource();
        ~CaptureDeviceVideoSource() override;

        // Gives the held device back, then holds device (its reference taken
        // over): the source takes its picture size and its info.
        void setDevice(CaptureDevice* device);
        CaptureDevice* getDevice() const;
        const std::string& getDeviceId() const { return deviceId; }

        // Takes the device by id when missing, updates it, then the base
        // update (no play head).
        bool update(const TimeInfo& info) override;
        // The device's name; "Live Feed" without device or description.
        std::string getDescription() const override;
        // The device's "Capture Params".
        std::shared_ptr<ParamContainer> getSettings() const override;
        bool canProvideThumbnail() const override { return false; }
        bool runsAutonomously() override { return true; }
        bool canRunAutonomously() override { return true; }
        void setRunsAutonomously(bool) override {}
        TextureRef render(Renderer& renderer, const RenderInfo& info) override;

        // The base element with "CaptureInfo" and the device's element
        // inside; without device, the stored one's, as it was read.
        XmlNode* writeStateDerived(XmlPool& pool, bool force) override;
        // The base reading; "CaptureInfo"'s "deviceId" names the device,
        // which reads its "CaptureDevice" element (kept for the device taken
        // later when it is absent).
        void readStateDerived(const XmlNode& node) override;

        static TextureRef getNoDeviceTexture() { return {}; }

        const std::shared_ptr<FormatConversion>& getFormatConversion() const;
        const std::shared_ptr<Deinterlace>& getDeinterlace() const;
        const std::shared_ptr<Param<bool>>& getDeinterlaceParam() const;

    private:
        struct Pimpl;
        std::string deviceId;
        std::unique_ptr<Pimpl> pimpl;
    };
}
