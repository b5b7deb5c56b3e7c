#include "engine/gfx/VXRenderTargetManager.h"

#include <list>
#include <map>

#include "core/VXLog.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXTextureFormat.h"

namespace vx
{
    struct ManagedRenderTarget::Entry
    {
        const RenderTargetManager* owner = nullptr;
        std::unique_ptr<ManagedRenderTarget> target;
        bool inUse = false;
    };

    struct RenderTargetManager::Pimpl
    {
        GlobalFBO globalFBO;
        // Lists keep their entries' addresses, which the targets point back at.
        std::map<uint64_t, std::list<std::unique_ptr<ManagedRenderTarget::Entry>>> pool;
        uint32_t totalCount = 0;
        uint32_t usedCount = 0;
    };

    RenderTargetManager::RenderTargetManager() : pimpl(std::make_unique<Pimpl>())
    {
    }

    RenderTargetManager::~RenderTargetManager()
    {
        release();
    }

    bool RenderTargetManager::init()
    {
        return pimpl->globalFBO.init();
    }

    GlobalFBO* RenderTargetManager::getGlobalFBO()
    {
        return &pimpl->globalFBO;
    }

    uint32_t RenderTargetManager::getTotalRTCount() const
    {
        return pimpl->totalCount;
    }

    uint32_t RenderTargetManager::getUsedRTCount() const
    {
        return pimpl->usedCount;
    }

    size_t RenderTargetManager::getNumKeys() const
    {
        return pimpl->pool.size();
    }

    RenderTarget* RenderTargetManager::retain(const RenderTargetConfiguration& configuration)
    {
        return getRenderTarget(configuration, false);
    }

    RenderTarget* RenderTargetManager::retainPingPong(const RenderTargetConfiguration& configuration)
    {
        return getRenderTarget(configuration, true);
    }

    namespace
    {
        bool checkSize(int w, int h, const char* caller)
        {
            if (w < 1 || h < 1)
            {
                logPrint(logError, "%s: Cannot create render target, negative size.", caller);
                return false;
            }
            if (w > 65535 || h > 65535)
            {
                logPrint(logError, "%s: Cannot create render target, too large size.", caller);
                return false;
            }
            return true;
        }
    }

    RenderTarget* RenderTargetManager::retain(int w, int h, const TextureFormat& format, bool depth,
                                              DepthStencilFormat depthFormat)
    {
        if (! checkSize(w, h, "retain"))
            return nullptr;
        if (format.compressed)
        {
            logPrint(logError, "%s: Cannot create render target, cannot render to compressed format.", "retain");
            return nullptr;
        }
        return retain(
            RenderTargetConfiguration(static_cast<uint16_t>(w), static_cast<uint16_t>(h), format, depth, depthFormat));
    }

    RenderTarget* RenderTargetManager::retainPingPong(int w, int h, const TextureFormat& format, bool depth,
                                                      DepthStencilFormat depthFormat)
    {
        if (! checkSize(w, h, "retainPingPong"))
            return nullptr;
        return retainPingPong(
            RenderTargetConfiguration(static_cast<uint16_t>(w), static_cast<uint16_t>(h), format, depth, depthFormat));
    }

    RenderTarget* RenderTargetManager::getRenderTarget(const RenderTargetConfiguration& configuration, bool asPingPong)
    {
        const char* problem = nullptr;
        if (! configuration.isSupportedOnCurrentSystem())
            problem = ": Requested render target configuration is not supported.";
        else if (configuration.width == 0)
            problem = ": Requested render target with width of zero.";
        else if (configuration.height == 0)
            problem = ": Requested render target with height of zero.";
        else if (configuration.format == nullptr)
            problem = ": Requested render target without a colour format.";
        if (problem != nullptr)
        {
            logPrint(logError, "%s%s", "getRenderTarget", problem);
            return nullptr;
        }

        auto& entries = pimpl->pool[configuration.computeCacheKey(sizeGranularity)];

        // The first free entry of the same kind that takes the size is reused.
        // Free entries hold no colour textures; one that cannot be re-equipped
        // gives back what it got and stays free.
        for (auto& entry : entries)
        {
            ManagedRenderTarget* target = entry->target.get();
            if (entry->inUse || target == nullptr || target->isPingPong() != asPingPong ||
                target->hasDepthStencilBuffer() != configuration.depth ||
                (configuration.depth && target->getDepthStencilFormat() != configuration.depthStencilFormat) ||
                target->getNumColorBuffers() != configuration.numColorBuffers)
                continue;
            if (target->reaquireColorTextures(configuration) &&
                target->resize(configuration.width, configuration.height))
            {
                entry->inUse = true;
                ++pimpl->usedCount;
                return target;
            }
            target->releaseColorTextures();
        }

        auto entry = std::make_unique<ManagedRenderTarget::Entry>();
        entry->owner = this;
        entry->target = std::make_unique<ManagedRenderTarget>(entry.get());
        ++pimpl->totalCount;
        const bool made =
            asPingPong ? entry->target->createPingPong2D(configuration) : entry->target->create2D(configuration);
        if (! made)
        {
            --pimpl->totalCount;
            // The key's list may have been made for this request alone.
            if (entries.empty())
                pimpl->pool.erase(configuration.computeCacheKey(sizeGranularity));
            return nullptr;
        }
        entry->inUse = true;
        ++pimpl->usedCount;
        RenderTarget* target = entry->target.get();
        entries.push_back(std::move(entry));
        return target;
    }

    void RenderTargetManager::release(RenderTarget* target)
    {
        auto* managed = dynamic_cast<ManagedRenderTarget*>(target);
        if (managed == nullptr || managed->getEntry() == nullptr || managed->getEntry()->owner != this)
        {
            logEscapedError(
                "release", 188,
                "You're releasing a render target to us that you didn't aquire from us. You can't do that.");
            return;
        }
        ManagedRenderTarget::Entry* entry = managed->getEntry();
        if (! entry->inUse)
        {
            logPrint(logError, "RenderTargetManager::release: the render target was released already.\n");
            return;
        }
        entry->inUse = false;
        managed->releaseColorTextures();
        --pimpl->usedCount;
    }

    void RenderTargetManager::freeUnusedRenderTargets()
    {
        for (auto it = pimpl->pool.begin(); it != pimpl->pool.end();)
        {
            auto& entries = it->second;
            for (auto entry = entries.end(); entry != entries.begin();)
            {
                --entry;
                if (! (*entry)->inUse)
                {
                    entry = entries.erase(entry);
                    --pimpl->totalCount;
                }
            }
            it = entries.empty() ? pimpl->pool.erase(it) : std::next(it);
        }
    }

    void RenderTargetManager::release()
    {
        pimpl->pool.clear();
        pimpl->totalCount = 0;
        pimpl->usedCount = 0;
        pimpl->globalFBO.release();
    }
}
