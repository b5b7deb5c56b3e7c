#pragma once

#include "engine/video/sources/VXVideoSource.h"

#include <string>

namespace vx
{
    class RenderPassInfo;

    // One generator kind as a source extension: the kind's display name,
    // description and unique id, category "Generators", listed like the
    // kind. Sources come from the current render-pass manager, which finds
    // the kind by name (so hosted generators become sources too).
    class GeneratorSourceExtension : public VideoSourceExtension
    {
    public:
        explicit GeneratorSourceExtension(RenderPassInfo& info);

        // A generator source of this kind with the preset linked; null when
        // the manager makes none (or something else).
        VideoSource* createSource(XmlState* preset) override;
        using VideoSourceExtension::createSource;
        // The manager's source from node, with this extension's info.
        VideoSource* createSourceFromXML(const XmlNode& node) override;
        // The manager's "GeneratorInfo" element; null without a manager.
        XmlNode* saveSourceToXML(XmlPool& pool, XmlCapable* source) override;

        const std::string& getPassName() const { return passName; }

    private:
        std::string passName;
    };
}
