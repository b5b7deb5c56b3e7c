#include "engine/devices/VXCaptureDeviceExtension.h"

#include "engine/devices/VXCaptureDeviceManager.h"

namespace vx
{
    int CaptureDeviceExtension::imageSize = -1;
    const char* CaptureDeviceExtension::imageData = nullptr;

    CaptureDeviceExtension::CaptureDeviceExtension(CaptureDeviceManager& owner, const CaptureDeviceInfo& info)
        : VideoSourceExtension(SourceInfo{info.name, info.description, info.uniqueId, info.category}, false),
          manager(owner)
    {
        if (imageSize != -1 && imageData != nullptr)
            setThumbnail(imageSize, imageData);
    }

    std::string CaptureDeviceExtension::getCategoryName() const
    {
        return VideoSourceExtension::getCategoryName() + " Capture Devices";
    }

    VideoSource* CaptureDeviceExtension::createSource(XmlState*)
    {
        return manager.createSource(getExtensionUniqueId());
    }

    XmlCapable* CaptureDeviceExtension::createSourceFromXML(const XmlNode& node)
    {
        return manager.createSourceFromXML(node);
    }

    XmlNode* CaptureDeviceExtension::saveSourceToXML(XmlPool& pool, XmlCapable* source)
    {
        return manager.saveSourceToXML(pool, source);
    }
}
