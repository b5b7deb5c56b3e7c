#pragma once

#include "engine/renderpasses/VXShaderEffect.h"

namespace vx
{
    // Multiplies colour by alpha: straight alpha in, premultiplied out.
    class Premultiply : public ShaderEffect
    {
    public:
        Premultiply();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new Premultiply(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        using ShaderEffect::init;
        bool init() override;
        // False, drawing nothing, without an input texture.
        bool render(Renderer& renderer) override;
    };
}
