#pragma once

#include "core/parameters/VXExtension.h"
#include "engine/video/sources/VXSourceFactory.h"
#include "engine/video/sources/VXSourceInfo.h"

namespace vx
{
    class XmlState;

    // A kind of source the user can pick, with its presets, that also makes
    // its sources. Name, description, unique id and category name are the
    // four strings of the info it was made from.
    class SourceExtension : public Extension, public SourceFactory
    {
    public:
        // flag: listed only when all extensions are asked for.
        SourceExtension(const SourceInfo& info, bool flag);

        std::string getExtensionName() const override { return info.name; }
        std::string getExtensionDescription() const override { return info.description; }
        std::string getExtensionUniqueId() const override { return info.uniqueId; }
        virtual std::string getCategoryName() const { return info.categoryName; }
        const SourceInfo& getSourceInfo() const { return info; }

        // A new source with this extension's info and, where the kind takes
        // one, the preset linked; null when none can be made.
        virtual VideoSource* createSource(XmlState* preset) = 0;
        // Null here.
        XmlCapable* createSourceFromXML(const XmlNode& node) override;
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override = 0;
        // Null here.
        VideoSource* createSource(const std::string& id) override;

    private:
        SourceInfo info;
    };

    // The base of every video source extension.
    class VideoSourceExtension : public SourceExtension
    {
    public:
        VideoSourceExtension(const SourceInfo& info, bool flag) : SourceExtension(info, flag) {}
    };
}
