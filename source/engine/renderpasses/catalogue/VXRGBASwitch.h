#pragma once

#include "engine/renderpasses/VXShaderEffect.h"

#include <memory>

namespace vx
{
    class ParamRange;

    // Scales red, green and blue by "R", "G" and "B" (0 to 1): with "A" at 0
    // the output is opaque, with all three colours at 0 it is transparent
    // black whatever "A" is, otherwise alpha passes through.
    class RGBASwitch : public ShaderEffect
    {
    public:
        RGBASwitch();

        static std::string classType();
        static std::string classDisplayStr();
        static RttiObject* creationFunc() { return new RGBASwitch(); }

        bool isOfClassType(std::string t) const override;
        std::string derivedOfClassType(std::string t) const override;
        std::string getClassType() const override { return classType(); }
        std::string getClassDisplayStr() const override { return classDisplayStr(); }
        std::string getDescription() const override;

        using ShaderEffect::init;
        bool init() override;
        // False, drawing nothing, without an input texture.
        bool render(Renderer& renderer) override;

        // 0 transparent, 1 opaque, 2 the input's alpha.
        int getAlphaMode() const;

    private:
        std::shared_ptr<ParamRange> red, green, blue, alpha;
    };
}
