#pragma once

namespace vx
{
    class RenderPass;

    // Hears about changes of a render-pass chain's list, on the thread that
    // made them, while the chain holds its lock.
    class RenderPassChainListener
    {
    public:
        virtual ~RenderPassChainListener() = default;
        virtual void renderPassInserted(RenderPass&) {}
        virtual void renderPassRemoved(RenderPass&) {}
        virtual void renderPassMoved() {}
        virtual void allRenderPassesRemoved() {}
    };
}
