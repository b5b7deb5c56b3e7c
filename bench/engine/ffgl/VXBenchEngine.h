#pragma once

// An engine root with its offscreen primary context current, for the GL
// benchmarks that draw through the engine.

#include "engine/ffgl/VXVexkit.h"
#include "engine/gfx/VXContextManager.h"
#include "engine/gfx/VXRenderer.h"

#include <memory>

namespace vx::bench
{
    struct BenchEngine
    {
        explicit BenchEngine(unsigned moduleFlags)
        {
            root = Vexkit::create(moduleFlags);
            if (! root->initialise(true))
                return;
            selected = root->getContextManager()->getScopedPrimaryContextLock();
            renderer = root->getPrimaryRenderer();
        }
        Vexkit* root = nullptr;
        std::shared_ptr<ScopedContextSelector> selected;
        Renderer* renderer = nullptr; // null when the root did not start
    };

    // Made on first use and kept for the life of the process.
    template <unsigned ModuleFlags = 3>
    BenchEngine& benchEngine()
    {
        static BenchEngine instance(ModuleFlags);
        return instance;
    }
}
