#pragma once

#include "engine/devices/VXCaptureDeviceInfo.h"
#include "engine/video/sources/VXSourceExtension.h"

namespace vx
{
    class CaptureDeviceManager;

    // One input device as a source extension: the device info's name,
    // description, unique id and category; listed whatever the caller asks
    // (flag false). Sources are the manager's, for the device's id; presets
    // are not applied to them.
    class CaptureDeviceExtension : public VideoSourceExtension
    {
    public:
        // The thumbnail every device extension shows; none while the size is
        // -1 or there is no data.
        static int imageSize;
        static const char* imageData;

        CaptureDeviceExtension(CaptureDeviceManager& manager, const CaptureDeviceInfo& info);

        // category + " Capture Devices".
        std::string getCategoryName() const override;
        // The manager's source for the device; the preset is not used.
        VideoSource* createSource(XmlState* preset) override;
        using VideoSourceExtension::createSource;
        XmlCapable* createSourceFromXML(const XmlNode& node) override;
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;

    private:
        CaptureDeviceManager& manager;
    };
}
