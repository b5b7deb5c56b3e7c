#pragma once

#include "engine/renderpasses/VXShaderEffect.h"

namespace vx
{
    // Grey from 0.30 red, 0.59 green and 0.11 blue; alpha passes through.
    // Texture::toLuminosity runs one of these.
    class ToLuminosity : public ShaderEffect
    {
    public:
        ToLuminosity();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new ToLuminosity(); }

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
