#pragma once

#include "engine/gfx/VXScopedBufferBinding.h"
#include "engine/gfx/VXScopedClientAttribs.h"
#include "engine/gfx/VXScopedCurrentColor.h"
#include "engine/gfx/VXScopedFramebufferBinding.h"
#include "engine/gfx/VXScopedProgram.h"

#include <vector>

namespace vx
{
    class RenderContext;

    // Keeps the GL state its caller sees across a scope that draws through the
    // engine, and puts it back on leaving: every attribute group (enables,
    // blending, viewport, colours, texture units and their bindings), the
    // client attribute groups, the projection, modelview and texture matrices,
    // the draw and read framebuffers, the program and the array, element,
    // pack and unpack buffers; the current colour is set again after the pop.
    // The renderer's binding cache records what GL holds on entry and again
    // after leaving. Render thread, with the cache's context current.
    class ScopedRenderState
    {
    public:
        explicit ScopedRenderState(RenderContext& bindingCache);
        ~ScopedRenderState();
        ScopedRenderState(const ScopedRenderState&) = delete;
        ScopedRenderState& operator=(const ScopedRenderState&) = delete;

    private:
        void recordInCache() const;

        const ScopedCurrentColor colour; // first: set last, after the pop
        RenderContext& cache;
        const ScopedProgram program;
        const ScopedBufferBinding arrayBuffer, elementBuffer, packBuffer, unpackBuffer;
        const ScopedClientAttribs clientState;
        const ScopedFramebufferBinding framebuffers;
        std::vector<unsigned int> textures; // the 2D binding of each unit the cache knows
        int activeUnit = 0;
        int currentProgram = 0;
    };
}
