// Fills the capture device manager's source seam, so the manager makes
// capture device sources. The engine links this file into every program that
// uses it.

#include "engine/devices/VXCaptureDeviceSources.h"
#include "engine/video/sources/VXCaptureDeviceVideoSource.h"

namespace vx
{
    namespace
    {
        class Sources final : public CaptureDeviceSources
        {
        public:
            VideoSource* makeSource(CaptureDevice* device, VideoSourceFactory* creator) override
            {
                auto* source = new CaptureDeviceVideoSource(device);
                source->setCreator(creator);
                return source;
            }

            VideoSource* makeSourceFromXML(const XmlNode& node) override
            {
                auto* source = new CaptureDeviceVideoSource();
                source->readState(&node, false);
                return source;
            }

            XmlCapable* asXmlCapable(VideoSource* source) override { return source; }

            std::string getDeviceId(XmlCapable* source) override
            {
                auto* capture = dynamic_cast<CaptureDeviceVideoSource*>(source);
                if (capture == nullptr)
                    return {};
                if (SourceExtension* extension = capture->getExtension())
                    return extension->getExtensionUniqueId();
                return capture->getDeviceId();
            }
        };

        Sources sources;
        const bool installed = (CaptureDeviceSources::setCurrent(&sources), true);
    }
}
