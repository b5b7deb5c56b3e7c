#include "engine/gfx/VXRenderTargetManager.h"

#include <atomic>
#include <list>
#include <map>
#include <unordered_map>

#include "core/VXLog.h"
#include "engine/gfx/VXGfxObject.h"
#include "engine/gfx/VXGlobalFBO.h"
#include "engine/gfx/VXTextureFormat.h"

namespace vx
{
    struct ManagedRenderTarget::Entry
    {
        std::unique_ptr<ManagedRenderTarget> target;
        bool inUse = false;
    };

    namespace
    {
        std::atomic<uint64_t> lastGeneration{0};

        uint64_t nextGeneration()
        {
            return lastGeneration.fetch_add(1, std::memory_order_relaxed) + 1;
        }

        // A retained target given back on the render thread through the
        // GPU-object manager. It names the pool's generation, not the pool:
        // when that pool let go of its targets (or went) in the meantime, the
        // target is gone with them and nothing is done.
        class DeferredTargetReturn : public GfxObject
        {
        public:
            DeferredTargetReturn(RenderTarget* targetToReturn, uint64_t poolGeneration)
                : target(targetToReturn), generation(poolGeneration)
            {
            }
            void release() override
            {
                if (target != nullptr)
                    if (RenderTargetManager* pool = RenderTargetManager::getCurrent())
                        if (pool->getGeneration() == generation)
                            pool->release(target);
                target = nullptr;
                GfxObject::release();
            }

        private:
            RenderTarget* target;
            uint64_t generation;
        };
    }

    struct RenderTargetManager::Pimpl
    {
        GlobalFBO globalFBO;
        // Lists keep their entries' addresses, which the targets point back at.
        std::map<uint64_t, std::list<std::unique_ptr<ManagedRenderTarget::Entry>>> pool;
        // Every pooled target's entry: a target is looked up here before it is
        // touched, so a pointer to one deleted already is refused, not followed.
        std::unordered_map<const RenderTarget*, ManagedRenderTarget::Entry*> entries;
        uint32_t totalCount = 0;
        uint32_t usedCount = 0;
        // New at construction and at every release(); see releaseDeferred.
        std::atomic<uint64_t> generation{nextGeneration()};
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
        pimpl->entries[target] = entry.get();
        entries.push_back(std::move(entry));
        return target;
    }

    void RenderTargetManager::release(RenderTarget* target)
    {
        const auto found = pimpl->entries.find(target);
        if (found == pimpl->entries.end())
        {
            logEscapedError(
                "release", 188,
                "You're releasing a render target to us that you didn't aquire from us. You can't do that.");
            return;
        }
        ManagedRenderTarget::Entry* entry = found->second;
        ManagedRenderTarget* managed = entry->target.get();
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
                    pimpl->entries.erase((*entry)->target.get());
                    entry = entries.erase(entry);
                    --pimpl->totalCount;
                }
            }
            it = entries.empty() ? pimpl->pool.erase(it) : std::next(it);
        }
    }

    void RenderTargetManager::releaseDeferred(RenderTarget* target)
    {
        if (target != nullptr)
            GfxObject::deleteUsingManager(new DeferredTargetReturn(target, getGeneration()));
    }

    uint64_t RenderTargetManager::getGeneration() const
    {
        return pimpl->generation.load(std::memory_order_acquire);
    }

    void RenderTargetManager::release()
    {
        // First: returns still queued for the targets deleted below are void.
        pimpl->generation.store(nextGeneration(), std::memory_order_release);
        pimpl->entries.clear();
        pimpl->pool.clear();
        pimpl->totalCount = 0;
        pimpl->usedCount = 0;
        pimpl->globalFBO.release();
    }
}
