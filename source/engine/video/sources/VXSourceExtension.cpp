#include "engine/video/sources/VXSourceExtension.h"

namespace vx
{
    SourceExtension::SourceExtension(const SourceInfo& sourceInfo, bool flag) : Extension(flag), info(sourceInfo) {}

    XmlCapable* SourceExtension::createSourceFromXML(const XmlNode&)
    {
        return nullptr;
    }

    VideoSource* SourceExtension::createSource(const std::string&)
    {
        return nullptr;
    }
}
