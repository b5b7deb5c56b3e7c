#pragma once

#include "core/VXCurrentInstance.h"
#include "core/xml/VXXmlAttributes.h"

#include <string>

namespace vx
{
    class CaptureDevice;
    class VideoSource;
    class VideoSourceFactory;
    class XmlCapable;

    // The seam through which the capture device manager makes capture device
    // sources: the video-source layer, above it, fills it when the engine is
    // loaded. Null while nothing does; the manager then makes no sources.
    class CaptureDeviceSources : public CurrentInstance<CaptureDeviceSources>
    {
    public:
        virtual ~CaptureDeviceSources() = default;

        // A source showing device (which holds one reference of it), made by
        // creator (may be null).
        virtual VideoSource* makeSource(CaptureDevice* device, VideoSourceFactory* creator) = 0;
        // A source without device that has read node (not forced); it takes
        // its device from the stored id.
        virtual VideoSource* makeSourceFromXML(const XmlNode& node) = 0;
        // The source as the persistable object it is.
        virtual XmlCapable* asXmlCapable(VideoSource* source) = 0;
        // The id of the device source shows (its extension's unique id when
        // the source finds its extension); empty when source is no capture
        // device source.
        virtual std::string getDeviceId(XmlCapable* source) = 0;
    };
}
