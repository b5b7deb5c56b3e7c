#include "engine/renderpasses/VXGenerator.h"

namespace vx
{
    Generator::Generator() : RenderPass(0, 1)
    {
    }

    bool Generator::isOfClassType(std::string t) const
    {
        return t == Generator::classType() || RenderPass::isOfClassType(t);
    }

    std::string Generator::derivedOfClassType(std::string t) const
    {
        return t == Generator::classType() ? getClassType() : RenderPass::derivedOfClassType(t);
    }
}
