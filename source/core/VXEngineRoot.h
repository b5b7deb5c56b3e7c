#pragma once

#include "core/VXCurrentInstance.h"

namespace vx
{
    // What code below the engine root may know of it: whether one exists.
    // The root (vx::Vexkit) is one and names itself current from creation to
    // deletion; its managers have seams of their own.
    class EngineRoot : public CurrentInstance<EngineRoot>
    {
    public:
        virtual ~EngineRoot() = default;
    };
}
