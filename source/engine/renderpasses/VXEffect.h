#pragma once

#include "engine/renderpasses/VXRenderPass.h"

namespace vx
{
    // Base of the passes that process one input (built-in effects take one
    // input; a hosted plugin may take its own count).
    class Effect : public RenderPass
    {
    public:
        explicit Effect(int inputCount);

        static std::string classType() { return "Effect"; }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
    };
}
