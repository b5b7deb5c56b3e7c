#include "engine/renderpasses/VXRenderPassFactory.h"

#include "core/VXLog.h"
#include "core/VXRttiObject.h"
#include "engine/renderpasses/VXFFGLPluginInstance.h"

namespace vx
{
    RenderPassInfo* RenderPassFactory::registerRenderPass(const std::string& name, const std::string& displayName,
                                                          RenderPassInfo::CreationFunc creationFunc,
                                                          RenderPassCategory category, int numInputs,
                                                          bool dryWetWrappable, bool hidden)
    {
        if (findRenderPass(name, category) != nullptr)
        {
            debugPrint("Pass with name:" + name + " already registered");
            return nullptr;
        }
        auto* info = new RenderPassInfo(hidden);
        info->sourceKind = RenderPassInfo::SourceInternal;
        info->category = category;
        info->numInputs = numInputs;
        info->dryWetWrappable = dryWetWrappable;
        info->creationFunc = creationFunc;
        info->name = name;
        info->shortName = name;
        info->uniqueId = name;
        info->displayName = displayName;
        info->description = "internal effect";
        entries.emplace(name, info);
        return info;
    }

    RenderPassInfo* RenderPassFactory::registerRenderPass(const FFGLPluginInstance* plugin)
    {
        // A plugin that cannot draw would be a generator that never renders.
        if (plugin == nullptr || ! plugin->isLoaded() || ! plugin->supportsOpenGL())
            return nullptr;
        const int inputs = plugin->getMinInputFrames();
        const RenderPassCategory category = inputs == 0   ? RenderPassCategoryGenerator
                                            : inputs == 1 ? RenderPassCategoryEffect
                                            : inputs == 2 ? RenderPassCategoryMixer
                                                          : RenderPassCategoryManyInputs;
        if (findRenderPass(plugin->getPluginName(), category) != nullptr)
            return nullptr;
        auto* info = new RenderPassInfo(false);
        info->sourceKind = RenderPassInfo::SourceFFGLPlugin;
        info->category = category;
        info->numInputs = inputs;
        info->dryWetWrappable = category == RenderPassCategoryEffect;
        info->filePath = plugin->getFilePath();
        info->name = plugin->getPluginName();
        info->shortName = plugin->getShortName();
        info->uniqueId = plugin->getUniqueId();
        info->displayName = plugin->getPluginName();
        info->description = plugin->getDescription();
        entries.emplace(info->name, info);
        return info;
    }

    RenderPassInfo* RenderPassFactory::findRenderPass(const std::string& name, RenderPassCategory category) const
    {
        const auto [first, last] = entries.equal_range(name);
        for (auto it = first; it != last; ++it)
            if (category == RenderPassCategoryAny || it->second->getRenderPassCategory() == category)
                return it->second;
        return nullptr;
    }

    RttiObject* RenderPassFactory::createRenderPass(const std::string& name, RenderPassCategory category) const
    {
        const RenderPassInfo* info = findRenderPass(name, category);
        if (info == nullptr || info->getCreationFunc() == nullptr)
            return nullptr;
        return info->getCreationFunc()();
    }

    void RenderPassFactory::clear()
    {
        entries.clear();
    }
}
