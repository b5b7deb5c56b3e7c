#include "engine/video/sources/VXGeneratorSourceExtension.h"

#include "engine/renderpasses/VXRenderPassInfo.h"
#include "engine/renderpasses/VXRenderPassManager.h"
#include "engine/video/sources/VXGeneratorVideoSource.h"

namespace vx
{
    GeneratorSourceExtension::GeneratorSourceExtension(RenderPassInfo& info)
        : VideoSourceExtension(SourceInfo{info.getExtensionDisplayName(), info.getExtensionDescription(),
                                          info.getExtensionUniqueId(), "Generators"},
                               info.isHidden()),
          passName(info.getExtensionName())
    {
    }

    VideoSource* GeneratorSourceExtension::createSource(XmlState* preset)
    {
        RenderPassManager* manager = RenderPassManager::getCurrent();
        if (manager == nullptr)
            return nullptr;
        VideoSource* made = manager->createSource(passName);
        auto* source = dynamic_cast<GeneratorVideoSource*>(made);
        if (source == nullptr)
        {
            if (made != nullptr)
                GfxObject::deleteUsingManager(made);
            return nullptr;
        }
        source->setSourceInfo(getSourceInfo(), preset);
        return source;
    }

    VideoSource* GeneratorSourceExtension::createSourceFromXML(const XmlNode& node)
    {
        RenderPassManager* manager = RenderPassManager::getCurrent();
        if (manager == nullptr)
            return nullptr;
        XmlCapable* made = manager->createSourceFromXML(node);
        auto* source = dynamic_cast<VideoSource*>(made);
        if (source == nullptr)
        {
            delete made;
            return nullptr;
        }
        source->setSourceInfo(getSourceInfo(), nullptr);
        return source;
    }

    XmlNode* GeneratorSourceExtension::saveSourceToXML(XmlPool& pool, XmlCapable* source)
    {
        RenderPassManager* manager = RenderPassManager::getCurrent();
        return manager != nullptr ? manager->saveSourceToXML(pool, source) : nullptr;
    }
}
