#pragma once

#include "engine/renderpasses/VXEffect.h"

#include <memory>

namespace vx
{
    class ParamColor;

    // Replaces its input with "Color", alpha included; the input is not
    // read (a missing one does not stop it).
    class SolidColorEffect : public Effect
    {
    public:
        SolidColorEffect();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new SolidColorEffect(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDisplayName() const override;
        std::string getDescription() const override;

        bool render(Renderer& renderer) override;

    private:
        std::shared_ptr<ParamColor> color;
    };
}
