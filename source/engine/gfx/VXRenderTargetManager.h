#pragma once

#include "core/VXCurrentInstance.h"

#include <cstdint>
#include <memory>

#include "engine/gfx/VXRenderTarget.h"

namespace vx
{
    class GlobalFBO;
    class RenderTargetManager;

    // A render target made by the pool, pointing back at its pool entry.
    class ManagedRenderTarget : public RenderTarget
    {
    public:
        struct Entry;

        explicit ManagedRenderTarget(Entry* poolEntry) : entry(poolEntry) {}
        Entry* getEntry() const { return entry; }

    private:
        Entry* entry;
    };

    // The pool of render targets, keyed by size (rounded down to 128) and
    // colour format; ping-pong, depth and colour-buffer count are matched per
    // entry. A released target keeps its slot and its depth buffer but gives
    // its colour textures back to the texture pool. Owns the shared
    // framebuffer object. Render thread only; no lock.
    class RenderTargetManager : public CurrentInstance<RenderTargetManager>
    {
    public:
        RenderTargetManager();
        // release(); GL names are dropped without GL calls when no context is current.
        ~RenderTargetManager();

        RenderTargetManager(const RenderTargetManager&) = delete;
        RenderTargetManager& operator=(const RenderTargetManager&) = delete;

        // Makes the shared framebuffer object.
        bool init();

        // A target of exactly the configuration's size, or null (logged) for
        // unsupported or empty sizes or when one cannot be made. Give it back
        // with release(target).
        RenderTarget* retain(const RenderTargetConfiguration& configuration);
        RenderTarget* retainPingPong(const RenderTargetConfiguration& configuration);
        RenderTarget* retain(int w, int h, const TextureFormat& format, bool depth, DepthStencilFormat depthFormat);
        RenderTarget* retainPingPong(int w, int h, const TextureFormat& format, bool depth,
                                     DepthStencilFormat depthFormat);

        // Gives a retained target back. A target not from this pool (or one
        // it deleted already), or one already given back, is refused with an
        // error line.
        void release(RenderTarget* target);
        // Gives a retained target back from any thread: on the render thread
        // through the GPU-object manager (at once without one). When the pool
        // lets go of its targets before that runs, the return is dropped.
        void releaseDeferred(RenderTarget* target);
        // Changes at every release(): tells a pool's lives apart, also across
        // pools made at one address.
        uint64_t getGeneration() const;
        // Deletes every target that is not retained.
        void freeUnusedRenderTargets();
        // Deletes every target and the shared framebuffer object.
        void release();

        GlobalFBO* getGlobalFBO();
        uint32_t getTotalRTCount() const;
        uint32_t getUsedRTCount() const;
        // Keys in the pool (including ones whose list is empty).
        size_t getNumKeys() const;

        static constexpr unsigned int sizeGranularity = 128;

    private:
        RenderTarget* getRenderTarget(const RenderTargetConfiguration& configuration, bool asPingPong);

        struct Pimpl;
        std::unique_ptr<Pimpl> pimpl;
    };
}
