#pragma once

#include "core/VXCurrentInstance.h"
#include "core/xml/VXXmlAttributes.h"

#include <memory>
#include <string>

namespace vx
{
    class Generator;
    class GeneratorSourceExtension;
    class RenderPassInfo;
    class VideoSource;
    class VideoSourceFactory;
    class XmlCapable;

    // The seam through which the render-pass manager offers generators as
    // video sources: the video-source layer, above it, fills it when the
    // engine is loaded. Null while nothing does; the manager then offers no
    // sources.
    class GeneratorSources : public CurrentInstance<GeneratorSources>
    {
    public:
        virtual ~GeneratorSources() = default;

        // The source extension for one generator kind.
        virtual std::shared_ptr<GeneratorSourceExtension> makeExtension(RenderPassInfo& info) = 0;
        virtual std::string getExtensionName(const GeneratorSourceExtension& extension) = 0;
        // A source over generator (which it takes; null makes none), made by
        // creator.
        virtual VideoSource* makeSource(Generator* generator, VideoSourceFactory* creator) = 0;
        // An empty generator source that has read node (not forced).
        virtual VideoSource* makeSourceFromXML(const XmlNode& node) = 0;
        // The source as the persistable object it is.
        virtual XmlCapable* asXmlCapable(VideoSource* source) = 0;
    };
}
