#include "engine/renderpasses/catalogue/VXDifferenceI.h"

#include "engine/gfx/VXShaderProgram.h"

namespace vx
{
    const std::string DifferenceI::fsDifferenceI =
        detail::blendOperatorProgram("DifferenceInverse", "clamp(1.0 - abs(1.0 - d - s), 0.0, 1.0)");

    DifferenceI::DifferenceI() : Mixer(2), program(detail::makeProgram())
    {
        setName(classType(), true);
    }

    DifferenceI::~DifferenceI() = default;

    std::string DifferenceI::classType()
    {
        static const std::string type = "DifferenceI";
        return type;
    }

    std::string DifferenceI::classDisplayStr()
    {
        static const std::string display = "Difference I";
        return display;
    }

    bool DifferenceI::isOfClassType(std::string t) const
    {
        return t == getClassType() || Mixer::isOfClassType(t);
    }

    std::string DifferenceI::derivedOfClassType(std::string t) const
    {
        return t == getClassType() ? getClassType() : Mixer::derivedOfClassType(t);
    }

    std::string DifferenceI::getUniqueId() const
    {
        return "A019";
    }

    std::string DifferenceI::getDescription() const
    {
        return "Difference Inverse";
    }

    bool DifferenceI::init()
    {
        return detail::initBlendMixer(*this, *program, fsDifferenceI);
    }

    void DifferenceI::release()
    {
        program->release();
        Mixer::release();
    }

    bool DifferenceI::render(Renderer& renderer)
    {
        return detail::renderBlend(*this, *program, renderer, "DifferenceInverse");
    }
}
