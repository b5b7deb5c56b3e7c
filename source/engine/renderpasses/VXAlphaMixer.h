#pragma once

#include "engine/renderpasses/VXMixer.h"

namespace vx
{
    // The mixer a dry/wet wrapper uses unless told otherwise: the base
    // mixer's blend under the name "Alpha".
    class AlphaMixer : public Mixer
    {
    public:
        AlphaMixer();

        static std::string classType() { return "Alpha"; }
        static std::string classDisplayStr() { return "Alpha"; }
        static RttiObject* creationFunc() { return new AlphaMixer(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override { return "Straight forward Alpha blend."; }
    };
}
