#include "engine/renderpasses/VXEffect.h"

namespace vx
{
    Effect::Effect(int inputCount) : RenderPass(inputCount, 1)
    {
    }

    bool Effect::isOfClassType(std::string t) const
    {
        return t == Effect::classType() || RenderPass::isOfClassType(t);
    }

    std::string Effect::derivedOfClassType(std::string t) const
    {
        return t == Effect::classType() ? getClassType() : RenderPass::derivedOfClassType(t);
    }
}
