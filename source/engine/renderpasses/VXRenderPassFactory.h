#pragma once

#include "engine/renderpasses/VXRenderPassInfo.h"

#include <map>
#include <string>

namespace vx
{
    // The registry of render-pass kinds by name: several kinds may share a
    // name when their categories differ. It indexes descriptions it does not
    // own: whoever registers keeps the answer alive while it is registered
    // (the render-pass manager holds every description), and clear() drops
    // the index. No lock: registration and lookups run on the thread that
    // owns the registry.
    class RenderPassFactory
    {
    public:
        RenderPassFactory() = default;
        RenderPassFactory(const RenderPassFactory&) = delete;
        RenderPassFactory& operator=(const RenderPassFactory&) = delete;

        // A built-in class: a new description (owned by the caller), or null
        // when the name is registered under that category already (or, for
        // category 0, at all).
        RenderPassInfo* registerRenderPass(const std::string& name, const std::string& displayName,
                                           RenderPassInfo::CreationFunc creationFunc, RenderPassCategory category,
                                           int numInputs, bool dryWetWrappable, bool hidden);

        // A loaded hosted plugin: a new description (owned by the caller) of
        // its file, named by the plugin, offered by its minimum input count
        // (0 generator, 1 effect, 2 mixer, more: many inputs); null when the
        // plugin is not loaded, cannot draw (no OpenGL processing), or its
        // name is registered under that category already.
        RenderPassInfo* registerRenderPass(const FFGLPluginInstance* plugin);

        // The first entry of the name whose category is the one asked for
        // (any entry of the name for category 0), in registration order; null
        // when none.
        RenderPassInfo* findRenderPass(const std::string& name, RenderPassCategory category) const;
        // A new object from the kind's creation function (its extension is
        // not set), or null.
        RttiObject* createRenderPass(const std::string& name, RenderPassCategory category) const;

        void clear();
        size_t getNumEntries() const { return entries.size(); }

    private:
        std::multimap<std::string, RenderPassInfo*> entries;
    };
}
