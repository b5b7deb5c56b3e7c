#include "engine/renderpasses/VXAlphaMixer.h"

namespace vx
{
    AlphaMixer::AlphaMixer() : Mixer(2)
    {
        setName(classType(), true);
    }

    bool AlphaMixer::isOfClassType(std::string t) const
    {
        return t == AlphaMixer::classType() || Mixer::isOfClassType(t);
    }

    std::string AlphaMixer::derivedOfClassType(std::string t) const
    {
        return t == AlphaMixer::classType() ? getClassType() : Mixer::derivedOfClassType(t);
    }
}
