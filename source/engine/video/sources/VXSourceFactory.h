#pragma once

#include "core/xml/VXXmlAttributes.h"

#include <string>

namespace vx
{
    class VideoSource;
    class XmlCapable;

    // Makes sources of its kinds: by id, again from a stored element, and
    // writes the child element by which it recognises its sources. Kinds
    // that see the whole source class answer it covariantly from
    // createSourceFromXML.
    class SourceFactory
    {
    public:
        virtual ~SourceFactory() = default;

        // A new source owned by the caller, or null.
        virtual VideoSource* createSource(const std::string& id) = 0;
        // The source stored in node (owned by the caller), or null when node
        // is not of this factory's kinds.
        virtual XmlCapable* createSourceFromXML(const XmlNode& node) = 0;
        // The identifying child for source, not linked anywhere; or null.
        virtual XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) = 0;
    };

    // The factory a video source remembers as its creator.
    class VideoSourceFactory : public SourceFactory
    {
    };
}
